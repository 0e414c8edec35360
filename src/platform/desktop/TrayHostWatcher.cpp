#include "platform/desktop/TrayHostWatcher.h"

#include "platform/x11/X11SelectionWatcher.h"

#include <QDBusConnection>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

TrayHostWatcher::TrayHostWatcher(QObject *parent)
    : QObject(parent)
    , m_statusNotifierWatcher(watcherService, QDBusConnection::sessionBus(),
                              QDBusServiceWatcher::WatchForOwnerChange)
    , m_xembedTray(std::make_unique<X11SelectionWatcher>("_NET_SYSTEM_TRAY_S0")) {
    connect(&m_statusNotifierWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &TrayHostWatcher::changed);
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        QDBusConnection::sessionBus().connect(
            watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
            QString::fromLatin1(signal), this, SIGNAL(changed()));
    connect(m_xembedTray.get(), &X11SelectionWatcher::ownerChanged, this,
            &TrayHostWatcher::changed);
}

TrayHostWatcher::~TrayHostWatcher() = default;
