#include "platform/GrabTurns.h"

#include <QCoroSignal>

void GrabTurns::Turn::release() {
    const QPointer<GrabTurns> turns = std::exchange(m_turns, nullptr);
    if (!turns)
        return;
    turns->m_busy = false;
    Q_EMIT turns->finished();
}

QCoro::Task<std::optional<GrabTurns::Turn>> GrabTurns::next() {
    QPointer self(this);
    while (m_busy) {
        co_await qCoro(this, &GrabTurns::finished);
        if (!self)
            co_return std::nullopt;
    }
    m_busy = true;
    co_return Turn(this);
}
