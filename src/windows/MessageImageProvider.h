#pragma once

#include <QQuickImageProvider>

class ChatViewModel;

/// Serves a message's screenshot to the overlay as "image://messages/<message id>", scaled down
/// to the size asked for, with the bubble's rounded corners cut out (Qt Quick 6.4 has no rounded
/// clip of its own).
class MessageImageProvider final : public QQuickImageProvider {
public:
    static constexpr QSize shownMaximum{280, 160};
    static constexpr qreal cornerRadius = 8;

    explicit MessageImageProvider(const ChatViewModel &conversation);

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

private:
    const ChatViewModel &m_conversation;
};
