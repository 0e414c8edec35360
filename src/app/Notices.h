#pragma once

#include "platform/TrayIcon.h"
#include "platform/desktop/DesktopNotifications.h"

#include <QObject>
#include <QStringList>

#include <QCoroTask>

class SettingsManager;

/// Tells the user things the application has no window for: as a desktop notification where a
/// notification service runs, else as a balloon from the tray icon, else on the terminal. A
/// notice given ids is not told again once the user has seen it, in this session or a later one.
class Notices final : public QObject {
    Q_OBJECT

public:
    using Button = DesktopNotifications::Button;

    Notices(TrayIcon &tray, SettingsManager &settings, QObject *parent = nullptr);

    /// False when neither a notification nor a balloon could show it.
    QCoro::Task<bool> notify(QString title, QString message, QList<Button> buttons = {});
    /// Tells what the notices `ids` say, unless the user has seen them all already.
    QCoro::Task<> notifyOnce(QStringList ids, QString title, QString message,
                             QList<Button> buttons = {});

Q_SIGNALS:
    /// Every notice, as it is told.
    void notified(const QString &title, const QString &message);
    /// A notice's button was pressed (a click on a balloon counts as its first button).
    void actionInvoked(const QString &key);

private:
    TrayIcon &m_tray;
    SettingsManager &m_settings;
    DesktopNotifications m_notifications;
    // The first button of the notice last shown as a balloon.
    QString m_balloonAction;
};
