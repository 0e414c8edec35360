#pragma once

// A desktop portal of a test's own on the session bus, answering as xdg-desktop-portal does: a
// method returns its request's path at once, and the result follows as that request's Response
// signal. Screenshots hand back the file the test names; global shortcuts take the keys they
// are asked for, in the documented way or KDE 5.27's.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>

#include <chrono>

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
    explicit FakePortal(QDBusConnection bus)
        : m_bus(std::move(bus)) {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
    }

    bool kde = false;          // KDE 5.27: shortcuts taken from CreateSession
    bool withShortcuts = true; // GlobalShortcuts offered at all
    uint screenshotResponse = 0;
    QString screenshotUri;
    QVariantMap lastOptions; // of the latest call
    QList<Shortcut> bound;   // with the triggers the desktop chose
    int bindCalls = 0;       // each of which would ask the user
    QString pressOnCreate;   // a shortcut pressed before CreateSession answers, as KDE may
    QString session;
    QString registeredId;                      // told by the host registry
    std::chrono::milliseconds answerDelay{10}; // between a request's path and its answer

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override {
        const QString method = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (method == u"Register") {
            registeredId = arguments.value(0).toString();
            m_bus.send(message.createReply());
            return true;
        }
        if (message.interface() == shortcutsInterface && !withShortcuts) {
            m_bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error."
                                                               "UnknownMethod"),
                                                QStringLiteral("No such interface")));
            return true;
        }
        const QVariantMap options =
            arguments.isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(arguments.last());
        lastOptions = options;
        QVariantMap results;
        if (method == u"Screenshot") {
            if (screenshotResponse == 0)
                results.insert(QStringLiteral("uri"), screenshotUri);
            return answer(message, options, screenshotResponse, results);
        }
        if (method == u"CreateSession") {
            session = desktopPath + QStringLiteral("/session/") + sender(message) + u'/' +
                      options.value(QStringLiteral("session_handle_token")).toString();
            if (kde)
                take(qdbus_cast<QList<Shortcut>>(options.value(QStringLiteral("shortcuts"))));
            results.insert(QStringLiteral("session_handle"),
                           kde ? QVariant(session) : QVariant::fromValue(QDBusObjectPath(session)));
            if (!pressOnCreate.isEmpty())
                emitSignal(QStringLiteral("Activated"),
                           {QVariant::fromValue(QDBusObjectPath(session)), pressOnCreate,
                            quint64(0), QVariantMap()});
            return answer(message, options, 0, results);
        }
        if (method == u"BindShortcuts") {
            ++bindCalls;
            if (!kde) {
                take(qdbus_cast<QList<Shortcut>>(arguments.at(1)));
                results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            }
            return answer(message, options, 0, results); // KDE opens its settings and says no more
        }
        if (method == u"ListShortcuts") {
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            return answer(message, options, 0, results);
        }
        return false;
    }

    void emitSignal(const QString &name, const QList<QVariant> &arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(desktopPath, shortcutsInterface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

private:
    static QString sender(const QDBusMessage &message) {
        return message.service().mid(1).replace(u'.', u'_');
    }

    // The desktop gives each action the key it was asked for, and describes it as it was asked.
    void take(const QList<Shortcut> &asked) {
        bound.clear();
        for (const Shortcut &shortcut : asked)
            bound.append(Shortcut{
                shortcut.id,
                QVariantMap{{QStringLiteral("trigger_description"),
                             shortcut.properties.value(QStringLiteral("preferred_trigger"))}}});
    }

    bool answer(const QDBusMessage &message, const QVariantMap &options, uint response,
                const QVariantMap &results) {
        const QString path = desktopPath + QStringLiteral("/request/") + sender(message) + u'/' +
                             options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        QTimer::singleShot(answerDelay, [bus = m_bus, path, response, results]() mutable {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            bus.send(signal);
        });
        return true;
    }

    QDBusConnection m_bus;
};

} // namespace
