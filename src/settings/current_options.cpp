#include "settings/current_options.h"

namespace quillon::settings {

TraceOption& CurrentTraceOption() {
  static TraceOption current;
  return current;
}

}  // namespace quillon::settings
