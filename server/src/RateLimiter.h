#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace pindle {

/// Counts events per key in a fixed window and says when a key has had too many.
class RateLimiter {
public:
    RateLimiter(int limit, std::chrono::seconds window)
        : m_limit(limit)
        , m_window(window) {}

    [[nodiscard]] bool blocked(const std::string &key) {
        std::lock_guard lock(m_mutex);
        const auto found = m_counts.find(key);
        return found != m_counts.end() && !expired(found->second) && found->second.count >= m_limit;
    }

    void record(const std::string &key) {
        std::lock_guard lock(m_mutex);
        if (m_counts.size() > 100000)
            prune();
        Entry &entry = m_counts[key];
        if (expired(entry))
            entry = {0, std::chrono::steady_clock::now()};
        ++entry.count;
    }

    void clear(const std::string &key) {
        std::lock_guard lock(m_mutex);
        m_counts.erase(key);
    }

private:
    struct Entry {
        int count = 0;
        std::chrono::steady_clock::time_point start{};
    };

    [[nodiscard]] bool expired(const Entry &entry) const {
        return std::chrono::steady_clock::now() - entry.start > m_window;
    }

    void prune() {
        std::erase_if(m_counts, [&](const auto &item) { return expired(item.second); });
    }

    int m_limit;
    std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_counts;
};

} // namespace pindle
