#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QRegion>
#include <QTimer>

#include <xcb/xcb.h>

#include <chrono>
#include <optional>
#include <vector>

/// Follows the screen while this application's windows leave it, from the X server's damage
/// reports on the root window, and says when every part they covered has been drawn anew by
/// whatever shows there now. With a compositor that is its first frame without them; where the
/// window manager composites (GNOME, Plasma, Xfce), the first one drawn after it has withdrawn
/// our windows, since a frame it drew before may still show them (if it drew one in between, a
/// frame's time at most). Without a compositor it is the
/// repaint of the windows beneath, done once it has been quiet for a frame: the server fills in
/// a window's background at once, and its owner may draw the rest when it handles the Expose.
class X11RepaintWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    /// How long the screen beneath must have stayed unchanged, without a compositor, to count as
    /// drawn: a frame at 60 Hz.
    static constexpr std::chrono::milliseconds quietFrame{16};

    struct TopLevel {
        xcb_window_t window = XCB_WINDOW_NONE; // the manager's frame, or our window itself
        xcb_window_t client = XCB_WINDOW_NONE; // our window in it
        [[nodiscard]] bool ours() const { return window == client; } // Qt asks for its events
    };

    /// Made before the windows are hidden, so no report falls between the two.
    explicit X11RepaintWatch(const std::vector<TopLevel> &topLevels);
    ~X11RepaintWatch() override;
    X11RepaintWatch(const X11RepaintWatch &) = delete;
    X11RepaintWatch &operator=(const X11RepaintWatch &) = delete;

    /// False where the server reports no damage: then nothing is followed.
    [[nodiscard]] bool available() const { return m_damage != 0; }
    /// True once every window has left the screen.
    [[nodiscard]] bool gone() const;
    /// How much longer the screen needs, if nothing more is drawn, to count as drawn: zero once it
    /// does, nothing while some part is still waiting for its owner.
    [[nodiscard]] std::optional<std::chrono::milliseconds> remaining() const;

    /// Emits progressed() once: at the next unmapping or drawing, or after `timeout`.
    // WORKAROUND: QCoro 0.8 resumes an awaiter of a signal through a queued call, and a second
    // emission queued before that call runs reaches an awaiter already gone. So each wait gets
    // one emission, and its own timeout instead of QCoro's.
    void wakeWithin(std::chrono::milliseconds timeout);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    /// Something was unmapped or drawn, or the time given to wakeWithin() passed.
    void progressed();

private:
    void wake();

    struct Watched {
        TopLevel topLevel;
        QRegion shown; // the part of the screen it covered
        bool unmapped = false;
        bool withdrawn = true; // by the manager, where it must be
        bool gone = false;
        QRegion drawnUnmapped = {}; // drawn since it was unmapped
    };

    void leave(Watched &watched);

    std::vector<Watched> m_watched;
    QRegion m_waiting; // uncovered parts not yet drawn since
    QRegion m_uncovered;
    QElapsedTimer m_lastDrawn; // in what was uncovered
    QElapsedTimer m_grace;     // since a withdrawal that came after a frame
    QTimer m_wake;
    bool m_armed = false;
    bool m_composited = false;
    xcb_atom_t m_wmState = XCB_ATOM_NONE;
    quint32 m_damage = 0;
    quint8 m_damageEvent = 0;
};
