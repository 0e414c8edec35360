#pragma once

#include "platform/GrabTurns.h"
#include "platform/ScreenGrabber.h"

#include <QObject>

#include <chrono>
#include <functional>

/// Grabs the screen of a native Wayland session through the compositor (the desktop portal):
/// this application's visible windows are hidden for the moment of the picture and shown again
/// afterwards, the overlay on its layer without taking the keyboard. Grabs are taken one at a
/// time.
class WaylandStepAsideGrabber final : public QObject, public ScreenGrabber {
    Q_OBJECT

public:
    /// Takes the picture once our windows are gone; it may throw Unavailable or PlatformError.
    using PictureSource = std::function<QCoro::Task<QImage>()>;

    explicit WaylandStepAsideGrabber(std::chrono::milliseconds settleDelay, PictureSource source,
                                     QObject *parent = nullptr);

    QCoro::Task<Grab> grabPrimaryScreen() override;

private:
    std::chrono::milliseconds m_settleDelay;
    PictureSource m_source;
    GrabTurns m_turns;
};
