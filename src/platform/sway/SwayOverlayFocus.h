#pragma once

#include "platform/sway/SwayIpc.h"

#include <QObject>
#include <QPoint>

#include <memory>

class QWindow;

/// The overlay's place and focus under sway, whose XWayland windows ignore the hints X11 window
/// managers honour: sway focuses every window it maps (our input hint notwithstanding, and the
/// keys then reach nobody), keeps floating windows on one workspace, and answers an EWMH
/// activation of another program by marking it urgent. So the overlay is made sticky over IPC,
/// handed the keyboard only when the user asked for it, and otherwise sends it back to what sway
/// focused last on the workspace.
class SwayOverlayFocus final : public QObject {
    Q_OBJECT

public:
    explicit SwayOverlayFocus(std::unique_ptr<SwayIpc> ipc, QObject *parent = nullptr);

    /// Before the overlay maps: it follows the user between workspaces and leaves the keyboard
    /// where it is.
    void showing(QWindow &overlay);
    /// The user asked to type into the overlay.
    void takeKeyboard(QWindow &overlay);
    /// Typing is over: the keyboard goes back, if the overlay holds it.
    void giveKeyboardBack();

private:
    void windowChanged(const QJsonObject &event);
    void giveBackIfHeld();
    void focusPrevious(qint64 ours, const QJsonObject &tree);

    std::unique_ptr<SwayIpc> m_ipc;
    quint64 m_window = 0;    // the overlay's X window
    qint64 m_container = -1; // and sway's container for it, once mapped
    QPoint m_position;       // where the overlay was put, or last moved
    bool m_keyboardWanted = false;
};
