#pragma once

#include "platform/SecretStore.h"

#include <QString>

#include <QCoroTask>

#include <memory>
#include <optional>

/// The signed-in user's bearer token: kept in the keychain across launches, with a copy in memory
/// so the keychain is read at most once per process while a token is present.
///
/// Keychain calls are asynchronous here, so a load can be overtaken by a save or a delete that
/// started after it. A load only fills the cache when nothing overtook it; the cached copy is
/// therefore always the token last saved or successfully loaded. A load still under way when the
/// store goes (the application closing) fails with a PindleError instead of touching it.
class TokenStore final {
public:
    static constexpr auto keychainService = "com.pindle.app";
    static constexpr auto keychainAccount = "pindle_auth_token";

    explicit TokenStore(SecretStore &secrets);

    /// The token, from memory when present, else from the keychain; nothing when signed out.
    [[nodiscard]] QCoro::Task<std::optional<QString>> getToken();

    [[nodiscard]] const std::optional<QString> &cachedToken() const { return m_cachedToken; }
    /// Moves on with every save, delete and cache change: a caller that awaited something can
    /// tell whether the token changed meanwhile.
    [[nodiscard]] quint64 generation() const { return m_generation; }
    void setCachedToken(std::optional<QString> token);

    /// Replaces the keychain item with `token`. Silent on failure.
    QCoro::Task<> saveTokenToKeychain(QString token);
    /// Reads the keychain item; on success the token is also cached. Any failure, including bytes
    /// that are not UTF-8, yields nothing.
    QCoro::Task<std::optional<QString>> loadTokenFromKeychain();
    /// Removes the keychain item; the cached copy is left to the caller. Silent on failure.
    QCoro::Task<> deleteTokenFromKeychain();

private:
    SecretStore &m_secrets;
    std::optional<QString> m_cachedToken;
    // Bumped by every save, delete and explicit cache change; a load that sees it move was
    // overtaken.
    quint64 m_generation = 0;
    // Gone with the store: a load that resumes after it ends sees that and touches nothing.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};
