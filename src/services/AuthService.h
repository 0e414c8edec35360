#pragma once

#include "services/TokenStore.h"

#include <QCoroTask>

#include <optional>

class SecretStore;

/// The user's account: owns the bearer token and hands it to every request that needs it.
class AuthService final {
public:
    explicit AuthService(SecretStore &secrets);

    AuthService(const AuthService &) = delete;
    AuthService &operator=(const AuthService &) = delete;

    /// The bearer token, or nothing when the user is signed out.
    [[nodiscard]] QCoro::Task<std::optional<QString>> getToken();

private:
    TokenStore m_tokens;
};
