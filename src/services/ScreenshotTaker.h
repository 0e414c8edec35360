#pragma once

#include <QString>

#include <QCoroTask>

#include <memory>

class QImage;

/// A picture of the main display, taken with the application's own windows out of the way.
class ScreenshotTaker {
public:
    struct Screenshot {
        /// For display in the conversation.
        std::shared_ptr<const QImage> image;
        /// The JPEG data as Base64 text, as sent to the backend.
        QString base64;
    };

    virtual ~ScreenshotTaker() = default;
    /// Throws an error carrying a user-facing message when the screen cannot be captured.
    virtual QCoro::Task<Screenshot> captureScreen() = 0;
};
