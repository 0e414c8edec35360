#pragma once

#include "core/PindleError.h"
#include "platform/ScreenGrabber.h"
#include "services/ScreenshotTaker.h"

#include <QByteArray>

/// Turns a grab of the first screen into the picture shown in the conversation and the JPEG, at
/// twice the screen's logical size and quality 65, that goes to the backend as Base64. Scaling
/// and encoding run on worker threads while the caller's thread keeps serving the interface.
class ScreenCaptureService final : public ScreenshotTaker {
public:
    class CaptureError final : public PindleError {
    public:
        using PindleError::PindleError;
    };

    static constexpr int jpegQuality = 65;

    explicit ScreenCaptureService(ScreenGrabber &grabber);

    /// Throws CaptureError: no screen, an encoding failure, or the grabber's own reason unchanged.
    QCoro::Task<Screenshot> captureScreen() override;

    /// The worker's step: `image` scaled to twice `logicalSize` and encoded as JPEG. Empty when
    /// the picture cannot be encoded.
    [[nodiscard]] static QByteArray encodeJpeg(const QImage &image, QSize logicalSize);

    /// The worker's other step: `image` scaled down to fit `shownPixels` at the screen's scale,
    /// keeping its shape.
    [[nodiscard]] static QImage shownPicture(const QImage &image, QSize logicalSize);

private:
    ScreenGrabber &m_grabber;
};
