#include "services/SettingsManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>

namespace {

// Far beyond four settings; anything larger is not a document this program wrote.
constexpr qint64 maxDocumentSize = 1024 * 1024;

QString key(const char *name) {
    return QString::fromLatin1(name);
}

QString stringOr(const QJsonObject &document, const char *name, const QString &fallback) {
    const QJsonValue value = document.value(key(name));
    return value.isString() ? value.toString() : fallback;
}

} // namespace

SettingsManager::SettingsManager(QString filePath, QObject *parent)
    : QObject(parent)
    , m_filePath(std::move(filePath)) {
    load();
    if (const QJsonValue model = m_document.value(key(modelKey)); model.isString())
        m_chosenModel = model.toString();
    // A list damaged by hand is as good as none: the server is asked again anyway.
    m_offered = OfferedModels::fromJson(m_document.value(key(offeredModelsKey)).toObject());
    m_systemPrompt = stringOr(m_document, systemPromptKey, defaultSystemPrompt());
    const QJsonValue opacity = m_document.value(key(opacityKey));
    m_overlayOpacity = opacity.isDouble() ? opacity.toDouble() : defaultOverlayOpacity();
    m_selectedCategory = stringOr(m_document, categoryKey, defaultCategory());
}

QString SettingsManager::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/settings.json");
}

QString SettingsManager::defaultModel() {
    return QStringLiteral("gpt-4.1");
}

QString SettingsManager::defaultSystemPrompt() {
    return QStringLiteral("You are an expert assistant. Read all text, numbers, and diagrams "
                          "carefully. Give the correct answer concisely. Show your reasoning only "
                          "if the question requires it.");
}

double SettingsManager::defaultOverlayOpacity() {
    return 0.92;
}

QString SettingsManager::defaultCategory() {
    return QStringLiteral("exams");
}

const QList<SettingsManager::ModelOption> &SettingsManager::modelCatalogue() {
    static const QList<ModelOption> catalogue{
        {QStringLiteral("gpt-5.5"), QStringLiteral("GPT-5.5"),
         QStringLiteral("Current flagship GPT-5 family model for complex reasoning and coding.")},
        {QStringLiteral("gpt-5.4"), QStringLiteral("GPT-5.4"),
         QStringLiteral("High-capability GPT-5 family model with lower cost than GPT-5.5.")},
        {QStringLiteral("gpt-5.4-mini"), QStringLiteral("GPT-5.4 mini"),
         QStringLiteral("Faster, cheaper GPT-5 family model for everyday work.")},
        {QStringLiteral("gpt-4.1"), QStringLiteral("GPT-4.1"),
         QStringLiteral("Best overall for quality, coding, and instruction following.")},
        {QStringLiteral("o3"), QStringLiteral("o3"),
         QStringLiteral("Best for deep reasoning and harder multi-step tasks.")},
        {QStringLiteral("o4-mini"), QStringLiteral("o4-mini"),
         QStringLiteral("Strong reasoning with lower cost and faster responses.")},
        {QStringLiteral("gpt-4o"), QStringLiteral("GPT-4o"),
         QStringLiteral("Reliable multimodal general-purpose model for text, images, and voice.")},
        {QStringLiteral("gpt-4.1-mini"), QStringLiteral("GPT-4.1 mini"),
         QStringLiteral("Balanced speed and quality for everyday use.")},
        {QStringLiteral("gpt-4o-mini"), QStringLiteral("GPT-4o mini"),
         QStringLiteral("Fast and inexpensive for lightweight prompts.")},
        {QStringLiteral("o3-mini"), QStringLiteral("o3-mini"),
         QStringLiteral("Compact reasoning model for quick analytical tasks.")},
        {QStringLiteral("gpt-4.1-nano"), QStringLiteral("GPT-4.1 nano"),
         QStringLiteral("Smallest, fastest option for simple low-latency requests.")},
        {QStringLiteral("gpt-4-turbo"), QStringLiteral("GPT-4 Turbo"),
         QStringLiteral("Older high-capability GPT-4 generation kept for compatibility.")},
        {QStringLiteral("gpt-4"), QStringLiteral("GPT-4"),
         QStringLiteral("Legacy GPT-4 model kept for older workflows.")},
        {QStringLiteral("gpt-3.5-turbo"), QStringLiteral("GPT-3.5 Turbo"),
         QStringLiteral("Legacy budget model kept for backward compatibility.")},
    };
    return catalogue;
}

QString SettingsManager::model() const {
    if (m_chosenModel)
        return *m_chosenModel;
    return m_offered ? m_offered->defaultId : defaultModel();
}

void SettingsManager::setModel(const QString &model) {
    const bool changed = this->model() != model;
    m_chosenModel = model;
    store(modelKey, model);
    if (changed) {
        Q_EMIT modelChanged();
        Q_EMIT modelOptionsChanged();
    }
}

QString SettingsManager::requestModel() const {
    const QString chosen = model();
    if (!m_offered || m_offered->anyModel || m_offered->find(chosen))
        return chosen;
    return m_offered->defaultId;
}

void SettingsManager::setOfferedModels(const std::optional<OfferedModels> &offered) {
    if (m_offered == offered) {
        if (!offered) // a damaged copy goes too
            remove(offeredModelsKey);
        return;
    }
    const QString before = model();
    m_offered = offered;
    if (offered)
        store(offeredModelsKey, offered->toJson());
    else
        remove(offeredModelsKey);
    if (model() != before)
        Q_EMIT modelChanged();
    Q_EMIT modelOptionsChanged();
}

void SettingsManager::setSystemPrompt(const QString &prompt) {
    const bool changed = m_systemPrompt != prompt;
    m_systemPrompt = prompt;
    store(systemPromptKey, m_systemPrompt);
    if (changed)
        Q_EMIT systemPromptChanged();
}

void SettingsManager::setOverlayOpacity(double opacity) {
    const bool changed = m_overlayOpacity != opacity;
    m_overlayOpacity = opacity;
    store(opacityKey, m_overlayOpacity);
    if (changed)
        Q_EMIT overlayOpacityChanged();
}

void SettingsManager::setSelectedCategory(const QString &category) {
    const bool changed = m_selectedCategory != category;
    m_selectedCategory = category;
    store(categoryKey, m_selectedCategory);
    if (changed)
        Q_EMIT selectedCategoryChanged();
}

QString SettingsManager::shortcut(const QString &action) const {
    return m_document.value(key(shortcutsKey)).toObject().value(action).toString();
}

void SettingsManager::setShortcut(const QString &action, const QString &combination) {
    QJsonObject shortcuts = m_document.value(key(shortcutsKey)).toObject();
    const bool changed = shortcuts.value(action).toString() != combination;
    if (combination.isEmpty())
        shortcuts.remove(action);
    else
        shortcuts.insert(action, combination);
    store(shortcutsKey, shortcuts);
    if (changed)
        Q_EMIT shortcutsChanged();
}

bool SettingsManager::noticeShown(const QString &name) const {
    return m_document.value(key(noticesKey)).toArray().contains(name);
}

void SettingsManager::setNoticeShown(const QString &name) {
    QJsonArray notices = m_document.value(key(noticesKey)).toArray();
    if (notices.contains(name))
        return;
    notices.append(name);
    store(noticesKey, notices);
}

const QList<AssistantCategory> &SettingsManager::availableCategories() const {
    return AssistantCategory::builtIn();
}

QList<SettingsManager::ModelOption> SettingsManager::availableModelOptions() const {
    const QString chosen = model();
    QList<ModelOption> options;
    if (m_offered) {
        if (!m_offered->find(chosen) && m_offered->anyModel)
            options.append({chosen, chosen, QStringLiteral("Previously saved custom model.")});
        else if (!m_offered->find(chosen))
            options.append({chosen, QStringLiteral("%1 (not offered)").arg(chosen),
                            QStringLiteral("This server no longer offers this model; %1 is used "
                                           "instead.")
                                .arg(m_offered->defaultModel().name)});
        for (const OfferedModels::Model &offered : m_offered->models)
            options.append({offered.id, offered.name, offered.description, offered.vision});
        return options;
    }
    const QList<ModelOption> &catalogue = modelCatalogue();
    for (const ModelOption &option : catalogue) {
        if (option.id == chosen)
            return catalogue;
    }
    options.reserve(catalogue.size() + 1);
    options.append({chosen, chosen, QStringLiteral("Previously saved custom model.")});
    options.append(catalogue);
    return options;
}

QString SettingsManager::selectedModelSummary() const {
    const QString chosen = model();
    for (const ModelOption &option : availableModelOptions()) {
        if (option.id == chosen)
            return option.summary;
    }
    return {};
}

void SettingsManager::load() {
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (QFileInfo(file).size() > maxDocumentSize) {
        setAsideUnreadable(QStringLiteral("it is too large"));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setAsideUnreadable(file.errorString());
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    if (error.error != QJsonParseError::NoError) {
        setAsideUnreadable(error.errorString());
        return;
    }
    if (!document.isObject()) {
        setAsideUnreadable(QStringLiteral("it is not a JSON object"));
        return;
    }
    m_document = document.object();
}

void SettingsManager::setAsideUnreadable(const QString &reason) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_filePath + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = m_filePath + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    if (QFile::rename(m_filePath, aside)) {
        m_readError = QStringLiteral("Your settings could not be read (%1). They were kept as %2 "
                                     "and the defaults are in use.")
                          .arg(reason, aside);
        return;
    }
    m_writable = false;
    m_readError = QStringLiteral("Your settings at %1 could not be read (%2). The defaults are in "
                                 "use and changes will not be saved, so the file stays as it is.")
                      .arg(m_filePath, reason);
}

void SettingsManager::store(const char *name, const QJsonValue &value) {
    m_document.insert(key(name), value);
    write();
}

void SettingsManager::remove(const char *name) {
    if (!m_document.contains(key(name)))
        return;
    m_document.remove(key(name));
    write();
}

void SettingsManager::write() {
    if (!m_writable)
        return;
    const QByteArray bytes = QJsonDocument(m_document).toJson(QJsonDocument::Indented);
    if (bytes.size() > maxDocumentSize) { // it could not be read back at the next start
        setWriteError(
            QStringLiteral("Your settings could not be saved: they are larger than 1 MiB."));
        return;
    }
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit()) {
        setWriteError(
            QStringLiteral("Your settings could not be saved: %1").arg(file.errorString()));
        return;
    }
    setWriteError({});
}

void SettingsManager::setWriteError(const QString &error) {
    if (m_writeError == error)
        return;
    m_writeError = error;
    Q_EMIT storageErrorChanged();
}
