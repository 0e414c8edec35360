#include "services/BackendConfig.h"

#include <QCoreApplication>
#include <QHostAddress>

#ifndef PINDLE_BACKEND_URL
#define PINDLE_BACKEND_URL "http://127.0.0.1:8787"
#endif

BackendConfig::BackendConfig(QUrl baseUrl, std::chrono::milliseconds requestTimeout)
    : m_baseUrl(baseUrl.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment))
    , m_requestTimeout(requestTimeout) {}

BackendConfig BackendConfig::builtIn() {
    return BackendConfig(QUrl(QStringLiteral(PINDLE_BACKEND_URL)));
}

QUrl BackendConfig::endpoint(const QString &path) const {
    QUrl url = m_baseUrl;
    url.setPath(path);
    return url;
}

QString BackendConfig::webDomain() const {
    const int port = m_baseUrl.port();
    const int usual = m_baseUrl.scheme() == QLatin1String("https") ? 443 : 80;
    if (port < 0 || port == usual)
        return m_baseUrl.host();
    return m_baseUrl.host() + QLatin1Char(':') + QString::number(port);
}

QNetworkRequest BackendConfig::request(const QString &path) const {
    QNetworkRequest request(endpoint(path));
    request.setTransferTimeout(0);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return request;
}

bool BackendConfig::isHeaderSafe(const QString &token) {
    return std::none_of(token.cbegin(), token.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QUrl BackendConfig::signUpUrl() const {
    return endpoint(QStringLiteral("/signup"));
}

std::optional<QString> BackendConfig::credentialTransportRefusal(const QUrl &url) {
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("https"))
        return std::nullopt;
    const QString host = url.host();
    const bool loopback = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
                          QHostAddress(host).isLoopback();
    if (scheme == QLatin1String("http") && loopback)
        return std::nullopt;
    //: %1 is the backend's host name or address
    return QCoreApplication::translate(
               "BackendConfig",
               "Refusing to send your sign-in over an unencrypted connection to %1. "
               "Pindle's backend address must start with https://.")
        .arg(host.isEmpty() ? url.toDisplayString() : host);
}
