#pragma once

#include "models/ChatViewModel.h"
#include "models/MessageListModel.h"
#include "models/RecordingControls.h"
#include "platform/Clock.h"
#include "platform/FocusHandoff.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenGrabber.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "services/AudioRecorder.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatGPTService.h"
#include "services/ScreenCaptureService.h"
#include "services/SettingsManager.h"
#include "services/SystemAudioRecorder.h"

#include <QMenu>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QQmlEngine>
#include <QSystemTrayIcon>

#include <memory>

class LoginController;
class OverlayPanel;
class QQuickView;
class SecretStore;
class SettingsController;

/// The application: the tray icon and its menu, the hidden overlay, the conversation, the global
/// shortcuts, and the sign-in and settings windows opened on demand. It checks the stored session
/// at start and asks the user to sign in when there is none.
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

    void toggleOverlay();
    void captureScreen();
    void toggleTypingMode();
    void openSettings();
    void signOut();
    void quitApp();

    [[nodiscard]] bool isLoggedIn() const { return m_isLoggedIn; }
    [[nodiscard]] OverlayPanel *overlayPanel() const { return m_overlayPanel.get(); }
    [[nodiscard]] QQuickView *loginWindow() const { return m_loginWindow.get(); }
    [[nodiscard]] QQuickView *settingsWindow() const { return m_settingsWindow.get(); }
    [[nodiscard]] ChatViewModel &chatViewModel() { return m_chatViewModel; }
    [[nodiscard]] QMenu &statusMenu() { return m_menu; }
    [[nodiscard]] QSystemTrayIcon &statusItem() { return m_statusItem; }

Q_SIGNALS:
    void loggedInChanged();
    /// A message the user should see once, shown by the tray (also when it has no host yet).
    void notified(const QString &title, const QString &message);

private:
    void setupMenuBar();
    void setupGlobalHotkey();
    QCoro::Task<> checkAuthAndShowLogin();
    void showLoginWindow();
    void setLoggedIn(bool loggedIn);
    void showOverlayInStealthMode();
    void notify(const QString &title, const QString &message);
    void warnNoTray();
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
    PulseAudioCapture m_audioCapture;
    AudioRecorder m_audioRecorder;
    SystemAudioRecorder m_systemAudioRecorder;
    RecordingControls m_recording;

    // Views go before the engine that made them.
    QQmlEngine m_engine;
    std::unique_ptr<OverlayPanel> m_overlayPanel;
    std::unique_ptr<LoginController> m_login;
    std::unique_ptr<QQuickView> m_loginWindow;
    std::unique_ptr<SettingsController> m_settingsController;
    std::unique_ptr<QQuickView> m_settingsWindow;

    std::unique_ptr<GlobalHotkeys> m_hotkeys;
    QMenu m_menu;
    QSystemTrayIcon m_statusItem;
    bool m_isLoggedIn = false;
    bool m_trayMissingTold = false;
};
