#include "platform/desktop/PortalRequest.h"

#include "core/AppId.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>

#include <QCoroDBusPendingCall>
#include <QCoroSignal>

#include <memory>
#include <optional>

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString responseSignal = QStringLiteral("Response");

// Listens to the Response at one request path for as long as it lives.
class Listener {
public:
    Listener(QDBusConnection bus, QString path, PortalResponse *receiver)
        : m_bus(std::move(bus))
        , m_path(std::move(path))
        , m_receiver(receiver) {
        m_bus.connect(portalService, m_path, requestInterface, responseSignal, m_receiver,
                      SLOT(onResponse(uint, QVariantMap)));
    }
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;
    ~Listener() {
        m_bus.disconnect(portalService, m_path, requestInterface, responseSignal, m_receiver,
                         SLOT(onResponse(uint, QVariantMap)));
    }
    [[nodiscard]] const QString &path() const { return m_path; }

private:
    QDBusConnection m_bus;
    QString m_path;
    PortalResponse *m_receiver;
};

} // namespace

QString newPortalToken() {
    static quint64 made = 0;
    return QStringLiteral("pindle%1_%2").arg(++made).arg(QRandomGenerator::global()->generate());
}

QDBusConnection portalBus() {
    static const QString name = QStringLiteral("pindle-portal");
    QDBusConnection bus(name);
    if (bus.isConnected())
        return bus;
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

namespace {

// The portal's unique name on the bus; empty while none runs.
QCoro::Task<QString> portalOwner(QDBusConnection bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    call << portalService;
    const QDBusMessage owner = co_await bus.asyncCall(call);
    co_return owner.arguments().value(0).toString();
}

// Registers Pindle's id with the portal before the first request `bus` makes of it, once per
// connection and portal (a portal that restarted has forgotten it). Portals before 1.19.4 lack
// the call, which is fine.
QCoro::Task<> registerWithPortal(QDBusConnection bus) {
    static QSet<QString> registered; // "connection portal", by their names
    if (const QString portal = co_await portalOwner(bus);
        !portal.isEmpty() && registered.contains(bus.name() + u' ' + portal))
        co_return;
    QDBusMessage registration = QDBusMessage::createMethodCall(
        portalService, portalObject, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    registration << pindleAppId << QVariantMap();
    const QDBusMessage answer = co_await bus.asyncCall(registration);
    const QString error = answer.errorName();
    // No portal could be started: the request itself will say so.
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        co_return;
    if (answer.type() == QDBusMessage::ErrorMessage &&
        error != QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") &&
        error != QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
        qInfo("The desktop portal did not register Pindle's application id: %s",
              qPrintable(answer.errorMessage()));
    registered.insert(bus.name() + u' ' + co_await portalOwner(bus));
}

} // namespace

QCoro::Task<PortalAnswer> askPortal(QDBusConnection bus, QDBusMessage call, QString token,
                                    std::chrono::milliseconds timeout) {
    if (!bus.isConnected())
        throw PortalError(
            PortalError::Kind::NoPortal,
            QCoreApplication::translate("PortalRequest",
                                        "There is no D-Bus session, through which the desktop "
                                        "portal is reached."));
    co_await registerWithPortal(bus);
    auto receiver = std::make_unique<PortalResponse>();
    std::optional<PortalAnswer> answer;
    QObject::connect(receiver.get(), &PortalResponse::answered,
                     [&answer](uint response, const QVariantMap &results) {
                         answer = PortalAnswer{response, results};
                     });
    auto listener =
        std::make_unique<Listener>(bus, portalHandle(bus, u"request", token), receiver.get());

    const QDBusMessage reply = co_await bus.asyncCall(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            throw PortalError(PortalError::Kind::NoPortal,
                              //: -gnome, -kde and -wlr complete the package name
                              QCoreApplication::translate(
                                  "PortalRequest", "No desktop portal is running. Install "
                                                   "xdg-desktop-portal with the backend for your "
                                                   "desktop (-gnome, -kde or -wlr)."));
        if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
            throw PortalError(PortalError::Kind::NoInterface, reply.errorMessage());
        // The bus gave up waiting: a portal still starting (at login) may take it yet.
        if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            error == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
            throw PortalError(
                PortalError::Kind::NoAnswer,
                QCoreApplication::translate("PortalRequest", "The desktop portal did not answer."));
        throw PortalError(
            PortalError::Kind::CallRefused,
            //: %1 is the portal's own explanation (untranslated)
            QCoreApplication::translate("PortalRequest", "The desktop portal refused: %1")
                .arg(reply.errorMessage()));
    }
    // Older portals name another request path: follow theirs.
    const QString named = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!answer && !named.isEmpty() && named != listener->path()) {
        listener.reset();
        listener = std::make_unique<Listener>(bus, named, receiver.get());
    }
    if (!answer)
        co_await qCoro(receiver.get(), &PortalResponse::answered, timeout);
    if (!answer)
        throw PortalError(
            PortalError::Kind::NoAnswer,
            QCoreApplication::translate("PortalRequest", "The desktop portal did not answer."));
    co_return *answer;
}

QString portalHandle(const QDBusConnection &bus, QStringView kind, const QString &token) {
    QString sender = bus.baseService().mid(1); // ":1.42" -> "1_42"
    sender.replace(u'.', u'_');
    return portalObject + u'/' + kind + u'/' + sender + u'/' + token;
}
