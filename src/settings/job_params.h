#pragma once
// Parameter overrides given as job-file keys ("Method=Outline", "Connect=0",
// "distance=7", ...), as the command line's --set options give them. Shared
// by every command that takes trace parameters.

#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "settings/trace_option.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

// The keys of the job text, in the spelling the job text writes them.
const std::vector<std::string_view>& JobParameterKeys();

// Applies KEY=VALUE pairs to the record: the pairs are merged into the
// record's job text (written for the method a "Method" pair names, when one
// does) and the merged text is read back with the job-section rules, so keys
// that are not named keep their values. Keys compare without regard to case;
// the last pair of a key wins. Fails, leaving the record unchanged, for a pair
// without "=", an unknown key (the message names it) or a "Method" other than
// Center, Outline or FillPattern. No pairs: the record is left as it is.
Status ApplyJobParameters(TraceOption& record, const std::vector<std::string>& pairs,
                          const platform::KeyValueStore& store);

// Loads the named chart type (stored or built in) into the record. Fails,
// leaving the record unchanged, when there is no chart type of that name.
Status ApplyChartTypeByName(TraceOption& record, std::string_view name, const platform::KeyValueStore& store);

}  // namespace quillon::settings
