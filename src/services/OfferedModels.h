#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

/// The models the backend offers (GET /api/models), in its order, and the one it answers with when
/// a request names none of them. Kept in the settings so a start without the server shows the
/// last list.
///
/// A reply is read strictly where a wrong member would mislead (ids, names, the default) and
/// bounded everywhere else, so a hostile server cannot bloat the settings file.
struct OfferedModels final {
    struct Model {
        QString id;
        QString name;
        QString description;
        /// Whether the server says the model reads images.
        bool vision = false;

        friend bool operator==(const Model &, const Model &) = default;
    };

    /// Entries past this many are dropped.
    static constexpr qsizetype maxModels = 200;
    /// A longer id makes the whole list unreadable: it could not be sent back as it was.
    static constexpr qsizetype maxIdLength = 200;
    /// Longer names and descriptions are cut.
    static constexpr qsizetype maxNameLength = 100;
    static constexpr qsizetype maxDescriptionLength = 400;

    /// Reads {"models": [{"id", "name", "description", "vision"}, ...], "default": id}: a
    /// non-empty list of entries with a string id and name, the default one of them; a later
    /// entry with an id already seen is dropped. Otherwise nothing, and `problem` says why.
    [[nodiscard]] static std::optional<OfferedModels> fromJson(const QJsonObject &object,
                                                               QString *problem = nullptr);
    [[nodiscard]] QJsonObject toJson() const;

    /// The entry with this id; null when the server does not offer it.
    [[nodiscard]] const Model *find(const QString &id) const;
    /// The server's default entry (always there in a list read by fromJson).
    [[nodiscard]] const Model &defaultModel() const;
    /// The first entry that reads images; null when none does.
    [[nodiscard]] const Model *firstReadingImages() const;

    friend bool operator==(const OfferedModels &, const OfferedModels &) = default;

    QList<Model> models;
    QString defaultId;
    /// Whether the server passes a model outside its list on as asked ("anyModel"), as one
    /// whose operator never named its models does: a model saved earlier then stays in use.
    bool anyModel = false;
};
