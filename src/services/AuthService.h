#pragma once

#include "core/PindleError.h"
#include "services/BackendApi.h"
#include "services/TokenStore.h"

#include <QJsonObject>
#include <QString>

#include <QCoroTask>

#include <optional>
#include <utility>

class QNetworkAccessManager;
class SecretStore;

/// The user's account: signs in with e-mail and password, checks that the stored token is still
/// accepted, signs out, and hands the bearer token to every request that needs it.
class AuthService final {
public:
    /// The signed-in user as the backend describes them.
    struct UserInfo {
        QString id;
        QString email;
        QString name;
        QString subscriptionStatus;
        std::optional<QString> subscriptionEnd;
        /// The tokens the account may still spend; older backends do not say.
        std::optional<qint64> tokenBalance = std::nullopt;

        /// Reads a user record: the four strings required, "subscriptionEnd" a string, null or
        /// missing; anything else fails. "tokenBalance" is read when it is a whole number (one
        /// below zero as 0) and ignored otherwise.
        [[nodiscard]] static std::optional<UserInfo> fromJson(const QJsonObject &object);
        friend bool operator==(const UserInfo &, const UserInfo &) = default;
    };

    class AuthError final : public PindleError {
    public:
        using PindleError::PindleError;
    };

    AuthService(QNetworkAccessManager &network, SecretStore &secrets, BackendConfig backend);

    AuthService(const AuthService &) = delete;
    AuthService &operator=(const AuthService &) = delete;

    /// Signs in; on success the token is kept for this process and saved to the keychain.
    QCoro::Task<UserInfo> login(QString email, QString password);
    /// Asks the backend whether the stored token is still good; a refusal (401) signs out here.
    QCoro::Task<UserInfo> verifyToken();
    /// Forgets the token and the user, here and in the keychain, and asks the backend to end the
    /// session (without waiting for its answer). Cannot fail.
    QCoro::Task<> logout();
    /// The bearer token, or nothing when the user is signed out.
    [[nodiscard]] QCoro::Task<std::optional<QString>> getToken();

    [[nodiscard]] const std::optional<UserInfo> &cachedUser() const { return m_cachedUser; }

private:
    void endSessionOnBackend(const QString &token);
    /// Reads the whole reply: its status and body, or the transport's failure, or "Invalid
    /// response from server".
    QCoro::Task<std::pair<int, QByteArray>> exchange(ReplyPtr reply);

    BackendApi m_api;
    TokenStore m_tokens;
    std::optional<UserInfo> m_cachedUser;
};
