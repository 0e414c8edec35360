#pragma once

// A desktop portal of a test's own on the session bus, answering as xdg-desktop-portal does: a
// method returns its request's path at once, and the result follows as that request's Response
// signal. Screenshots hand back the file the test names; global shortcuts take the keys they
// are asked for, in the documented way or KDE 5.27's (with the part of kglobalaccel that KDE's
// portal leans on). It can be started late, and made to fail a number of requests.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

namespace {

struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

class FakePortal final : public QDBusVirtualObject {
public:
    enum class Failure { Error, NoAnswer };

    explicit FakePortal(QDBusConnection bus)
        : m_bus(std::move(bus)) {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
    }
    ~FakePortal() override { stop(); }

    bool kde = false;          // KDE 5.27: shortcuts taken from CreateSession
    bool withShortcuts = true; // GlobalShortcuts offered at all
    int failures = 0;          // shortcut requests still to fail, each as `failure` says
    Failure failure = Failure::Error;
    bool holdAnswers = false;                  // answers wait for release()
    std::chrono::milliseconds answerDelay{10}; // between a request's path and its answer
    uint screenshotResponse = 0;
    QString screenshotUri;
    std::function<void()> takeScreenshot; // makes the file at screenshotUri when asked
    QVariantMap lastOptions;              // of the latest call
    // The desktop's keys for the application, with their descriptions: kept between sessions.
    QList<Shortcut> bound;
    int bindCalls = 0;     // each of which would ask the user (KDE: open System Settings)
    QString pressOnCreate; // a shortcut pressed before CreateSession answers, as KDE may
    // The settings portal's org.freedesktop.appearance group.
    QVariantMap appearance;
    QString session; // the latest asked for
    bool sessionOpen = false;
    static inline QString registeredId; // told by the host registry, once a process

    // Takes the portal's name, and kglobalaccel's.
    bool start() {
        return m_bus.registerVirtualObject(desktopPath, this, QDBusConnection::SubPath) &&
               m_bus.registerVirtualObject(QStringLiteral("/kglobalaccel"), this) &&
               m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")) &&
               m_bus.registerService(QStringLiteral("org.kde.kglobalaccel"));
    }

    void stop() {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.unregisterService(QStringLiteral("org.kde.kglobalaccel"));
        m_bus.unregisterObject(desktopPath, QDBusConnection::UnregisterTree);
        m_bus.unregisterObject(QStringLiteral("/kglobalaccel"));
        m_held.clear();
    }

    // Sends the answers held back.
    void release() {
        for (const auto &send : std::exchange(m_held, {}))
            send();
    }

    // The user presses the shortcut `id`: reported for the latest session, open or not, as a
    // desktop that has not yet seen it closed would.
    void press(const QString &id) {
        emitSignal(QStringLiteral("Activated"),
                   {QVariant::fromValue(QDBusObjectPath(session)), id, quint64(0), QVariantMap()});
    }

    [[nodiscard]] QString trigger(const QString &id) const {
        for (const Shortcut &shortcut : bound)
            if (shortcut.id == id)
                return shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        return {};
    }

    // The user changes an appearance setting.
    void changeAppearance(const QString &key, const QVariant &value) {
        appearance.insert(key, value);
        emitSignal(QStringLiteral("SettingChanged"),
                   {QStringLiteral("org.freedesktop.appearance"), key,
                    QVariant::fromValue(QDBusVariant(value))},
                   QStringLiteral("org.freedesktop.portal.Settings"));
    }

    // An accent-color value: three components, each 0..1 (outside: none).
    static QVariant accentColor(double red, double green, double blue) {
        QDBusArgument argument;
        argument.beginStructure();
        argument << red << green << blue;
        argument.endStructure();
        return QVariant::fromValue(argument);
    }

    void emitSignal(const QString &name, const QList<QVariant> &arguments,
                    const QString &interface = shortcutsInterface) {
        QDBusMessage signal = QDBusMessage::createSignal(desktopPath, interface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override {
        const QString method = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (message.path() == u"/kglobalaccel")
            return kglobalaccel(message);
        if (method == u"Register") {
            registeredId = arguments.value(0).toString();
            m_bus.send(message.createReply());
            return true;
        }
        if (method == u"ReadOne" || method == u"Read") {
            const QString key = arguments.value(1).toString();
            if (arguments.value(0).toString() != u"org.freedesktop.appearance" ||
                !appearance.contains(key))
                return refuse(message, QStringLiteral("org.freedesktop.portal.Error.NotFound"));
            const QVariant value = QVariant::fromValue(QDBusVariant(appearance.value(key)));
            m_bus.send(message.createReply(
                method == u"Read" ? QVariant::fromValue(QDBusVariant(value)) : value));
            return true;
        }
        if (method == u"Close") {
            sessionOpen = sessionOpen && message.path() != session;
            m_bus.send(message.createReply());
            return true;
        }
        if (message.interface() == shortcutsInterface && !withShortcuts)
            return refuse(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
        if (message.interface() == shortcutsInterface && failures > 0) {
            --failures;
            if (failure == Failure::Error)
                return refuse(message, QStringLiteral("org.freedesktop.portal.Error.Failed"));
            m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(desktopPath))));
            return true; // and never a Response
        }
        const QVariantMap options =
            arguments.isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(arguments.last());
        lastOptions = options;
        QVariantMap results;
        if (method == u"Screenshot") {
            if (takeScreenshot)
                takeScreenshot();
            if (screenshotResponse == 0)
                results.insert(QStringLiteral("uri"), screenshotUri);
            return answer(message, options, screenshotResponse, results);
        }
        if (method == u"CreateSession") {
            session = desktopPath + QStringLiteral("/session/") + sender(message) + u'/' +
                      options.value(QStringLiteral("session_handle_token")).toString();
            sessionOpen = true;
            results.insert(QStringLiteral("session_handle"),
                           kde ? QVariant(session) : QVariant::fromValue(QDBusObjectPath(session)));
            if (kde) { // the keys kglobalaccel has stored stand: the preferred ones are for others
                take(qdbus_cast<QList<Shortcut>>(options.value(QStringLiteral("shortcuts"))),
                     false);
                results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            }
            if (!pressOnCreate.isEmpty())
                press(pressOnCreate);
            return answer(message, options, 0, results);
        }
        if (method == u"BindShortcuts") {
            ++bindCalls;
            if (!kde) // KDE opens its settings and answers with what it had
                take(qdbus_cast<QList<Shortcut>>(arguments.at(1)), true);
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            return answer(message, options, 0, results);
        }
        if (method == u"ListShortcuts") {
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            return answer(message, options, 0, results);
        }
        return false;
    }

private:
    static QString sender(const QDBusMessage &message) {
        return message.service().mid(1).replace(u'.', u'_');
    }

    // The desktop gives each shortcut the key it was asked for (where it has none yet, unless
    // `rebind`), and describes it as it was asked.
    void take(const QList<Shortcut> &asked, bool rebind) {
        for (const Shortcut &shortcut : asked) {
            const QString preferred =
                shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
            const auto held = std::find_if(bound.begin(), bound.end(),
                                           [&](const Shortcut &s) { return s.id == shortcut.id; });
            if (held == bound.end())
                bound.append({shortcut.id, {{QStringLiteral("trigger_description"), preferred}}});
            else if (rebind && !preferred.isEmpty())
                held->properties.insert(QStringLiteral("trigger_description"), preferred);
        }
    }

    // getComponent and unregister, on the shortcuts KDE's portal has filed under the session's
    // name.
    bool kglobalaccel(const QDBusMessage &message) {
        const QString component = message.arguments().value(0).toString();
        if (!kde || bound.isEmpty() || component != session.section(u'/', -1))
            return refuse(message, QStringLiteral("org.kde.kglobalaccel.NoSuchComponent"));
        if (message.member() == u"unregister") {
            const QString id = message.arguments().value(1).toString();
            bound.removeIf([&](const Shortcut &shortcut) { return shortcut.id == id; });
            m_bus.send(message.createReply(true));
        } else {
            m_bus.send(message.createReply(
                QVariant::fromValue(QDBusObjectPath(QStringLiteral("/component/") + component))));
        }
        return true;
    }

    bool refuse(const QDBusMessage &message, const QString &error) {
        m_bus.send(message.createErrorReply(error, QStringLiteral("Refused by the test")));
        return true;
    }

    bool answer(const QDBusMessage &message, const QVariantMap &options, uint response,
                const QVariantMap &results) {
        const QString path = desktopPath + QStringLiteral("/request/") + sender(message) + u'/' +
                             options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        std::function<void()> send = [bus = m_bus, path, response, results]() mutable {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            bus.send(signal);
        };
        if (holdAnswers)
            m_held.append(std::move(send));
        else
            QTimer::singleShot(answerDelay, std::move(send));
        return true;
    }

    QDBusConnection m_bus;
    QList<std::function<void()>> m_held;
};

} // namespace
