#pragma once

#include "services/StartAtLogin.h"

#include <QObject>
#include <QVariantList>

#include <QCoroTask>

class AuthService;
class SettingsManager;

/// What the settings window shows beyond the settings themselves: the account as the backend
/// reports it (reloaded each time the window appears, and its balance after each answer), the
/// pickers' entries, the opacity as a percentage and the chosen category's description.
class SettingsController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString userEmail READ userEmail NOTIFY accountChanged FINAL)
    Q_PROPERTY(QString subscriptionStatus READ subscriptionStatus NOTIFY accountChanged FINAL)
    Q_PROPERTY(bool subscriptionActive READ subscriptionActive NOTIFY accountChanged FINAL)
    /// The tokens the account may still spend, grouped as the user's locale writes numbers;
    /// empty when signed out or when the backend does not say.
    Q_PROPERTY(QString tokensLeft READ tokensLeft NOTIFY accountChanged FINAL)
    /// [{id, name}] in picker order; a saved model the list lacks comes first.
    Q_PROPERTY(QVariantList modelOptions READ modelOptions NOTIFY modelOptionsChanged FINAL)
    /// [{id, name}] of the enabled categories, in table order.
    Q_PROPERTY(QVariantList categoryOptions READ categoryOptions CONSTANT FINAL)
    Q_PROPERTY(QString opacityPercent READ opacityPercent NOTIFY opacityPercentChanged FINAL)
    /// The selected category's description; empty when the id matches no category.
    Q_PROPERTY(QString categoryDescription READ categoryDescription NOTIFY
                   categoryDescriptionChanged FINAL)
    /// Whether an autostart entry starts Pindle at login, as the entry says now.
    Q_PROPERTY(
        bool startAtLogin READ startAtLogin WRITE setStartAtLogin NOTIFY startAtLoginChanged FINAL)
    /// Why the entry could not be written or removed; empty after a success.
    Q_PROPERTY(QString startAtLoginError READ startAtLoginError NOTIFY startAtLoginChanged FINAL)

public:
    SettingsController(AuthService &auth, SettingsManager &settings,
                       StartAtLogin startAtLogin = StartAtLogin(), QObject *parent = nullptr);

    [[nodiscard]] QString userEmail() const { return m_userEmail; }
    [[nodiscard]] QString subscriptionStatus() const { return m_subscriptionStatus; }
    [[nodiscard]] bool subscriptionActive() const { return m_subscriptionActive; }
    [[nodiscard]] QString tokensLeft() const { return m_tokensLeft; }
    [[nodiscard]] QVariantList modelOptions() const;
    [[nodiscard]] QVariantList categoryOptions() const;
    [[nodiscard]] QString opacityPercent() const;
    [[nodiscard]] QString categoryDescription() const;
    [[nodiscard]] bool startAtLogin() const { return m_startsAtLogin; }
    void setStartAtLogin(bool enabled);
    [[nodiscard]] QString startAtLoginError() const { return m_startAtLoginError; }

    /// "active" in any case becomes "Active" (translated); any other status is capitalised word by
    /// word (words are separated by white space).
    [[nodiscard]] static QString displayedStatus(const QString &status);

    /// Starts again from "Loading..." and asks the backend for the account.
    Q_INVOKABLE void loadAccountInfo();
    /// Asks the backend for the account again, showing what is known meanwhile; a failure
    /// leaves the rows as they are. Done when the answer is shown (or set aside).
    QCoro::Task<> refreshAccountInfo();
    /// Reads the autostart entry again: it may have changed while the window was closed.
    void reloadStartAtLogin();

Q_SIGNALS:
    void accountChanged();
    void modelOptionsChanged();
    void opacityPercentChanged();
    void categoryDescriptionChanged();
    void startAtLoginChanged();

private:
    QCoro::Task<> loadTask(quint64 generation, bool quietly);
    void setAccount(const QString &email, const QString &status, const QString &tokensLeft,
                    bool active);
    // Whether the backend's status says the subscription is active, whatever its case.
    [[nodiscard]] static bool isActive(const QString &status);

    AuthService &m_auth;
    SettingsManager &m_settings;
    QString m_userEmail;
    QString m_subscriptionStatus;
    QString m_tokensLeft;
    // Kept apart from the status shown, which is in the user's language.
    bool m_subscriptionActive = false;
    quint64 m_generation = 0;
    // "Loading..." is shown until a load ends.
    bool m_loading = false;
    StartAtLogin m_startAtLogin;
    bool m_startsAtLogin = false;
    QString m_startAtLoginError;
};
