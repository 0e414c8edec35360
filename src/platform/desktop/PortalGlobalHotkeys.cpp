#include "platform/desktop/PortalGlobalHotkeys.h"

#include "platform/desktop/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QPointer>

#include <QCoroSignal>

#include <algorithm>
#include <chrono>
#include <optional>

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
    const auto superseded = [&] { return !self || generation != m_generation; };
    const QList<PortalShortcut> shortcuts = portalShortcuts(bindings);
    try {
        bool created = false;
        while (m_session.isEmpty()) {
            if (m_creatingSession) { // one session, whoever asked first
                co_await qCoro(this, &PortalGlobalHotkeys::sessionSettled);
                if (superseded())
                    co_return;
                continue;
            }
            created = true;
            co_await createSession(bindings);
            if (!self)
                co_return;
            if (m_session.isEmpty()) {
                m_unavailable = QStringLiteral("The desktop refused Pindle's keyboard shortcuts.");
                Q_EMIT desktopAnswered();
                co_return;
            }
        }
        if (superseded())
            co_return;
        // What the desktop holds already: KDE binds what the session brought, and desktops keep
        // an application's keys from one run to the next. Binding asks the user (a dialog, or
        // KDE's System Settings opening), so it is asked only for what is missing or changed.
        const QVariant held = co_await listShortcuts();
        if (superseded())
            co_return;
        readTriggers(held);
        const bool allHeld = std::all_of(bindings.cbegin(), bindings.cend(), [&](const auto &b) {
            return m_triggers.contains(b.first);
        });
        if (!allHeld || (!created && bindings != m_bound)) {
            const QString token = newPortalToken();
            QDBusMessage bindCall = QDBusMessage::createMethodCall(
                portalService, portalObject, shortcutsInterface, QStringLiteral("BindShortcuts"));
            bindCall << QVariant::fromValue(QDBusObjectPath(m_session))
                     << QVariant::fromValue(shortcuts) << QString()
                     << QVariantMap{{QStringLiteral("handle_token"), token}};
            // The desktop may ask the user to confirm the keys: that can take a while.
            const PortalAnswer bound = co_await askPortal(m_bus, bindCall, token, 10min);
            if (superseded())
                co_return;
            if (bound.response == 0 && bound.results.contains(QStringLiteral("shortcuts"))) {
                readTriggers(bound.results.value(QStringLiteral("shortcuts")));
            } else { // KDE 5.27 answers without them: ask again
                const QVariant listed = co_await listShortcuts();
                if (superseded())
                    co_return;
                readTriggers(listed);
            }
        }
        m_bound = bindings;
        m_unavailable.clear();
    } catch (const PortalError &error) {
        if (superseded())
            co_return;
        m_unavailable = error.kind() == PortalError::Kind::NoInterface ||
                                error.kind() == PortalError::Kind::NoPortal
                            ? commandLineAdvice
                            : error.message();
    }
    Q_EMIT desktopAnswered();
}

QCoro::Task<> PortalGlobalHotkeys::createSession(QList<Binding> bindings) {
    QPointer self(this);
    const QList<PortalShortcut> shortcuts = portalShortcuts(bindings);
    m_creatingSession = true;
    const QString token = newPortalToken();
    QDBusMessage create = QDBusMessage::createMethodCall(
        portalService, portalObject, shortcutsInterface, QStringLiteral("CreateSession"));
    // KDE 5.27 takes the shortcuts from here; its BindShortcuts only opens its settings.
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), sessionToken},
                          {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}};
    std::optional<PortalAnswer> answer;
    std::optional<PortalError> failure;
    try {
        answer = co_await askPortal(m_bus, create, token, 30s);
    } catch (const PortalError &error) {
        failure = error;
    }
    if (!self)
        co_return;
    // Kept even when the request that asked is superseded: the session exists at the desktop.
    m_creatingSession = false;
    if (answer && answer->response == 0)
        m_session = pathOf(answer->results.value(QStringLiteral("session_handle")));
    Q_EMIT sessionSettled(QPrivateSignal());
    if (failure)
        throw *failure;
}

QCoro::Task<QVariant> PortalGlobalHotkeys::listShortcuts() {
    const QString token = newPortalToken();
    QDBusMessage list = QDBusMessage::createMethodCall(
        portalService, portalObject, shortcutsInterface, QStringLiteral("ListShortcuts"));
    list << QVariant::fromValue(QDBusObjectPath(m_session))
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    const PortalAnswer listed = co_await askPortal(m_bus, list, token, 30s);
    co_return listed.results.value(QStringLiteral("shortcuts"));
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
    if (arguments.size() < 2)
        return;
    // KDE reports presses as soon as it has the keys, which can be before its answer naming the
    // session has reached us.
    const QString session = pathOf(arguments.at(0));
    if (session.isEmpty() ||
        (session != m_session &&
         !(m_creatingSession && session == portalHandle(m_bus, u"session", sessionToken))))
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
