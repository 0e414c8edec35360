#pragma once

#include "platform/GlobalHotkeys.h"

#include "platform/desktop/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <optional>

class PortalError;
class QDBusMessage;

/// How long PortalGlobalHotkeys waits for the desktop portal, and how often it asks again.
struct PortalPatience {
    /// For the answer to one request (a session, the list of the shortcuts).
    std::chrono::milliseconds answer = std::chrono::seconds(30);
    /// Before asking again after a request failed; doubled after each failure up to the longest.
    std::chrono::milliseconds firstRetry = std::chrono::seconds(2);
    std::chrono::milliseconds longestRetry = std::chrono::minutes(1);
    /// How long the session may have no portal at all before it is taken to have none.
    std::chrono::milliseconds portalAbsence = std::chrono::minutes(1);
};

/// Global shortcuts through the desktop portal (KDE Plasma 5.27, GNOME 48 and later), the way a
/// Wayland session offers them: the desktop owns the keys. Pindle opens one session, asks for its
/// three actions with the user's combinations as the preferred keys, and the desktop says which
/// keys it gave them (its "trigger descriptions") and reports their presses. At the first
/// registration the desktop's keys stand (the user may have changed them there); a combination
/// changed in Pindle after that is bound anew. A request that fails is asked again, later and
/// as soon as a portal appears; only a lasting refusal makes the shortcuts unavailable, and where
/// the portal has no shortcuts unavailableReason() names the commands to bind in the desktop's
/// own settings.
class PortalGlobalHotkeys final : public GlobalHotkeys {
    Q_OBJECT

public:
    explicit PortalGlobalHotkeys(QDBusConnection bus = portalBus(), PortalPatience patience = {},
                                 QObject *parent = nullptr);
    ~PortalGlobalHotkeys() override;

    /// Asks the desktop; refuses nothing itself (the desktop's answer comes as desktopAnswered).
    QList<Action> registerAll(const QList<Binding> &bindings) override;
    void unregisterAll() override;
    [[nodiscard]] QString unavailableReason() const override { return m_unavailable; }
    [[nodiscard]] QString confirmationNote() const override;
    [[nodiscard]] bool pending() const override { return m_pending; }
    void chosen(Action action) override { m_chosen.append(action); }
    [[nodiscard]] QString triggerDescription(Action action) const override {
        return m_triggers.value(action);
    }

    /// What to bind where the desktop's portal has no shortcuts, in English (unavailableReason()
    /// says it in the user's language).
    static const QString commandLineAdvice;
    /// The session's name, the same every start so the desktop recognises Pindle's session and
    /// keeps its keys. KDE files the shortcuts under it.
    static const QString sessionToken;

Q_SIGNALS:
    // A session request has been answered, or failed: for the requests waiting on it. (Not a
    // QPrivateSignal: awaited through qCoro, one is bound to a null reference.)
    void sessionSettled();

private Q_SLOTS:
    void onActivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    QCoro::Task<> bind(QList<Binding> bindings, quint64 generation);
    // Asks for the session; throws PortalError when there is none.
    QCoro::Task<> createSession(QList<Binding> bindings);
    // The shortcuts the desktop holds for the session, with their triggers.
    QCoro::Task<QVariant> listShortcuts();
    // Asks the desktop to bind `rebound` to Pindle's combinations; the shortcuts it then holds,
    // where its answer names them.
    QCoro::Task<std::optional<QVariant>> bindShortcuts(QList<Binding> bindings,
                                                       QList<Action> rebound);
    // KDE: closes the session and has kglobalaccel forget the actions' keys, so that the next
    // session's preferred keys are taken.
    QCoro::Task<> forgetKeysInKde(QString component, QList<Action> actions, quint64 generation);
    void readTriggers(const QVariant &shortcuts);
    void closeSession();
    void retry();
    void failed(const PortalError &error);
    void onPortalOwnerChanged(const QString &oldOwner, const QString &newOwner);

    QDBusConnection m_bus;
    PortalPatience m_patience;
    QString m_session;
    bool m_creatingSession = false;
    quint64 m_generation = 0;
    QMap<Action, QString> m_triggers;
    // What Pindle asks for now; none while the shortcuts are given back.
    std::optional<QList<Binding>> m_wanted;
    // What the desktop's keys stand for: a combination changed since is bound again.
    std::optional<QList<Binding>> m_agreed;
    bool m_pending = false;
    QString m_unavailable;
    QTimer m_retry;
    std::chrono::milliseconds m_retryDelay;
    // Since when no portal has been found; invalid while there is one.
    QElapsedTimer m_portalMissing;
    // A session refused right after an unanswered one may have met that one's late answer.
    bool m_refusedOnce = false;
    // Requests the portal refused in a row.
    int m_refusals = 0;
    // A session request went unanswered: the portal may yet make that session.
    bool m_lateSession = false;
    // Chosen by the user since the last registration: bound even where the desktop agreed.
    QList<Action> m_chosen;
    QDBusServiceWatcher m_portalWatcher;
};
