#pragma once

#include "app/AppMenu.h"
#include "app/Notices.h"
#include "models/ChatViewModel.h"
#include "models/MessageListModel.h"
#include "models/RecordingControls.h"
#include "models/ShortcutController.h"
#include "models/ShortcutSettings.h"
#include "platform/Clock.h"
#include "platform/DesktopAppearance.h"
#include "platform/FocusHandoff.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenGrabber.h"
#include "services/AudioRecorder.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatGPTService.h"
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

/// The application: the tray icon and its menu, the hidden overlay, the conversation, the global
/// shortcuts, and the sign-in and settings windows opened on demand. It checks the stored session
/// at start and asks the user to sign in when there is none. Where no tray can show its icon, the
/// overlay's header carries the menu.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    AppDelegate(const BackendConfig &backend, SecretStore &secrets, const QString &settingsPath,
                QObject *parent = nullptr);
    ~AppDelegate() override;

    /// Builds the tray menu and the overlay, takes the shortcuts and checks the session.
    void applicationDidFinishLaunching();
    /// Gives the shortcuts back.
    void applicationWillTerminate();

    /// What a shortcut, its menu item or a command-line action does; `userTime` as for
    /// toggleTypingMode.
    void runAction(GlobalHotkeys::Action action, quint32 userTime = 0);
    void toggleOverlay();
    void captureScreen();
    /// `userTime`: the X time of the key press that asked, 0 from a menu.
    void toggleTypingMode(quint32 userTime = 0);
    /// Hands the keyboard back; the overlay stays on screen in stealth mode.
    void leaveTypingMode();
    /// What starting Pindle again does: the overlay in stealth mode (or the sign-in window).
    void showOverlay();
    /// With `atShortcuts`, scrolled to the keyboard shortcuts.
    void openSettings(bool atShortcuts = false);
    void signOut();
    void quitApp();

    [[nodiscard]] bool isLoggedIn() const { return m_isLoggedIn; }
    /// The overlay, made now if it was not yet.
    [[nodiscard]] OverlayPanel *overlayPanel() { return &overlay(); }
    [[nodiscard]] QQuickView *loginWindow() const { return m_loginWindow.get(); }
    [[nodiscard]] QQuickView *settingsWindow() const { return m_settingsWindow.get(); }
    [[nodiscard]] ChatViewModel &chatViewModel() { return m_chatViewModel; }
    [[nodiscard]] AppMenu &appMenu() { return m_appMenu; }
    [[nodiscard]] ShortcutController &shortcuts() { return m_shortcuts; }
    [[nodiscard]] TrayIcon &statusItem() { return *m_statusItem; }

Q_SIGNALS:
    void loggedInChanged();
    /// A notice as it is told (see Notices).
    void notified(const QString &title, const QString &message);

private:
    // The overlay window is made when first needed: until then a Pindle in the tray has no
    // window, scene graph or graphics driver loaded.
    OverlayPanel &overlay();
    void setupMenuBar();
    void setupGlobalHotkey();
    QCoro::Task<> checkAuthAndShowLogin();
    void showLoginWindow();
    void setLoggedIn(bool loggedIn);
    void showOverlayInStealthMode();
    void showAfterCapture();
    void runNoticeAction(const QString &key);
    void updateTrayPresence();
    void tellWhereTheMenuIs();
    std::unique_ptr<QQuickView> makeWindow(const QString &title, QSize size, bool minimizable);

    QNetworkAccessManager m_network;
    SettingsManager m_settings;
    BackendConfig m_backend;
    AuthService m_auth;
    ChatGPTService m_chat;
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
    std::unique_ptr<TrayIcon> m_statusItem;
    Notices m_notices;
    // Followed by the sign-in and settings windows.
    std::unique_ptr<DesktopAppearance> m_appearance;

    // Views go before the engine that made them.
    QQmlEngine m_engine;
    std::unique_ptr<OverlayPanel> m_overlayPanel;
    std::unique_ptr<LoginController> m_login;
    std::unique_ptr<QQuickView> m_loginWindow;
    std::unique_ptr<SettingsController> m_settingsController;
    std::unique_ptr<QQuickView> m_settingsWindow;

    std::unique_ptr<TrayHostWatcher> m_trayHosts;
    bool m_isLoggedIn = false;
    // Alt+S shows the overlay once its capture is over.
    bool m_showAfterCapture = false;
};
