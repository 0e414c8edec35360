#include "platform/desktop/DesktopNotifications.h"

#include "core/AppId.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <QCoroDBusPendingCall>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifications::DesktopNotifications(QObject *parent)
    : QObject(parent) {
    QDBusConnection::sessionBus().connect(service, path, service, QStringLiteral("ActionInvoked"),
                                          this, SLOT(onActionInvoked(uint, QString)));
}

QCoro::Task<bool> DesktopNotifications::notify(QString title, QString body, QList<Button> buttons) {
    QPointer self(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_markup) {
        const QDBusMessage capabilities = co_await bus.asyncCall(QDBusMessage::createMethodCall(
            service, path, service, QStringLiteral("GetCapabilities")));
        if (!self || capabilities.type() != QDBusMessage::ReplyMessage)
            co_return false;
        m_markup = capabilities.arguments().value(0).toStringList().contains(u"body-markup");
    }
    QStringList actions;
    for (const Button &button : buttons)
        actions << button.key << button.label;
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    message << QStringLiteral("Pindle") << 0u << QString() << title
            << (*m_markup ? body.toHtmlEscaped() : body) << actions
            << QVariantMap{{QStringLiteral("desktop-entry"), pindleAppId}} << -1;
    const QDBusMessage reply = co_await bus.asyncCall(message);
    if (!self || reply.type() != QDBusMessage::ReplyMessage)
        co_return false;
    m_shown.insert(reply.arguments().value(0).toUInt());
    co_return true;
}

void DesktopNotifications::onActionInvoked(uint id, const QString &key) {
    if (m_shown.contains(id))
        Q_EMIT actionInvoked(key);
}
