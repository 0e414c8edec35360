#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pindle {

class Store;
class WorkerPool;

/// Tokens set aside from one account for one answer under way; settled exactly once, by
/// Billing::settle or Billing::release.
struct Reservation {
    std::int64_t userId = 0;
    /// The model as the client named it: what the usage record shows.
    std::string model;
    std::int64_t tokens = 0;
};

/// Every change to a balance the API makes: hold what an answer may cost before it starts,
/// charge what it really used when it ends and give back the rest. Reservations pass through
/// here only, so one place sees each of them open and close.
class Billing {
public:
    Billing(Store &store, WorkerPool &workers);

    /// Sets aside up to `tokens`, in one step, so answers running side by side cannot spend the
    /// same tokens; fewer when the balance is smaller, none when it is used up. Blocks.
    [[nodiscard]] Reservation reserve(std::int64_t userId, std::string model, std::int64_t tokens);
    /// Gives an unused reservation back at once. Blocks; throws StoreError.
    void release(const Reservation &reservation);
    /// Charges `used` tokens and gives back the reservation, later on a worker: callable from
    /// any thread, and a failure only loses this one charge (it is logged).
    void settle(const Reservation &reservation, std::int64_t used);
    /// Charges use that had nothing set aside for it, as settle() does.
    void charge(std::int64_t userId, std::int64_t used, const std::string &model);

    /// Rough token count of text, for what has not been priced yet and for providers that do
    /// not report their usage.
    [[nodiscard]] static std::int64_t estimatedTokens(std::size_t characters);

private:
    Store &m_store;
    WorkerPool &m_workers;
};

} // namespace pindle
