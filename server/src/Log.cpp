#include "Log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace pindle {

void logLine(std::string_view message) {
    static std::mutex mutex;
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "%s %.*s\n", stamp, int(message.size()), message.data());
    std::fflush(stderr);
}

} // namespace pindle
