#pragma once

#include "services/BackendConfig.h"
#include "services/ReplyWatcher.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QNetworkAccessManager;

/// The one road to the backend: requests for its endpoints, with the user's bearer token where
/// the endpoint wants one, refused before anything is sent where credentials could be read on
/// the way; and, in `BackendTexts`, every sentence the user reads about a request.
class BackendApi final {
public:
    BackendApi(QNetworkAccessManager &network, BackendConfig backend);

    [[nodiscard]] const BackendConfig &config() const { return m_backend; }

    /// Why credentials must not go to `path`, in words for the user: over plain HTTP to another
    /// machine, or a `token` that would break its header line. Nothing when they may.
    [[nodiscard]] std::optional<QString> refusal(const QString &path,
                                                 const std::optional<QString> &token = {}) const;

    /// Sends a GET (no `body`) or a POST of `body` as `contentType`, with `token` as the bearer
    /// when there is one. Call `refusal()` first.
    [[nodiscard]] ReplyPtr send(const QString &path, const std::optional<QString> &token,
                                const std::optional<QByteArray> &body = {},
                                const QByteArray &contentType = {},
                                const QList<std::pair<QByteArray, QByteArray>> &headers = {});

private:
    QNetworkAccessManager &m_network;
    BackendConfig m_backend;
};

/// What the user reads when a request to the backend cannot be made or fails. The session
/// endpoints and the chat endpoint word an expired session differently ("log in" / "sign in");
/// both wordings are kept where users have met them.
namespace BackendTexts {

[[nodiscard]] QString notSignedIn();           ///< a question without a session
[[nodiscard]] QString notLoggedIn();           ///< a session check without a session
[[nodiscard]] QString damagedSignIn();         ///< a stored token that cannot travel in a header
[[nodiscard]] QString invalidResponse();       ///< an answer that is not HTTP
[[nodiscard]] QString sessionExpiredForChat(); ///< 401 from the chat endpoint
[[nodiscard]] QString sessionExpired();        ///< 401 from the session check
[[nodiscard]] QString balanceExhausted(const QString &webDomain);   ///< 403 from the chat endpoint
[[nodiscard]] QString serverError(int status, const QString &body); ///< a streamed answer refused
[[nodiscard]] QString apiError(const QString &body);                ///< a whole answer refused
[[nodiscard]] QString loginFailed(int status);
[[nodiscard]] QString verificationFailed(int status);
[[nodiscard]] QString transcriptionFailed();
[[nodiscard]] QString notJson(const QString &parserError);

} // namespace BackendTexts
