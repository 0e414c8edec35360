#include "windows/OverlayPanel.h"

#include "platform/x11/X11Support.h"

#include <QQmlEngine>

OverlayPanel::OverlayPanel(QQmlEngine *engine, QWindow *parent)
    : QQuickView(engine, parent) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::WindowDoesNotAcceptFocus);
    QSurfaceFormat surface = format();
    surface.setAlphaBufferSize(8);
    setFormat(surface);
    setColor(Qt::transparent);
    setTitle(QStringLiteral("Pindle"));
    setResizeMode(QQuickView::SizeRootObjectToView);
    resize(defaultSize);
    setMinimumSize(minimumContentSize + QSize(2 * margin, 2 * margin));
}

void OverlayPanel::setContent(const QVariantMap &properties) {
    setInitialProperties(properties);
    setSource(QUrl(QStringLiteral("qrc:/Pindle/OverlayContentView.qml")));
    for (const QQmlError &error : errors())
        qWarning("Overlay view: %s", qPrintable(error.toString()));
}

void OverlayPanel::setStealthMode(bool stealth) {
    if (m_stealthMode == stealth)
        return;
    m_stealthMode = stealth;
    // Changed on the visible window: the focus hint updates at once, no hide and show needed.
    setFlag(Qt::WindowDoesNotAcceptFocus, stealth);
    Q_EMIT stealthModeChanged();
}

bool OverlayPanel::blurBehindAvailable() {
    return X11Support::compositorBlurAvailable();
}

void OverlayPanel::showEvent(QShowEvent *event) {
    // Sent before the window is mapped: window managers forget these hints whenever the window
    // is hidden, so they are set again for every show.
    X11Support::setDesktop(*this, X11Support::allDesktops);
    X11Support::addNetWmStates(*this, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                       "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"});
    QQuickView::showEvent(event);
}

void OverlayPanel::resizeEvent(QResizeEvent *event) {
    QQuickView::resizeEvent(event);
    // Blur only the card, not the shadow's margin.
    X11Support::setBlurBehind(*this,
                              QRect(QPoint(), size()).adjusted(margin, margin, -margin, -margin));
}
