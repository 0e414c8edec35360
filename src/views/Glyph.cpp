#include "views/Glyph.h"

#include <QPainter>
#include <QQuickWindow>

namespace {

// QIcon reads files: a resource URL becomes its ":/" path.
QString iconPath(const QUrl &url) {
    if (url.scheme() == u"qrc")
        return u':' + url.path();
    return url.isLocalFile() ? url.toLocalFile() : url.toString();
}

} // namespace

Glyph::Glyph(QQuickItem *parent)
    : QQuickPaintedItem(parent) {}

void Glyph::setName(const QString &name) {
    if (m_name == name)
        return;
    m_name = name;
    reload();
    Q_EMIT nameChanged();
}

void Glyph::setSource(const QUrl &source) {
    if (m_source == source)
        return;
    m_source = source;
    reload();
    Q_EMIT sourceChanged();
}

void Glyph::setColor(const QColor &color) {
    if (m_color == color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}

void Glyph::reload() {
    const QIcon fallback = m_source.isEmpty() ? QIcon() : QIcon(iconPath(m_source));
    m_icon = m_name.isEmpty() ? fallback : QIcon::fromTheme(m_name, fallback);
    update();
}

void Glyph::paint(QPainter *painter) {
    const QSize size = boundingRect().size().toSize();
    if (m_icon.isNull() || size.isEmpty())
        return;
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    QImage image =
        m_icon.pixmap(size, ratio).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (m_color.alpha() > 0) {
        QPainter tint(&image);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(image.rect(), m_color);
    }
    // Centred: a theme may have no drawing of exactly this size.
    const QSizeF drawn = image.deviceIndependentSize();
    painter->drawImage(QPointF((width() - drawn.width()) / 2, (height() - drawn.height()) / 2),
                       image);
}

void Glyph::itemChange(ItemChange change, const ItemChangeData &data) {
    if (change == ItemDevicePixelRatioHasChanged)
        update();
    QQuickPaintedItem::itemChange(change, data);
}
