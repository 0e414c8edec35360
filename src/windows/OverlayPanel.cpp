#include "windows/OverlayPanel.h"

#include "platform/x11/X11SelectionWatcher.h"
#include "platform/x11/X11Support.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>

#include <utility>

using namespace std::chrono_literals;

namespace {

// A manager that has not handed over the keyboard by then refused it.
constexpr auto activationTimeout = 2s;
constexpr auto activationRetry = 300ms;

bool onX11() {
    return QGuiApplication::platformName() == u"xcb";
}

} // namespace

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

    if (onX11()) {
        m_compositor = std::make_unique<X11SelectionWatcher>("_NET_WM_CM_S0");
        connect(m_compositor.get(), &X11SelectionWatcher::ownerChanged, this,
                &OverlayPanel::compositedChanged);
    }
    m_activationDeadline.setSingleShot(true);
    m_activationDeadline.setInterval(activationTimeout);
    connect(&m_activationDeadline, &QTimer::timeout, this, [this] {
        if (!isActive() && !m_stealthMode)
            loseKeyboard();
    });
    connect(this, &QWindow::activeChanged, this, [this] {
        if (!isActive()) {
            if (!m_stealthMode && !m_pendingActivation)
                loseKeyboard();
            return;
        }
        m_activationDeadline.stop();
        // A window manager that granted the keyboard after all (later than the deadline, or
        // despite the hint): the overlay has it, so it is in typing mode.
        if (m_stealthMode) {
            setStealthMode(false);
            Q_EMIT keyboardTaken();
        }
    });
}

OverlayPanel::~OverlayPanel() = default;

void OverlayPanel::setContent(QVariantMap properties) {
    properties.insert(QStringLiteral("panel"), QVariant::fromValue<QObject *>(this));
    setInitialProperties(properties);
    setSource(QUrl(QStringLiteral("qrc:/Pindle/OverlayContentView.qml")));
    for (const QQmlError &error : errors())
        qWarning("Overlay view: %s", qPrintable(error.toString()));
    if (QQuickItem *root = rootObject())
        connect(root, SIGNAL(leaveTypingRequested()), this, SIGNAL(leaveTypingRequested()));
}

void OverlayPanel::setStealthMode(bool stealth) {
    if (!stealth)
        m_activationDeadline.stop();
    if (m_stealthMode == stealth)
        return;
    m_stealthMode = stealth;
    if (stealth)
        m_pendingActivation.reset();
    // Changed on the visible window: the focus hint updates at once, no hide and show needed.
    setFlag(Qt::WindowDoesNotAcceptFocus, stealth);
    Q_EMIT stealthModeChanged();
}

void OverlayPanel::enterTypingMode(quint32 userTime) {
    setStealthMode(false);
    m_pendingActivation = userTime;
    if (!isVisible())
        show();
    raise();
    // A window just shown is asked once it is on screen.
    if (isExposed())
        activateNow();
}

void OverlayPanel::activateNow() {
    const quint32 userTime = *m_pendingActivation;
    m_pendingActivation.reset();
    m_activationDeadline.start();
    requestKeyboard(userTime);
    // GNOME Shell sometimes passes over a request for a window it has just mapped (about one
    // time in six, a moment after the overlay was hidden): asked once more, without a time,
    // which it reads as "now".
    QTimer::singleShot(activationRetry, this, [this, userTime] {
        if (!isActive() && !m_stealthMode && m_activationDeadline.isActive() && userTime != 0 &&
            onX11())
            X11Support::activateWindow(*this, XCB_CURRENT_TIME);
    });
}

void OverlayPanel::requestKeyboard(quint32 userTime) {
    // Qt's own request carries the time of the last event Qt saw, which is the user's when the
    // request came from one of our windows but not when it came from a grabbed key.
    if (userTime != 0 && onX11())
        X11Support::activateWindow(*this, userTime);
    else
        requestActivate();
}

void OverlayPanel::loseKeyboard() {
    setStealthMode(true);
    Q_EMIT keyboardLost();
}

bool OverlayPanel::composited() const {
    // Elsewhere (Wayland) the compositor is the display server itself.
    return !m_compositor || m_compositor->hasOwner();
}

bool OverlayPanel::blurBehind() const {
    return composited() && X11Support::compositorBlurAvailable();
}

void OverlayPanel::showEvent(QShowEvent *event) {
    // Sent before the window is mapped: window managers forget these hints whenever the window
    // is hidden, so they are set again for every show.
    X11Support::setDesktop(*this, X11Support::allDesktops);
    X11Support::addNetWmStates(*this, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                       "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"});
    m_askDesktopOnceShown = true;
    QQuickView::showEvent(event);
}

void OverlayPanel::exposeEvent(QExposeEvent *event) {
    QQuickView::exposeEvent(event);
    // Asked again of the managed window: KWin places a tool window (which Qt makes transient for
    // the application's hidden group leader) on the current desktop whatever its property says,
    // and a manager still forgetting the window's previous showing (hidden and shown again at
    // once, seen with openbox) may drop the property just set.
    if (isExposed() && std::exchange(m_askDesktopOnceShown, false))
        X11Support::setDesktop(*this, X11Support::allDesktops);
    if (isExposed() && m_pendingActivation)
        activateNow();
}

void OverlayPanel::resizeEvent(QResizeEvent *event) {
    QQuickView::resizeEvent(event);
    // Blur only the card, not the shadow's margin.
    X11Support::setBlurBehind(*this,
                              QRect(QPoint(), size()).adjusted(margin, margin, -margin, -margin));
}
