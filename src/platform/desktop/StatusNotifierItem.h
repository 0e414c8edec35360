#pragma once

#include "platform/TrayIcon.h"
#include "platform/desktop/DBusMenuExporter.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

class StatusNotifierItemAdaptor;

/// The tray icon as a StatusNotifierItem with a DBusMenu (KDE Plasma, Xfce's panel, GNOME's
/// AppIndicator extension, and most panels since): the desktop's tray draws the icon and the
/// menu, so Pindle needs no widgets for them. It registers with the session's
/// StatusNotifierWatcher, and again whenever a watcher comes back.
class StatusNotifierItem final : public QObject, public TrayIcon {
    Q_OBJECT

public:
    static constexpr char itemPath[] = "/StatusNotifierItem";
    static constexpr char menuPath[] = "/MenuBar";

    explicit StatusNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    /// Whether the session has a StatusNotifierWatcher with a host behind it: a tray that will
    /// show the item. Asked without Qt D-Bus, so it needs no application object.
    [[nodiscard]] static bool hostPresent();

    void show(const QString &iconName, const QIcon &icon, const QString &toolTip) override;
    void setMenu(const QList<Item> &items) override;
    [[nodiscard]] bool isVisible() const override;

    /// The bus name the item is known by.
    [[nodiscard]] QString serviceName() const { return m_service; }

private Q_SLOTS:
    void askForHost();

private:
    friend class StatusNotifierItemAdaptor;

    void registerWithWatcher();
    void setVisible(bool registered, bool hostRegistered);

    QDBusConnection m_bus;
    QString m_service;
    QDBusServiceWatcher m_watcher;
    DBusMenuExporter m_menu;
    StatusNotifierItemAdaptor *m_itemAdaptor;
    QString m_iconName;
    QIcon m_icon;
    QString m_toolTip;
    bool m_shown = false;
    bool m_registered = false;
    bool m_hostRegistered = false;
};
