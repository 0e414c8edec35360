// The whole application in a desktop session made for it: a virtual X display with a window
// manager and a tray (scripts/with-x11.sh), a private keyring (scripts/with-keyring.sh), the
// real pindle-server with a fake model provider, and an xterm standing for the user's work.
// Keys and clicks go through the X server, as a user's would. Signing in and out, the windows and
// the program itself; tst_desktop covers the shortcuts and the overlay on real desktops.

#include "AppTestMain.h"
#include "ChatReplies.h"
#include "FakeBackend.h"
#include "FakePortal.h"
#include "PseudoTranslator.h"
#include "QuickInput.h"
#include "ServerProcess.h"
#include "TextFaults.h"
#include "app/Application.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "models/ChatViewModel.h"
#include "platform/DesktopAppearance.h"
#include "platform/keychain/KeychainSecretStore.h"
#include "platform/x11/X11Support.h"
#include "services/StartAtLogin.h"
#include "windows/OverlayPanel.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QQuickItem>
#include <QQuickView>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <csignal>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;

namespace {

const QString email = QStringLiteral("ada@example.org");
const QString password = QStringLiteral("correct horse");

// A desktop that prefers dark, with an accent of its own.
struct DarkDesktop final : DesktopAppearance {
    DarkDesktop() { set(true, QStringLiteral("#cc3380")); }
};

} // namespace

class AppTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;
    KeychainSecretStore m_secrets;
    DarkDesktop m_darkDesktop; // outlives the windows shown dark
    std::unique_ptr<Application> m_app;
    QProcess m_xterm;
    xcb_window_t m_userWindow = XCB_WINDOW_NONE;

    void start() {
        m_app.reset();
        m_app = std::make_unique<Application>(BackendConfig(m_server->url()), m_secrets,
                                              m_dir.filePath("settings.json"));
        m_app->start();
    }

    void focusUserWindow() {
        xdotool({"windowactivate", "--sync", QString::number(m_userWindow)});
        QTRY_COMPARE(inputFocus(), m_userWindow);
    }

    // Types into the sign-in window, which must have the keyboard; `toPassword` is the key that
    // moves on from the e-mail address.
    void signInByTyping(const QString &toPassword = "Tab") {
        QQuickView *login = m_app->loginWindow();
        QVERIFY(login);
        QVERIFY(QTest::qWaitForWindowExposed(login));
        QTRY_COMPARE(inputFocus(), xcb_window_t(login->winId()));
        xdotool({"type", "--delay", "15", email});
        xdotool({"key", toPassword});
        xdotool({"type", "--delay", "15", password});
        xdotool({"key", "Return"});
        QTRY_VERIFY(m_app->isLoggedIn());
        QTRY_VERIFY(!m_app->loginWindow());
    }

private Q_SLOTS:
    void initTestCase() {
        m_provider = std::make_unique<FakeBackend>();
        m_server = std::make_unique<ServerProcess>(ServerProcess::forwardingTo(m_provider->url()));
        QVERIFY2(m_server->running(), m_server->log().constData());
        QCOMPARE(
            m_server->command({"user", "create", email, "Ada", "100000"}, password.toUtf8()).first,
            0);
        {
            QFile settings(m_dir.filePath("settings.json"));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write(R"({"pindle_category": "writing"})"); // no second, reviewing request
        }
        m_userWindow = startXterm(m_xterm, "80x24+40+500");
        QVERIFY(m_userWindow);
    }

    void cleanupTestCase() {
        m_xterm.kill();
        m_xterm.waitForFinished();
        QVERIFY(m_server->stop());
    }

    void cleanup() { m_app.reset(); }

    // The sign-in and settings windows take the desktop's dark preference and accent, and
    // follow its change back to light (Qt 6.5 on; before, the style's light look stays).
    void desktopLightAndDark() {
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
        QSKIP("Before Qt 6.5 the windows keep the style's light look.");
#else
        // Qt's own theme has had the session's portal started: the test's takes its place.
        QDBusConnectionInterface *names = QDBusConnection::sessionBus().interface();
        if (const QString portalName = "org.freedesktop.portal.Desktop";
            names->isServiceRegistered(portalName)) {
            QCOMPARE(::kill(pid_t(names->servicePid(portalName).value()), SIGTERM), 0);
            QTRY_VERIFY(!names->isServiceRegistered(portalName));
        }
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-portal");
        FakePortal portal(bus);
        portal.appearance = {{"color-scheme", 1u},
                             {"accent-color", FakePortal::accentColor(0.8, 0.2, 0.5)}};
        QVERIFY(portal.start());
        start(); // signed out: the sign-in window comes up
        QTRY_VERIFY(m_app->loginWindow() && m_app->loginWindow()->isVisible());
        m_app->openSettings();
        const QList<QQuickView *> windows{m_app->loginWindow(), m_app->settingsWindow()};
        for (QQuickView *window : windows)
            QVERIFY(QTest::qWaitForWindowExposed(window));
        const auto background = [](QQuickView *window) {
            return window->grabWindow().pixelColor(2, window->height() - 2).lightness();
        };
        for (QQuickView *window : windows)
            QTRY_VERIFY(background(window) < 80);
        auto *signIn = m_app->loginWindow()->rootObject()->findChild<QQuickItem *>("signInButton");
        QCOMPARE(signIn->property("palette").value<QObject *>()->property("highlight"),
                 QVariant(QColor("#cc3380")));

        portal.changeAppearance("color-scheme", 2u);
        for (QQuickView *window : windows)
            QTRY_VERIFY(background(window) > 200);
#endif
    }

    // First launch: nobody is signed in, so the sign-in window comes up in front; signing in
    // closes it and shows no overlay. With the session kept in the keyring, the next launch opens
    // no window at all. Signing out hides the overlay and asks for the password again; the
    // conversation stays.
    void signingInAndOut() {
        start();
        QVERIFY(!m_app->isLoggedIn());
        QTRY_VERIFY(m_app->loginWindow() && m_app->loginWindow()->isVisible());
        signInByTyping();
        QVERIFY(!m_app->overlayPanel()->isVisible());

        start();
        QTRY_VERIFY(m_app->isLoggedIn());
        QVERIFY(!m_app->loginWindow());
        m_provider->enqueue(streamedReply({"Hi."}));
        ChatViewModel &chat = m_app->chatViewModel();
        chat.setInputText("Hello");
        chat.sendMessage();
        QTRY_VERIFY(!chat.isLoading());
        m_app->runAction(ShortcutAction::ToggleOverlay);
        QVERIFY(m_app->overlayPanel()->isVisible());

        m_app->signOut();
        QVERIFY(!m_app->overlayPanel()->isVisible());
        QTRY_VERIFY(m_app->loginWindow() && m_app->loginWindow()->isVisible());
        m_app->runAction(
            ShortcutAction::ToggleOverlay); // signed out: the sign-in window, not the overlay
        QVERIFY(!m_app->overlayPanel()->isVisible());
        signInByTyping("Return");
        QCOMPARE(chat.messages().size(), qsizetype(2));
    }

    void settingsWindow() {
        const auto stored = [this] {
            QFile file(m_dir.filePath("settings.json"));
            return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                                  : QJsonObject();
        };
        {
            // An opacity beyond the slider's ends is shown at the end and kept.
            QJsonObject values = stored();
            values["pindle_opacity"] = 1.5;
            QFile file(m_dir.filePath("settings.json"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QJsonDocument(values).toJson());
        }
        start();
        m_app->openSettings();
        QQuickView *window = m_app->settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *account = window->rootObject()->findChild<QQuickItem *>("accountEmail");
        QTRY_COMPARE(account->property("text").toString(), email);
        QCOMPARE(findItem(window->contentItem(), "opacityPercent")->property("text").toString(),
                 QString("150%"));
        QCOMPARE(stored()["pindle_opacity"].toDouble(), 1.5);

        // The switch writes the desktop's autostart entry, and takes it away again.
        const QFileInfo entry(StartAtLogin().entryPath());
        QVERIFY(!entry.exists());
        clickItem(window, "startAtLogin");
        QTRY_VERIFY(QFileInfo::exists(entry.filePath()));
        clickItem(window, "startAtLogin");
        QTRY_VERIFY(!QFileInfo::exists(entry.filePath()));

        auto *picker = window->rootObject()->findChild<QQuickItem *>("modelPicker");
        const auto choose = [picker](int index) {
            picker->setProperty("currentIndex", index);
            QMetaObject::invokeMethod(picker, "activated", Q_ARG(int, index));
        };
        choose(3);
        const QString chosen = picker->property("currentValue").toString();
        QFile file(m_dir.filePath("settings.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(file.readAll())["pindle_model"].toString(), chosen);

        // A setting that cannot be saved says so in the window.
        auto *storage = window->rootObject()->findChild<QQuickItem *>("storageError");
        QVERIFY(!storage->isVisible());
        file.close();
        QVERIFY(file.remove() && QDir().mkdir(file.fileName())); // in the way of the next save
        choose(2);
        QTRY_VERIFY(storage->isVisible());
        QVERIFY(storage->findChild<QQuickItem *>("storageErrorText")
                    ->property("text")
                    .toString()
                    .startsWith("Your settings could not be saved"));
        QVERIFY(QDir(file.fileName()).removeRecursively());
        choose(3);
        QTRY_VERIFY(!storage->isVisible());

        window->close();
        m_app->openSettings();
        QCOMPARE(m_app->settingsWindow(), window); // the same window again
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    // Everything in the settings window from the keyboard: Tab walks the controls in order and
    // scrolls each into view, Space works them, Escape first stops recording a shortcut and then
    // closes the window.
    void settingsByKeyboard() {
        start();
        m_app->openSettings();
        QQuickView *window = m_app->settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        xdotool({"windowactivate", "--sync", QString::number(window->winId())});
        QTRY_COMPARE(inputFocus(), xcb_window_t(window->winId()));
        const auto focused = [window] {
            return window->activeFocusItem() ? window->activeFocusItem()->objectName() : QString();
        };
        const QStringList order{"modelPicker",     "startAtLogin",   "opacitySlider",
                                "categoryPicker",  "systemPrompt",   "shortcutButton0",
                                "shortcutButton1", "shortcutButton2"};
        for (const QString &name : order) {
            xdotool({"key", "Tab"});
            QTRY_COMPARE(focused(), name);
            QQuickItem *item = window->activeFocusItem();
            const QRectF onScreen = item->mapRectToScene(item->boundingRect());
            QVERIFY2(onScreen.top() >= 0 && onScreen.bottom() <= window->height(),
                     qPrintable(name));
        }
        xdotool({"key", "shift+Tab"});
        QTRY_COMPARE(focused(), QString("shortcutButton1"));

        const auto recording = [this] {
            return m_app->shortcuts().rows().at(1).toMap().value("recording").toBool();
        };
        xdotool({"key", "space"});
        QTRY_VERIFY(recording());
        xdotool({"key", "Escape"});
        QTRY_VERIFY(!recording());
        QVERIFY(window->isVisible());
        xdotool({"key", "Escape"});
        QTRY_VERIFY(!window->isVisible());
    }

    // Each shipped language in every window; and a made-up one, every text 40% longer and in
    // brackets, where no text may be cut, run into another or show untranslated; English with a
    // large desktop font; and English on a dark desktop. Every text must read (WCAG's 4.5:1), the
    // sign-in window's with the form empty and filled in. Each window is written to
    // $PINDLE_SCREENSHOT_DIR when set, for a read in context.
    void inEachLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("expected"); // sign-in button, a setting, the input
        QTest::newRow("de") << "de"
                            << QStringList{"Anmelden", "Pindle beim Anmelden starten",
                                           "Stellen Sie eine Frage…"};
        QTest::newRow("fr") << "fr"
                            << QStringList{"Se connecter", "Lancer Pindle au démarrage",
                                           "Posez une question…"};
        QTest::newRow("es") << "es"
                            << QStringList{"Iniciar sesión", "Abrir Pindle al iniciar sesión",
                                           "Pregunta lo que quieras…"};
        QTest::newRow("pt_BR") << "pt_BR"
                               << QStringList{"Entrar", "Iniciar o Pindle ao fazer login",
                                              "Pergunte o que quiser…"};
        QTest::newRow("pseudo") << QString() << QStringList();
        QTest::newRow("large") << "en" << QStringList{"Sign In"};
        QTest::newRow("dark") << "en" << QStringList{"Sign In"};
    }

    void inEachLanguage() {
        QFETCH(QString, language);
        QFETCH(QStringList, expected);
        PseudoTranslator pseudo;
        if (language.isEmpty())
            QCoreApplication::installTranslator(&pseudo);
        else if (language != "en")
            QVERIFY(installTranslations(QLocale(language)).startsWith(language));
        const QFont font = QGuiApplication::font();
        if (QString(QTest::currentDataTag()) == "large") {
            QFont large = font;
            large.setPointSizeF(16); // 1.6 times the size the windows are drawn for
            QGuiApplication::setFont(large);
        }
        const auto english = qScopeGuard([&pseudo, font] {
            QCoreApplication::removeTranslator(&pseudo);
            installTranslations(QLocale::c());
            QGuiApplication::setFont(font);
        });
        const QString shots = qEnvironmentVariable("PINDLE_SCREENSHOT_DIR");
        const bool dark = QString(QTest::currentDataTag()) == "dark";
        const auto look = [&](QQuickView *window, const QString &name, const QString &item,
                              const QString &text) {
            QObject *root = window->rootObject();
            if (dark && name != "overlay")
                root->setProperty("appearance", QVariant::fromValue<QObject *>(&m_darkDesktop));
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY(QQuickTest::qWaitForPolish(window));
            if (!shots.isEmpty())
                window->grabWindow().save(
                    QStringLiteral("%1/%2-%3.png").arg(shots, QTest::currentDataTag(), name));
            if (!text.isEmpty())
                QCOMPARE(findItem(window->contentItem(), item)
                             ->property(item == "inputField" ? "placeholderText" : "text"),
                         text);
            // The user's address and the server's description of the model are not ours.
            const QStringList faults =
                TextFaults::of(window, language.isEmpty(), {"accountEmail", "modelSummary"});
            QVERIFY2(faults.isEmpty(), qPrintable(name + ": " + faults.join("; ")));
            // The colours of texts that show only when something goes wrong (or right).
            if (name != "overlay") {
                const QColor background = root->property("palette")
                                              .value<QObject *>()
                                              ->property("window")
                                              .value<QColor>();
                for (const char *colour : {"positiveText", "warningText", "errorText"})
                    QVERIFY2(TextFaults::contrast(root->property(colour).value<QColor>(),
                                                  background) >= 4.5,
                             colour);
            }
        };
        const auto known = [&](int i) { return expected.value(i); };

        start(); // signed in from the keyring, or asking
        QTRY_VERIFY(m_app->isLoggedIn() || m_app->loginWindow());
        if (m_app->isLoggedIn())
            m_app->signOut();
        QTRY_VERIFY(m_app->loginWindow() && m_app->loginWindow()->isVisible());
        look(m_app->loginWindow(), "signin", "signInLabel", known(0));
        if (QTest::currentTestFailed())
            return;
        QObject *form =
            m_app->loginWindow()->rootObject()->property("controller").value<QObject *>();
        form->setProperty("email", email);
        form->setProperty("password", password);
        look(m_app->loginWindow(), "signin-filled", "signInLabel", known(0));
        form->setProperty("email", QString());
        form->setProperty("password", QString());
        if (QTest::currentTestFailed())
            return;
        signInByTyping();
        m_app->openSettings();
        QTRY_VERIFY(findItem(m_app->settingsWindow()->contentItem(), "accountEmail")
                        ->property("text")
                        .toString()
                        .contains('@'));
        look(m_app->settingsWindow(), "settings", "startAtLogin", known(1));
        if (QTest::currentTestFailed())
            return;
        m_app->settingsWindow()->close();
        m_app->runAction(ShortcutAction::ToggleOverlay);
        look(m_app->overlayPanel(), "overlay", "inputField", known(2));
    }

    // On a German keyboard ö, pressed with Ctrl+Alt into the settings window, becomes the
    // shortcut, and works from the user's window: the key is found again where it was pressed.
    void aShortcutOnAnotherLayout() {
        QCOMPARE(QProcess::execute("setxkbmap", {"de"}), 0);
        start();
        QTRY_VERIFY(m_app->isLoggedIn());
        m_app->openSettings(true);
        QQuickView *settings = m_app->settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QTest::qWait(300);
        clickItem(settings, "shortcutButton0");
        QTRY_VERIFY(settings->isActive());
        QTRY_VERIFY(m_app->shortcuts().rows().at(0).toMap().value("recording").toBool());
        xdotool({"key", "ctrl+alt+odiaeresis"});
        QTRY_COMPARE(m_app->shortcuts().toggleOverlay(), QStringLiteral("Ctrl+Alt+;"));
        settings->close();
        focusUserWindow();
        xdotool({"key", "ctrl+alt+odiaeresis"});
        QTRY_VERIFY(m_app->overlayPanel()->isVisible());
        m_app->shortcuts().resetToDefault(0);
        QCOMPARE(QProcess::execute("setxkbmap", {"us"}), 0);
        QTRY_COMPARE(m_app->shortcuts().toggleOverlay(), QStringLiteral("Alt+Space"));

        // The default, with Num Lock on and held long enough to repeat: one toggle.
        xdotool({"key", "Num_Lock"});
        xdotool({"keydown", "alt+space", "sleep", "1", "keyup", "alt+space"});
        QTest::qWait(300);
        QVERIFY(!m_app->overlayPanel()->isVisible());
        xdotool({"key", "Num_Lock"});
    }

    // The program itself: "Quit Pindle" from its tray menu ends it.
    void quitFromTheTrayMenu() {
        QProcess pindle;
        pindle.start(QStringLiteral(PINDLE_APP_PATH));
        QVERIFY(pindle.waitForStarted());
        QTest::qWait(2500); // until its icon sits in the tray
        // The tray runs along the top right; the icon is the rightmost.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        xdotool({"mousemove", QString::number(screen.right() - 10), "12", "click", "3"});
        QTest::qWait(500);
        xdotool({"key", "Up", "Return"}); // the last item
        QTRY_COMPARE_WITH_TIMEOUT(pindle.state(), QProcess::NotRunning, 10000);
        QCOMPARE(pindle.exitStatus(), QProcess::NormalExit);
        QCOMPARE(pindle.exitCode(), 0);
    }

    // A second launch of the program asks the first to show its overlay, or to run the action
    // its command line names, and ends.
    void secondLaunch_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("action"); // -1: show the overlay
        QTest::newRow("plain") << QString() << -1;
        QTest::newRow("toggle") << "--toggle-overlay" << int(SingleInstance::Action::ToggleOverlay);
        QTest::newRow("capture") << "--capture-screen"
                                 << int(SingleInstance::Action::CaptureScreen);
        QTest::newRow("type") << "--type-mode" << int(SingleInstance::Action::ToggleTypingMode);
    }

    void secondLaunch() {
        QFETCH(QString, option);
        QFETCH(int, action);
        SingleInstance first;
        QVERIFY(first.claim());
        QSignalSpy shows(&first, &SingleInstance::showRequested);
        QSignalSpy actions(&first, &SingleInstance::actionRequested);
        QProcess second;
        second.start(QStringLiteral(PINDLE_APP_PATH),
                     option.isEmpty() ? QStringList() : QStringList{option});
        QVERIFY(second.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 15000);
        QCOMPARE(second.exitCode(), 0);
        if (action < 0) {
            QTRY_COMPARE(shows.count(), 1);
        } else {
            QTRY_COMPARE(actions.count(), 1);
            QCOMPARE(actions.first().first().value<SingleInstance::Action>(),
                     SingleInstance::Action(action));
        }
    }
};

PINDLE_APP_TEST_MAIN(AppTest)

#include "tst_app.moc"
