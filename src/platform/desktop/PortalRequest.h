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
