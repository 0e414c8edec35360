#pragma once

#include "core/AssistantCategory.h"
#include "services/OfferedModels.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

/// A model the settings window offers: the id sent to the backend, and how the picker shows it.
/// (Declared outside SettingsManager because moc cannot read a gadget nested in an object.)
struct SettingsModelOption final {
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)
    Q_PROPERTY(QString summary MEMBER summary CONSTANT FINAL)
    Q_PROPERTY(bool vision MEMBER vision CONSTANT FINAL)

public:
    friend bool operator==(const SettingsModelOption &, const SettingsModelOption &) = default;

    QString id;
    QString name;
    QString summary;
    /// Whether the server says the model reads images (false for the built-in catalogue, whose
    /// models the chat client judges by name).
    bool vision = false;
};

/// The user's preferences: model, system prompt, overlay opacity and assistant category; and the
/// models the server offers, as it last said.
///
/// They live in one JSON document in the user's config folder, read once when the store is made
/// and rewritten whole (atomically) at every assignment. A document that cannot be read as JSON
/// is moved aside, never overwritten, and the defaults are used instead.
class SettingsManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString model READ model WRITE setModel NOTIFY modelChanged FINAL)
    Q_PROPERTY(QString systemPrompt READ systemPrompt WRITE setSystemPrompt NOTIFY
                   systemPromptChanged FINAL)
    Q_PROPERTY(double overlayOpacity READ overlayOpacity WRITE setOverlayOpacity NOTIFY
                   overlayOpacityChanged FINAL)
    Q_PROPERTY(QString selectedCategory READ selectedCategory WRITE setSelectedCategory NOTIFY
                   selectedCategoryChanged FINAL)
    Q_PROPERTY(QList<AssistantCategory> availableCategories READ availableCategories CONSTANT FINAL)
    Q_PROPERTY(QList<SettingsModelOption> availableModelOptions READ availableModelOptions NOTIFY
                   modelOptionsChanged FINAL)
    Q_PROPERTY(
        QString selectedModelSummary READ selectedModelSummary NOTIFY modelOptionsChanged FINAL)
    Q_PROPERTY(QString storageError READ storageError NOTIFY storageErrorChanged FINAL)

public:
    /// A model the settings window offers.
    using ModelOption = SettingsModelOption;

    static constexpr auto modelKey = "pindle_model";
    static constexpr auto systemPromptKey = "pindle_system_prompt";
    static constexpr auto opacityKey = "pindle_opacity";
    static constexpr auto categoryKey = "pindle_category";
    /// The shortcuts the user chose, by action name: {"toggle_overlay": "Ctrl+Alt+O"}.
    static constexpr auto shortcutsKey = "pindle_shortcuts";
    /// The one-time notices the user has had: ["no_tray"].
    static constexpr auto noticesKey = "pindle_notices_shown";
    /// The server's list of models: {"models": [...], "default": id}; absent when it has none.
    static constexpr auto offeredModelsKey = "pindle_models_offered";

    /// Reads the document at `filePath` (which need not exist yet). Nothing is written now.
    explicit SettingsManager(QString filePath, QObject *parent = nullptr);

    /// settings.json in the application's XDG config folder.
    [[nodiscard]] static QString defaultFilePath();
    [[nodiscard]] static QString defaultModel();
    [[nodiscard]] static QString defaultSystemPrompt();
    [[nodiscard]] static double defaultOverlayOpacity();
    [[nodiscard]] static QString defaultCategory();
    /// The fixed catalogue the model picker offers, in order, its summaries in the user's language.
    [[nodiscard]] static QList<ModelOption> modelCatalogue();

    /// The model the user chose; until they choose one, the server's default (or the built-in
    /// default without a list from the server).
    [[nodiscard]] QString model() const;
    void setModel(const QString &model);
    /// The model questions go to: the chosen one while the server offers it, else the server's
    /// default. Without a list from the server, the chosen one.
    [[nodiscard]] QString requestModel() const;
    [[nodiscard]] QString systemPrompt() const { return m_systemPrompt; }
    void setSystemPrompt(const QString &prompt);
    [[nodiscard]] double overlayOpacity() const { return m_overlayOpacity; }
    void setOverlayOpacity(double opacity);
    [[nodiscard]] QString selectedCategory() const { return m_selectedCategory; }
    void setSelectedCategory(const QString &category);

    /// The shortcut the user chose for `action`, as written; empty when they kept the default.
    [[nodiscard]] QString shortcut(const QString &action) const;
    /// An empty `combination` goes back to the default.
    void setShortcut(const QString &action, const QString &combination);

    /// Whether the one-time notice `name` has been shown; remembered by `setNoticeShown`.
    [[nodiscard]] bool noticeShown(const QString &name) const;
    void setNoticeShown(const QString &name);

    /// The models the server offers, as it last said; nothing when it has no list, or has not
    /// been asked yet.
    [[nodiscard]] const std::optional<OfferedModels> &offeredModels() const { return m_offered; }
    /// Keeps the server's list, or forgets it (the server has none).
    void setOfferedModels(const std::optional<OfferedModels> &offered);

    [[nodiscard]] const QList<AssistantCategory> &availableCategories() const;
    /// The server's models, led by the chosen one marked as not offered when the server does
    /// not list it. Without a list from the server, the catalogue, led by the chosen model as a
    /// custom entry when it is not one of them.
    [[nodiscard]] QList<ModelOption> availableModelOptions() const;
    [[nodiscard]] QString selectedModelSummary() const;

    /// Why the last read or write of the document failed; empty when all is well.
    [[nodiscard]] QString storageError() const {
        return m_writeError.isEmpty() ? m_readError : m_writeError;
    }
    [[nodiscard]] const QString &filePath() const { return m_filePath; }

Q_SIGNALS:
    void modelChanged();
    /// The picker's entries or the chosen one's summary changed.
    void modelOptionsChanged();
    void systemPromptChanged();
    void overlayOpacityChanged();
    void selectedCategoryChanged();
    void shortcutsChanged();
    void storageErrorChanged();

private:
    void load();
    void setAsideUnreadable(const QString &reason);
    void store(const char *key, const QJsonValue &value);
    void remove(const char *key);
    void write();
    void setWriteError(const QString &error);

    QString m_filePath;
    // Everything the document held, unknown keys included, so a rewrite keeps them.
    QJsonObject m_document;
    // False when an unreadable document could not be moved aside: writing would destroy it.
    bool m_writable = true;
    QString m_readError;
    QString m_writeError;

    // Nothing until the user chooses a model.
    std::optional<QString> m_chosenModel;
    std::optional<OfferedModels> m_offered;
    QString m_systemPrompt;
    double m_overlayOpacity;
    QString m_selectedCategory;
};

Q_DECLARE_METATYPE(SettingsModelOption)
