#include "platform/desktop/PortalAppearance.h"

#include <QColor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString accentKey = QStringLiteral("accent-color");

// A variant as D-Bus hands it over: nested variants unwrapped.
QVariant unwrapped(QVariant value) {
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

} // namespace

PortalAppearance::PortalAppearance(QDBusConnection bus, QObject *parent)
    : DesktopAppearance(parent)
    , m_bus(std::move(bus)) {
    m_bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                  this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    read(colorSchemeKey, false);
    read(accentKey, false);
}

void PortalAppearance::read(const QString &key, bool nested) {
    // ReadOne came with version 2 of the interface; Read, its forerunner, wraps the value in one
    // variant more.
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                       nested ? QStringLiteral("Read") : QStringLiteral("ReadOne"));
    call << appearanceGroup << key;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key, nested] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        if (reply.isError()) {
            if (!nested && reply.error().type() == QDBusError::UnknownMethod)
                read(key, true);
            return; // no portal, or a setting it does not have: the default holds
        }
        take(key, unwrapped(reply.argumentAt(0)));
    });
}

void PortalAppearance::settingChanged(const QString &group, const QString &key,
                                      const QDBusVariant &value) {
    if (group == appearanceGroup)
        take(key, unwrapped(value.variant()));
}

void PortalAppearance::take(const QString &key, const QVariant &value) {
    if (key == colorSchemeKey)
        set(value.toUInt() == 1, accent()); // 0: no preference, 1: dark, 2: light
    else if (key == accentKey)
        set(dark(), accentFrom(value));
}

QString PortalAppearance::accentFrom(const QVariant &value) {
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return {};
    const auto argument = qvariant_cast<QDBusArgument>(value);
    if (argument.currentSignature() != u"(ddd)")
        return {};
    double red = -1, green = -1, blue = -1;
    argument.beginStructure();
    argument >> red >> green >> blue;
    argument.endStructure();
    const auto inRange = [](double c) { return c >= 0 && c <= 1; };
    if (!inRange(red) || !inRange(green) || !inRange(blue))
        return {};
    return QColor::fromRgbF(float(red), float(green), float(blue)).name();
}
