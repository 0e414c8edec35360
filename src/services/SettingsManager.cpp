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

namespace {

// The summaries are translated each time the catalogue is asked for, in the language then in use.
struct CatalogueEntry {
    const char *id;
    const char *name;
    const char *summary;
};

constexpr CatalogueEntry catalogueEntries[] = {
    {"gpt-5.5", "GPT-5.5",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Current flagship GPT-5 family model for complex reasoning and coding.")},
    {"gpt-5.4", "GPT-5.4",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "High-capability GPT-5 family model with lower cost than GPT-5.5.")},
    {"gpt-5.4-mini", "GPT-5.4 mini",
     QT_TRANSLATE_NOOP("SettingsManager", "Faster, cheaper GPT-5 family model for everyday work.")},
    {"gpt-4.1", "GPT-4.1",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Best overall for quality, coding, and instruction following.")},
    {"o3", "o3",
     QT_TRANSLATE_NOOP("SettingsManager", "Best for deep reasoning and harder multi-step tasks.")},
    {"o4-mini", "o4-mini",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Strong reasoning with lower cost and faster responses.")},
    {"gpt-4o", "GPT-4o",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Reliable multimodal general-purpose model for text, images, and voice.")},
    {"gpt-4.1-mini", "GPT-4.1 mini",
     QT_TRANSLATE_NOOP("SettingsManager", "Balanced speed and quality for everyday use.")},
    {"gpt-4o-mini", "GPT-4o mini",
     QT_TRANSLATE_NOOP("SettingsManager", "Fast and inexpensive for lightweight prompts.")},
    {"o3-mini", "o3-mini",
     QT_TRANSLATE_NOOP("SettingsManager", "Compact reasoning model for quick analytical tasks.")},
    {"gpt-4.1-nano", "GPT-4.1 nano",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Smallest, fastest option for simple low-latency requests.")},
    {"gpt-4-turbo", "GPT-4 Turbo",
     QT_TRANSLATE_NOOP("SettingsManager",
                       "Older high-capability GPT-4 generation kept for compatibility.")},
    {"gpt-4", "GPT-4",
     QT_TRANSLATE_NOOP("SettingsManager", "Legacy GPT-4 model kept for older workflows.")},
    {"gpt-3.5-turbo", "GPT-3.5 Turbo",
     QT_TRANSLATE_NOOP("SettingsManager", "Legacy budget model kept for backward compatibility.")},
};

} // namespace

QList<SettingsManager::ModelOption> SettingsManager::modelCatalogue() {
    QList<ModelOption> catalogue;
    catalogue.reserve(std::size(catalogueEntries));
    for (const CatalogueEntry &entry : catalogueEntries)
        catalogue.append(
            {QString::fromLatin1(entry.id), QString::fromLatin1(entry.name), tr(entry.summary)});
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
            //: Description of a model id the user saved that no list names
            options.append({chosen, chosen, tr("Previously saved custom model.")});
        else if (!m_offered->find(chosen))
            //: Model picker entry; %1 is the model's id
            options.append({chosen, tr("%1 (not offered)").arg(chosen),
                            //: %1 is the name of the model used in its place
                            tr("This server no longer offers this model; %1 is used "
                               "instead.")
                                .arg(m_offered->defaultModel().name)});
        for (const OfferedModels::Model &offered : m_offered->models)
            options.append({offered.id, offered.name, offered.description, offered.vision});
        return options;
    }
    const QList<ModelOption> catalogue = modelCatalogue();
    for (const ModelOption &option : catalogue) {
        if (option.id == chosen)
            return catalogue;
    }
    options.reserve(catalogue.size() + 1);
    options.append({chosen, chosen, tr("Previously saved custom model.")});
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
        //: Why the settings file could not be read; completes "could not be read (...)"
        setAsideUnreadable(tr("it is too large"));
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
        //: Why the settings file could not be read; completes "could not be read (...)"
        setAsideUnreadable(tr("it is not a JSON object"));
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
        //: %1 is why the file could not be read, %2 the path it was moved to
        m_readError = tr("Your settings could not be read (%1). They were kept as %2 "
                         "and the defaults are in use.")
                          .arg(reason, aside);
        return;
    }
    m_writable = false;
    //: %1 is the settings file's path, %2 why it could not be read
    m_readError = tr("Your settings at %1 could not be read (%2). The defaults are in "
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
        setWriteError(tr("Your settings could not be saved: they are larger than 1 MiB."));
        return;
    }
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit()) {
        setWriteError(
            //: %1 is the system's description of the failure
            tr("Your settings could not be saved: %1").arg(file.errorString()));
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
