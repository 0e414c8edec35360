#include "services/ScreenCaptureService.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace {

constexpr const char *noDisplayMessage =
    QT_TRANSLATE_NOOP("ScreenCaptureService", "No display found for screen capture");
constexpr const char *encodingMessage =
    QT_TRANSLATE_NOOP("ScreenCaptureService", "Failed to encode screenshot as JPEG");

struct Encoded {
    QByteArray jpeg;
    QString base64;
};

Encoded encode(const QImage &image, QSize logicalSize) {
    Encoded result;
    result.jpeg = ScreenCaptureService::encodeJpeg(image, logicalSize);
    if (!result.jpeg.isEmpty())
        result.base64 = QString::fromLatin1(result.jpeg.toBase64());
    return result;
}

} // namespace

ScreenCaptureService::ScreenCaptureService(ScreenGrabber &grabber)
    : m_grabber(grabber) {}

QCoro::Task<ScreenshotTaker::Screenshot> ScreenCaptureService::captureScreen() {
    ScreenGrabber::Grab grab;
    try {
        grab = co_await m_grabber.grabPrimaryScreen();
    } catch (const ScreenGrabber::Unavailable &unavailable) {
        throw CaptureError(unavailable.message());
    }
    if (grab.logicalSize.isEmpty())
        throw CaptureError(QCoreApplication::translate("ScreenCaptureService", noDisplayMessage));

    const QImage image = grab.image;
    const QSize logicalSize = grab.logicalSize;
    // The conversation's copy is made beside the JPEG, on a second worker: neither waits for the
    // other, and the interface thread need not scale a whole screen when the picture is shown.
    QFuture<QImage> shown = QtConcurrent::run(shownPicture, image, logicalSize);
    Encoded encoded = co_await QtConcurrent::run(encode, image, logicalSize);
    QImage picture = co_await shown;
    if (encoded.jpeg.isEmpty())
        throw CaptureError(QCoreApplication::translate("ScreenCaptureService", encodingMessage));
    co_return Screenshot{std::make_shared<const QImage>(std::move(picture)),
                         std::move(encoded.base64)};
}

QImage ScreenCaptureService::shownPicture(const QImage &image, QSize logicalSize) {
    if (image.isNull() || logicalSize.isEmpty())
        return {};
    const qreal scale = qreal(image.width()) / logicalSize.width();
    const QSize bound = (QSizeF(shownPixels) * scale).toSize();
    if (image.width() <= bound.width() && image.height() <= bound.height())
        return image;
    return image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QByteArray ScreenCaptureService::encodeJpeg(const QImage &image, QSize logicalSize) {
    if (image.isNull() || logicalSize.isEmpty())
        return {};
    const QSize target = logicalSize * 2;
    const QImage scaled = image.size() == target ? image
                                                 : image.scaled(target, Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation);
    if (scaled.isNull())
        return {};

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(jpegQuality);
    if (!writer.write(scaled))
        return {};
    return jpeg;
}
