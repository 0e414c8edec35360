#pragma once

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

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

/// The addresses each account has signed in from, for a while: an address that proved it knows
/// the password is let through limits that exist to stop guessing from everywhere else.
class KnownAddresses {
public:
    explicit KnownAddresses(std::chrono::hours memory, std::size_t perAccount = 16)
        : m_memory(memory)
        , m_perAccount(perAccount) {}

    [[nodiscard]] bool knows(const std::string &account, const std::string &address) {
        std::lock_guard lock(m_mutex);
        const auto found = m_addresses.find(account);
        if (found == m_addresses.end())
            return false;
        const auto now = std::chrono::steady_clock::now();
        return std::ranges::any_of(found->second, [&](const Seen &seen) {
            return seen.address == address && now - seen.at <= m_memory;
        });
    }

    void remember(const std::string &account, const std::string &address) {
        std::lock_guard lock(m_mutex);
        if (m_addresses.size() > 100000)
            prune();
        std::vector<Seen> &seen = m_addresses[account];
        std::erase_if(seen, [&](const Seen &entry) { return entry.address == address; });
        seen.push_back({address, std::chrono::steady_clock::now()});
        if (seen.size() > m_perAccount) // the oldest goes
            seen.erase(seen.begin());
    }

private:
    struct Seen {
        std::string address;
        std::chrono::steady_clock::time_point at;
    };

    void prune() {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(m_addresses, [&](const auto &item) {
            return std::ranges::none_of(
                item.second, [&](const Seen &seen) { return now - seen.at <= m_memory; });
        });
    }

    std::chrono::hours m_memory;
    std::size_t m_perAccount;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::vector<Seen>> m_addresses;
};

} // namespace pindle
