// Screen capture, step by step: grab, scale to twice the logical size, JPEG at quality 65, Base64,
// and how long our own windows blink off the screen for a whole capture. In a Wayland session
// (scripts/with-wayland.sh), also what reading the picture through the desktop portal adds: a
// portal of the bench's own hands over a desktop-like PNG at once, so the figure is Pindle's part
// (the D-Bus round trip, reading, decoding and removing the file), not the compositor's.
// Needs an X display: run it as scripts/with-x11.sh build/<dir>/bench/pindle_bench_capture [runs]

#include "Await.h"
#include "FakePortal.h"
#include "platform/desktop/PortalScreenshot.h"
#include "platform/x11/X11StepAsideGrabber.h"
#include "services/ScreenCaptureService.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

class PlainWindow final : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(30, 30, 40));
    }
};

// Median milliseconds of `runs` calls.
double median(int runs, const std::function<void()> &step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::ranges::sort(times);
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    // The grab is X11's, on XWayland too, wherever a Wayland session would give Qt its own
    // platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QScreen *screen = QGuiApplication::primaryScreen();
    const QSize logical = screen->size();

    QImage grabbed;
    const double grab = median(runs, [&] { grabbed = screen->grabWindow(0).toImage(); });
    // A flat test screen is no work for JPEG: scale and encode something like a desktop instead.
    QImage content(grabbed.size(), QImage::Format_RGB32);
    {
        QPainter painter(&content);
        for (int y = 0; y < content.height(); y += 18)
            for (int x = 0; x < content.width(); x += 60)
                painter.fillRect(x, y, 58, 16, QColor::fromHsv((x * 7 + y * 3) % 360, 90, 230));
        painter.setPen(Qt::black);
        for (int y = 12; y < content.height(); y += 18)
            painter.drawText(
                4, y, QStringLiteral("The quick brown fox jumps over the lazy dog. ").repeated(40));
    }
    QImage scaled;
    const double scale = median(runs, [&] {
        scaled = content.scaled(logical * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    });
    QByteArray jpeg;
    const double encode = median(runs, [&] {
        jpeg.clear();
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(ScreenCaptureService::jpegQuality);
        writer.write(scaled);
    });
    QByteArray base64;
    const double toBase64 = median(runs, [&] { base64 = jpeg.toBase64(); });

    PlainWindow window;
    window.setGeometry(300, 200, 420, 600);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    X11StepAsideGrabber grabber;
    ScreenCaptureService service(grabber);
    std::vector<double> hidden;
    const double whole = median(runs, [&] {
        await(service.captureScreen());
        hidden.push_back(double(grabber.lastHiddenFor().count()) / 1000);
        [[maybe_unused]] const bool back = QTest::qWaitForWindowExposed(&window);
    });
    std::ranges::sort(hidden);

    // The portal's part, where there is a session bus to put one on.
    double portal = -1;
    QDBusConnection portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench-portal"));
    FakePortal fake(portalBus);
    fake.answerDelay = std::chrono::milliseconds(0);
    QTemporaryDir folder;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && portalBus.isConnected() &&
        portalBus.registerVirtualObject(desktopPath, &fake) &&
        portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        const QString file = folder.filePath(QStringLiteral("Screenshot.png"));
        fake.screenshotUri = QUrl::fromLocalFile(file).toString();
        PortalScreenshot screenshot;
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            content.save(file); // the compositor's work, not timed
            QElapsedTimer timer;
            timer.start();
            [[maybe_unused]] const QImage picture = await(screenshot.take());
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::ranges::sort(times);
        portal = times[times.size() / 2];
    }

    std::printf("screen %dx%d -> JPEG %dx%d, median of %d runs\n", logical.width(),
                logical.height(), scaled.width(), scaled.height(), runs);
    std::printf("  grab            %7.2f ms\n", grab);
    std::printf("  scale           %7.2f ms\n", scale);
    std::printf("  JPEG q%d        %7.2f ms  (%lld KB)\n", ScreenCaptureService::jpegQuality,
                encode, qlonglong(jpeg.size() / 1024));
    std::printf("  Base64          %7.2f ms  (%lld KB)\n", toBase64,
                qlonglong(base64.size() / 1024));
    std::printf("  whole capture   %7.2f ms\n", whole);
    std::printf("  windows hidden  %7.2f ms (until the screen beneath is drawn again)\n",
                hidden[hidden.size() / 2]);
    if (portal >= 0)
        std::printf("  portal picture  %7.2f ms (Pindle's part: D-Bus, PNG read and decode)\n",
                    portal);
    return 0;
}
