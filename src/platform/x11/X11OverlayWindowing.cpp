#include "platform/x11/X11OverlayWindowing.h"

#include "platform/x11/X11Support.h"

#include <QRect>

X11OverlayWindowing::X11OverlayWindowing(QObject *parent)
    : OverlayWindowing(parent) {
    connect(&m_compositor, &X11SelectionWatcher::ownerChanged, this,
            &OverlayWindowing::compositedChanged);
}

bool X11OverlayWindowing::composited() const {
    return m_compositor.hasOwner();
}

bool X11OverlayWindowing::blurBehind() const {
    return composited() && X11Support::compositorBlurAvailable();
}

namespace {

void keepAboveEverywhere(QWindow &window) {
    X11Support::setDesktop(window, X11Support::allDesktops);
    X11Support::addNetWmStates(window, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                        "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"});
}

} // namespace

void X11OverlayWindowing::prepareShow(QWindow &window) {
    // Set before the window is mapped: window managers forget these hints whenever the window
    // is hidden, so they are set again for every show.
    keepAboveEverywhere(window);
}

void X11OverlayWindowing::shown(QWindow &window) {
    // Asked again of the managed window: KWin places a tool window (which Qt makes transient for
    // the application's hidden group leader) on the current desktop whatever its property says,
    // and a manager still forgetting the window's previous showing (hidden and shown again at
    // once, seen with openbox) may drop the properties just set.
    keepAboveEverywhere(window);
}

void X11OverlayWindowing::setBlurArea(QWindow &window, const QRect &area) {
    X11Support::setBlurBehind(window, area);
}

bool X11OverlayWindowing::activateForUser(QWindow &window, quint32 userTime) {
    X11Support::activateWindow(window, userTime);
    return true;
}
