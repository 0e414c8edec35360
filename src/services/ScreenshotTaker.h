#pragma once

#include <QSize>
#include <QString>

#include <QCoroTask>

#include <memory>

class QImage;

/// A picture of the main display, taken with the application's own windows out of the way.
class ScreenshotTaker {
public:
    /// The largest picture the conversation shows, in pixels at a scale of 1: twice the size it
    /// takes on the screen, so that it stays sharp when enlarged.
    static constexpr QSize shownPixels{560, 320};

    struct Screenshot {
        /// For display in the conversation: the picture scaled down to fit `shownPixels` times
        /// the screen's scale.
        std::shared_ptr<const QImage> image;
        /// The JPEG data as Base64 text, as sent to the backend.
        QString base64;
    };

    virtual ~ScreenshotTaker() = default;
    /// Throws an error carrying a user-facing message when the screen cannot be captured.
    virtual QCoro::Task<Screenshot> captureScreen() = 0;
};
