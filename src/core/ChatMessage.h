#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class QImage;

/// One turn of the conversation. The controller keeps the visible conversation as a list of these,
/// the chat client turns a list of them into a request, and the overlay draws one bubble each.
/// A plain value: copies are independent; a streamed answer grows by appending to `content`.
struct ChatMessage final {
    enum class Role { User, Assistant, System };

    ChatMessage(QUuid id, Role role, QString content, QDateTime timestamp,
                std::optional<QString> imageBase64 = std::nullopt,
                std::shared_ptr<const QImage> image = nullptr);

    /// The wire form of a role: "user", "assistant" or "system".
    [[nodiscard]] static QString roleName(Role role);
    /// The role whose wire form is exactly `name` (case-sensitive); none for any other text.
    [[nodiscard]] static std::optional<Role> roleFromName(QStringView name);

    /// Same message: equal `id`, `content` and `imageBase64`. Role, time and image take no part.
    friend bool operator==(const ChatMessage &a, const ChatMessage &b);

    QUuid id;
    Role role;
    QString content;
    QDateTime timestamp;
    /// The attached screenshot as Base64 text of JPEG data, as sent to the backend.
    std::optional<QString> imageBase64;
    /// The same screenshot for display; supplied alongside `imageBase64`, never decoded from it.
    /// Shared and immutable so copying a message stays cheap.
    std::shared_ptr<const QImage> image;
};
