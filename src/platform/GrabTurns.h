#pragma once

#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include <optional>
#include <utility>

/// Screen grabs one at a time: a second grab would find our windows already hidden and leave
/// them out of its list, or take its picture while the first shows them again.
class GrabTurns final : public QObject {
    Q_OBJECT

public:
    /// Held for the length of one grab; the next one waiting goes once it is gone.
    class Turn {
    public:
        explicit Turn(GrabTurns *turns)
            : m_turns(turns) {}
        Turn(Turn &&other) noexcept
            : m_turns(std::exchange(other.m_turns, nullptr)) {}
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        Turn &operator=(Turn &&other) noexcept {
            if (this != &other) {
                release();
                m_turns = std::exchange(other.m_turns, nullptr);
            }
            return *this;
        }
        ~Turn() { release(); }

    private:
        void release();

        QPointer<GrabTurns> m_turns;
    };

    using QObject::QObject;

    /// Waits for the grabs before this one; empty when the turns went away meanwhile.
    QCoro::Task<std::optional<Turn>> next();

Q_SIGNALS:
    void finished();

private:
    bool m_busy = false;
};
