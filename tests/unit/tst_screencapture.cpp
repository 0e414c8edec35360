// Screen capture from a grab to what the conversation gets: the failures the user sees, and the
// doubled JPEG in Base64.

#include "Await.h"
#include "services/ScreenCaptureService.h"

#include <QPainter>
#include <QTest>

using CaptureError = ScreenCaptureService::CaptureError;

namespace {

class FakeGrabber final : public ScreenGrabber {
public:
    Grab grab;
    QString unavailable;

    QCoro::Task<Grab> grabPrimaryScreen() override {
        if (!unavailable.isEmpty())
            throw Unavailable(unavailable);
        co_return grab;
    }
};

// Left half red, right half blue: survives JPEG and scaling, and shows if halves swap.
QImage halves(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), Qt::red);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()),
                     Qt::blue);
    return image;
}

bool near(QColor actual, QColor expected) {
    return qAbs(actual.red() - expected.red()) < 24 &&
           qAbs(actual.green() - expected.green()) < 24 &&
           qAbs(actual.blue() - expected.blue()) < 24;
}

} // namespace

class ScreenCaptureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void failures_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QSize>("logicalSize");
        QTest::addColumn<QString>("unavailable");
        QTest::addColumn<QString>("message");
        QTest::newRow("no screen")
            << QImage() << QSize() << QString() << "No display found for screen capture";
        QTest::newRow("a screen of no size") << halves({10, 10}) << QSize(0, 0) << QString()
                                             << "No display found for screen capture";
        QTest::newRow("nothing grabbed")
            << QImage() << QSize(1440, 900) << QString() << "Failed to encode screenshot as JPEG";
        QTest::newRow("session refuses, its reason unchanged")
            << QImage() << QSize() << "This Wayland session does not let Pindle read the screen."
            << "This Wayland session does not let Pindle read the screen.";
    }
    void failures() {
        QFETCH(QImage, image);
        QFETCH(QSize, logicalSize);
        QFETCH(QString, unavailable);
        QFETCH(QString, message);
        FakeGrabber grabber;
        grabber.grab = {image, logicalSize};
        grabber.unavailable = unavailable;
        ScreenCaptureService service(grabber);
        QCOMPARE(failureOf<CaptureError>(service.captureScreen()), message);
    }

    // A 1x screen is doubled; a 2x screen is already at the size sent and is not scaled again. The
    // conversation's copy is the screen's shape, within twice what it shows at the screen's scale.
    void jpegAtTwiceTheLogicalSize_data() {
        QTest::addColumn<QSize>("grabbed");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("1x screen") << QSize(1440, 900) << QSize(512, 320);
        QTest::newRow("2x screen") << QSize(2880, 1800) << QSize(1024, 640);
        QTest::newRow("odd 1.25x screen") << QSize(1800, 1125) << QSize(640, 400);
    }
    void jpegAtTwiceTheLogicalSize() {
        QFETCH(QSize, grabbed);
        QFETCH(QSize, shown);
        FakeGrabber grabber;
        grabber.grab = {halves(grabbed), QSize(1440, 900)};
        ScreenCaptureService service(grabber);

        const ScreenshotTaker::Screenshot shot = await(service.captureScreen());

        QVERIFY(!shot.base64.contains(u'\n') && !shot.base64.contains(u'\r'));
        const QByteArray jpeg =
            QByteArray::fromBase64(shot.base64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(jpeg.startsWith("\xFF\xD8\xFF"));
        QCOMPARE(jpeg.toBase64(), shot.base64.toLatin1()); // standard alphabet, padded
        const QImage decoded = QImage::fromData(jpeg, "JPEG");
        QCOMPARE(decoded.size(), QSize(2880, 1800));
        QVERIFY(near(decoded.pixelColor(100, 900), Qt::red));
        QVERIFY(near(decoded.pixelColor(2780, 900), Qt::blue));

        QVERIFY(shot.image);
        QCOMPARE(shot.image->size(), shown);
        QVERIFY(near(shot.image->pixelColor(10, shown.height() / 2), Qt::red));
        QVERIFY(near(shot.image->pixelColor(shown.width() - 10, shown.height() / 2), Qt::blue));
    }
};

QTEST_MAIN(ScreenCaptureTest)
#include "tst_screencapture.moc"
