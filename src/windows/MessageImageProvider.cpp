#include "windows/MessageImageProvider.h"

#include "models/ChatViewModel.h"

#include <QPainter>
#include <QPainterPath>

MessageImageProvider::MessageImageProvider(const ChatViewModel &conversation)
    : QQuickImageProvider(QQuickImageProvider::Image)
    , m_conversation(conversation) {}

QImage MessageImageProvider::requestImage(const QString &id, QSize *size,
                                          const QSize &requestedSize) {
    const QUuid wanted = QUuid::fromString(id);
    const QImage *source = nullptr;
    for (const ChatMessage &message : m_conversation.messages())
        if (message.id == wanted && message.image)
            source = message.image.get();
    if (!source || source->isNull())
        return {};

    QSize target = source->size();
    if (requestedSize.isValid() && !requestedSize.isEmpty())
        target = target.scaled(requestedSize.boundedTo(source->size()), Qt::KeepAspectRatio);
    const QImage scaled = source->scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    // The corner radius in this picture's pixels, for the size the bubble shows it at.
    const QSizeF shown = QSizeF(target).scaled(QSizeF(shownMaximum), Qt::KeepAspectRatio);
    const qreal radius = cornerRadius * target.width() / shown.width();
    QImage rounded(target, QImage::Format_ARGB32_Premultiplied);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(), QSizeF(target)), radius, radius);
    painter.setClipPath(clip);
    painter.drawImage(0, 0, scaled);
    painter.end();
    if (size)
        *size = target;
    return rounded;
}
