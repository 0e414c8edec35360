// Screen capture in a real X session (Xvfb + openbox, scripts/with-x11.sh): another client's
// window is in the picture, ours are not, and ours come back exactly as they were.

#include "Await.h"
#include "X11Input.h"
#include "platform/session/DesktopIntegration.h"
#include "platform/x11/X11Support.h"
#include "services/ScreenCaptureService.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QColor foreign(0xff, 0x00, 0xff);
const QColor ours(0x00, 0xc0, 0x00);
const QColor slow(0x00, 0x40, 0xff);

class PlainWindow final : public QRasterWindow {
public:
    explicit PlainWindow(QColor colour)
        : m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), m_colour);
    }

private:
    QColor m_colour;
};

bool near(QColor actual, QColor expected) {
    return qAbs(actual.red() - expected.red()) < 40 &&
           qAbs(actual.green() - expected.green()) < 40 &&
           qAbs(actual.blue() - expected.blue()) < 40;
}

// The capture as the backend gets it, decoded; its pixels are twice the screen's coordinates.
QImage decoded(const ScreenshotTaker::Screenshot &shot) {
    return QImage::fromData(QByteArray::fromBase64(shot.base64.toLatin1()), "JPEG");
}

QColor at(const QImage &picture, QPoint logical) {
    return picture.pixelColor(logical * 2);
}

} // namespace

class X11StepAsideGrabberTest : public QObject {
    Q_OBJECT

private:
    static bool compositorRuns() {
        xcb_connection_t *c = X11Support::connection();
        const X11Support::Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(
                c, xcb_get_selection_owner(c, X11Support::atom("_NET_WM_CM_S0")), nullptr));
        return owner && owner->owner != XCB_WINDOW_NONE;
    }

    QProcess m_other;
    xcb_window_t m_otherWindow = XCB_WINDOW_NONE;
    std::unique_ptr<ScreenGrabber> m_grabber;

    // Shaped like the overlay: frameless, above others, refuses focus, on every desktop.
    std::unique_ptr<PlainWindow> overlayLike(QRect geometry) {
        auto window = std::make_unique<PlainWindow>(ours);
        window->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus);
        window->setGeometry(geometry);
        X11Support::setDesktop(*window, X11Support::allDesktops);
        window->show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(window.get())); }();
        X11Support::setDesktop(*window, X11Support::allDesktops);
        return window;
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_other.start(QStringLiteral(PINDLE_COLOUR_WINDOW_PATH),
                      {"50", "50", "1000", "700", foreign.name().mid(1)});
        QVERIFY(m_other.waitForReadyRead(10000));
        m_otherWindow = m_other.readLine().trimmed().toUInt();
        QVERIFY(m_otherWindow != XCB_WINDOW_NONE);
        QTRY_COMPARE(inputFocus(), m_otherWindow); // openbox focuses a new normal window
        m_grabber = createScreenGrabber();
    }
    void cleanupTestCase() {
        m_other.kill();
        m_other.waitForFinished();
    }

    // Two captures started together run one after the other: neither shows our window nor the
    // pointer, and our window comes back exactly as it was.
    void ourWindowsAreLeftOutAndComeBack() {
        const QRect geometry(300, 300, 300, 200);
        const auto overlay = overlayLike(geometry);
        const auto id = xcb_window_t(overlay->winId());
        QTRY_COMPARE(X11Support::desktopOf(id), std::optional(X11Support::allDesktops));
        QCursor::setPos(QPoint(800, 500));
        QTRY_COMPARE(QCursor::pos(), QPoint(800, 500));
        ScreenCaptureService service(*m_grabber);

        auto first = service.captureScreen();
        auto second = service.captureScreen();
        const ScreenshotTaker::Screenshot shot = await(std::move(first));

        const QImage picture = decoded(shot);
        if (const QString dir = qEnvironmentVariable("PINDLE_SCREENSHOT_DIR"); !dir.isEmpty())
            picture.save(dir + "/capture.png");
        QCOMPARE(picture.size(), QGuiApplication::primaryScreen()->size() * 2);
        QCOMPARE(shot.image->size(), QSize(512, 320));
        QVERIFY2(near(at(picture, geometry.center()), foreign),
                 qPrintable(at(picture, geometry.center()).name()));
        QVERIFY(!near(at(picture, {1300, 850}), foreign)); // outside the other window
        for (int dy = 0; dy < 16; dy += 3)
            for (int dx = 0; dx < 12; dx += 3)
                QVERIFY(near(at(picture, {800 + dx, 500 + dy}), foreign));
        QVERIFY(near(at(decoded(await(std::move(second))), geometry.center()), foreign));

        QVERIFY(overlay->isVisible());
        QTRY_VERIFY(X11Support::isViewable(id));
        QCOMPARE(overlay->geometry(), geometry);
        QTRY_COMPARE(X11Support::desktopOf(id), std::optional(X11Support::allDesktops));
        QCOMPARE(inputFocus(), m_otherWindow); // the user's window kept the focus throughout
    }

    // A window the user is typing into (a decorated, active one) gets the focus back.
    void anActiveWindowIsActiveAgain() {
        PlainWindow window(ours);
        window.setGeometry(400, 250, 320, 240);
        window.show();
        window.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QPoint position = window.position();
        ScreenCaptureService service(*m_grabber);

        const QImage picture = decoded(await(service.captureScreen()));

        QVERIFY(near(at(picture, window.geometry().center()), foreign));
        QTRY_COMPARE(inputFocus(), xcb_window_t(window.winId()));
        QCOMPARE(window.position(), position);
        window.close();
        QTRY_COMPARE(inputFocus(), m_otherWindow);
    }

    // Whatever our window covered is in the picture as its owner draws it now, never as our
    // window left it: here a window that leaves its background to itself and repaints long
    // after it is exposed, with a compositor and without one.
    void whatLayBeneathIsDrawnAnew_data() {
        QTest::addColumn<bool>("composited");
        QTest::newRow("no compositor") << false;
        QTest::newRow("compositor") << true;
    }
    void whatLayBeneathIsDrawnAnew() {
        QFETCH(bool, composited);
        QProcess compositor;
        if (composited) {
            compositor.start(QStringLiteral("xcompmgr"), {});
            QTRY_VERIFY(compositorRuns());
        }
        QProcess beneath;
        beneath.start(QStringLiteral(PINDLE_COLOUR_WINDOW_PATH),
                      {"250", "250", "400", "300", slow.name().mid(1), "150"});
        QVERIFY(beneath.waitForReadyRead(10000));
        const QRect geometry(300, 300, 300, 200);
        const auto overlay = overlayLike(geometry);
        ScreenCaptureService service(*m_grabber);

        const QImage picture = decoded(await(service.captureScreen()));

        for (const QPoint point : {geometry.center(), geometry.topLeft() + QPoint(2, 2),
                                   geometry.bottomRight() - QPoint(2, 2)})
            QVERIFY2(near(at(picture, point), slow), qPrintable(at(picture, point).name()));
        beneath.kill();
        beneath.waitForFinished();
        compositor.kill();
        compositor.waitForFinished();
        QTRY_VERIFY(!compositorRuns());
    }
};

QTEST_MAIN(X11StepAsideGrabberTest)
#include "tst_x11stepasidegrabber.moc"
