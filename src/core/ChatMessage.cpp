#include "core/ChatMessage.h"

ChatMessage::ChatMessage(QUuid id, Role role, QString content, QDateTime timestamp,
                         std::optional<QString> imageBase64, std::shared_ptr<const QImage> image)
    : id(id)
    , role(role)
    , content(std::move(content))
    , timestamp(std::move(timestamp))
    , imageBase64(std::move(imageBase64))
    , image(std::move(image)) {}

QString ChatMessage::roleName(Role role) {
    switch (role) {
    case Role::User:
        return QStringLiteral("user");
    case Role::Assistant:
        return QStringLiteral("assistant");
    case Role::System:
        return QStringLiteral("system");
    }
    Q_UNREACHABLE();
}

std::optional<ChatMessage::Role> ChatMessage::roleFromName(QStringView name) {
    for (const Role role : {Role::User, Role::Assistant, Role::System}) {
        if (name == roleName(role))
            return role;
    }
    return std::nullopt;
}

bool operator==(const ChatMessage &a, const ChatMessage &b) {
    return a.id == b.id && a.content == b.content && a.imageBase64 == b.imageBase64;
}
