#pragma once

#include "platform/DesktopShortcuts.h"

#include <QVariantMap>

class QDBusVariant;

/// Xfce's keyboard shortcuts, the window manager's and the commands', from the xfconf channel
/// `xfce4-keyboard-shortcuts` over D-Bus; xfconf reports every change.
class XfceShortcuts final : public DesktopShortcuts {
    Q_OBJECT

public:
    explicit XfceShortcuts(QObject *parent = nullptr);

    QCoro::Task<QList<Binding>> bindings() override;

    /// The channel's properties ("/xfwm4/custom/<Alt>space" = "popup_menu_key"): the user's own
    /// set of each provider where there is one, else its defaults.
    [[nodiscard]] static QList<Binding> fromProperties(const QVariantMap &properties);

private Q_SLOTS:
    void onPropertyChanged(const QString &channel, const QString &property,
                           const QDBusVariant &value);
    void onPropertyRemoved(const QString &channel, const QString &property);
};
