#pragma once
// The process-wide current trace parameters: built with their defaults, filled
// from the settings at start-up, edited by the parameter dialog and written
// back at exit. Only the application's top level touches it; every core
// function takes the record it works with as a parameter, so concurrent batch
// conversions each work on their own copy.

#include "settings/trace_option.h"

namespace quillon::settings {

// The one current record. Not synchronised: use it from the user-interface
// thread (or the CLI's main thread) only, and hand copies to workers.
TraceOption& CurrentTraceOption();

}  // namespace quillon::settings
