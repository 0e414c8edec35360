#pragma once

#include "Config.h"

namespace pindle {

/// Serves the API until SIGINT or SIGTERM; returns the process exit code.
int runServer(const Config &config);

} // namespace pindle
