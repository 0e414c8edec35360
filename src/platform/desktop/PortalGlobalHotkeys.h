#pragma once

#include "platform/GlobalHotkeys.h"

#include <QDBusConnection>
#include <QMap>

#include <QCoroTask>

class QDBusMessage;

/// Global shortcuts through the desktop portal (KDE Plasma 5.27, GNOME 48 and later), the way a
/// Wayland session offers them: the desktop owns the keys. Pindle opens one session, asks for its
/// three actions with the user's combinations as the preferred keys, and the desktop says which
/// keys it gave them (its "trigger descriptions") and reports their presses. Where the portal has
/// no shortcuts, unavailableReason() names the commands to bind in the desktop's own settings.
class PortalGlobalHotkeys final : public GlobalHotkeys {
    Q_OBJECT

public:
    explicit PortalGlobalHotkeys(QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject *parent = nullptr);
    ~PortalGlobalHotkeys() override;

    /// Asks the desktop; refuses nothing itself (the desktop's answer comes as desktopAnswered).
    QList<Action> registerAll(const QList<Binding> &bindings) override;
    void unregisterAll() override;
    [[nodiscard]] QString unavailableReason() const override { return m_unavailable; }
    [[nodiscard]] QString triggerDescription(Action action) const override {
        return m_triggers.value(action);
    }

    /// What to bind where the desktop's portal has no shortcuts.
    static const QString commandLineAdvice;
    /// The session's name, the same every start so the desktop recognises Pindle's session and
    /// keeps its keys. KDE files the shortcuts under it.
    static const QString sessionToken;

Q_SIGNALS:
    // A session request has been answered, or failed.
    void sessionSettled(QPrivateSignal);

private Q_SLOTS:
    void onActivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    QCoro::Task<> bind(QList<Binding> bindings, quint64 generation);
    // Asks for the session; m_session stays empty if the desktop refused it.
    QCoro::Task<> createSession(QList<Binding> bindings);
    // The shortcuts the desktop holds for the session, with their triggers.
    QCoro::Task<QVariant> listShortcuts();
    void readTriggers(const QVariant &shortcuts);
    void closeSession();

    QDBusConnection m_bus;
    QString m_session;
    quint64 m_generation = 0;
    QMap<Action, QString> m_triggers;
    QList<Binding> m_bound; // as last asked of the desktop
    bool m_creatingSession = false;
    QString m_unavailable;
};
