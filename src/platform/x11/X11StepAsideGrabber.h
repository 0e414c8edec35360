#pragma once

#include "platform/GrabTurns.h"
#include "platform/ScreenGrabber.h"

#include <QObject>

#include <chrono>
#include <functional>

/// Grabs the first screen of an X11 session. X11 cannot leave one client's windows out of a grab,
/// so this application's visible windows are hidden for the moment of the grab and then shown
/// again where they were, on the same desktop, in the same stacking order and with the same
/// focus. The picture is taken as soon as the screen shows what lay beneath them, drawn anew, as
/// the server's damage reports tell. Grabs are taken one at a time.
class X11StepAsideGrabber final : public QObject, public ScreenGrabber {
    Q_OBJECT

public:
    /// How long the windows beneath ours get to repaint once ours are off the screen, where the
    /// screen cannot be followed: a server without damage reports, or a picture from the portal.
    static constexpr std::chrono::milliseconds defaultSettleDelay{50};

    /// Where the picture comes from once our windows are out of the way: the X11 screen, or
    /// (under XWayland, whose screen shows X programs only) the desktop portal. It may throw
    /// Unavailable.
    using PictureSource = std::function<QCoro::Task<QImage>()>;

    explicit X11StepAsideGrabber(std::chrono::milliseconds settleDelay = defaultSettleDelay,
                                 PictureSource source = {}, QObject *parent = nullptr);

    QCoro::Task<Grab> grabPrimaryScreen() override;

    /// How long our windows were off the screen during the latest grab.
    [[nodiscard]] std::chrono::microseconds lastHiddenFor() const { return m_lastHiddenFor; }

private:
    std::chrono::milliseconds m_settleDelay;
    PictureSource m_source;
    std::chrono::microseconds m_lastHiddenFor{0};
    GrabTurns m_turns;
};
