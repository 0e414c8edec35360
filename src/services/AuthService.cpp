#include "services/AuthService.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {

// Sign-in and verification replies are small records.
constexpr qsizetype maxReplySize = 1024 * 1024;

// How long a sign-out may take to reach the backend before it is given up.
constexpr std::chrono::seconds endSessionTimeout(10);

std::optional<QString> stringAt(const QJsonObject &object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

// A JSON number that is whole and fits, never below zero; nothing for anything else.
std::optional<qint64> wholeNumberAt(const QJsonObject &object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    // toInteger() gives its fallback for a fraction or a number out of range: two fallbacks that
    // differ tell a real value from them.
    const qint64 number = value.toInteger(-1);
    if (!value.isDouble() || number != value.toInteger(-2))
        return std::nullopt;
    return std::max<qint64>(number, 0);
}

QJsonObject decodeObject(const QByteArray &body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(BackendTexts::notJson(error.errorString()));
    if (!document.isObject())
        throw DecodingError(
            QCoreApplication::translate("AuthService", "The server's reply is not a JSON object."));
    return document.object();
}

AuthService::UserInfo decodeUser(const QJsonObject &object) {
    std::optional<AuthService::UserInfo> user = AuthService::UserInfo::fromJson(object);
    if (!user)
        throw DecodingError(QCoreApplication::translate(
            "AuthService", "The server's reply does not describe a user."));
    return *std::move(user);
}

} // namespace

std::optional<AuthService::UserInfo> AuthService::UserInfo::fromJson(const QJsonObject &object) {
    const auto id = stringAt(object, QLatin1String("id"));
    const auto email = stringAt(object, QLatin1String("email"));
    const auto name = stringAt(object, QLatin1String("name"));
    const auto status = stringAt(object, QLatin1String("subscriptionStatus"));
    const QJsonValue end = object.value(QLatin1String("subscriptionEnd"));
    if (!id || !email || !name || !status || !(end.isString() || end.isNull() || end.isUndefined()))
        return std::nullopt;
    return UserInfo{*id,
                    *email,
                    *name,
                    *status,
                    end.isString() ? std::optional(end.toString()) : std::nullopt,
                    wholeNumberAt(object, QLatin1String("tokenBalance"))};
}

AuthService::AuthService(QNetworkAccessManager &network, SecretStore &secrets,
                         BackendConfig backend)
    : m_api(network, std::move(backend))
    , m_tokens(secrets) {}

QCoro::Task<std::optional<QString>> AuthService::getToken() {
    return m_tokens.getToken();
}

QCoro::Task<std::pair<int, QByteArray>> AuthService::exchange(ReplyPtr reply) {
    ReplyWatcher watcher(*reply, m_api.config().requestTimeout());
    QByteArray answer = co_await watcher.readAll(maxReplySize);
    if (watcher.transportFailed())
        throw NetworkError(watcher.transportErrorText());
    if (watcher.status() == 0)
        throw AuthError(BackendTexts::invalidResponse());
    co_return std::pair{watcher.status(), std::move(answer)};
}

QCoro::Task<AuthService::UserInfo> AuthService::login(QString email, QString password) {
    const QString path = QStringLiteral("/api/auth/login");
    if (const auto refusal = m_api.refusal(path))
        throw AuthError(*refusal);
    const QJsonObject body{{QStringLiteral("email"), email},
                           {QStringLiteral("password"), password}};
    const quint64 generation = m_tokens.generation();
    ReplyPtr reply =
        m_api.send(path, std::nullopt, QJsonDocument(body).toJson(QJsonDocument::Compact),
                   QByteArrayLiteral("application/json"));
    const auto [status, answer] = co_await exchange(std::move(reply));
    if (status != 200) {
        const QJsonObject refusal = QJsonDocument::fromJson(answer).object();
        if (const auto error = stringAt(refusal, QLatin1String("error")))
            throw AuthError(*error);
        throw AuthError(BackendTexts::loginFailed(status));
    }
    const QJsonObject accepted = decodeObject(answer);
    const auto token = stringAt(accepted, QLatin1String("token"));
    if (!token)
        throw DecodingError(
            QCoreApplication::translate("AuthService", "The server's reply has no sign-in token."));
    UserInfo user = decodeUser(accepted.value(QLatin1String("user")).toObject());
    // A sign-out (or another sign-in) while this one was under way is newer: it stands.
    if (m_tokens.generation() != generation)
        throw AuthError(QCoreApplication::translate("AuthService", "Signed out while signing in."));

    m_tokens.setCachedToken(*token);
    m_cachedUser = user;
    co_await m_tokens.saveTokenToKeychain(*token);
    co_return user;
}

QCoro::Task<AuthService::UserInfo> AuthService::verifyToken() {
    const std::optional<QString> token = co_await m_tokens.getToken();
    if (!token)
        throw AuthError(BackendTexts::notLoggedIn());
    const QString path = QStringLiteral("/api/auth/me");
    if (const auto refusal = m_api.refusal(path, token))
        throw AuthError(*refusal);
    const quint64 generation = m_tokens.generation();
    const auto [status, answer] = co_await exchange(m_api.send(path, token));
    // A sign-out or sign-in that landed while this check was under way is newer than it: the
    // sign-out stands, and the sign-in answers for itself.
    if (m_tokens.generation() != generation && m_tokens.cachedToken() != token) {
        if (m_tokens.cachedToken() && m_cachedUser)
            co_return UserInfo(*m_cachedUser);
        throw AuthError(QCoreApplication::translate(
            "AuthService", "Signed out while the session was being checked."));
    }
    if (status == 401) {
        m_tokens.setCachedToken(std::nullopt);
        m_cachedUser.reset();
        co_await m_tokens.deleteTokenFromKeychain();
        throw AuthError(BackendTexts::sessionExpired());
    }
    if (status != 200)
        throw AuthError(BackendTexts::verificationFailed(status));
    UserInfo user = decodeUser(decodeObject(answer));
    m_tokens.setCachedToken(*token);
    m_cachedUser = user;
    co_return user;
}

QCoro::Task<> AuthService::logout() {
    if (const std::optional<QString> &token = m_tokens.cachedToken())
        endSessionOnBackend(*token);
    m_tokens.setCachedToken(std::nullopt);
    m_cachedUser.reset();
    co_await m_tokens.deleteTokenFromKeychain();
}

void AuthService::endSessionOnBackend(const QString &token) {
    // The backend ends the session too, so a copy of the token left anywhere is worth nothing.
    // Best effort and not waited for: signing out here never depends on the network.
    const QString path = QStringLiteral("/api/auth/logout");
    if (m_api.refusal(path, token))
        return;
    QNetworkReply *reply = m_api.send(path, token, QByteArray()).release();
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    QTimer::singleShot(endSessionTimeout, reply, &QNetworkReply::abort);
}
