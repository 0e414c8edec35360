#include "models/LoginController.h"

#include "services/AuthService.h"
#include "services/BackendConfig.h"

#include <QPointer>

LoginController::LoginController(AuthService &auth, const BackendConfig &backend, QObject *parent)
    : QObject(parent)
    , m_auth(auth)
    , m_signUpUrl(backend.signUpUrl())
    , m_webDomain(backend.webDomain()) {}

void LoginController::setEmail(const QString &email) {
    if (m_email == email)
        return;
    const bool could = canSignIn();
    m_email = email;
    Q_EMIT emailChanged();
    if (could != canSignIn())
        Q_EMIT canSignInChanged();
}

void LoginController::setPassword(const QString &password) {
    if (m_password == password)
        return;
    const bool could = canSignIn();
    m_password = password;
    Q_EMIT passwordChanged();
    if (could != canSignIn())
        Q_EMIT canSignInChanged();
}

bool LoginController::canSignIn() const {
    return !m_email.isEmpty() && !m_password.isEmpty() && !m_isLoading;
}

QString LoginController::signUpText() const {
    //: Link under the sign-in form; %1 is the web site's host name, maybe with a port
    return tr("Sign up at %1").arg(m_webDomain);
}

void LoginController::signIn() {
    if (m_email.isEmpty() || m_password.isEmpty())
        return;
    setLoading(true);
    setErrorMessage(QString());
    signInTask(m_email, m_password);
}

QCoro::Task<> LoginController::signInTask(QString email, QString password) {
    QPointer self(this);
    try {
        co_await m_auth.login(std::move(email), std::move(password));
        if (!self)
            co_return;
        Q_EMIT signedIn();
        setLoading(false);
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        const auto *pindle = dynamic_cast<const PindleError *>(&error);
        setErrorMessage(pindle ? pindle->message() : QString::fromUtf8(error.what()));
        setLoading(false);
    }
}

void LoginController::checkExistingSession() {
    checkTask();
}

QCoro::Task<> LoginController::checkTask() {
    QPointer self(this);
    try {
        co_await m_auth.verifyToken();
        if (self)
            Q_EMIT signedIn();
    } catch (const std::exception &) {
        // No session, or not a valid one: the user signs in.
    }
}

void LoginController::setLoading(bool loading) {
    if (m_isLoading == loading)
        return;
    const bool could = canSignIn();
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
    if (could != canSignIn())
        Q_EMIT canSignInChanged();
}

void LoginController::setErrorMessage(const QString &message) {
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}
