#include "platform/desktop/XfceShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QHash>

#include <QCoroDBusPendingCall>

namespace {

const QString service = QStringLiteral("org.xfce.Xfconf");
const QString path = QStringLiteral("/org/xfce/Xfconf");
const QString interface = QStringLiteral("org.xfce.Xfconf");
const QString channel = QStringLiteral("xfce4-keyboard-shortcuts");

// "popup_menu_key" as "popup menu".
QString readable(QString action) {
    if (action.endsWith(u"_key"))
        action.chop(4);
    return action.replace(u'_', u' ');
}

} // namespace

XfceShortcuts::XfceShortcuts(QObject *parent)
    : DesktopShortcuts(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, interface, QStringLiteral("PropertyChanged"), this,
                SLOT(onPropertyChanged(QString, QString, QDBusVariant)));
    bus.connect(service, path, interface, QStringLiteral("PropertyRemoved"), this,
                SLOT(onPropertyRemoved(QString, QString)));
}

QCoro::Task<QList<DesktopShortcuts::Binding>> XfceShortcuts::bindings() {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface,
                                                          QStringLiteral("GetAllProperties"));
    message << channel << QStringLiteral("/");
    const QDBusMessage reply = co_await QDBusConnection::sessionBus().asyncCall(message);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return {}; // no xfconf in this session
    co_return fromProperties(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
}

QList<DesktopShortcuts::Binding> XfceShortcuts::fromProperties(const QVariantMap &properties) {
    // "/provider/set/accelerator", where the set is "custom" (the user's, complete once made)
    // or "default"; longer paths are options of a shortcut. "/provider/custom/override" says
    // which set is in force, as Xfce reads it; without it, the user's set is where there is one.
    QHash<QString, bool> hasCustom;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QStringList parts = it.key().split(u'/');
        if (parts.size() == 4 && parts[2] == u"custom" && parts[3] != u"override" &&
            !properties.contains(QStringLiteral("/%1/custom/override").arg(parts[1])))
            hasCustom[parts[1]] = true;
        else if (parts.size() == 4 && parts[2] == u"custom" && parts[3] == u"override")
            hasCustom[parts[1]] = it.value().toBool();
    }
    QList<Binding> found;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QStringList parts = it.key().split(u'/');
        if (parts.size() != 4 || parts[2] != (hasCustom.value(parts[1]) ? u"custom" : u"default"))
            continue;
        const std::optional<KeyCombination> combination = KeyCombination::fromAccelerator(parts[3]);
        if (!combination)
            continue;
        const QString action = it.value().toString();
        found.append({*combination, QStringLiteral("Xfce"),
                      parts[1] == u"xfwm4" ? readable(action) : action});
    }
    return found;
}

void XfceShortcuts::onPropertyChanged(const QString &changedChannel, const QString &,
                                      const QDBusVariant &) {
    if (changedChannel == channel)
        Q_EMIT changed();
}

void XfceShortcuts::onPropertyRemoved(const QString &changedChannel, const QString &) {
    if (changedChannel == channel)
        Q_EMIT changed();
}
