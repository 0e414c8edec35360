#include "platform/desktop/PortalGlobalHotkeys.h"

#include "core/AppId.h"
#include "platform/desktop/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>

#include <QCoroDBusPendingCall>
#include <QCoroSignal>

#include <algorithm>
#include <optional>
#include <utility>

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

using Action = GlobalHotkeys::Action;

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kglobalaccel = QStringLiteral("org.kde.kglobalaccel");

// The shortcuts with Pindle's combinations as the preferred keys of those in `suggested`; the
// others keep what the desktop gave them.
QList<PortalShortcut> portalShortcuts(const QList<GlobalHotkeys::Binding> &bindings,
                                      const QList<Action> &suggested) {
    QList<PortalShortcut> shortcuts;
    for (const auto &[action, combination] : bindings) {
        QVariantMap properties{
            {QStringLiteral("description"), shortcutAction(action).shownDescription()}};
        if (suggested.contains(action))
            properties.insert(QStringLiteral("preferred_trigger"), combination.toPortalTrigger());
        shortcuts.append({shortcutAction(action).id, properties});
    }
    return shortcuts;
}

QList<Action> actionsOf(const QList<GlobalHotkeys::Binding> &bindings) {
    QList<Action> actions;
    for (const auto &binding : bindings)
        actions.append(binding.first);
    return actions;
}

// KDE names the session with a string, the portal documentation with an object path.
QString pathOf(const QVariant &handle) {
    if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return handle.value<QDBusObjectPath>().path();
    return handle.toString();
}

QDBusMessage sessionClose(const QString &session) {
    return QDBusMessage::createMethodCall(portalService, session,
                                          QStringLiteral("org.freedesktop.portal.Session"),
                                          QStringLiteral("Close"));
}

// Whether the session runs KDE, whose portal needs its own way to change a key. (A kglobalaccel
// of an earlier Plasma login may run under another desktop, with Pindle's component in it.)
bool sessionRuns(QStringView name) {
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':');
    return std::any_of(desktops.cbegin(), desktops.cend(), [name](const QString &desktop) {
        return desktop.compare(name, Qt::CaseInsensitive) == 0;
    });
}

bool underKde() {
    return sessionRuns(u"KDE");
}

// Refusals of the same kind in a row after which the desktop is taken to mean them.
constexpr int lastingRefusals = 3;

QCoro::Task<QDBusMessage> callKglobalaccel(QDBusConnection bus, QString method,
                                           QList<QVariant> arguments) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kglobalaccel, QStringLiteral("/kglobalaccel"),
                                       QStringLiteral("org.kde.KGlobalAccel"), method);
    call.setArguments(arguments);
    call.setAutoStartService(false); // where KDE does not run, none is started for Pindle
    co_return co_await bus.asyncCall(call);
}

// The component in which KDE's kglobalaccel keeps the portal's shortcuts for Pindle (under the
// application's id, or the session's name where the portal cannot tell the application); empty
// where there is none, as outside KDE.
QCoro::Task<QString> kglobalaccelComponent(QDBusConnection bus) {
    const QStringList names{pindleAppId, PortalGlobalHotkeys::sessionToken,
                            QStringLiteral("token_") + PortalGlobalHotkeys::sessionToken};
    for (const QString &name : names) {
        // (Arguments are built before each co_await: GCC 12 miscompiles braced lists in one.)
        const QList<QVariant> arguments{name};
        const QDBusMessage reply =
            co_await callKglobalaccel(bus, QStringLiteral("getComponent"), arguments);
        if (reply.type() == QDBusMessage::ReplyMessage)
            co_return name;
        if (reply.errorName() != QLatin1String("org.kde.kglobalaccel.NoSuchComponent"))
            co_return QString();
    }
    co_return QString();
}

} // namespace

const QString PortalGlobalHotkeys::sessionToken = QStringLiteral("pindle");

namespace {

constexpr char commandLineAdviceText[] = QT_TRANSLATE_NOOP(
    "PortalGlobalHotkeys",
    "This desktop does not let applications take keyboard shortcuts. In its keyboard settings, "
    "add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and "
    "pindle --type-mode.");

} // namespace

const QString PortalGlobalHotkeys::commandLineAdvice = QString::fromLatin1(commandLineAdviceText);

PortalGlobalHotkeys::PortalGlobalHotkeys(QDBusConnection bus, PortalPatience patience,
                                         QObject *parent)
    : GlobalHotkeys(parent)
    , m_bus(std::move(bus))
    , m_patience(patience)
    , m_retryDelay(patience.firstRetry)
    , m_portalWatcher(portalService, m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(portalService, portalObject, shortcutsInterface, QStringLiteral("Activated"),
                  this, SLOT(onActivated(QDBusMessage)));
    m_bus.connect(portalService, portalObject, shortcutsInterface,
                  QStringLiteral("ShortcutsChanged"), this, SLOT(onShortcutsChanged(QDBusMessage)));
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PortalGlobalHotkeys::retry);
    connect(&m_portalWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                onPortalOwnerChanged(oldOwner, newOwner);
            });
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() {
    closeSession();
}

QList<GlobalHotkeys::Action> PortalGlobalHotkeys::registerAll(const QList<Binding> &bindings) {
    m_wanted = bindings;
    // The desktop's keys from an earlier run stand: the user may have chosen them there.
    if (!m_agreed)
        m_agreed = bindings;
    for (const Action action : std::as_const(m_chosen))
        m_agreed->removeIf([action](const Binding &binding) { return binding.first == action; });
    m_chosen.clear();
    m_pending = true;
    m_retry.stop();
    m_retryDelay = m_patience.firstRetry;
    bind(bindings, ++m_generation);
    return {};
}

void PortalGlobalHotkeys::unregisterAll() {
    ++m_generation;
    m_wanted.reset();
    m_pending = false;
    m_retry.stop();
    closeSession();
    m_triggers.clear();
}

void PortalGlobalHotkeys::closeSession() {
    if (m_session.isEmpty())
        return;
    m_bus.send(sessionClose(m_session));
    m_session.clear();
}

void PortalGlobalHotkeys::retry() {
    if (m_wanted)
        bind(*m_wanted, ++m_generation);
}

QCoro::Task<> PortalGlobalHotkeys::bind(QList<Binding> bindings, quint64 generation) {
    QPointer self(this);
    const auto superseded = [&] { return !self || generation != m_generation; };
    // Changed in Pindle since the desktop's keys last stood for Pindle's combinations.
    QList<Action> changed;
    for (const Binding &binding : std::as_const(bindings))
        if (!m_agreed->contains(binding))
            changed.append(binding.first);
    try {
        QString kdeComponent;
        for (bool renewed = false;;) {
            while (m_session.isEmpty()) {
                if (m_creatingSession) { // one session, whoever asked first
                    co_await qCoro(this, &PortalGlobalHotkeys::sessionSettled);
                } else {
                    co_await createSession(bindings);
                }
                if (superseded())
                    co_return;
            }
            // What the desktop holds already: KDE binds what the session brought, and desktops
            // keep an application's keys from one run to the next. Binding asks the user (a
            // dialog, or KDE's System Settings opening), so it is asked only for what is missing
            // or was changed here.
            const QVariant held = co_await listShortcuts();
            if (superseded())
                co_return;
            readTriggers(held);
            // (Once KDE's session is renewed, the changed ones are new to it: only those it
            // still lacks are asked for.)
            QList<Action> rebound = renewed ? QList<Action>() : changed;
            for (const Action action : actionsOf(bindings))
                if (!m_triggers.contains(action) && !rebound.contains(action))
                    rebound.append(action);
            if (rebound.isEmpty())
                break;
            if (!renewed && underKde()) {
                kdeComponent = co_await kglobalaccelComponent(m_bus);
                if (superseded())
                    co_return;
            }
            // Plasma 6's portal binds only what BindShortcuts brings, also after the renewal
            // below (it ignores shortcuts in CreateSession's options).
            if (kdeComponent.isEmpty() || renewed) {
                const std::optional<QVariant> given = co_await bindShortcuts(bindings, rebound);
                if (superseded())
                    co_return;
                if (given) {
                    readTriggers(*given);
                } else { // an answer without them: ask
                    const QVariant listed = co_await listShortcuts();
                    if (superseded())
                        co_return;
                    readTriggers(listed);
                }
                break;
            }
            // WORKAROUND: KDE keeps the keys kglobalaccel has stored for a shortcut it knows,
            // taking preferred keys only for shortcuts it does not know, and 5.27's BindShortcuts
            // only opens System Settings: those changed are forgotten there, and a new session
            // brings them (on 5.27), or binds them (Plasma 6). Needed until KDE's BindShortcuts
            // binds the keys it is given.
            co_await forgetKeysInKde(kdeComponent, changed, generation);
            if (superseded())
                co_return;
            renewed = true;
        }
        m_agreed = bindings;
        m_pending = false;
        m_unavailable.clear();
        m_retryDelay = m_patience.firstRetry;
        m_portalMissing.invalidate();
        m_refusedOnce = false;
        m_refusals = 0;
    } catch (const PortalError &error) {
        if (superseded())
            co_return;
        failed(error);
    }
    Q_EMIT desktopAnswered();
}

QString PortalGlobalHotkeys::confirmationNote() const {
    // GNOME 48 on: its Settings open a window listing the shortcuts, once.
    if (!sessionRuns(u"GNOME") || !m_unavailable.isEmpty())
        return {};
    //: "Add" is the button in GNOME's own window; the rest names GNOME Settings' pages
    return tr("GNOME asks once, in a window of its own, whether Pindle may have these "
              "shortcuts: choose Add there. Change them later in GNOME Settings, "
              "Keyboard, Keyboard Shortcuts.");
}

void PortalGlobalHotkeys::failed(const PortalError &error) {
    QString lasting;
    std::chrono::milliseconds wait = m_retryDelay;
    switch (error.kind()) {
    case PortalError::Kind::NoInterface:
        lasting = tr(commandLineAdviceText);
        break;
    case PortalError::Kind::NoPortal:
        if (!m_portalMissing.isValid())
            m_portalMissing.start();
        if (const auto left =
                m_patience.portalAbsence - std::chrono::milliseconds(m_portalMissing.elapsed());
            left > 0ms)
            wait = std::min(wait, left);
        else
            lasting = tr(commandLineAdviceText);
        break;
    case PortalError::Kind::Declined:
        if (m_refusedOnce)
            lasting = tr("The desktop refused Pindle's keyboard shortcuts.");
        m_refusedOnce = true;
        break;
    case PortalError::Kind::CallRefused:
        // Once in a while, a portal busy starting; every time, its answer.
        if (++m_refusals >= lastingRefusals)
            lasting = error.message();
        break;
    case PortalError::Kind::NoAnswer:
        break;
    }
    m_triggers.clear();
    if (!lasting.isEmpty()) { // asked again only when a portal (re)appears
        m_unavailable = lasting;
        m_pending = false;
        return;
    }
    qWarning("Global shortcuts: %s Asking again in %lld s.", qPrintable(error.message()),
             qlonglong(std::chrono::ceil<std::chrono::seconds>(wait).count()));
    m_retry.start(wait);
    m_retryDelay = std::min(m_retryDelay * 2, m_patience.longestRetry);
}

void PortalGlobalHotkeys::onPortalOwnerChanged(const QString &oldOwner, const QString &newOwner) {
    if (!oldOwner.isEmpty()) { // its sessions went with it
        m_session.clear();
        m_triggers.clear();
    }
    if (!newOwner.isEmpty()) { // a new portal: what the old one refused counts no more
        m_refusals = 0;
        m_refusedOnce = false;
    }
    if (!m_wanted)
        return;
    m_pending = true;
    m_retry.stop();
    m_retryDelay = m_patience.firstRetry;
    if (newOwner.isEmpty())
        m_retry.start(m_retryDelay);
    else
        bind(*m_wanted, ++m_generation);
    Q_EMIT desktopAnswered();
}

QCoro::Task<> PortalGlobalHotkeys::createSession(QList<Binding> bindings) {
    QPointer self(this);
    m_creatingSession = true;
    // A session an unanswered request made after all would stand in the way of this one.
    if (std::exchange(m_lateSession, false))
        m_bus.send(sessionClose(portalHandle(m_bus, u"session", sessionToken)));
    const QString token = newPortalToken();
    QDBusMessage create = QDBusMessage::createMethodCall(
        portalService, portalObject, shortcutsInterface, QStringLiteral("CreateSession"));
    // KDE 5.27 takes the shortcuts from here; its BindShortcuts only opens its settings.
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), sessionToken},
                          {QStringLiteral("shortcuts"),
                           QVariant::fromValue(portalShortcuts(bindings, actionsOf(bindings)))}};
    std::optional<PortalAnswer> answer;
    std::optional<PortalError> failure;
    try {
        answer = co_await askPortal(m_bus, create, token, m_patience.answer);
    } catch (const PortalError &error) {
        failure = error;
    }
    if (!self)
        co_return;
    m_creatingSession = false;
    if (answer && answer->response == 0) {
        // Kept even when the request that asked is superseded: the session exists at the
        // desktop. Not when the shortcuts were given back meanwhile: then no press may act.
        m_session = pathOf(answer->results.value(QStringLiteral("session_handle")));
        if (m_session.isEmpty())
            failure = PortalError(PortalError::Kind::CallRefused,
                                  tr("The desktop portal answered without a session."));
        else if (!m_wanted)
            closeSession();
    } else if (failure && failure->kind() == PortalError::Kind::NoAnswer) {
        // The desktop may still make it: that one must not stand in the way of the next.
        m_bus.send(sessionClose(portalHandle(m_bus, u"session", sessionToken)));
        m_lateSession = true;
    }
    Q_EMIT sessionSettled();
    if (failure)
        throw *failure;
    if (answer->response != 0)
        throw PortalError(PortalError::Kind::Declined,
                          tr("The desktop refused Pindle's keyboard shortcuts."));
}

QCoro::Task<QVariant> PortalGlobalHotkeys::listShortcuts() {
    const QString token = newPortalToken();
    QDBusMessage list = QDBusMessage::createMethodCall(
        portalService, portalObject, shortcutsInterface, QStringLiteral("ListShortcuts"));
    list << QVariant::fromValue(QDBusObjectPath(m_session))
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    const PortalAnswer listed = co_await askPortal(m_bus, list, token, m_patience.answer);
    if (listed.response != 0)
        throw PortalError(PortalError::Kind::CallRefused,
                          tr("The desktop portal did not list Pindle's shortcuts."));
    co_return listed.results.value(QStringLiteral("shortcuts"));
}

QCoro::Task<std::optional<QVariant>> PortalGlobalHotkeys::bindShortcuts(QList<Binding> bindings,
                                                                        QList<Action> rebound) {
    const QString token = newPortalToken();
    QDBusMessage bindCall = QDBusMessage::createMethodCall(
        portalService, portalObject, shortcutsInterface, QStringLiteral("BindShortcuts"));
    bindCall << QVariant::fromValue(QDBusObjectPath(m_session))
             << QVariant::fromValue(portalShortcuts(bindings, rebound)) << QString()
             << QVariantMap{{QStringLiteral("handle_token"), token}};
    // The desktop may ask the user to confirm the keys: that can take a while. Whatever the
    // user decides there stands.
    const PortalAnswer bound = co_await askPortal(m_bus, bindCall, token, 10min);
    // GNOME 48's portal answers 2 ("ended") even when the user added them, with the shortcuts.
    if (bound.results.contains(QStringLiteral("shortcuts")))
        co_return bound.results.value(QStringLiteral("shortcuts"));
    co_return std::nullopt;
}

QCoro::Task<> PortalGlobalHotkeys::forgetKeysInKde(QString component, QList<Action> actions,
                                                   quint64 generation) {
    QPointer self(this);
    const QString session = m_session;
    m_session.clear();
    // Closed first, so that the portal lets go of the shortcuts before kglobalaccel forgets them.
    co_await m_bus.asyncCall(sessionClose(session));
    for (const Action action : std::as_const(actions)) {
        if (!self || generation != m_generation) // another session may hold them by now
            co_return;
        const QList<QVariant> arguments{component, QString(shortcutAction(action).id)};
        co_await callKglobalaccel(m_bus, QStringLiteral("unregister"), arguments);
    }
}

namespace {

// GNOME describes a key as "Press <Control><Alt>y": in Pindle's words, "Ctrl+Alt+Y". Other
// descriptions are the desktop's own words and stay as they are.
QString readableTrigger(const QString &description) {
    static const QRegularExpression gtkAccelerator(
        QStringLiteral("^(?:Press )?((?:<\\w+>)+)(\\S+)$"));
    const QRegularExpressionMatch accelerator = gtkAccelerator.match(description);
    if (!accelerator.hasMatch())
        return description;
    static const QHash<QString, QString> names{{QStringLiteral("control"), QStringLiteral("Ctrl")},
                                               {QStringLiteral("primary"), QStringLiteral("Ctrl")},
                                               {QStringLiteral("ctrl"), QStringLiteral("Ctrl")},
                                               {QStringLiteral("alt"), QStringLiteral("Alt")},
                                               {QStringLiteral("shift"), QStringLiteral("Shift")},
                                               {QStringLiteral("super"), QStringLiteral("Super")},
                                               {QStringLiteral("meta"), QStringLiteral("Meta")}};
    QStringList parts;
    const QString modifiers = accelerator.captured(1);
    for (const QString &modifier :
         modifiers.mid(1, modifiers.size() - 2).split(QStringLiteral("><")))
        parts.append(names.value(modifier.toLower(), modifier));
    const QString key = accelerator.captured(2);
    parts.append(key.size() == 1 ? key.toUpper() : key);
    return parts.join(u'+');
}

} // namespace

void PortalGlobalHotkeys::readTriggers(const QVariant &shortcuts) {
    m_triggers.clear();
    for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts))
        if (const auto action = shortcutActionWithId(shortcut.id))
            m_triggers.insert(
                *action,
                readableTrigger(
                    shortcut.properties.value(QStringLiteral("trigger_description")).toString()));
}

void PortalGlobalHotkeys::onActivated(const QDBusMessage &message) {
    const QList<QVariant> arguments = message.arguments();
    // Given back (a combination is being chosen): no press acts, whatever session it names.
    if (!m_wanted || arguments.size() < 2)
        return;
    // KDE reports presses as soon as it has the keys, which can be before its answer naming the
    // session has reached us.
    const QString session = pathOf(arguments.at(0));
    if (session.isEmpty() ||
        (session != m_session &&
         !(m_creatingSession && session == portalHandle(m_bus, u"session", sessionToken))))
        return;
    // GNOME's timestamp is the key press's time on its clock, which is XWayland's: a window
    // manager asks for it before it lets a window take the keyboard. (Other desktops' stamps
    // are on clocks of their own.)
    const quint32 userTime = sessionRuns(u"GNOME") ? quint32(arguments.value(2).toULongLong()) : 0;
    if (const auto action = shortcutActionWithId(arguments.at(1).toString()))
        Q_EMIT activated(*action, userTime);
}

void PortalGlobalHotkeys::onShortcutsChanged(const QDBusMessage &message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_session.isEmpty() || pathOf(arguments.at(0)) != m_session)
        return;
    readTriggers(arguments.at(1));
    Q_EMIT desktopAnswered();
}
