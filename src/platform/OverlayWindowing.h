#pragma once

#include <QObject>

class QRect;
class QWindow;

/// What the desktop does for the overlay beyond Qt's own window: keep it above other windows on
/// every workspace and out of taskbars and pagers, hand it the keyboard for the user's key press,
/// blur what lies behind it, and tell whether a compositor draws its transparent parts.
class OverlayWindowing : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /// Whether transparent parts of the window show as transparent.
    [[nodiscard]] virtual bool composited() const = 0;
    /// Whether the compositor blurs what lies behind the window.
    [[nodiscard]] virtual bool blurBehind() const = 0;
    /// Before every show: on every workspace, in no taskbar or pager, above normal windows.
    virtual void prepareShow(QWindow &window) = 0;
    /// Once the window is on screen after a show.
    virtual void shown(QWindow &window) = 0;
    /// The part of the window whose background is blurred.
    virtual void setBlurArea(QWindow &window, const QRect &area) = 0;
    /// Asks for the keyboard on behalf of the user action at `userTime` (the X time of the key
    /// press; 0: now). False where the desktop has no such request: the caller then asks Qt.
    virtual bool activateForUser(QWindow &window, quint32 userTime) = 0;

Q_SIGNALS:
    void compositedChanged();
};
