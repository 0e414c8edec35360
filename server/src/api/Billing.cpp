#include "api/Billing.h"

#include "Log.h"
#include "Store.h"
#include "WorkerPool.h"

namespace pindle {

Billing::Billing(Store &store, WorkerPool &workers)
    : m_store(store)
    , m_workers(workers) {}

Reservation Billing::reserve(std::int64_t userId, std::string model, std::int64_t tokens) {
    return {userId, std::move(model), m_store.reserve(userId, tokens)};
}

void Billing::release(const Reservation &reservation) {
    if (reservation.tokens > 0)
        m_store.debit(reservation.userId, 0, reservation.model, reservation.tokens);
}

void Billing::settle(const Reservation &reservation, std::int64_t used) {
    m_workers.post([this, reservation, used] {
        try {
            m_store.debit(reservation.userId, used, reservation.model, reservation.tokens);
        } catch (const std::exception &error) {
            // The answer has been delivered; a failed debit only loses this one charge.
            logLine("could not debit " + std::to_string(used) + " tokens from account " +
                    std::to_string(reservation.userId) + ": " + error.what());
        }
    });
}

std::int64_t Billing::estimatedTokens(std::size_t characters) {
    return std::int64_t(characters / 4 + 1);
}

void Billing::charge(std::int64_t userId, std::int64_t used, const std::string &model) {
    settle({userId, model, 0}, used);
}

} // namespace pindle
