#include "platform/desktop/DBusMenuExporter.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QGuiApplication>

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

Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItemProperties)
Q_DECLARE_METATYPE(DBusMenuEvent)

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

/// com.canonical.dbusmenu: one level of items under the root, ids counted from 1.
class DBusMenuAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuAdaptor(DBusMenuExporter &menu)
        : QDBusAbstractAdaptor(&menu)
        , m_menu(menu) {}

    [[nodiscard]] uint version() const { return 3; }
    [[nodiscard]] QString textDirection() const {
        return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
    }
    [[nodiscard]] QString status() const { return QStringLiteral("normal"); }
    [[nodiscard]] QStringList iconThemePath() const { return {}; }

    void changed() { Q_EMIT LayoutUpdated(m_menu.m_revision, 0); }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   DBusMenuLayout &layout) {
        layout = {parentId, {}, {}};
        if (parentId == 0) {
            layout.properties = {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
            if (recursionDepth != 0)
                for (int index = 0; index < m_menu.m_items.size(); ++index)
                    layout.children.append(
                        {index + 1,
                         only(propertiesOf(m_menu.m_items.at(index)), propertyNames),
                         {}});
        } else if (const TrayIcon::Item *item = itemOf(parentId)) {
            layout.properties = only(propertiesOf(*item), propertyNames);
        }
        return m_menu.m_revision;
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
            &m_menu, [menu = &m_menu, index = id - 1] { Q_EMIT menu->triggered(index); },
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
        return id >= 1 && id <= m_menu.m_items.size() ? &m_menu.m_items.at(id - 1) : nullptr;
    }

    DBusMenuExporter &m_menu;
};

DBusMenuExporter::DBusMenuExporter(QObject *parent)
    : QObject(parent) {
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusMenuLayout>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        qDBusRegisterMetaType<QList<QStringList>>();
        return true;
    }();
    Q_UNUSED(registered);
    m_adaptor = new DBusMenuAdaptor(*this);
}

DBusMenuExporter::~DBusMenuExporter() = default;

void DBusMenuExporter::setItems(const QList<TrayIcon::Item> &items) {
    m_items = items;
    ++m_revision;
    m_adaptor->changed();
}

#include "DBusMenuExporter.moc"
