#include "Credentials.h"

#include <sodium.h>

#include <stdexcept>

namespace pindle {

// Holds one of the hasher's places for as long as it lives.
class PasswordHasher::Slot {
public:
    explicit Slot(PasswordHasher &hasher)
        : m_hasher(hasher) {
        std::unique_lock lock(m_hasher.m_mutex);
        m_hasher.m_free.wait(lock, [&] { return m_hasher.m_available > 0; });
        --m_hasher.m_available;
    }
    Slot(const Slot &) = delete;
    Slot &operator=(const Slot &) = delete;
    ~Slot() {
        {
            std::lock_guard lock(m_hasher.m_mutex);
            ++m_hasher.m_available;
        }
        m_hasher.m_free.notify_one();
    }

private:
    PasswordHasher &m_hasher;
};

void initialiseCrypto() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

PasswordHasher::PasswordHasher(int maxConcurrent)
    : m_available(maxConcurrent > 0 ? maxConcurrent : 1) {}

std::string PasswordHasher::hash(std::string_view password) {
    const Slot slot(*this);
    char encoded[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(
            encoded, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return encoded;
}

bool PasswordHasher::verify(std::string_view password, const std::string &encoded) {
    if (encoded.size() >= crypto_pwhash_STRBYTES)
        return false;
    const Slot slot(*this);
    return crypto_pwhash_str_verify(encoded.c_str(), password.data(), password.size()) == 0;
}

std::string newSessionToken() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    sodium_memzero(bytes, sizeof bytes);
    return hex;
}

TokenHash hashSessionToken(std::string_view token) {
    TokenHash hash{};
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char *>(token.data()), token.size(), nullptr,
                       0);
    return hash;
}

std::optional<std::string> emailProblem(const std::string &email) {
    const auto at = email.find('@');
    if (email.size() > 254 || at == std::string::npos || at == 0 || at + 1 >= email.size() ||
        email.find('@', at + 1) != std::string::npos ||
        email.find_first_of(" \t\r\n<>\"") != std::string::npos)
        return "Please enter a valid e-mail address.";
    return std::nullopt;
}

std::optional<std::string> passwordProblem(const std::string &password) {
    if (password.size() < 8)
        return "The password must be at least 8 characters long.";
    if (password.size() > 1024)
        return "The password must be at most 1024 characters long.";
    return std::nullopt;
}

} // namespace pindle
