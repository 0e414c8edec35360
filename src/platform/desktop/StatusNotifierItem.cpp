#include "platform/desktop/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>

#include <dbus/dbus.h>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

/// One picture of the icon: ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};

struct SniToolTip {
    QString iconName;
    QList<SniPixmap> pixmaps;
    QString title;
    QString text;
};

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)

QDBusArgument &operator<<(QDBusArgument &argument, const SniPixmap &pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniPixmap &pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

namespace {

QList<SniPixmap> pixmapsOf(const QIcon &icon) {
    QList<SniPixmap> pixmaps;
    for (const int size : {16, 22, 32, 48}) {
        QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

} // namespace

/// org.kde.StatusNotifierItem at /StatusNotifierItem.
class StatusNotifierItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ none)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<SniPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(QList<SniPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ none)
    Q_PROPERTY(QList<SniPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem &item)
        : QDBusAbstractAdaptor(&item)
        , m_item(item) {}

    [[nodiscard]] QString category() const { return QStringLiteral("ApplicationStatus"); }
    [[nodiscard]] QString id() const { return QCoreApplication::applicationName(); }
    [[nodiscard]] QString title() const { return m_item.m_toolTip; }
    [[nodiscard]] QString status() const {
        return m_item.m_shown ? QStringLiteral("Active") : QStringLiteral("Passive");
    }
    [[nodiscard]] int windowId() const { return 0; }
    [[nodiscard]] QString none() const { return {}; }
    [[nodiscard]] QString iconName() const {
        // A name the tray's theme may lack would show nothing: only one ours has too.
        return QIcon::hasThemeIcon(m_item.m_iconName) ? m_item.m_iconName : QString();
    }
    [[nodiscard]] QList<SniPixmap> iconPixmap() const { return pixmapsOf(m_item.m_icon); }
    [[nodiscard]] QList<SniPixmap> noPixmaps() const { return {}; }
    [[nodiscard]] SniToolTip toolTip() const { return {iconName(), {}, m_item.m_toolTip, {}}; }
    [[nodiscard]] bool itemIsMenu() const { return true; }
    [[nodiscard]] QDBusObjectPath menu() const {
        return QDBusObjectPath(QLatin1String(StatusNotifierItem::menuPath));
    }

public Q_SLOTS:
    // Every click opens the menu, which the tray shows itself (ItemIsMenu).
    void Activate(int, int) {}
    void SecondaryActivate(int, int) {}
    void ContextMenu(int, int) {}
    void Scroll(int, const QString &) {}
    void ProvideXdgActivationToken(const QString &) {}

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    StatusNotifierItem &m_item;
};

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_service(
          QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid()))
    , m_watcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<QList<SniPixmap>>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    Q_UNUSED(registered);
    m_itemAdaptor = new StatusNotifierItemAdaptor(*this);
    connect(&m_menu, &DBusMenuExporter::triggered, this, [this](int index) {
        if (onTriggered)
            onTriggered(index);
    });
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                setVisible(false, false);
                if (!owner.isEmpty())
                    registerWithWatcher();
            });
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        m_bus.connect(watcherService, watcherPath, watcherService, QString::fromLatin1(signal),
                      this, SLOT(askForHost()));
}

StatusNotifierItem::~StatusNotifierItem() {
    m_bus.unregisterObject(QLatin1String(menuPath));
    m_bus.unregisterObject(QLatin1String(itemPath));
    m_bus.unregisterService(m_service);
}

void StatusNotifierItem::show(const QString &iconName, const QIcon &icon, const QString &toolTip) {
    m_iconName = iconName;
    m_icon = icon;
    m_toolTip = toolTip;
    if (!std::exchange(m_shown, true)) {
        m_bus.registerObject(QLatin1String(itemPath), this, QDBusConnection::ExportAdaptors);
        m_bus.registerObject(QLatin1String(menuPath), &m_menu, QDBusConnection::ExportAdaptors);
        if (!m_bus.registerService(m_service))
            qWarning("The tray icon could not take its bus name %s: %s", qPrintable(m_service),
                     qPrintable(m_bus.lastError().message()));
        registerWithWatcher();
        return;
    }
    Q_EMIT m_itemAdaptor->NewIcon();
    Q_EMIT m_itemAdaptor->NewToolTip();
}

void StatusNotifierItem::setMenu(const QList<Item> &items) {
    m_menu.setItems(items);
}

bool StatusNotifierItem::isVisible() const {
    return m_registered && m_hostRegistered;
}

void StatusNotifierItem::registerWithWatcher() {
    if (!m_shown)
        return;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    auto *pending =
        new QDBusPendingCallWatcher(m_bus.asyncCall(QDBusMessage(call) << m_service), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const bool registered = !w->isError();
        setVisible(registered, m_hostRegistered);
        if (registered)
            askForHost();
    });
}

void StatusNotifierItem::askForHost() {
    QDBusMessage call = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                       propertiesInterface, QStringLiteral("Get"));
    call << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        setVisible(m_registered, !reply.isError() && reply.value().variant().toBool());
    });
}

void StatusNotifierItem::setVisible(bool registered, bool hostRegistered) {
    const bool before = isVisible();
    m_registered = registered;
    m_hostRegistered = hostRegistered;
    if (before != isVisible() && onVisibilityChanged)
        onVisibilityChanged();
}

bool StatusNotifierItem::hostPresent() {
    // Without a session bus libdbus would try to launch one for the X display: no tray then.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus"))))
        return false;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!connection) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(connection, false);
    bool present = false;
    DBusMessage *call =
        dbus_message_new_method_call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                     "org.freedesktop.DBus.Properties", "Get");
    const char *interface = "org.kde.StatusNotifierWatcher";
    const char *property = "IsStatusNotifierHostRegistered";
    // Never starts a watcher: only one already running counts.
    dbus_message_set_auto_start(call, false);
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    if (DBusMessage *reply =
            dbus_connection_send_with_reply_and_block(connection, call, 1000, &error)) {
        DBusMessageIter iterator;
        DBusMessageIter variant;
        if (dbus_message_iter_init(reply, &iterator) &&
            dbus_message_iter_get_arg_type(&iterator) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iterator, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
                dbus_bool_t value = false;
                dbus_message_iter_get_basic(&variant, &value);
                present = value;
            }
        }
        dbus_message_unref(reply);
    }
    dbus_error_free(&error);
    dbus_message_unref(call);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return present;
}

#include "StatusNotifierItem.moc"
