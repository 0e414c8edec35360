#include "api/Billing.h"

#include "Ledger.h"

namespace pindle {

Billing::Billing(Ledger &ledger)
    : m_ledger(ledger) {}

Reservation Billing::reserve(std::int64_t userId, std::string model, std::int64_t tokens) {
    const HeldTokens held = m_ledger.reserve(userId, tokens, model);
    return {held.id, userId, std::move(model), held.tokens};
}

void Billing::release(const Reservation &reservation) {
    settle(reservation, 0);
}

void Billing::progress(const Reservation &reservation, std::int64_t used) {
    if (reservation.id != 0)
        m_ledger.progress(reservation.id, used);
}

void Billing::settle(const Reservation &reservation, std::int64_t used) {
    if (reservation.id == 0)
        return charge(reservation.userId, used, reservation.model);
    m_ledger.settle({"r" + std::to_string(reservation.id), reservation.userId, reservation.id, used,
                     reservation.model});
}

void Billing::charge(std::int64_t userId, std::int64_t used, const std::string &model) {
    if (used > 0)
        m_ledger.settle({m_ledger.chargeKey(), userId, 0, used, model});
}

std::int64_t Billing::estimatedTokens(std::size_t characters) {
    return std::int64_t(characters / 4 + 1);
}

} // namespace pindle
