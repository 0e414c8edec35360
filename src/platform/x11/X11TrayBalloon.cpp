#include "platform/x11/X11TrayBalloon.h"

#include "platform/x11/X11Support.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

constexpr int padding = 10;
constexpr int signSize = 24;
constexpr int maxTextWidth = 320;
constexpr int gapToIcon = 4;

QFont titleFont() {
    QFont font = QGuiApplication::font();
    font.setBold(true);
    return font;
}

} // namespace

X11TrayBalloon::X11TrayBalloon() {
    setFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setObjectName(QStringLiteral("trayBalloon"));
    m_shown.setSingleShot(true);
    m_shown.setInterval(8s);
    connect(&m_shown, &QTimer::timeout, this, &QWindow::hide);
}

void X11TrayBalloon::showAt(const QRect &icon, const QString &title, const QString &message) {
    m_title = title;
    m_message = message;
    const QFontMetrics titleMetrics(titleFont());
    const QFontMetrics metrics(QGuiApplication::font());
    const int textWidth = std::min(
        maxTextWidth,
        std::max(
            titleMetrics.horizontalAdvance(title),
            metrics.boundingRect(QRect(0, 0, maxTextWidth, 0), Qt::TextWordWrap, message).width()));
    const int textLeft = padding + signSize + padding;
    m_messageArea =
        metrics.boundingRect(QRect(textLeft, 0, textWidth, 0), Qt::TextWordWrap, message);
    m_messageArea.moveTop(padding + titleMetrics.height() + 4);
    const QSize size(textLeft + textWidth + padding,
                     std::max(m_messageArea.bottom() + 1, padding + signSize) + padding);

    QScreen *screen = QGuiApplication::screenAt(icon.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    // Below an icon in the upper half of the screen, above one in the lower half; its right
    // end just past the icon.
    QRect frame(QPoint(), size);
    if (icon.isEmpty())
        frame.moveBottomRight(area.bottomRight());
    else if (icon.center().y() < area.center().y())
        frame.moveTopRight({icon.center().x() + signSize, icon.bottom() + gapToIcon});
    else
        frame.moveBottomRight({icon.center().x() + signSize, icon.top() - gapToIcon});
    setScreen(screen);
    setGeometry(X11Support::keptInside(frame, area));
    show();
    update();
    m_shown.start();
}

void X11TrayBalloon::mousePressEvent(QMouseEvent *) {
    hide();
    m_shown.stop();
    Q_EMIT clicked();
}

void X11TrayBalloon::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QGuiApplication::palette();
    const QColor text = palette.color(QPalette::ToolTipText);
    QColor border = text;
    border.setAlphaF(0.4f);
    // Square corners: without a compositor the window's own corners would show.
    painter.fillRect(QRect(QPoint(), size()), palette.color(QPalette::ToolTipBase));
    painter.setPen(border);
    painter.drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));

    // A warning sign: an amber triangle holding an exclamation mark.
    const QRectF sign(padding, padding, signSize, signSize);
    QPainterPath triangle;
    triangle.moveTo(sign.center().x(), sign.top() + 1);
    triangle.lineTo(sign.right(), sign.bottom() - 1);
    triangle.lineTo(sign.left(), sign.bottom() - 1);
    triangle.closeSubpath();
    painter.setPen(QPen(QColor(0x8a, 0x5a, 0x00), 1.0));
    painter.setBrush(QColor(0xf5, 0xb4, 0x00));
    painter.drawPath(triangle);
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(sign.center().x(), sign.top() + 9),
                     QPointF(sign.center().x(), sign.bottom() - 9));
    painter.drawPoint(QPointF(sign.center().x(), sign.bottom() - 5));

    painter.setPen(text);
    painter.setFont(titleFont());
    painter.drawText(QRect(m_messageArea.left(), padding, width() - m_messageArea.left() - padding,
                           QFontMetrics(titleFont()).height()),
                     Qt::AlignLeft | Qt::AlignVCenter, m_title);
    painter.setFont(QGuiApplication::font());
    painter.drawText(m_messageArea, Qt::TextWordWrap, m_message);
}
