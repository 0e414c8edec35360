#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

/// A kind of help the user wants. Only its `id` is stored and sent with each request; the backend
/// and the answer review act on it. The settings window shows `displayName` and
/// `displayDescription`.
struct AssistantCategory final {
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT FINAL)
    Q_PROPERTY(QString name MEMBER name CONSTANT FINAL)
    Q_PROPERTY(QString description MEMBER description CONSTANT FINAL)
    Q_PROPERTY(QString prompt MEMBER prompt CONSTANT FINAL)
    Q_PROPERTY(bool enabled MEMBER enabled CONSTANT FINAL)
    Q_PROPERTY(QString displayName READ displayName CONSTANT FINAL)
    Q_PROPERTY(QString displayDescription READ displayDescription CONSTANT FINAL)

public:
    /// The five built-in categories, in the order the picker lists them.
    [[nodiscard]] static const QList<AssistantCategory> &builtIn();

    /// `name` as the user reads it: translated while it is the built-in name of `id`.
    [[nodiscard]] QString displayName() const;
    /// `description` as the user reads it: translated while it is the built-in one of `id`.
    [[nodiscard]] QString displayDescription() const;

    [[nodiscard]] QJsonObject toJson() const;
    /// Reads a category back; every key must be present with its type ("enabled" a boolean).
    [[nodiscard]] static std::optional<AssistantCategory> fromJson(const QJsonObject &object);

    friend bool operator==(const AssistantCategory &, const AssistantCategory &) = default;

    QString id;
    QString name;
    QString description;
    QString prompt;
    bool enabled = true;
};

Q_DECLARE_METATYPE(AssistantCategory)
