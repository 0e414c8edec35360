#include "services/AuthService.h"

AuthService::AuthService(SecretStore &secrets)
    : m_tokens(secrets) {}

QCoro::Task<std::optional<QString>> AuthService::getToken() {
    return m_tokens.getToken();
}
