#pragma once

#include "platform/PlatformError.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <QCoroTask>

#include <chrono>

/// What the desktop portal said of one request: `response` 0 when done, 1 when the user
/// cancelled, 2 when it was refused or failed; `results` as the interface defines them.
struct PortalAnswer {
    uint response = 2;
    QVariantMap results;
};

/// A request the portal could not take: no portal runs, it lacks the interface, it refused the
/// call, it did not answer in time, or it answered with a refusal (Declined).
class PortalError final : public PlatformError {
public:
    enum class Kind { NoPortal, NoInterface, CallRefused, NoAnswer, Declined };
    PortalError(Kind kind, QString message)
        : PlatformError(std::move(message))
        , m_kind(kind) {}
    [[nodiscard]] Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString portalObject = QStringLiteral("/org/freedesktop/portal/desktop");

/// Pindle's own connection to the session bus for the portal. The portal tells applications apart
/// by connection, and newer ones (1.19.4 and later) learn an unsandboxed application's id only
/// from a registration that comes before anything else the connection asks: Qt's own connection
/// asks the portal first (Qt and desktop themes read its settings while the application object
/// is made), so Pindle's requests go over a connection of their own.
[[nodiscard]] QDBusConnection portalBus();

/// Makes `call` on the portal (a method whose options carry `handle_token`) and waits, up to
/// `timeout`, for the Response of the request it starts; listens before calling, at the path
/// the portal documents, so an early answer is not missed. Throws PortalError.
QCoro::Task<PortalAnswer> askPortal(QDBusConnection bus, QDBusMessage call, QString token,
                                    std::chrono::milliseconds timeout);

/// A handle_token no other request of this process has.
[[nodiscard]] QString newPortalToken();
/// The path the portal gives a request or session (`kind`) that `bus` names with `token`.
[[nodiscard]] QString portalHandle(const QDBusConnection &bus, QStringView kind,
                                   const QString &token);

/// Hears one request's Response (an implementation detail of askPortal).
class PortalResponse final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void answered(uint response, const QVariantMap &results);

public Q_SLOTS:
    void onResponse(uint response, const QVariantMap &results) {
        Q_EMIT answered(response, results);
    }
};
