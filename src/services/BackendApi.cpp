#include "services/BackendApi.h"

#include <QNetworkAccessManager>

BackendApi::BackendApi(QNetworkAccessManager &network, BackendConfig backend)
    : m_network(network)
    , m_backend(std::move(backend)) {}

std::optional<QString> BackendApi::refusal(const QString &path,
                                           const std::optional<QString> &token) const {
    if (auto refused = BackendConfig::credentialTransportRefusal(m_backend.endpoint(path)))
        return refused;
    if (token && !BackendConfig::isHeaderSafe(*token))
        return BackendTexts::damagedSignIn();
    return std::nullopt;
}

ReplyPtr BackendApi::send(const QString &path, const std::optional<QString> &token,
                          const std::optional<QByteArray> &body, const QByteArray &contentType,
                          const QList<std::pair<QByteArray, QByteArray>> &headers) {
    QNetworkRequest request = m_backend.request(path);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    if (token)
        request.setRawHeader(QByteArrayLiteral("Authorization"),
                             QByteArrayLiteral("Bearer ") + token->toUtf8());
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    return ReplyPtr(body ? m_network.post(request, *body) : m_network.get(request));
}

namespace BackendTexts {

QString notSignedIn() {
    return QStringLiteral("Not logged in. Please sign in to use Pindle.");
}

QString notLoggedIn() {
    return QStringLiteral("Not logged in");
}

QString damagedSignIn() {
    return QStringLiteral("The stored sign-in is damaged. Please sign in again.");
}

QString invalidResponse() {
    return QStringLiteral("Invalid response from server");
}

QString sessionExpiredForChat() {
    return QStringLiteral("Session expired. Please sign in again.");
}

QString sessionExpired() {
    return QStringLiteral("Session expired. Please log in again.");
}

QString balanceExhausted(const QString &webDomain) {
    return QStringLiteral("Token balance exhausted or access denied. Buy tokens or subscribe on ") +
           webDomain + u'.';
}

QString serverError(int status, const QString &body) {
    return QStringLiteral("Server error (%1): %2").arg(status).arg(body);
}

QString apiError(const QString &body) {
    return QStringLiteral("API error: ") + body;
}

QString loginFailed(int status) {
    return QStringLiteral("Login failed (HTTP %1)").arg(status);
}

QString verificationFailed(int status) {
    return QStringLiteral("Verification failed (HTTP %1)").arg(status);
}

QString transcriptionFailed() {
    return QStringLiteral("Failed to transcribe audio");
}

QString notJson(const QString &parserError) {
    return QStringLiteral("The server's reply is not valid JSON (%1).").arg(parserError);
}

} // namespace BackendTexts
