#pragma once

#include "platform/OverlayWindowing.h"

#include <QMargins>
#include <QPoint>

namespace LayerShellQt {
class Window;
}

/// The overlay as a layer-shell surface (KWin, sway and other wlroots compositors): on the
/// overlay layer, above every window on the current workspace of its output, in no task list,
/// and without the keyboard until typing mode asks for it. The compositor places such surfaces
/// itself and Qt cannot place a Wayland window: the surface is centred on its output until the
/// user moves it by its background, which sets its margins from the output's top-left corner.
class LayerShellOverlayWindowing final : public OverlayWindowing {
    Q_OBJECT

public:
    /// What compositors do differently.
    struct Compositor {
        /// While a button is held over a surface that moves, the pointer is reported relative
        /// to where the surface was when the button went down (sway), not to where it is now.
        bool dragInPressFrame = false;
        /// Dropping a surface's keyboard interactivity to none leaves it the keyboard until the
        /// surface is mapped anew (KWin 6.3).
        bool keepsKeyboardUntilRemapped = false;
    };

    explicit LayerShellOverlayWindowing(Compositor compositor, QObject *parent = nullptr);

    void attach(QWindow &window) override;
    void prepareShow(QWindow &window) override;
    bool activateForUser(QWindow &window, quint32 userTime) override;
    [[nodiscard]] bool decidesFocus() const override { return true; }
    void followMode(QWindow &window, bool takesKeyboard) override;
    bool beginMove(QWindow *window, QPointF pressed) override;
    void moveTo(QWindow *window, QPointF at) override;

    /// The margins that put a surface of `size` at `position` on an output of `output`'s size,
    /// kept whole on it.
    [[nodiscard]] static QMargins marginsFor(QPoint position, QSize size, QSize output);
    /// Where a move that began with the surface at `start` and the pointer at `pressed` puts the
    /// surface, the pointer now being at `at` while the compositor still had the surface at
    /// `current`.
    [[nodiscard]] static QPoint movedTo(bool pressFrame, QPoint start, QPoint current,
                                        QPointF pressed, QPointF at);

private:
    LayerShellQt::Window *surface(QWindow &window);
    void place(QWindow &window, QPoint position);

    Compositor m_compositor;
    bool m_placed = false;
    bool m_keyboard = false;
    QPoint m_position; // of the surface's top-left corner on its output, once placed
    QPoint m_moveStart;
    QPointF m_pressed;
};
