#include "platform/desktop/PortalRequest.h"

#include "core/AppId.h"

#include <QDBusObjectPath>
#include <QPointer>
#include <QRandomGenerator>

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

QCoro::Task<PortalAnswer> askPortal(QDBusConnection bus, QDBusMessage call, QString token,
                                    std::chrono::milliseconds timeout) {
    if (!bus.isConnected())
        throw PortalError(PortalError::Kind::NoPortal,
                          QStringLiteral("There is no D-Bus session, through which the desktop "
                                         "portal is reached."));
    // Newer portals (1.19.4 and later) learn an unsandboxed application's id this way, before
    // its first request; older ones lack the call, which is fine.
    static bool registered = false;
    if (!registered) {
        QDBusMessage registration = QDBusMessage::createMethodCall(
            portalService, portalObject, QStringLiteral("org.freedesktop.host.portal.Registry"),
            QStringLiteral("Register"));
        registration << pindleAppId << QVariantMap();
        const QDBusMessage answer = co_await bus.asyncCall(registration);
        // Only a portal that answered, either way, has had its chance.
        registered =
            answer.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") &&
            answer.errorName() != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
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
                              QStringLiteral("No desktop portal is running. Install "
                                             "xdg-desktop-portal with the backend for your "
                                             "desktop (-gnome, -kde or -wlr)."));
        if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
            throw PortalError(PortalError::Kind::NoInterface, reply.errorMessage());
        // The bus gave up waiting: a portal still starting (at login) may take it yet.
        if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            error == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
            throw PortalError(PortalError::Kind::NoAnswer,
                              QStringLiteral("The desktop portal did not answer."));
        throw PortalError(
            PortalError::Kind::CallRefused,
            QStringLiteral("The desktop portal refused: %1").arg(reply.errorMessage()));
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
        throw PortalError(PortalError::Kind::NoAnswer,
                          QStringLiteral("The desktop portal did not answer."));
    co_return *answer;
}

QString portalHandle(const QDBusConnection &bus, QStringView kind, const QString &token) {
    QString sender = bus.baseService().mid(1); // ":1.42" -> "1_42"
    sender.replace(u'.', u'_');
    return portalObject + u'/' + kind + u'/' + sender + u'/' + token;
}
