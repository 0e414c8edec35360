// The overlay with a real conversation behind it, on a virtual X display with a window manager
// (scripts/with-x11.sh): what each state shows, and who has the keyboard. Every grab is also
// written to $PINDLE_SCREENSHOT_DIR when set, for a look by eye.

#include "ChatReplies.h"
#include "ConversationRig.h"
#include "FakeDesktopServices.h"
#include "OverlayRig.h"
#include "QuickInput.h"
#include "TextFaults.h"
#include "platform/OverlayWindowing.h"
#include "platform/session/DesktopIntegration.h"
#include "platform/x11/X11FocusHandoff.h"
#include "views/ListEndFollower.h"
#include "windows/MessageImageProvider.h"
#include "windows/OverlayPanel.h"

#include <QFile>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

// A screenshot of a made-up desktop.
struct PictureCapture final : ScreenshotTaker {
    QCoro::Task<Screenshot> captureScreen() override {
        auto image = std::make_shared<QImage>(1440, 900, QImage::Format_RGB32);
        QPainter painter(image.get());
        QLinearGradient sky(0, 0, 1440, 900);
        sky.setColorAt(0, QColor(40, 90, 160));
        sky.setColorAt(1, QColor(200, 120, 60));
        painter.fillRect(image->rect(), sky);
        painter.fillRect(200, 150, 700, 450, QColor(245, 245, 245));
        co_return Screenshot{std::move(image), "SU1H"};
    }
};

QColor pixel(const QImage &image, QPointF at) {
    return image.pixelColor(at.toPoint());
}

// A desktop as the overlay's view is told of it: with or without a compositor, blurring behind
// or not.
struct ChosenWindowing final : OverlayWindowing {
    ChosenWindowing(bool composited, bool blurred)
        : m_composited(composited)
        , m_blurred(blurred) {}
    [[nodiscard]] bool composited() const override { return m_composited; }
    [[nodiscard]] bool blurBehind() const override { return m_blurred; }

    bool m_composited;
    bool m_blurred;
};

} // namespace

class OverlayViewTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    PictureCapture m_capture;
    CountingFocus m_focus;
    QProcess m_xterm;
    QProcess m_compositor;
    xcb_window_t m_userWindow = XCB_WINDOW_NONE;
    std::unique_ptr<OverlayRig> m_overlay;
    ConversationRig *m_rig = nullptr;
    OverlayPanel *m_panel = nullptr;

    QQuickItem *item(const char *name) const {
        QQuickItem *found = findItem(m_panel->contentItem(), QLatin1String(name));
        if (!found)
            qFatal("no item %s", name);
        return found;
    }
    QString text(const char *name) const { return item(name)->property("text").toString(); }

    // Renders the overlay once everything has settled, and keeps a copy for review.
    QImage grab(const QString &name, const QColor &backdrop = {}) {
        QTest::qWait(300); // scroll animations and image loads
        const QImage image = m_panel->grabWindow();
        if (const QString dir = qEnvironmentVariable("PINDLE_SCREENSHOT_DIR"); !dir.isEmpty()) {
            // Over a desktop-like backdrop (or the one given), as the translucent window would
            // be seen.
            QImage seen(image.size(), QImage::Format_RGB32);
            QPainter painter(&seen);
            QLinearGradient desktop(0, 0, seen.width(), seen.height());
            desktop.setColorAt(0, QColor(52, 78, 120));
            desktop.setColorAt(1, QColor(120, 70, 90));
            if (backdrop.isValid())
                painter.fillRect(seen.rect(), backdrop);
            else
                painter.fillRect(seen.rect(), desktop);
            painter.drawImage(0, 0, image);
            painter.end();
            seen.save(dir + '/' + name + ".png");
        }
        return image;
    }

    void startCompositor() {
        m_compositor.start("xcompmgr", {});
        QVERIFY(m_compositor.waitForStarted());
    }

    void ask(const QString &question, const QStringList &tokens) {
        m_rig->backend.enqueue(streamedReply(tokens, 1ms));
        m_rig->model.setInputText(question);
        m_rig->model.sendMessage();
        QTRY_VERIFY(!m_rig->model.isLoading());
    }

    // A fresh overlay on `windowing`, shown.
    void open(std::unique_ptr<OverlayWindowing> windowing) {
        m_overlay = std::make_unique<OverlayRig>(m_dir.filePath("settings.json"), m_capture,
                                                 m_focus, std::move(windowing));
        m_rig = &m_overlay->rig;
        m_panel = &m_overlay->panel;
        m_overlay->shortcuts.start();
        QTRY_COMPARE(m_overlay->shortcuts.typeMode(), "Alt+T");
        m_overlay->engine.addImageProvider("messages", new MessageImageProvider(m_rig->model));
        const auto object = [](QObject &object) { return QVariant::fromValue(&object); };
        m_panel->setContent({{"viewModel", object(m_rig->model)},
                             {"overlay", object(m_rig->overlay)},
                             {"settings", object(m_rig->settings)},
                             {"messages", object(m_overlay->list)},
                             {"recording", object(m_overlay->recording)},
                             {"shortcuts", object(m_overlay->shortcuts)},
                             {"appMenu", object(m_overlay->menu)},
                             {"hiddenFromCapture", OverlayPanel::hiddenFromCapture()}});
        QVERIFY(!m_panel->rootObject()); // made when first shown
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel));
        QVERIFY(m_panel->rootObject());
    }

private Q_SLOTS:
    void initTestCase() {
        QQuickWindow::setDefaultAlphaBuffer(true);
        startCompositor();                                   // as most desktops run one
        m_userWindow = startXterm(m_xterm, "60x20+700+300"); // the application the user works in
        QVERIFY(m_userWindow);
        QTRY_COMPARE_WITH_TIMEOUT(inputFocus(), m_userWindow, 10000);
    }
    void cleanupTestCase() {
        m_xterm.kill();
        m_xterm.waitForFinished();
        m_compositor.kill();
        m_compositor.waitForFinished();
    }

    void init() { open(createOverlayWindowing()); }
    void cleanup() { m_overlay.reset(); }

    void emptyConversation() {
        const QImage shot = grab("empty");
        QVERIFY(item("emptyState")->isVisible());
        const QString help = text("helpText");
        QVERIFY(!help.contains("hidden from screen recordings"));
        QVERIFY(help.endsWith("\n\nAlt+S = Screenshot  ·  Alt+T = Type  ·  Alt+Space = Toggle"));
        QCOMPARE(help.count('\n'), 3);
        QCOMPARE(shot.size(), OverlayPanel::defaultSize);
        QVERIFY(pixel(shot, {1, 300}).alpha() < 40); // only a faint shadow in the margin
        // The overlay draws its own controls: Qt Quick Controls would cost it megabytes.
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(!mapped.contains("QuickTemplates2") && !mapped.contains("qtquickcontrols2"));
    }

    void exchangeWithScreenshotAndStreaming() {
        ask("What is the capital of France?", {"Paris", " is the capital", " of France."});
        m_rig->backend.enqueue(streamedReply({"It shows a window."}, 1ms));
        m_rig->backend.enqueue(completionReply("It shows a window on a blue and orange desktop."));
        m_rig->model.captureAndAnalyze();
        QTRY_VERIFY(!m_rig->model.isLoading() && !m_rig->model.isCapturing());
        QVERIFY(!item("emptyState")->isVisible());
        grab("exchange");

        // An answer still streaming: the send button spins, capture and recording are off.
        m_rig->backend.enqueue(Reply::stream(
            {{deltaLine("Let me think"), 1ms}, {deltaLine("."), 1500ms}, {"data: [DONE]\n", 1ms}}));
        m_rig->model.setInputText("And the second one?");
        m_rig->model.sendMessage();
        QTRY_COMPARE(m_rig->model.messages().last().content, "Let me think");
        grab("streaming");
        QVERIFY(!item("captureButton")->isEnabled());
        QVERIFY(!item("microphoneButton")->isEnabled());
        QVERIFY(!item("sendButton")->isEnabled());
        QVERIFY(item("sendButton")->property("busy").toBool());
        // The streaming bubble sits at the bottom of the list.
        auto *list = item("messageList");
        QVERIFY(list->property("atYEnd").toBool());
        QTRY_VERIFY(!m_rig->model.isLoading());
    }

    void errorBannerTwoLinesAtMost() {
        m_rig->backend.enqueue(Reply::text(500, "The provider refused the request because the "
                                                "account has no credit left.\nSecond line of the "
                                                "reason.\nThird line that must not show."));
        m_rig->model.setInputText("q");
        m_rig->model.sendMessage();
        QTRY_VERIFY(!m_rig->model.errorMessage().isEmpty());
        grab("error");
        QVERIFY(item("errorBanner")->isVisible());
        QCOMPARE(item("errorText")->property("lineCount").toInt(), 2);
        QVERIFY(item("errorText")->property("truncated").toBool());
        m_rig->model.dismissError();
        QVERIFY(!item("errorBanner")->isVisible());
    }

    // The opacity setting darkens the card along the slider's whole range (how far it may clear
    // is readableOverAnyDesktop's to tell); stored values beyond the range draw as its ends.
    void opacityAndModes() {
        const auto alpha = [this](double opacity) {
            m_rig->settings.setOverlayOpacity(opacity);
            const QImage shot = grab(QStringLiteral("opacity-%1").arg(opacity));
            return pixel(shot, {210, 300}).alpha(); // inside the empty list, away from any text
        };
        QList<int> alphas;
        for (const double opacity : {0.0, 0.3, 0.6, 0.92, 1.0, 1.5})
            alphas << alpha(opacity);
        QCOMPARE(alphas[0], alphas[1]);
        QVERIFY2(alphas[1] < alphas[2] && alphas[2] < alphas[3] && alphas[3] < alphas[4],
                 qPrintable(QString::number(alphas[1]) + " .. " + QString::number(alphas[4])));
        QCOMPARE(alphas[5], alphas[4]);
        QVERIFY(alphas[4] > 200);

        QCOMPARE(text("modeHint"), "Stealth · Alt+T to type");
        m_rig->overlay.setStealthMode(false);
        grab("typing");
        QCOMPARE(text("modeHint"), "Typing · Enter to send");
    }

    // The hints name the shortcuts as they work, and none that does nothing.
    void hintsNameWorkingShortcuts() {
        using Action = GlobalHotkeys::Action;
        m_overlay->hotkeys.heldElsewhere = QStringList{"Alt+Space"};
        m_overlay->shortcutSettings.setCombination(Action::ToggleTypingMode,
                                                   *KeyCombination::parse(u"Ctrl+Alt+Y"));
        Q_EMIT m_overlay->desktop.changed(); // checked again
        QTRY_COMPARE(text("modeHint"), "Stealth · Ctrl+Alt+Y to type");
        QTRY_COMPARE(text("helpText"),
                     QStringLiteral("Ask anything — this window never takes focus.\nHide it before "
                                    "you share.\n\nAlt+S = Screenshot  ·  Ctrl+Alt+Y = Type"));
        m_overlay->hotkeys.heldElsewhere.append("Ctrl+Alt+Y");
        Q_EMIT m_overlay->desktop.changed();
        QTRY_COMPARE(text("modeHint"), "Stealth");
    }

    // Every text keeps WCAG's 4.5:1 over a white and over a black desktop, at the ends of the
    // opacity slider, its default and stored values beyond it, with or without a compositor and
    // with blur behind: in an empty conversation; with answers, an error, typed text in typing
    // mode and the menu open; and while an answer is awaited.
    void readableOverAnyDesktop_data() {
        QTest::addColumn<bool>("composited");
        QTest::addColumn<bool>("blurred");
        QTest::addColumn<double>("opacity");
        for (const double opacity : {0.3, 0.92, 1.0}) {
            QTest::addRow("translucent %g", opacity) << true << false << opacity;
            QTest::addRow("blurred %g", opacity) << true << true << opacity;
            QTest::addRow("opaque %g", opacity) << false << false << opacity;
        }
        QTest::newRow("stored below the range") << true << false << 0.0;
        QTest::newRow("stored above the range") << true << false << 1.5;
    }

    void readableOverAnyDesktop() {
        QFETCH(bool, composited);
        QFETCH(bool, blurred);
        QFETCH(double, opacity);
        m_overlay.reset();
        open(std::make_unique<ChosenWindowing>(composited, blurred));
        m_rig->settings.setOverlayOpacity(opacity);
        const auto readable = [this](const char *state) {
            QVERIFY(QQuickTest::qWaitForPolish(m_panel));
            for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
                const QStringList faults = TextFaults::unreadable(m_panel, desktop);
                QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("%1, over %2: %3")
                                                          .arg(state, desktop.name())
                                                          .arg(faults.join("; "))));
            }
        };

        QVERIFY(item("emptyState")->isVisible());
        readable("empty");
        if (QTest::currentTestFailed())
            return;

        ask("What is the capital of France?", {"Paris", " is the capital", " of France."});
        m_rig->backend.enqueue(Reply::text(500, "The provider refused the request."));
        m_rig->model.setInputText("q");
        m_rig->model.sendMessage();
        QTRY_VERIFY(!m_rig->model.errorMessage().isEmpty());
        m_rig->overlay.setStealthMode(false);
        m_rig->model.setInputText("typed");
        const auto entry = [](const QString &text) {
            return QVariantMap{{"text", text}, {"separator", text.isEmpty()}};
        };
        m_overlay->menu.setItems({entry("Settings…"), entry({}), entry("Quit Pindle")});
        m_overlay->menu.setInHeader(true);
        QObject *menu = m_panel->rootObject()->findChild<QObject *>("headerMenu");
        QMetaObject::invokeMethod(menu, "open");
        QTRY_VERIFY(menu->property("opened").toBool());
        QVERIFY(item("errorBanner")->isVisible());
        readable("conversation");
        if (QTest::currentTestFailed())
            return;
        if (opacity <= 0.3)
            grab(QStringLiteral("over-white-%1").arg(QTest::currentDataTag()), Qt::white);

        m_rig->backend.enqueue(Reply::stream({}).stalled());
        m_rig->model.setInputText("And the next one?");
        m_rig->model.sendMessage();
        QTRY_VERIFY(m_rig->model.messages().last().role == ChatMessage::Role::Assistant);
        QVERIFY(m_rig->model.messages().last().content.isEmpty()); // "Thinking…"
        readable("awaiting an answer");
    }

    // Without a compositor the card fills the window, square and opaque, instead of a rounded
    // card on a transparent margin that would show black; it changes as compositors come and go.
    void withoutACompositor() {
        m_compositor.kill();
        m_compositor.waitForFinished();
        QTRY_VERIFY(!m_panel->composited());
        m_rig->settings.setOverlayOpacity(0.3);
        const QImage square = grab("no-compositor");
        for (const QPoint corner : {QPoint(0, 0), QPoint(419, 599), QPoint(1, 300)})
            QCOMPARE(pixel(square, corner).alpha(), 255);
        startCompositor();
        QTRY_VERIFY(m_panel->composited());
        const QImage rounded = grab("compositor");
        QCOMPARE(pixel(rounded, {0, 0}).alpha(), 0);
    }

    // Stealth mode leaves the keyboard with the user's window, shown or clicked; typing mode takes
    // it, and handing it back returns it.
    void keyboardFocus() {
        const auto panel = xcb_window_t(m_panel->winId());
        ask("q", {"a"});
        clickItem(m_panel, "clearButton");
        QTRY_VERIFY(m_rig->model.messages().isEmpty()); // the click arrived
        QTest::qWait(200);
        QCOMPARE(inputFocus(), m_userWindow);
        // No caret where no key can arrive.
        const auto caret = [this] {
            return item("inputField")->property("cursorVisible").toBool();
        };
        QVERIFY(!caret());
        clickItem(m_panel, "inputField");
        QTest::qWait(200);
        QVERIFY(!caret());
        QCOMPARE(inputFocus(), m_userWindow);

        m_rig->overlay.toggleTypingMode();
        QTRY_COMPARE(inputFocus(), panel);
        xdotool({"type", "--delay", "20", "hello there"});
        QTRY_COMPARE(m_rig->model.inputText(), "hello there");
        QVERIFY(caret());
        grab("typing-field");

        // An input method's unfinished text hides the placeholder and is no question yet.
        QQuickItem *field = item("inputField");
        QQuickItem *placeholder = field->findChild<QQuickItem *>("placeholder");
        m_rig->model.setInputText({});
        QVERIFY(placeholder->isVisible());
        QInputMethodEvent composing("ni", {});
        QCoreApplication::sendEvent(field, &composing);
        QVERIFY(!placeholder->isVisible());
        QCOMPARE(m_rig->model.inputText(), "");
        QInputMethodEvent committed;
        committed.setCommitString(QStringLiteral("你"));
        QCoreApplication::sendEvent(field, &committed);
        QCOMPARE(m_rig->model.inputText(), QStringLiteral("你"));

        // The header's menu by keys, over its separator; Escape closes it before it leaves
        // typing mode.
        const auto entry = [](const QString &text) {
            return QVariantMap{{"text", text}, {"separator", text.isEmpty()}};
        };
        m_overlay->menu.setItems({entry("Settings…"), entry({}), entry("Sign Out"), entry("Quit")});
        m_overlay->menu.setInHeader(true);
        QSignalSpy chosen(&m_overlay->menu, &MenuModel::triggered);
        QObject *menu = m_panel->rootObject()->findChild<QObject *>("headerMenu");
        clickItem(m_panel, "menuButton");
        QTRY_VERIFY(menu->property("opened").toBool());
        grab("menu");
        xdotool({"key", "Down", "Down", "Return"});
        QTRY_COMPARE(chosen.size(), 1);
        QCOMPARE(chosen.constFirst().constFirst().toInt(), 2);
        QVERIFY(!menu->property("opened").toBool());
        clickItem(m_panel, "menuButton");
        QTRY_VERIFY(menu->property("opened").toBool());
        xdotool({"key", "Up", "Escape"});
        QTRY_VERIFY(!menu->property("opened").toBool());
        QVERIFY(!m_rig->overlay.stealthMode());
        xdotool({"key", "Escape"});
        QTRY_VERIFY(m_rig->overlay.stealthMode());
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(m_rig->model.inputText(), QStringLiteral("你")); // no key reached the field

        X11FocusHandoff().returnFocusToPreviousApp(); // what the application's hand-back does
        QTRY_COMPARE(inputFocus(), m_userWindow);
        QVERIFY(m_panel->isVisible());
        QTRY_VERIFY(!caret());
    }

    // Dragging the background moves the window, in either mode.
    void draggedByItsBackground() {
        const QPoint before = m_panel->position();
        const QPoint grip = m_panel->mapToGlobal(QPoint(200, 30)); // the header, beside the title
        // Pressed, moved twice by (40, 25), released, with pauses a hand would make.
        xdotool(QStringLiteral("mousemove %1 %2 mousedown 1 sleep 0.3 mousemove_relative -- 40 25 "
                               "sleep 0.3 mousemove_relative -- 40 25 sleep 0.3 mouseup 1")
                    .arg(grip.x())
                    .arg(grip.y())
                    .split(' '));
        QTRY_COMPARE(m_panel->position(), before + QPoint(80, 50));
    }

    // The record buttons say what a click does; a missing output device is told in an alert.
    void recording() {
        RecordingControls &recording = m_overlay->recording;
        recording.toggleMicrophone();
        recording.toggleSystemAudio();
        QTRY_VERIFY(recording.microphoneRecording() && recording.systemAudioRecording());
        m_rig->model.setInputText("typed");
        grab("recording");
        const auto tips = [this]() -> QString {
            return item("microphoneButton")->property("toolTip").toString() + " | " +
                   item("systemAudioButton")->property("toolTip").toString();
        };
        QCOMPARE(tips(), "Stop Recording | Stop System Audio Recording");
        recording.discardRecordings();
        QCOMPARE(tips(), "Record Audio | Record System Audio");
        // A moment's hover shows the tip, inside the window.
        QQuickItem *microphone = item("microphoneButton");
        const QPoint over = m_panel->mapToGlobal(
            microphone->mapToScene({microphone->width() / 2, microphone->height() / 2}).toPoint());
        xdotool({"mousemove", QString::number(over.x()), QString::number(over.y())});
        QTRY_VERIFY(findItem(m_panel->contentItem(), "toolTip"));
        QQuickItem *tip = findItem(m_panel->contentItem(), "toolTip");
        QCOMPARE(tip->property("text").toString(), "Record Audio");
        QVERIFY(
            QRectF(QPointF(), m_panel->size()).contains(tip->mapRectToScene(tip->boundingRect())));
        grab("tooltip");

        Q_EMIT recording.systemAudioDeviceMissing();
        grab("alert");
        auto *alert = m_panel->rootObject()->findChild<QObject *>("systemAudioAlert");
        QVERIFY(alert && alert->property("visible").toBool());
        QCOMPARE(alert->property("title").toString(), "System Audio Device Not Found");
        clickItem(m_panel, "alertOkButton");
        QTRY_VERIFY(!alert->property("visible").toBool());
    }

    // Dragging the scroll bar is scrolling: the list stops following its end, until a new
    // question brings it back.
    void scrollBarDragged() {
        for (int i = 0; i < 6; ++i)
            ask(QStringLiteral("Question %1?").arg(i),
                {"An answer long enough to fill a few lines of the overlay's list, so that the "
                 "conversation soon outgrows the window and needs its scroll bar."});
        QQuickItem *list = item("messageList");
        QQuickItem *bar = item("scrollBar");
        QTRY_VERIFY(list->property("atYEnd").toBool());
        QVERIFY(bar->isVisible());
        const QPoint handle =
            m_panel->mapToGlobal(bar->mapToScene({bar->width() / 2, bar->height() - 12}).toPoint());
        xdotool(QStringLiteral("mousemove %1 %2 mousedown 1 sleep 0.2 mousemove_relative -- 0 -60 "
                               "sleep 0.2 mousemove_relative -- 0 -60 sleep 0.2 mouseup 1")
                    .arg(handle.x())
                    .arg(handle.y())
                    .split(' '));
        QTRY_VERIFY(!list->property("atYEnd").toBool());
        auto *follower = m_panel->rootObject()->findChild<ListEndFollower *>("follower");
        QVERIFY(!follower->following());
        grab("scrolled");
        ask("One more?", {"Yes."});
        QTRY_VERIFY(list->property("atYEnd").toBool());
    }
};

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    OverlayViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_overlayview.moc"
