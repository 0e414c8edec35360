#include "platform/wayland/LayerShellOverlayWindowing.h"

#include <LayerShellQt/window.h>

#include <QScreen>

#include <algorithm>

using LayerShell = LayerShellQt::Window;

namespace {

// LayerShellQt sends a change with the surface's next frame: one is asked for at once.
void commit(QWindow &window) {
    QMetaObject::invokeMethod(&window, "update");
}

} // namespace

LayerShellOverlayWindowing::LayerShellOverlayWindowing(Compositor compositor, QObject *parent)
    : OverlayWindowing(parent)
    , m_compositor(compositor) {}

LayerShell *LayerShellOverlayWindowing::surface(QWindow &window) {
    LayerShell *layer = LayerShell::get(&window);
    if (layer && layer->scope() != u"pindle-overlay") {
        layer->setScope(QStringLiteral("pindle-overlay"));
        layer->setLayer(LayerShell::LayerOverlay);
        layer->setExclusiveZone(0);
        layer->setKeyboardInteractivity(LayerShell::KeyboardInteractivityNone);
        // Centred on the output until the user or the settings place it.
        layer->setAnchors(LayerShell::AnchorNone);
    }
    return layer;
}

void LayerShellOverlayWindowing::attach(QWindow &window) {
    // The role is given before the window's first show, and is its surface's for good.
    surface(window);
}

void LayerShellOverlayWindowing::prepareShow(QWindow &window) {
    if (LayerShell *layer = surface(window))
        layer->setKeyboardInteractivity(m_keyboard ? LayerShell::KeyboardInteractivityExclusive
                                                   : LayerShell::KeyboardInteractivityNone);
}

bool LayerShellOverlayWindowing::activateForUser(QWindow &window, quint32) {
    followMode(window, true);
    return true;
}

// Typing mode asks for the keyboard exclusively: sway hands an on-demand surface the keyboard only
// when it is clicked, and takes it away when an exclusive one becomes on-demand. KWin still lets
// a click on another window take it.
void LayerShellOverlayWindowing::followMode(QWindow &window, bool takesKeyboard) {
    m_keyboard = takesKeyboard;
    LayerShell *layer = surface(window);
    if (!layer)
        return;
    if (takesKeyboard) {
        if (layer->keyboardInteractivity() != LayerShell::KeyboardInteractivityExclusive) {
            layer->setKeyboardInteractivity(LayerShell::KeyboardInteractivityExclusive);
            commit(window);
        }
        return;
    }
    if (layer->keyboardInteractivity() == LayerShell::KeyboardInteractivityNone)
        return;
    layer->setKeyboardInteractivity(LayerShell::KeyboardInteractivityNone);
    if (!window.isVisible())
        return;
    commit(window);
    // WORKAROUND: KWin 6.3 keeps the keyboard on a mapped surface whose interactivity drops to
    // none; a new surface, mapped without it, gives the keyboard back to the window beneath.
    if (m_compositor.keepsKeyboardUntilRemapped && window.isActive()) {
        window.hide();
        window.show();
    }
}

QMargins LayerShellOverlayWindowing::marginsFor(QPoint position, QSize size, QSize output) {
    const int x = std::clamp(position.x(), 0, std::max(0, output.width() - size.width()));
    const int y = std::clamp(position.y(), 0, std::max(0, output.height() - size.height()));
    return {x, y, 0, 0};
}

QPoint LayerShellOverlayWindowing::movedTo(bool pressFrame, QPoint start, QPoint current,
                                           QPointF pressed, QPointF at) {
    return (pressFrame ? start : current) + (at - pressed).toPoint();
}

void LayerShellOverlayWindowing::place(QWindow &window, QPoint position) {
    LayerShell *layer = surface(window);
    if (!layer)
        return;
    const QSize output = window.screen() ? window.screen()->size() : QSize();
    const QMargins margins = output.isEmpty() ? QMargins(position.x(), position.y(), 0, 0)
                                              : marginsFor(position, window.size(), output);
    m_placed = true;
    m_position = {margins.left(), margins.top()};
    layer->setAnchors(LayerShell::Anchors(LayerShell::AnchorTop | LayerShell::AnchorLeft));
    layer->setMargins(margins);
    commit(window);
}

bool LayerShellOverlayWindowing::beginMove(QWindow *window, QPointF pressed) {
    if (!window)
        return false;
    if (!m_placed) { // a centred surface: its margins start from where the compositor put it
        const QSize output = window->screen() ? window->screen()->size() : QSize();
        place(*window, QPoint((output.width() - window->width()) / 2,
                              (output.height() - window->height()) / 2));
    }
    m_moveStart = m_position;
    m_pressed = pressed;
    return true;
}

void LayerShellOverlayWindowing::moveTo(QWindow *window, QPointF at) {
    if (!window)
        return;
    const QPoint to =
        movedTo(m_compositor.dragInPressFrame, m_moveStart, m_position, m_pressed, at);
    if (to != m_position)
        place(*window, to);
}
