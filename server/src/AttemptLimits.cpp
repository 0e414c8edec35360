#include "AttemptLimits.h"

#include "RateLimiter.h"

#include <array>
#include <stdexcept>

namespace pindle {

namespace {

class MemoryAttemptLimits final : public AttemptLimits {
public:
    bool blocked(const Limit &limit, const std::string &key, std::int64_t now) override {
        return counts(limit).blocked(key, now);
    }
    bool record(const Limit &limit, const std::string &key, std::int64_t now) override {
        return counts(limit).record(key, now);
    }
    void clear(const Limit &limit, const std::string &key) override { counts(limit).clear(key); }
    bool knows(const std::string &account, const std::string &address, std::int64_t now) override {
        return m_known.knows(account, address, now);
    }
    void remember(const std::string &account, const std::string &address,
                  std::int64_t now) override {
        m_known.remember(account, address, now);
    }
    std::int64_t prune(std::int64_t now) override {
        std::int64_t pruned = m_known.prune(now);
        for (RateLimiter &counts : m_counts)
            pruned += counts.prune(now);
        return pruned;
    }

private:
    RateLimiter &counts(const Limit &limit) {
        if (limit.kind < 1 || std::size_t(limit.kind) > m_counts.size())
            throw std::logic_error("no such attempt limit");
        return m_counts[std::size_t(limit.kind - 1)];
    }

    // By kind, from 1.
    static_assert(failuresByAccountAndAddress.kind == 1 && failuresByAccount.kind == 2 &&
                  failuresByAddress.kind == 3 && signupsByAddress.kind == 4);
    std::array<RateLimiter, 4> m_counts{
        RateLimiter(failuresByAccountAndAddress.most, failuresByAccountAndAddress.window),
        RateLimiter(failuresByAccount.most, failuresByAccount.window),
        RateLimiter(failuresByAddress.most, failuresByAddress.window),
        RateLimiter(signupsByAddress.most, signupsByAddress.window)};
    KnownAddresses m_known{addressMemory, addressesPerAccount};
};

} // namespace

std::unique_ptr<AttemptLimits> memoryAttemptLimits() {
    return std::make_unique<MemoryAttemptLimits>();
}

} // namespace pindle
