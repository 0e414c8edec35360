#include "app/Application.h"

#include "core/AppId.h"
#include "models/LoginController.h"
#include "models/SettingsController.h"
#include "platform/desktop/TrayHostWatcher.h"
#include "platform/session/DesktopIntegration.h"
#include "windows/MessageImageProvider.h"
#include "windows/OverlayPanel.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// A desktop starting up may bring its tray a moment after Pindle.
constexpr auto trayGracePeriod = 3s;
// Once the tray icon is up and the session checked.
constexpr auto textWarmUpDelay = 500ms;

// Reads the desktop's font configuration and opens the application font, as the first text
// the overlay lays out would: 15 ms of the first Alt+Space otherwise, for 2.5 MiB held from
// now rather than from then.
void warmUpText() {
    QTextLayout layout(QStringLiteral("Pindle"), QGuiApplication::font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

} // namespace

Application::Application(const BackendConfig &backend, SecretStore &secrets,
                         const QString &settingsPath, QObject *parent)
    : QObject(parent)
    , m_settings(settingsPath)
    , m_backend(backend)
    , m_auth(m_network, secrets, m_backend)
    , m_chat(m_network, m_auth, m_settings, m_backend)
    , m_models(m_network, m_auth, m_settings, m_backend)
    , m_transcriber(m_network, m_backend)
    , m_grabber(createScreenGrabber())
    , m_capture(*m_grabber)
    , m_focus(createFocusHandoff())
    , m_chatViewModel(m_chat, m_auth, m_transcriber, m_settings, m_capture, m_clock)
    , m_messages(m_chatViewModel)
    , m_audioCapture(createAudioCapture())
    , m_audioRecorder(*m_audioCapture)
    , m_systemAudioRecorder(*m_audioCapture)
    , m_recording(m_audioRecorder, m_systemAudioRecorder, m_chatViewModel)
    , m_hotkeys(createGlobalHotkeys())
    , m_desktopShortcuts(createDesktopShortcuts())
    , m_shortcutSettings(m_settings)
    , m_shortcuts(m_shortcutSettings, *m_hotkeys, *m_desktopShortcuts)
    , m_trayIcon(createTrayIcon())
    , m_notices(*m_trayIcon, m_settings)
    , m_appearance(createDesktopAppearance())
    , m_overlay(m_chatViewModel, *m_focus,
                [this](OverlayController &controller) { return makeOverlayPanel(controller); }) {
    connect(&m_shortcuts, &ShortcutController::notice, this,
            [this](const QStringList &ids, const QString &title, const QString &message) {
                m_notices.notifyOnce(ids, title, message,
                                     //: Button on a desktop notification about the shortcuts
                                     {{QStringLiteral("settings"), tr("Open Settings")}});
            });
    connect(&m_notices, &Notices::actionInvoked, this, &Application::runNoticeAction);
    connect(&m_notices, &Notices::notified, this, &Application::notified);
    // An answer costs tokens: the settings window, when open, shows the balance left.
    connect(&m_chatViewModel, &ChatViewModel::isLoadingChanged, this, [this] {
        if (!m_chatViewModel.isLoading() && m_settingsWindow && m_settingsWindow->isVisible())
            m_settingsController->refreshAccountInfo();
    });
}

Application::~Application() {
    stop();
}

void Application::start() {
    buildTrayMenu();
    setupGlobalHotkey();
    checkAuthAndShowLogin();
    QTimer::singleShot(textWarmUpDelay, this, warmUpText);
}

OverlayPanel *Application::overlayPanel() {
    return static_cast<OverlayPanel *>(&m_overlay.window());
}

QQmlEngine &Application::engine() {
    if (!m_engine) {
        m_engine = std::make_unique<QQmlEngine>();
        m_engine->addImageProvider(QStringLiteral("messages"),
                                   new MessageImageProvider(m_chatViewModel));
    }
    return *m_engine;
}

std::unique_ptr<OverlayPanel> Application::makeOverlayPanel(OverlayController &controller) {
    auto panel = std::make_unique<OverlayPanel>(&engine(), controller, createOverlayWindowing());
    panel->setContent(
        {{QStringLiteral("viewModel"), QVariant::fromValue<QObject *>(&m_chatViewModel)},
         {QStringLiteral("overlay"), QVariant::fromValue<QObject *>(&controller)},
         {QStringLiteral("settings"), QVariant::fromValue<QObject *>(&m_settings)},
         {QStringLiteral("messages"), QVariant::fromValue<QObject *>(&m_messages)},
         {QStringLiteral("recording"), QVariant::fromValue<QObject *>(&m_recording)},
         {QStringLiteral("shortcuts"), QVariant::fromValue<QObject *>(&m_shortcuts)},
         {QStringLiteral("appMenu"), QVariant::fromValue<QObject *>(&m_appMenu.model())},
         {QStringLiteral("hiddenFromCapture"), OverlayPanel::hiddenFromCapture()}});
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), panel->size());
        frame.moveCenter(screen->availableGeometry().center());
        panel->setPosition(frame.topLeft());
    }
    return panel;
}

void Application::stop() {
    m_shortcuts.stop();
}

void Application::buildTrayMenu() {
    // The actions with shortcuts, named with the shortcut while it works.
    for (const ShortcutActionRow &row : shortcutActions)
        m_appMenu.addItem(
            [this, &row] {
                const QString title = row.shownMenuTitle();
                const QString shortcut = m_shortcuts.working(row.action);
                //: Menu item: %1 is the action's name, %2 its shortcut ("Capture Screen (Alt+S)")
                return shortcut.isEmpty() ? title : tr("%1 (%2)").arg(title, shortcut);
            },
            [this, &row] { runAction(row.action); });
    m_appMenu.addSeparator();
    const auto fixed = [](const QString &title) { return [title] { return title; }; };
    m_appMenu.addItem(
        //: Menu item
        fixed(tr("Settings…")), [this] { openSettings(); }, QKeySequence(QStringLiteral("Ctrl+,")));
    m_appMenu.addSeparator();
    //: Menu item
    m_appMenu.addItem(fixed(tr("Sign Out")), [this] { signOut(); });
    //: Menu item
    m_appMenu.addItem(
        fixed(tr("Quit Pindle")), [this] { quitApp(); }, QKeySequence::Quit);
    connect(&m_shortcuts, &ShortcutController::changed, &m_appMenu, &AppMenu::retitle);

    m_trayIcon->onTriggered = [this](int index) { m_appMenu.trigger(index); };
    m_trayIcon->onVisibilityChanged = [this] { updateTrayPresence(); };
    m_trayIcon->setMenu(m_appMenu.trayItems());
    connect(&m_appMenu, &AppMenu::changed, this,
            [this] { m_trayIcon->setMenu(m_appMenu.trayItems()); });
    // The theme's symbolic icon where Pindle is installed, so the tray can draw it in its own
    // colours; Pindle's own mark elsewhere.
    m_trayIcon->show(pindleAppId + QStringLiteral("-symbolic"),
                     QIcon(QStringLiteral(":/Pindle/icons/tray.svg")), QStringLiteral("Pindle"));
    // Without a tray host the icon stays invisible until one appears; the overlay's header
    // carries the menu meanwhile.
    m_trayHosts = std::make_unique<TrayHostWatcher>();
    connect(m_trayHosts.get(), &TrayHostWatcher::changed, this, &Application::updateTrayPresence);
    updateTrayPresence();
    QTimer::singleShot(trayGracePeriod, this, &Application::tellWhereTheMenuIs);
}

void Application::runNoticeAction(const QString &key) {
    if (key == u"settings")
        openSettings(true);
    else if (key == u"show")
        showOverlay();
}

void Application::updateTrayPresence() {
    m_appMenu.setInHeader(!m_trayIcon->isVisible());
}

void Application::tellWhereTheMenuIs() {
    const QString notice = QStringLiteral("no_tray");
    if (!m_appMenu.inHeader())
        return;
    const QString shortcut = m_shortcuts.toggleOverlay();
    //: Sentence in a desktop notification, ending in a space; %1 is a shortcut ("Alt+Space")
    const QString press =
        shortcut.isEmpty() ? QString() : tr("Press %1 to show Pindle. ").arg(shortcut);
    //: Title of a desktop notification
    const QString title = tr("Pindle is running");
    //: Desktop notification; %1 is empty, or the sentence "Press <shortcut> to show Pindle. "
    const QString message = tr("This desktop shows no tray icons, so Pindle has none. %1Starting "
                               "Pindle again shows it. The menu button in its header has "
                               "Settings and Quit.");
    //: Button on a desktop notification
    const QString show = tr("Show Pindle");
    m_notices.notifyOnce({notice}, title, message.arg(press), {{QStringLiteral("show"), show}});
}

void Application::setupGlobalHotkey() {
    connect(&m_shortcuts, &ShortcutController::activated, this, &Application::runAction);
    m_shortcuts.start();
}

void Application::runAction(ShortcutAction action, quint32 userTime) {
    switch (action) {
    case ShortcutAction::ToggleOverlay:
        if (m_isLoggedIn)
            m_overlay.toggle();
        else
            showLoginWindow();
        break;
    case ShortcutAction::CaptureScreen:
        m_overlay.captureScreen();
        break;
    case ShortcutAction::ToggleTypingMode:
        m_overlay.toggleTypingMode(userTime);
        break;
    }
}

QCoro::Task<> Application::checkAuthAndShowLogin() {
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

std::unique_ptr<QQuickView> Application::makeWindow(const QString &title, QSize size,
                                                    bool minimizable) {
    auto window = std::make_unique<QQuickView>(&engine(), nullptr);
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

void Application::showLoginWindow() {
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
        //: Window title
        m_loginWindow = makeWindow(tr("Pindle — Sign In"), {360, 420}, false);
        m_loginWindow->setInitialProperties(
            {{QStringLiteral("controller"), QVariant::fromValue<QObject *>(m_login.get())},
             {QStringLiteral("appearance"), QVariant::fromValue<QObject *>(m_appearance.get())}});
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

void Application::openSettings(bool atShortcuts) {
    if (!m_settingsWindow) {
        m_settingsController = std::make_unique<SettingsController>(m_auth, m_settings);
        //: Window title
        m_settingsWindow = makeWindow(tr("Pindle Settings"), {450, 480}, true);
        m_settingsWindow->setInitialProperties(
            {{QStringLiteral("settings"), QVariant::fromValue<QObject *>(&m_settings)},
             {QStringLiteral("controller"),
              QVariant::fromValue<QObject *>(m_settingsController.get())},
             {QStringLiteral("shortcuts"), QVariant::fromValue<QObject *>(&m_shortcuts)},
             {QStringLiteral("appearance"), QVariant::fromValue<QObject *>(m_appearance.get())}});
        m_settingsWindow->setSource(QUrl(QStringLiteral("qrc:/Pindle/SettingsView.qml")));
        // A shortcut being chosen waits only while the window has the keyboard: the shortcuts
        // are given back meanwhile.
        connect(m_settingsWindow.get(), &QWindow::activeChanged, &m_shortcuts, [this] {
            if (!m_settingsWindow->isActive())
                m_shortcuts.cancelRecording();
        });
        connect(m_settingsWindow.get(), &QWindow::visibleChanged, m_settingsController.get(),
                [this](bool shown) {
                    if (!shown)
                        return;
                    m_settingsController->loadAccountInfo();
                    m_settingsController->reloadStartAtLogin();
                    m_models.refresh();
                });
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->requestActivate();
    if (atShortcuts)
        QMetaObject::invokeMethod(m_settingsWindow->rootObject(), "revealShortcuts");
}

void Application::setLoggedIn(bool loggedIn) {
    if (m_isLoggedIn == loggedIn)
        return;
    m_isLoggedIn = loggedIn;
    if (loggedIn)
        m_models.refresh();
    Q_EMIT loggedInChanged();
}

void Application::showOverlay() {
    if (m_isLoggedIn)
        m_overlay.show();
    else
        showLoginWindow();
}

void Application::signOut() {
    // Nothing keeps listening once the overlay is gone, and what was heard is not sent.
    m_recording.discardRecordings();
    m_auth.logout();
    setLoggedIn(false);
    m_overlay.hide();
    checkAuthAndShowLogin();
}

void Application::quitApp() {
    stop();
    QCoreApplication::quit();
}
