#pragma once

#include "platform/TrayIcon.h"

#include <QList>
#include <QObject>

class DBusMenuAdaptor;

/// A flat menu as com.canonical.dbusmenu, for a tray that draws the menu itself. Register this
/// object on the bus with QDBusConnection::ExportAdaptors at the path the tray is told about.
class DBusMenuExporter final : public QObject {
    Q_OBJECT

public:
    explicit DBusMenuExporter(QObject *parent = nullptr);
    ~DBusMenuExporter() override;

    /// The menu's items, replacing those before; the tray hears of a new layout revision.
    void setItems(const QList<TrayIcon::Item> &items);

Q_SIGNALS:
    /// The item at this index of `setItems`'s list was clicked; emitted after the bus reply.
    void triggered(int index);

private:
    friend class DBusMenuAdaptor;

    DBusMenuAdaptor *m_adaptor;
    QList<TrayIcon::Item> m_items;
    uint m_revision = 1;
};
