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
    , m_userEmail(QStringLiteral("Loading..."))
    , m_subscriptionStatus(QStringLiteral("..."))
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
                                       {QStringLiteral("name"), category.name}});
    return options;
}

QString SettingsController::opacityPercent() const {
    // Truncated toward zero, as the slider's steps are shown.
    const double percent = std::trunc(m_settings.overlayOpacity() * 100 + 1e-9);
    return QString::number(qint64(percent)) + u'%';
}

QString SettingsController::categoryDescription() const {
    for (const AssistantCategory &category : m_settings.availableCategories())
        if (category.id == m_settings.selectedCategory())
            return category.description;
    return {};
}

QString SettingsController::displayedStatus(const QString &status) {
    if (status == u"active")
        return QStringLiteral("Active");
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
    setAccount(QStringLiteral("Loading..."), QStringLiteral("..."), {});
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
    QString email = QStringLiteral("Not signed in");
    QString status = QStringLiteral("N/A");
    QString tokensLeft;
    try {
        const AuthService::UserInfo user = co_await m_auth.verifyToken();
        email = user.email;
        status = displayedStatus(user.subscriptionStatus);
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
        setAccount(email, status, tokensLeft);
    }
}

void SettingsController::setAccount(const QString &email, const QString &status,
                                    const QString &tokensLeft) {
    if (m_userEmail == email && m_subscriptionStatus == status && m_tokensLeft == tokensLeft)
        return;
    m_userEmail = email;
    m_subscriptionStatus = status;
    m_tokensLeft = tokensLeft;
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
