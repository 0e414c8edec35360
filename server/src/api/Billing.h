#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pindle {

class Ledger;

/// Tokens set aside from one account for one answer under way; settled exactly once, by
/// Billing::settle or Billing::release.
struct Reservation {
    /// The reservation row; 0 when nothing was set aside.
    std::int64_t id = 0;
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
    explicit Billing(Ledger &ledger);

    /// Sets aside up to `tokens`, in one step, so answers running side by side cannot spend the
    /// same tokens; fewer when the balance is smaller, none when it is used up. Blocks; throws
    /// StoreError.
    [[nodiscard]] Reservation reserve(std::int64_t userId, std::string model, std::int64_t tokens);
    /// Gives an unused reservation back.
    void release(const Reservation &reservation);
    /// Notes how much an answer has used so far: what a crash would still charge.
    void progress(const Reservation &reservation, std::int64_t used);
    /// Charges `used` tokens and gives back the rest of the reservation. Never blocks: the
    /// ledger applies it, and keeps it until the store takes it.
    void settle(const Reservation &reservation, std::int64_t used);
    /// Charges use that had nothing set aside for it, as settle() does.
    void charge(std::int64_t userId, std::int64_t used, const std::string &model);

    /// Rough token count of text, for what has not been priced yet and for providers that do
    /// not report their usage.
    [[nodiscard]] static std::int64_t estimatedTokens(std::size_t characters);

private:
    Ledger &m_ledger;
};

} // namespace pindle
