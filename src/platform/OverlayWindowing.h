#pragma once

#include <QObject>
#include <QPointF>

class QRect;
class QWindow;

/// What the desktop does for the overlay beyond Qt's own window: keep it above other windows on
/// every workspace and out of taskbars and pagers, hand it the keyboard for the user's key press,
/// blur what lies behind it, and tell whether a compositor draws its transparent parts.
///
/// As it stands it is a desktop that offers nothing beyond Qt (Wayland, where the compositor is
/// the display server itself); realisations override what their desktop offers.
class OverlayWindowing : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool composited READ composited NOTIFY compositedChanged FINAL)
    Q_PROPERTY(bool blurBehind READ blurBehind NOTIFY compositedChanged FINAL)

public:
    using QObject::QObject;

    /// Whether transparent parts of the window show as transparent.
    [[nodiscard]] virtual bool composited() const { return true; }
    /// Whether the compositor blurs what lies behind the window.
    [[nodiscard]] virtual bool blurBehind() const { return false; }
    /// Once, when the overlay's window is made, before it is first shown.
    virtual void attach(QWindow &) {}
    /// Before every show: on every workspace, in no taskbar or pager, above normal windows.
    virtual void prepareShow(QWindow &) {}
    /// Once the window is on screen after a show.
    virtual void shown(QWindow &) {}
    /// The part of the window whose background is blurred.
    virtual void setBlurArea(QWindow &, const QRect &) {}
    /// Asks for the keyboard on behalf of the user action at `userTime` (the X time of the key
    /// press; 0: now). False where the desktop has no such request: the caller then asks Qt.
    virtual bool activateForUser(QWindow &, quint32) { return false; }
    /// Whether even a request without a user time goes through activateForUser: where the
    /// desktop ignores the request Qt would send.
    [[nodiscard]] virtual bool decidesFocus() const { return false; }
    /// Typing mode left (`takesKeyboard` false) or entered: where the window's own focus hint
    /// is not what the desktop reads.
    virtual void followMode(QWindow &, bool /*takesKeyboard*/) {}

    /// The user pressed on the window's background at `pressed` (window coordinates) to move
    /// it. False where the window manager moves windows itself (the caller then asks it).
    Q_INVOKABLE virtual bool beginMove(QWindow *, QPointF /*pressed*/) { return false; }
    /// The pointer, still pressed, is at `at` (window coordinates): for a move made here.
    Q_INVOKABLE virtual void moveTo(QWindow *, QPointF /*at*/) {}

Q_SIGNALS:
    void compositedChanged();
};
