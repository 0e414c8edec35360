#include "app/Notices.h"

#include "services/SettingsManager.h"

#include <QPointer>

#include <algorithm>

#include <QCoroTimer>

using namespace std::chrono_literals;

Notices::Notices(TrayIcon &tray, SettingsManager &settings, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
    , m_settings(settings) {
    connect(&m_notifications, &DesktopNotifications::actionInvoked, this, &Notices::actionInvoked);
    m_tray.onMessageClicked = [this] { Q_EMIT actionInvoked(m_balloonAction); };
}

QCoro::Task<> Notices::notifyOnce(QStringList ids, QString title, QString message,
                                  QList<Button> buttons) {
    if (std::all_of(ids.cbegin(), ids.cend(),
                    [this](const QString &id) { return m_settings.noticeShown(id); }))
        co_return;
    QPointer self(this);
    const bool shown = co_await notify(title, message, std::move(buttons));
    if (self && shown)
        for (const QString &id : std::as_const(ids))
            m_settings.setNoticeShown(id);
}

QCoro::Task<bool> Notices::notify(QString title, QString message, QList<Button> buttons) {
    Q_EMIT notified(title, message);
    QPointer self(this);
    const QString action = buttons.isEmpty() ? QString() : buttons.constFirst().key;
    if (co_await m_notifications.notify(title, message, std::move(buttons)))
        co_return true;
    if (!self || !m_tray.isVisible()) {
        qWarning("%s: %s", qPrintable(title), qPrintable(message));
        co_return false;
    }
    // The balloon points at the icon, which an XEmbed tray places a moment after it appears.
    for (int tries = 0; tries < 30; ++tries) {
        const QRect icon = m_tray.geometry();
        if (icon.isEmpty() || !icon.topLeft().isNull())
            break;
        co_await QCoro::sleepFor(100ms);
        if (!self)
            co_return false;
    }
    m_balloonAction = action;
    if (m_tray.showMessage(title, message))
        co_return true;
    qWarning("%s: %s", qPrintable(title), qPrintable(message));
    co_return false;
}
