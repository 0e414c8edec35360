#pragma once

#include "platform/AudioCapture.h"
#include "platform/DesktopAppearance.h"
#include "platform/DesktopShortcuts.h"
#include "platform/FocusHandoff.h"
#include "platform/GlobalHotkeys.h"
#include "platform/OverlayWindowing.h"
#include "platform/ScreenGrabber.h"
#include "platform/SecretStore.h"
#include "platform/TrayIcon.h"

#include <QGuiApplication>

#include <memory>

/// The application object, a QGuiApplication: Pindle draws what it shows without Qt Widgets, its
/// XEmbed tray icon included. Called first.
[[nodiscard]] std::unique_ptr<QGuiApplication> createApplication(int &argc, char **argv);

/// Whether this is a Wayland session whose compositor offers layer-shell surfaces and this build
/// can make the overlay one. Asked before the application object exists.
[[nodiscard]] bool compositorHasLayerShell();

/// Chooses Qt's platform for a Wayland session, unless the user chose one: native where the
/// overlay can be a layer-shell surface, XWayland elsewhere. Called before createApplication().
void choosePlatform(int argc, char *argv[]);

// The realisations this session and this build support: X11's, the desktop's, the sound
// server's and the keyring's, or ones that say why a service is missing. They need a
// QGuiApplication.

[[nodiscard]] std::unique_ptr<ScreenGrabber> createScreenGrabber();
[[nodiscard]] std::unique_ptr<GlobalHotkeys> createGlobalHotkeys();
[[nodiscard]] std::unique_ptr<FocusHandoff> createFocusHandoff();
[[nodiscard]] std::unique_ptr<OverlayWindowing> createOverlayWindowing();
/// The shortcuts of the desktop named by XDG_CURRENT_DESKTOP (GNOME, KDE, Xfce); none elsewhere,
/// where only X11's refusal of a grab tells that a combination is held.
[[nodiscard]] std::unique_ptr<DesktopShortcuts> createDesktopShortcuts();
/// Recording through the sound server; without it in this build, every start says so.
[[nodiscard]] std::unique_ptr<AudioCapture> createAudioCapture();
/// The desktop's light or dark preference, where Qt's style can follow it (Qt 6.5 on); light
/// elsewhere.
[[nodiscard]] std::unique_ptr<DesktopAppearance> createDesktopAppearance();
/// The desktop keyring; without it in this build, nothing is kept beyond the running process.
[[nodiscard]] std::unique_ptr<SecretStore> createSecretStore();
/// The tray icon: a StatusNotifierItem where a tray takes them at start, else on X11 an XEmbed icon
/// for a tray there now or later.
[[nodiscard]] std::unique_ptr<TrayIcon> createTrayIcon();
