#pragma once

#include "platform/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

/// The tray icon through Qt Widgets: an XEmbed icon, or a StatusNotifierItem where Qt finds a
/// host. Needs a QApplication; it lives in pindle-widgets.so with the application object, for
/// the desktops whose tray only takes XEmbed icons.
class WidgetsTrayIcon final : public TrayIcon {
public:
    WidgetsTrayIcon();

    void show(const QString &iconName, const QIcon &icon, const QString &toolTip) override;
    void setMenu(const QList<Item> &items) override;
    [[nodiscard]] bool isVisible() const override;
    [[nodiscard]] QRect geometry() const override;
    bool showMessage(const QString &title, const QString &message) override;

private:
    QSystemTrayIcon m_tray;
    QMenu m_menu;
};
