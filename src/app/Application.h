#pragma once

#include "app/AppMenu.h"
#include "app/Notices.h"
#include "models/ChatViewModel.h"
#include "models/MessageListModel.h"
#include "models/OverlayController.h"
#include "models/RecordingControls.h"
#include "models/ShortcutController.h"
#include "models/ShortcutSettings.h"
#include "platform/Clock.h"
#include "platform/DesktopAppearance.h"
#include "platform/FocusHandoff.h"
#include "platform/ScreenGrabber.h"
#include "services/AudioRecorder.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatClient.h"
#include "services/ModelDirectory.h"
#include "services/ScreenCaptureService.h"
#include "services/SettingsManager.h"
#include "services/SystemAudioRecorder.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QQmlEngine>

#include <memory>

class LoginController;
class OverlayPanel;
class QQuickView;
class SecretStore;
class SettingsController;
class TrayHostWatcher;

/// The application's objects wired together: the tray icon and its menu, the conversation and its
/// overlay, the global shortcuts, and the sign-in and settings windows opened on demand. It checks
/// the stored session at start and asks the user to sign in when there is none. Where no tray can
/// show its icon, the overlay's header carries the menu.
class Application final : public QObject {
    Q_OBJECT

public:
    Application(const BackendConfig &backend, SecretStore &secrets, const QString &settingsPath,
                QObject *parent = nullptr);
    ~Application() override;

    /// Builds the tray menu, takes the shortcuts and checks the session.
    void start();
    /// Gives the shortcuts back.
    void stop();

    /// What a shortcut, its menu item or a command-line option does; `userTime` as for
    /// OverlayController::toggleTypingMode. Signed out, the overlay's toggle opens the sign-in
    /// window instead.
    void runAction(ShortcutAction action, quint32 userTime = 0);
    /// What starting Pindle again does: the overlay in stealth mode (or the sign-in window).
    void showOverlay();
    /// With `atShortcuts`, scrolled to the keyboard shortcuts.
    void openSettings(bool atShortcuts = false);
    void signOut();
    void quitApp();

    [[nodiscard]] bool isLoggedIn() const { return m_isLoggedIn; }
    [[nodiscard]] OverlayController &overlay() { return m_overlay; }
    /// The overlay's window, made now if it was not yet.
    [[nodiscard]] OverlayPanel *overlayPanel();
    [[nodiscard]] QQuickView *loginWindow() const { return m_loginWindow.get(); }
    [[nodiscard]] QQuickView *settingsWindow() const { return m_settingsWindow.get(); }
    [[nodiscard]] ChatViewModel &chatViewModel() { return m_chatViewModel; }
    [[nodiscard]] AppMenu &appMenu() { return m_appMenu; }
    [[nodiscard]] ShortcutController &shortcuts() { return m_shortcuts; }
    [[nodiscard]] TrayIcon &trayIcon() { return *m_trayIcon; }

Q_SIGNALS:
    void loggedInChanged();
    /// A notice as it is told (see Notices).
    void notified(const QString &title, const QString &message);

private:
    // The overlay window is made when first needed: until then a Pindle in the tray has no
    // window, scene graph or graphics driver loaded.
    std::unique_ptr<OverlayPanel> makeOverlayPanel(OverlayController &controller);
    /// The views' engine, made on first use.
    QQmlEngine &engine();
    void buildTrayMenu();
    void setupGlobalHotkey();
    QCoro::Task<> checkAuthAndShowLogin();
    void showLoginWindow();
    void setLoggedIn(bool loggedIn);
    void runNoticeAction(const QString &key);
    void updateTrayPresence();
    void tellWhereTheMenuIs();
    std::unique_ptr<QQuickView> makeWindow(const QString &title, QSize size, bool minimizable);

    QNetworkAccessManager m_network;
    SettingsManager m_settings;
    BackendConfig m_backend;
    AuthService m_auth;
    ChatClient m_chat;
    ModelDirectory m_models;
    AudioTranscriptionService m_transcriber;
    std::unique_ptr<ScreenGrabber> m_grabber;
    ScreenCaptureService m_capture;
    std::unique_ptr<FocusHandoff> m_focus;
    Clock m_clock;
    ChatViewModel m_chatViewModel;
    MessageListModel m_messages;
    std::unique_ptr<AudioCapture> m_audioCapture;
    AudioRecorder m_audioRecorder;
    SystemAudioRecorder m_systemAudioRecorder;
    RecordingControls m_recording;
    std::unique_ptr<GlobalHotkeys> m_hotkeys;
    std::unique_ptr<DesktopShortcuts> m_desktopShortcuts;
    ShortcutSettings m_shortcutSettings;
    ShortcutController m_shortcuts;
    // The tray shows the menu, and so does the overlay's header: both outlive the views.
    AppMenu m_appMenu;
    std::unique_ptr<TrayIcon> m_trayIcon;
    Notices m_notices;
    // Followed by the sign-in and settings windows.
    std::unique_ptr<DesktopAppearance> m_appearance;

    // Views go before the engine that made them. Made for the first window: an engine costs
    // 3.6 MiB and several milliseconds, which a start into the tray need not pay.
    std::unique_ptr<QQmlEngine> m_engine;
    OverlayController m_overlay;
    std::unique_ptr<LoginController> m_login;
    std::unique_ptr<QQuickView> m_loginWindow;
    std::unique_ptr<SettingsController> m_settingsController;
    std::unique_ptr<QQuickView> m_settingsWindow;

    std::unique_ptr<TrayHostWatcher> m_trayHosts;
    bool m_isLoggedIn = false;
};
