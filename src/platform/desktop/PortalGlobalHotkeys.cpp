#include "platform/desktop/PortalGlobalHotkeys.h"

#include "platform/desktop/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QPointer>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// One shortcut as the portal lists them: an id and its properties.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// What the desktop's shortcut settings list the action as.
QString description(GlobalHotkeys::Action action) {
    switch (action) {
    case GlobalHotkeys::Action::ToggleOverlay:
        return QStringLiteral("Show or hide the overlay");
    case GlobalHotkeys::Action::CaptureScreen:
        return QStringLiteral("Ask about the screen");
    case GlobalHotkeys::Action::ToggleTypingMode:
        return QStringLiteral("Switch typing mode");
    }
    return {};
}

QList<PortalShortcut> portalShortcuts(const QList<GlobalHotkeys::Binding> &bindings) {
    QList<PortalShortcut> shortcuts;
    for (const auto &[action, combination] : bindings)
        shortcuts.append({GlobalHotkeys::actionId(action),
                          {{QStringLiteral("description"), description(action)},
                           {QStringLiteral("preferred_trigger"), combination.toPortalTrigger()}}});
    return shortcuts;
}

// KDE names the session with a string, the portal documentation with an object path.
QString pathOf(const QVariant &handle) {
    if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return handle.value<QDBusObjectPath>().path();
    return handle.toString();
}

} // namespace

const QString PortalGlobalHotkeys::sessionToken = QStringLiteral("pindle");

const QString PortalGlobalHotkeys::commandLineAdvice = QStringLiteral(
    "This desktop does not let applications take keyboard shortcuts. In its keyboard settings, "
    "add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and "
    "pindle --type-mode.");

PortalGlobalHotkeys::PortalGlobalHotkeys(QDBusConnection bus, QObject *parent)
    : GlobalHotkeys(parent)
    , m_bus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(portalService, portalObject, shortcutsInterface, QStringLiteral("Activated"),
                  this, SLOT(onActivated(QDBusMessage)));
    m_bus.connect(portalService, portalObject, shortcutsInterface,
                  QStringLiteral("ShortcutsChanged"), this, SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() {
    closeSession();
}

QList<GlobalHotkeys::Action> PortalGlobalHotkeys::registerAll(const QList<Binding> &bindings) {
    bind(bindings, ++m_generation);
    return {};
}

void PortalGlobalHotkeys::unregisterAll() {
    ++m_generation;
    closeSession();
    m_triggers.clear();
}

void PortalGlobalHotkeys::closeSession() {
    if (m_session.isEmpty())
        return;
    m_bus.send(QDBusMessage::createMethodCall(portalService, m_session,
                                              QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")));
    m_session.clear();
}

QCoro::Task<> PortalGlobalHotkeys::bind(QList<Binding> bindings, quint64 generation) {
    QPointer self(this);
    const QList<PortalShortcut> shortcuts = portalShortcuts(bindings);
    try {
        if (m_session.isEmpty()) {
            const QString token = newPortalToken();
            QDBusMessage create = QDBusMessage::createMethodCall(
                portalService, portalObject, shortcutsInterface, QStringLiteral("CreateSession"));
            // KDE 5.27 takes the shortcuts from here; its BindShortcuts only opens its settings.
            create << QVariantMap{{QStringLiteral("handle_token"), token},
                                  {QStringLiteral("session_handle_token"), sessionToken},
                                  {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}};
            const PortalAnswer created = co_await askPortal(m_bus, create, token, 30s);
            if (!self || generation != m_generation)
                co_return;
            m_session = pathOf(created.results.value(QStringLiteral("session_handle")));
            if (created.response != 0 || m_session.isEmpty()) {
                m_session.clear();
                m_unavailable = QStringLiteral("The desktop refused Pindle's keyboard shortcuts.");
                Q_EMIT desktopAnswered();
                co_return;
            }
        }
        const QString token = newPortalToken();
        QDBusMessage bindCall = QDBusMessage::createMethodCall(
            portalService, portalObject, shortcutsInterface, QStringLiteral("BindShortcuts"));
        bindCall << QVariant::fromValue(QDBusObjectPath(m_session))
                 << QVariant::fromValue(shortcuts) << QString()
                 << QVariantMap{{QStringLiteral("handle_token"), token}};
        // The desktop may ask the user to confirm the keys: that can take a while.
        const PortalAnswer bound = co_await askPortal(m_bus, bindCall, token, 10min);
        if (!self || generation != m_generation)
            co_return;
        if (bound.response == 0 && bound.results.contains(QStringLiteral("shortcuts"))) {
            readTriggers(bound.results.value(QStringLiteral("shortcuts")));
        } else {
            // KDE 5.27 answers without them but has bound what the session brought: ask.
            const QString listToken = newPortalToken();
            QDBusMessage list = QDBusMessage::createMethodCall(
                portalService, portalObject, shortcutsInterface, QStringLiteral("ListShortcuts"));
            list << QVariant::fromValue(QDBusObjectPath(m_session))
                 << QVariantMap{{QStringLiteral("handle_token"), listToken}};
            const PortalAnswer listed = co_await askPortal(m_bus, list, listToken, 30s);
            if (!self || generation != m_generation)
                co_return;
            readTriggers(listed.results.value(QStringLiteral("shortcuts")));
        }
        m_unavailable.clear();
    } catch (const PortalError &error) {
        if (!self || generation != m_generation)
            co_return;
        m_unavailable = error.kind() == PortalError::Kind::NoInterface ||
                                error.kind() == PortalError::Kind::NoPortal
                            ? commandLineAdvice
                            : error.message();
    }
    Q_EMIT desktopAnswered();
}

void PortalGlobalHotkeys::readTriggers(const QVariant &shortcuts) {
    m_triggers.clear();
    for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts))
        if (const auto action = actionWithId(shortcut.id))
            m_triggers.insert(
                *action,
                shortcut.properties.value(QStringLiteral("trigger_description")).toString());
}

void PortalGlobalHotkeys::onActivated(const QDBusMessage &message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || pathOf(arguments.at(0)) != m_session || m_session.isEmpty())
        return;
    if (const auto action = actionWithId(arguments.at(1).toString()))
        Q_EMIT activated(*action, 0);
}

void PortalGlobalHotkeys::onShortcutsChanged(const QDBusMessage &message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || pathOf(arguments.at(0)) != m_session || m_session.isEmpty())
        return;
    readTriggers(arguments.at(1));
    Q_EMIT desktopAnswered();
}
