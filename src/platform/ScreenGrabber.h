#pragma once

#include "platform/PlatformError.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <QCoroTask>

/// Takes a raw picture of the first screen with every visible window of this application out of
/// the way. Scaling and encoding are the caller's business.
class ScreenGrabber {
public:
    struct Grab {
        /// In device pixels; null when the picture could not be taken.
        QImage image;
        /// The screen's size in device-independent pixels; empty when there is no screen.
        QSize logicalSize;
    };

    /// The session does not let this application read the screen at all; `message` says why, in
    /// words a user understands.
    class Unavailable final : public PlatformError {
    public:
        using PlatformError::PlatformError;
    };

    virtual ~ScreenGrabber() = default;
    /// Throws Unavailable when the session offers no way to grab the screen, and PlatformError
    /// when the display refused this one picture.
    virtual QCoro::Task<Grab> grabPrimaryScreen() = 0;
};
