#include "services/BackendApi.h"

#include <QCoreApplication>
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
    //: Shown in the chat when a question is asked without a session
    return QCoreApplication::translate("BackendTexts",
                                       "Not logged in. Please sign in to use Pindle.");
}

QString notLoggedIn() {
    //: Shown when the session is checked without a session
    return QCoreApplication::translate("BackendTexts", "Not logged in");
}

QString damagedSignIn() {
    return QCoreApplication::translate("BackendTexts",
                                       "The stored sign-in is damaged. Please sign in again.");
}

QString invalidResponse() {
    //: The server's answer is not an HTTP response at all
    return QCoreApplication::translate("BackendTexts", "Invalid response from server");
}

QString sessionExpiredForChat() {
    return QCoreApplication::translate("BackendTexts", "Session expired. Please sign in again.");
}

QString sessionExpired() {
    return QCoreApplication::translate("BackendTexts", "Session expired. Please log in again.");
}

QString balanceExhausted(const QString &webDomain) {
    //: %1 is the website's domain name, e.g. pindle.app
    return QCoreApplication::translate(
               "BackendTexts",
               "Token balance exhausted or access denied. Buy tokens or subscribe on %1.")
        .arg(webDomain);
}

QString serverError(int status, const QString &body) {
    //: %1 is the HTTP status code, %2 the server's own message (untranslated)
    return QCoreApplication::translate("BackendTexts", "Server error (%1): %2")
        .arg(status)
        .arg(body);
}

QString apiError(const QString &body) {
    //: %1 is the server's own error message (untranslated)
    return QCoreApplication::translate("BackendTexts", "API error: %1").arg(body);
}

QString loginFailed(int status) {
    //: %1 is the HTTP status code
    return QCoreApplication::translate("BackendTexts", "Login failed (HTTP %1)").arg(status);
}

QString verificationFailed(int status) {
    //: Checking the stored session failed; %1 is the HTTP status code
    return QCoreApplication::translate("BackendTexts", "Verification failed (HTTP %1)").arg(status);
}

QString transcriptionFailed() {
    return QCoreApplication::translate("BackendTexts", "Failed to transcribe audio");
}

QString notJson(const QString &parserError) {
    //: %1 is the JSON parser's description of the fault (from Qt)
    return QCoreApplication::translate("BackendTexts", "The server's reply is not valid JSON (%1).")
        .arg(parserError);
}

} // namespace BackendTexts
