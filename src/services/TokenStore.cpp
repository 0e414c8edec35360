#include "services/TokenStore.h"

#include "core/PindleError.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace {

QString service() {
    return QString::fromLatin1(TokenStore::keychainService);
}

QString account() {
    return QString::fromLatin1(TokenStore::keychainAccount);
}

std::optional<QString> decodeUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// WORKAROUND: QCoro 0.8's Task<T>::return_value(U &&) moves from an lvalue operand, so
// `co_return m_member;` would empty the member. Return members through a copy. Remove once every
// QCoro we build with copies an lvalue operand there.
std::optional<QString> copyOf(const std::optional<QString> &token) {
    return token;
}

} // namespace

TokenStore::TokenStore(SecretStore &secrets)
    : m_secrets(secrets) {}

QCoro::Task<std::optional<QString>> TokenStore::getToken() {
    if (m_cachedToken)
        co_return copyOf(m_cachedToken);
    co_return co_await loadTokenFromKeychain();
}

void TokenStore::setCachedToken(std::optional<QString> token) {
    ++m_generation;
    m_cachedToken = std::move(token);
}

QCoro::Task<> TokenStore::saveTokenToKeychain(QString token) {
    ++m_generation;
    QString name = service(), user = account();
    QByteArray secret = token.toUtf8();
    co_await m_secrets.writeSecret(std::move(name), std::move(user), std::move(secret));
}

QCoro::Task<std::optional<QString>> TokenStore::loadTokenFromKeychain() {
    const quint64 startedAt = m_generation;
    const std::weak_ptr<const bool> alive = m_alive;
    QString name = service(), user = account();
    const std::optional<QByteArray> bytes =
        co_await m_secrets.readSecret(std::move(name), std::move(user));
    if (alive.expired())
        throw PindleError(
            QCoreApplication::translate("TokenStore", "Pindle closed while reading the keychain."));
    if (m_generation != startedAt) // a save, delete or sign-in landed meanwhile: it is newer
        co_return copyOf(m_cachedToken);
    if (!bytes)
        co_return std::nullopt;
    std::optional<QString> token = decodeUtf8(*bytes);
    if (token)
        m_cachedToken = token;
    co_return token;
}

QCoro::Task<> TokenStore::deleteTokenFromKeychain() {
    ++m_generation;
    QString name = service(), user = account();
    co_await m_secrets.deleteSecret(std::move(name), std::move(user));
}
