#include "app/AppDelegate.h"

#include "models/LoginController.h"
#include "models/SettingsController.h"
#include "platform/DesktopIntegration.h"
#include "windows/MessageImageProvider.h"
#include "windows/OverlayPanel.h"

#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// Alt+S: the overlay is out of the way this long before the capture starts, and shown again
// this long after that.
constexpr auto captureDelay = 150ms;
constexpr auto reshowDelay = 300ms;

QIcon trayIcon() {
    return QIcon::fromTheme(QStringLiteral("pindle"),
                            QIcon(QStringLiteral(":/Pindle/icons/tray.svg")));
}

} // namespace

AppDelegate::AppDelegate(const BackendConfig &backend, SecretStore &secrets,
                         const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , m_settings(settingsPath)
    , m_backend(backend)
    , m_auth(m_network, secrets, m_backend)
    , m_chat(m_network, m_auth, m_settings, m_backend)
    , m_transcriber(m_network, m_backend)
    , m_grabber(createScreenGrabber())
    , m_capture(*m_grabber)
    , m_focus(createFocusHandoff())
    , m_chatViewModel(m_chat, m_auth, m_transcriber, m_settings, m_capture, *m_focus, m_clock)
    , m_messages(m_chatViewModel)
    , m_audioRecorder(m_audioCapture)
    , m_systemAudioRecorder(m_audioCapture)
    , m_recording(m_audioRecorder, m_systemAudioRecorder, m_chatViewModel) {
    m_engine.addImageProvider(QStringLiteral("messages"),
                              new MessageImageProvider(m_chatViewModel));
}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
}

void AppDelegate::applicationDidFinishLaunching() {
    setupMenuBar();

    m_overlayPanel = std::make_unique<OverlayPanel>(&m_engine);
    m_overlayPanel->setContent(
        {{QStringLiteral("viewModel"), QVariant::fromValue<QObject *>(&m_chatViewModel)},
         {QStringLiteral("settings"), QVariant::fromValue<QObject *>(&m_settings)},
         {QStringLiteral("messages"), QVariant::fromValue<QObject *>(&m_messages)},
         {QStringLiteral("recording"), QVariant::fromValue<QObject *>(&m_recording)},
         {QStringLiteral("hiddenFromCapture"), OverlayPanel::hiddenFromCapture()},
         {QStringLiteral("blurBehind"), OverlayPanel::blurBehindAvailable()}});
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), m_overlayPanel->size());
        frame.moveCenter(screen->availableGeometry().center());
        m_overlayPanel->setPosition(frame.topLeft());
    }

    setupGlobalHotkey();
    checkAuthAndShowLogin();
}

void AppDelegate::applicationWillTerminate() {
    if (m_hotkeys)
        m_hotkeys->unregisterAll();
}

void AppDelegate::setupMenuBar() {
    const auto add = [this](const QString &title, void (AppDelegate::*action)()) {
        QAction *item = m_menu.addAction(title);
        connect(item, &QAction::triggered, this, action);
        return item;
    };
    add(QStringLiteral("Toggle Overlay (Alt+Space)"), &AppDelegate::toggleOverlay);
    add(QStringLiteral("Capture Screen (Alt+S)"), &AppDelegate::captureScreen);
    add(QStringLiteral("Type Mode (Alt+T)"), &AppDelegate::toggleTypingMode);
    m_menu.addSeparator();
    add(QStringLiteral("Settings…"), &AppDelegate::openSettings)
        ->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    m_menu.addSeparator();
    add(QStringLiteral("Sign Out"), &AppDelegate::signOut);
    add(QStringLiteral("Quit Pindle"), &AppDelegate::quitApp)->setShortcut(QKeySequence::Quit);

    m_statusItem.setIcon(trayIcon());
    m_statusItem.setToolTip(QStringLiteral("Pindle"));
    m_statusItem.setContextMenu(&m_menu);
    // A left click opens the same menu, as the status item's does.
    connect(&m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menu.popup(QCursor::pos());
            });
    m_statusItem.show();
    // Without a tray host the icon stays invisible until one appears; everything else works.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        warnNoTray();
}

void AppDelegate::warnNoTray() {
    if (m_trayMissingTold)
        return;
    m_trayMissingTold = true;
    qWarning("Pindle: no system tray is running, so Pindle's icon and menu are not shown until "
             "one starts. Alt+Space, Alt+S and Alt+T work meanwhile.");
}

void AppDelegate::setupGlobalHotkey() {
    m_hotkeys = createGlobalHotkeys();
    connect(m_hotkeys.get(), &GlobalHotkeys::activated, this, [this](GlobalHotkeys::Action action) {
        switch (action) {
        case GlobalHotkeys::Action::ToggleOverlay:
            toggleOverlay();
            break;
        case GlobalHotkeys::Action::CaptureScreen:
            captureScreen();
            break;
        case GlobalHotkeys::Action::ToggleTypingMode:
            toggleTypingMode();
            break;
        }
    });
    if (const QString reason = m_hotkeys->unavailableReason(); !reason.isEmpty()) {
        notify(QStringLiteral("No global shortcuts"), reason);
        return;
    }
    const QStringList taken = m_hotkeys->registerAll();
    if (!taken.isEmpty())
        notify(QStringLiteral("Shortcut unavailable"),
               QStringLiteral("%1 is already used by another program, so it does nothing in "
                              "Pindle. Use the tray menu instead.")
                   .arg(taken.join(QStringLiteral(", "))));
}

void AppDelegate::notify(const QString &title, const QString &message) {
    qInfo("%s: %s", qPrintable(title), qPrintable(message));
    Q_EMIT notified(title, message);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_statusItem.showMessage(title, message, QSystemTrayIcon::Warning, 8000);
    else
        warnNoTray();
}

QCoro::Task<> AppDelegate::checkAuthAndShowLogin() {
    QPointer self(this);
    try {
        co_await m_auth.verifyToken();
        if (!self)
            co_return;
        setLoggedIn(true);
        if (m_loginWindow)
            m_loginWindow->close();
        m_loginWindow.reset();
        m_login.reset();
    } catch (const std::exception &) {
        // No session or a refused one, whatever the reason: the user signs in.
        if (self)
            showLoginWindow();
    }
}

std::unique_ptr<QQuickView> AppDelegate::makeWindow(const QString &title, QSize size,
                                                    bool minimizable) {
    auto window = std::make_unique<QQuickView>(&m_engine, nullptr);
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (minimizable)
        flags |= Qt::WindowMinimizeButtonHint;
    window->setFlags(flags);
    window->setTitle(title);
    window->setResizeMode(QQuickView::SizeRootObjectToView);
    window->setMinimumSize(size);
    window->setMaximumSize(size);
    window->resize(size);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size);
        frame.moveCenter(screen->availableGeometry().center());
        window->setPosition(frame.topLeft());
    }
    return window;
}

void AppDelegate::showLoginWindow() {
    if (!m_loginWindow) {
        m_login = std::make_unique<LoginController>(m_auth, m_backend);
        connect(m_login.get(), &LoginController::signedIn, this, [this] {
            setLoggedIn(true);
            // Closed after the controller's signal has returned.
            QTimer::singleShot(0, this, [this] {
                if (!m_isLoggedIn)
                    return;
                if (m_loginWindow)
                    m_loginWindow->close();
                m_loginWindow.reset();
                m_login.reset();
            });
        });
        m_loginWindow = makeWindow(QStringLiteral("Pindle — Sign In"), {360, 420}, false);
        m_loginWindow->setInitialProperties(
            {{QStringLiteral("controller"), QVariant::fromValue<QObject *>(m_login.get())}});
        m_loginWindow->setSource(QUrl(QStringLiteral("qrc:/Pindle/LoginView.qml")));
        // The session check runs each time the window appears.
        connect(m_loginWindow.get(), &QWindow::visibleChanged, m_login.get(), [this](bool shown) {
            if (shown && m_login)
                m_login->checkExistingSession();
        });
    }
    m_loginWindow->show();
    m_loginWindow->raise();
    m_loginWindow->requestActivate();
}

void AppDelegate::openSettings() {
    if (!m_settingsWindow) {
        m_settingsController = std::make_unique<SettingsController>(m_auth, m_settings);
        m_settingsWindow = makeWindow(QStringLiteral("Pindle Settings"), {450, 480}, true);
        m_settingsWindow->setInitialProperties(
            {{QStringLiteral("settings"), QVariant::fromValue<QObject *>(&m_settings)},
             {QStringLiteral("controller"),
              QVariant::fromValue<QObject *>(m_settingsController.get())}});
        m_settingsWindow->setSource(QUrl(QStringLiteral("qrc:/Pindle/SettingsView.qml")));
        connect(m_settingsWindow.get(), &QWindow::visibleChanged, m_settingsController.get(),
                [this](bool shown) {
                    if (shown)
                        m_settingsController->loadAccountInfo();
                });
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->requestActivate();
}

void AppDelegate::setLoggedIn(bool loggedIn) {
    if (m_isLoggedIn == loggedIn)
        return;
    m_isLoggedIn = loggedIn;
    Q_EMIT loggedInChanged();
}

void AppDelegate::showOverlayInStealthMode() {
    if (!m_overlayPanel)
        return;
    m_overlayPanel->setStealthMode(true);
    m_chatViewModel.setStealthMode(true);
    m_overlayPanel->show(); // refuses the focus in stealth mode
}

void AppDelegate::toggleOverlay() {
    if (!m_isLoggedIn) {
        showLoginWindow();
        return;
    }
    if (!m_overlayPanel)
        return;
    if (m_overlayPanel->isVisible()) {
        m_overlayPanel->hide();
        return;
    }
    showOverlayInStealthMode();
}

void AppDelegate::captureScreen() {
    if (m_overlayPanel && m_overlayPanel->isVisible())
        m_overlayPanel->hide();
    QTimer::singleShot(captureDelay, this, [this] {
        m_chatViewModel.captureAndAnalyze();
        QTimer::singleShot(reshowDelay, this, &AppDelegate::showOverlayInStealthMode);
    });
}

void AppDelegate::toggleTypingMode() {
    if (!m_overlayPanel)
        return;
    // Leaving typing mode only makes sense on screen; hidden, Alt+T brings it back for typing.
    if (!m_chatViewModel.stealthMode() && m_overlayPanel->isVisible()) {
        m_overlayPanel->setStealthMode(true);
        m_chatViewModel.returnFocusToPreviousApp();
        return;
    }
    m_overlayPanel->setStealthMode(false);
    m_chatViewModel.setStealthMode(false);
    if (!m_overlayPanel->isVisible())
        m_overlayPanel->show();
    m_overlayPanel->raise();
    m_overlayPanel->requestActivate();
}

void AppDelegate::signOut() {
    // Nothing keeps listening once the overlay is gone.
    m_audioRecorder.stopRecording();
    m_systemAudioRecorder.stopRecording();
    m_auth.logout();
    setLoggedIn(false);
    if (m_overlayPanel)
        m_overlayPanel->hide();
    checkAuthAndShowLogin();
}

void AppDelegate::quitApp() {
    applicationWillTerminate();
    QCoreApplication::quit();
}
