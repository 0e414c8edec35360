#pragma once

#include "platform/DesktopAppearance.h"

#include <QDBusConnection>
#include <QDBusVariant>

/// The preference the desktop portal's settings hold (org.freedesktop.appearance: color-scheme
/// and accent-color), read at start and followed as the user changes it. Without a portal it
/// stays light.
class PortalAppearance final : public DesktopAppearance {
    Q_OBJECT

public:
    explicit PortalAppearance(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QObject *parent = nullptr);

    /// The colour an accent-color value names: "#rrggbb", or empty for the portal's "unset"
    /// (components outside 0..1) or a value of another type.
    [[nodiscard]] static QString accentFrom(const QVariant &value);

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void read(const QString &key, bool nested);
    void take(const QString &key, const QVariant &value);

    QDBusConnection m_bus;
};
