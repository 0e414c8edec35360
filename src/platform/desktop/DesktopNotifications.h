#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <QCoroTask>

#include <optional>

/// Desktop notifications (org.freedesktop.Notifications): how a program with no window on screen
/// tells the user something, on every desktop that runs a notification service.
class DesktopNotifications final : public QObject {
    Q_OBJECT

public:
    /// A button on the notification: `key` comes back through actionInvoked.
    struct Button {
        QString key;
        QString label;
    };

    explicit DesktopNotifications(QObject *parent = nullptr);

    /// Shows a notification. False when no notification service took it: the caller finds
    /// another way to tell the user.
    QCoro::Task<bool> notify(QString title, QString body, QList<Button> buttons = {});

Q_SIGNALS:
    void actionInvoked(const QString &key);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &key);

private:
    QSet<uint> m_shown;
    // Whether the service reads the body as markup, asked once.
    std::optional<bool> m_markup;
};
