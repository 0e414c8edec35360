#include "platform/desktop/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>
#include <QGuiApplication>
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

/// A DBusMenu node with its children, each sent as a variant.
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)

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

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayout &layout) {
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout &child : layout.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayout &layout) {
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    argument.beginArray();
    layout.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        DBusMenuLayout node;
        qvariant_cast<QDBusArgument>(child.variant()) >> node;
        layout.children.append(node);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
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

// DBusMenu names keys as GTK does: "Control", "Alt", "Shift", "Super", then the key.
QList<QStringList> shortcutOf(const QKeySequence &sequence) {
    QList<QStringList> chords;
    for (int i = 0; i < sequence.count(); ++i) {
        const QKeyCombination combination = sequence[uint(i)];
        QStringList keys;
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        if (modifiers & Qt::ControlModifier)
            keys.append(QStringLiteral("Control"));
        if (modifiers & Qt::AltModifier)
            keys.append(QStringLiteral("Alt"));
        if (modifiers & Qt::ShiftModifier)
            keys.append(QStringLiteral("Shift"));
        if (modifiers & Qt::MetaModifier)
            keys.append(QStringLiteral("Super"));
        keys.append(QKeySequence(combination.key()).toString(QKeySequence::PortableText));
        chords.append(keys);
    }
    return chords;
}

QVariantMap propertiesOf(const TrayIcon::Item &item) {
    if (item.separator)
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    QVariantMap properties{
        // An underscore marks a mnemonic; ours are literal.
        {QStringLiteral("label"), QString(item.text).replace(u'_', QStringLiteral("__"))},
        {QStringLiteral("enabled"), true},
        {QStringLiteral("visible"), true}};
    if (!item.shortcut.isEmpty())
        properties.insert(QStringLiteral("shortcut"),
                          QVariant::fromValue(shortcutOf(item.shortcut)));
    return properties;
}

QVariantMap only(QVariantMap properties, const QStringList &names) {
    if (names.isEmpty())
        return properties;
    for (auto it = properties.begin(); it != properties.end();)
        it = names.contains(it.key()) ? std::next(it) : properties.erase(it);
    return properties;
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

/// com.canonical.dbusmenu at /MenuBar: one level of items under the root, ids counted from 1.
class DBusMenuAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    DBusMenuAdaptor(QObject &object, StatusNotifierItem &item)
        : QDBusAbstractAdaptor(&object)
        , m_item(item) {}

    [[nodiscard]] uint version() const { return 3; }
    [[nodiscard]] QString textDirection() const {
        return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
    }
    [[nodiscard]] QString status() const { return QStringLiteral("normal"); }
    [[nodiscard]] QStringList iconThemePath() const { return {}; }

    void changed() { Q_EMIT LayoutUpdated(m_item.m_revision, 0); }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   DBusMenuLayout &layout) {
        layout = {parentId, {}, {}};
        if (parentId == 0) {
            layout.properties = {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
            if (recursionDepth != 0)
                for (int index = 0; index < m_item.m_items.size(); ++index)
                    layout.children.append(
                        {index + 1,
                         only(propertiesOf(m_item.m_items.at(index)), propertyNames),
                         {}});
        } else if (const TrayIcon::Item *item = itemOf(parentId)) {
            layout.properties = only(propertiesOf(*item), propertyNames);
        }
        return m_item.m_revision;
    }

    QList<DBusMenuItemProperties> GetGroupProperties(const QList<int> &ids,
                                                     const QStringList &propertyNames) {
        QList<DBusMenuItemProperties> answer;
        for (const int id : ids)
            if (const TrayIcon::Item *item = itemOf(id))
                answer.append({id, only(propertiesOf(*item), propertyNames)});
        return answer;
    }

    QDBusVariant GetProperty(int id, const QString &name) {
        const TrayIcon::Item *item = itemOf(id);
        return QDBusVariant(item ? propertiesOf(*item).value(name) : QVariant());
    }

    void Event(int id, const QString &eventId, const QDBusVariant &, uint) {
        if (eventId != u"clicked" || !itemOf(id) || itemOf(id)->separator)
            return;
        // After the reply: the action may open a window or quit.
        QMetaObject::invokeMethod(
            &m_item,
            [item = &m_item, index = id - 1] {
                if (item->onTriggered)
                    item->onTriggered(index);
            },
            Qt::QueuedConnection);
    }

    QList<int> EventGroup(const QList<DBusMenuEvent> &events) {
        QList<int> unknown;
        for (const DBusMenuEvent &event : events) {
            if (itemOf(event.id))
                Event(event.id, event.eventId, event.data, event.timestamp);
            else
                unknown.append(event.id);
        }
        return unknown;
    }

    bool AboutToShow(int) { return false; }

    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors) {
        for (const int id : ids)
            if (id != 0 && !itemOf(id))
                idErrors.append(id);
        return {};
    }

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemsPropertiesUpdated(const QList<DBusMenuItemProperties> &updated,
                                const QList<DBusMenuItemProperties> &removed);
    void ItemActivationRequested(int id, uint timestamp);

private:
    [[nodiscard]] const TrayIcon::Item *itemOf(int id) const {
        return id >= 1 && id <= m_item.m_items.size() ? &m_item.m_items.at(id - 1) : nullptr;
    }

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
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        qDBusRegisterMetaType<QList<QStringList>>();
        return true;
    }();
    Q_UNUSED(registered);
    m_itemAdaptor = new StatusNotifierItemAdaptor(*this);
    m_menuAdaptor = new DBusMenuAdaptor(m_menuObject, *this);
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
        m_bus.registerObject(QLatin1String(menuPath), &m_menuObject,
                             QDBusConnection::ExportAdaptors);
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
    m_items = items;
    ++m_revision;
    m_menuAdaptor->changed();
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
