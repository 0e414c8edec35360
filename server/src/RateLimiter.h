#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace pindle {

/// Counts events per key in a fixed window and says when a key has had too many. Times are
/// seconds since the epoch, as the shared database counts them.
class RateLimiter {
public:
    RateLimiter(int limit, std::chrono::seconds window)
        : m_limit(limit)
        , m_window(window.count()) {}

    [[nodiscard]] bool blocked(const std::string &key, std::int64_t now) {
        std::lock_guard lock(m_mutex);
        const auto found = m_counts.find(key);
        return found != m_counts.end() && !expired(found->second, now) &&
               found->second.count >= m_limit;
    }

    /// Counts one event; true when it was within the limit.
    bool record(const std::string &key, std::int64_t now) {
        std::lock_guard lock(m_mutex);
        if (m_counts.size() > 100000)
            pruneLocked(now);
        Entry &entry = m_counts[key];
        if (expired(entry, now))
            entry = {0, now};
        return ++entry.count <= m_limit;
    }

    void clear(const std::string &key) {
        std::lock_guard lock(m_mutex);
        m_counts.erase(key);
    }

    std::int64_t prune(std::int64_t now) {
        std::lock_guard lock(m_mutex);
        return pruneLocked(now);
    }

private:
    struct Entry {
        int count = 0;
        std::int64_t start = 0;
    };

    [[nodiscard]] bool expired(const Entry &entry, std::int64_t now) const {
        return now - entry.start > m_window;
    }

    std::int64_t pruneLocked(std::int64_t now) {
        return std::int64_t(
            std::erase_if(m_counts, [&](const auto &item) { return expired(item.second, now); }));
    }

    int m_limit;
    std::int64_t m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_counts;
};

/// The addresses each account has signed in from, for a while: an address that proved it knows
/// the password is let through limits that exist to stop guessing from everywhere else.
class KnownAddresses {
public:
    KnownAddresses(std::chrono::seconds memory, std::size_t perAccount)
        : m_memory(memory.count())
        , m_perAccount(perAccount) {}

    [[nodiscard]] bool knows(const std::string &account, const std::string &address,
                             std::int64_t now) {
        std::lock_guard lock(m_mutex);
        const auto found = m_addresses.find(account);
        if (found == m_addresses.end())
            return false;
        return std::ranges::any_of(found->second, [&](const Seen &seen) {
            return seen.address == address && now - seen.at <= m_memory;
        });
    }

    void remember(const std::string &account, const std::string &address, std::int64_t now) {
        std::lock_guard lock(m_mutex);
        if (m_addresses.size() > 100000)
            pruneLocked(now);
        std::vector<Seen> &seen = m_addresses[account];
        std::erase_if(seen, [&](const Seen &entry) { return entry.address == address; });
        seen.push_back({address, now});
        if (seen.size() > m_perAccount) // the oldest goes
            seen.erase(seen.begin());
    }

    std::int64_t prune(std::int64_t now) {
        std::lock_guard lock(m_mutex);
        return pruneLocked(now);
    }

private:
    struct Seen {
        std::string address;
        std::int64_t at = 0;
    };

    std::int64_t pruneLocked(std::int64_t now) {
        return std::int64_t(std::erase_if(m_addresses, [&](const auto &item) {
            return std::ranges::none_of(
                item.second, [&](const Seen &seen) { return now - seen.at <= m_memory; });
        }));
    }

    std::int64_t m_memory;
    std::size_t m_perAccount;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::vector<Seen>> m_addresses;
};

} // namespace pindle
