#pragma once

#include <QObject>
#include <QUrl>

#include <QCoroTask>

class AuthService;
class BackendConfig;

/// The sign-in window's state and actions: e-mail and password as typed, the request in flight,
/// the last failure in the service's words, and the check whether a stored session is still good.
/// Announces `signedIn` when either succeeds.
class LoginController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged FINAL)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged FINAL)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged FINAL)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged FINAL)
    Q_PROPERTY(bool canSignIn READ canSignIn NOTIFY canSignInChanged FINAL)
    /// The web page where accounts are made; empty when it cannot be formed.
    Q_PROPERTY(QUrl signUpUrl READ signUpUrl CONSTANT FINAL)
    Q_PROPERTY(QString signUpText READ signUpText CONSTANT FINAL)

public:
    LoginController(AuthService &auth, const BackendConfig &backend, QObject *parent = nullptr);

    [[nodiscard]] QString email() const { return m_email; }
    void setEmail(const QString &email);
    [[nodiscard]] QString password() const { return m_password; }
    void setPassword(const QString &password);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    [[nodiscard]] QString errorMessage() const { return m_errorMessage; }
    [[nodiscard]] bool canSignIn() const;
    [[nodiscard]] QUrl signUpUrl() const { return m_signUpUrl; }
    [[nodiscard]] QString signUpText() const;

    /// Signs in with the fields exactly as typed; does nothing while either is empty.
    Q_INVOKABLE void signIn();
    /// Lets a user whose stored session is still valid through without typing; silent otherwise.
    Q_INVOKABLE void checkExistingSession();

Q_SIGNALS:
    void emailChanged();
    void passwordChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void canSignInChanged();
    void signedIn();

private:
    QCoro::Task<> signInTask(QString email, QString password);
    QCoro::Task<> checkTask();
    void setLoading(bool loading);
    void setErrorMessage(const QString &message);

    AuthService &m_auth;
    QUrl m_signUpUrl;
    QString m_webDomain;
    QString m_email;
    QString m_password;
    bool m_isLoading = false;
    QString m_errorMessage;
};
