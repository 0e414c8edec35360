#include "models/SettingsController.h"

#include "services/AuthService.h"
#include "services/SettingsManager.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QVariantMap>

#include <cmath>

SettingsController::SettingsController(AuthService &auth, SettingsManager &settings,
                                       StartAtLogin startAtLogin, QObject *parent)
    : QObject(parent)
    , m_auth(auth)
    , m_settings(settings)
    //: Shown in the settings window's account rows while the account is being fetched
    , m_userEmail(tr("Loading..."))
    //: Shown in place of the subscription status while the account is being fetched
    , m_subscriptionStatus(tr("..."))
    , m_startAtLogin(std::move(startAtLogin))
    , m_startsAtLogin(m_startAtLogin.isEnabled()) {
    connect(&settings, &SettingsManager::modelOptionsChanged, this,
            &SettingsController::modelOptionsChanged);
    connect(&settings, &SettingsManager::overlayOpacityChanged, this,
            &SettingsController::opacityPercentChanged);
    connect(&settings, &SettingsManager::selectedCategoryChanged, this,
            &SettingsController::categoryDescriptionChanged);
}

QVariantList SettingsController::modelOptions() const {
    QVariantList options;
    for (const SettingsManager::ModelOption &option : m_settings.availableModelOptions())
        options.append(
            QVariantMap{{QStringLiteral("id"), option.id}, {QStringLiteral("name"), option.name}});
    return options;
}

QVariantList SettingsController::categoryOptions() const {
    QVariantList options;
    for (const AssistantCategory &category : m_settings.availableCategories())
        if (category.enabled)
            options.append(QVariantMap{{QStringLiteral("id"), category.id},
                                       {QStringLiteral("name"), category.displayName()}});
    return options;
}

QString SettingsController::opacityPercent() const {
    // Truncated toward zero, as the slider's steps are shown.
    const double percent = std::trunc(m_settings.overlayOpacity() * 100 + 1e-9);
    //: The overlay's opacity in the settings window; %1 is a whole number of percent
    return tr("%1%").arg(QLocale().toString(qint64(percent)));
}

QString SettingsController::categoryDescription() const {
    for (const AssistantCategory &category : m_settings.availableCategories())
        if (category.id == m_settings.selectedCategory())
            return category.displayDescription();
    return {};
}

bool SettingsController::isActive(const QString &status) {
    return status.toLower() == u"active";
}

QString SettingsController::displayedStatus(const QString &status) {
    // Any spelling of "active" is the one status Pindle knows: shown in the user's language.
    if (isActive(status))
        //: Subscription status in the settings window's account rows
        return tr("Active");
    QString shown = status.toLower();
    bool wordStart = true;
    for (QChar &character : shown) {
        if (wordStart && character.isLetter())
            character = character.toUpper();
        wordStart = character.isSpace();
    }
    return shown;
}

void SettingsController::loadAccountInfo() {
    setAccount(tr("Loading..."), tr("..."), {}, false);
    m_loading = true;
    loadTask(++m_generation, false);
}

QCoro::Task<> SettingsController::refreshAccountInfo() {
    // Over a load still under way, this one has to end the "Loading..." whatever happens.
    return loadTask(++m_generation, !m_loading);
}

void SettingsController::reloadStartAtLogin() {
    if (const bool enabled = m_startAtLogin.isEnabled(); enabled != m_startsAtLogin) {
        m_startsAtLogin = enabled;
        Q_EMIT startAtLoginChanged();
    }
}

QCoro::Task<> SettingsController::loadTask(quint64 generation, bool quietly) {
    QPointer self(this);
    //: Shown in the settings window's account rows in place of the e-mail address
    QString email = tr("Not signed in");
    //: Shown in place of the subscription status when no one is signed in
    QString status = tr("N/A");
    QString tokensLeft;
    bool active = false;
    try {
        const AuthService::UserInfo user = co_await m_auth.verifyToken();
        email = user.email;
        status = displayedStatus(user.subscriptionStatus);
        active = isActive(user.subscriptionStatus);
        if (user.tokenBalance)
            tokensLeft = QLocale().toString(*user.tokenBalance);
    } catch (const std::exception &) {
        // Shown as not signed in, whatever the reason; a quiet refresh keeps what it showed
        // unless the session is gone.
        if (quietly && self && m_auth.cachedUser())
            co_return;
    }
    // Only the latest load speaks: the window may have been shown again meanwhile.
    if (self && generation == m_generation) {
        m_loading = false;
        setAccount(email, status, tokensLeft, active);
    }
}

void SettingsController::setAccount(const QString &email, const QString &status,
                                    const QString &tokensLeft, bool active) {
    if (m_userEmail == email && m_subscriptionStatus == status && m_tokensLeft == tokensLeft &&
        m_subscriptionActive == active)
        return;
    m_userEmail = email;
    m_subscriptionStatus = status;
    m_tokensLeft = tokensLeft;
    m_subscriptionActive = active;
    Q_EMIT accountChanged();
}

void SettingsController::setStartAtLogin(bool enabled) {
    QString error;
    m_startAtLogin.setEnabled(enabled, QCoreApplication::applicationFilePath(), error);
    m_startAtLoginError = error;
    m_startsAtLogin = m_startAtLogin.isEnabled();
    // Also when the switch was refused: it moves back to what the entry says.
    Q_EMIT startAtLoginChanged();
}
