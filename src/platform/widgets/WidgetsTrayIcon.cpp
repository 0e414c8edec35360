#include "platform/widgets/WidgetsTrayIcon.h"

WidgetsTrayIcon::WidgetsTrayIcon() {
    m_tray.setContextMenu(&m_menu);
    // A left click opens the same menu, as a status item's does.
    QObject::connect(&m_tray, &QSystemTrayIcon::activated, &m_menu,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger)
                             m_menu.popup(QCursor::pos());
                     });
    QObject::connect(&m_tray, &QSystemTrayIcon::messageClicked, &m_menu, [this] {
        if (onMessageClicked)
            onMessageClicked();
    });
}

void WidgetsTrayIcon::show(const QString &iconName, const QIcon &icon, const QString &toolTip) {
    m_tray.setIcon(QIcon::fromTheme(iconName, icon));
    m_tray.setToolTip(toolTip);
    m_tray.show();
}

void WidgetsTrayIcon::setMenu(const QList<Item> &items) {
    m_menu.clear();
    for (int index = 0; index < items.size(); ++index) {
        const Item &item = items.at(index);
        if (item.separator) {
            m_menu.addSeparator();
            continue;
        }
        QAction *action = m_menu.addAction(item.text);
        action->setShortcut(item.shortcut);
        QObject::connect(action, &QAction::triggered, &m_menu, [this, index] {
            if (onTriggered)
                onTriggered(index);
        });
    }
}

bool WidgetsTrayIcon::isVisible() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QRect WidgetsTrayIcon::geometry() const {
    return m_tray.geometry();
}

bool WidgetsTrayIcon::showMessage(const QString &title, const QString &message) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    m_tray.showMessage(title, message, QSystemTrayIcon::Warning, 8000);
    return true;
}
