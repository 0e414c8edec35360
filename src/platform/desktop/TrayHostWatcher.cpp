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
    m_settled.setSingleShot(true);
    m_settled.setInterval(200);
    connect(&m_settled, &QTimer::timeout, this, &TrayHostWatcher::changed);
    const auto settle = [this] { m_settled.start(); };
    connect(&m_statusNotifierWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, settle);
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        QDBusConnection::sessionBus().connect(
            watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
            QString::fromLatin1(signal), &m_settled, SLOT(start()));
    connect(m_xembedTray.get(), &X11SelectionWatcher::ownerChanged, this, settle);
}

TrayHostWatcher::~TrayHostWatcher() = default;
