#pragma once

#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>

#include <memory>

class X11SelectionWatcher;

/// Notices system trays coming and going: StatusNotifierItem hosts on D-Bus (KDE, Xfce's panel,
/// GNOME's AppIndicator extension) and XEmbed trays on X11. It only says that something changed;
/// whether the application's icon can show is the tray icon's to answer, once Qt has seen the
/// change too: the signal comes a moment later.
class TrayHostWatcher final : public QObject {
    Q_OBJECT

public:
    explicit TrayHostWatcher(QObject *parent = nullptr);
    ~TrayHostWatcher() override;

Q_SIGNALS:
    void changed();

private:
    QTimer m_settled;
    QDBusServiceWatcher m_statusNotifierWatcher;
    std::unique_ptr<X11SelectionWatcher> m_xembedTray;
};
