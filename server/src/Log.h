#pragma once

#include <string_view>

namespace pindle {

/// One line for the operator on standard error, with the time. Never pass secrets.
void logLine(std::string_view message);

} // namespace pindle
