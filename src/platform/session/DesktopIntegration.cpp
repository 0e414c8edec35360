#include "platform/session/DesktopIntegration.h"

#include "platform/desktop/GnomeShortcuts.h"
#include "platform/desktop/KdeShortcuts.h"
#include "platform/desktop/PortalAppearance.h"
#include "platform/desktop/PortalGlobalHotkeys.h"
#include "platform/desktop/PortalScreenshot.h"
#include "platform/desktop/StatusNotifierItem.h"
#include "platform/desktop/WaylandStepAsideGrabber.h"
#include "platform/desktop/XfceShortcuts.h"
#include "platform/modules/PindleModule.h"
#include "platform/sway/SwayOverlayFocus.h"
#include "platform/x11/X11FocusHandoff.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11OverlayWindowing.h"
#include "platform/x11/X11StepAsideGrabber.h"
#include "platform/x11/X11TrayIcon.h"

#ifdef PINDLE_HAVE_AUDIO
#include "platform/pulse/AudioCaptureModule.h"
#endif
#ifdef PINDLE_HAVE_KEYCHAIN
#include "platform/keychain/KeychainSecretStore.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>

namespace {

bool onX11() {
    return QGuiApplication::platformName() == u"xcb";
}

bool nativeWayland() {
    return QGuiApplication::platformName() == u"wayland";
}

// Under XWayland the X11 root window shows only X programs, and keys reach X grabs only while an
// X window has the focus.
bool underWayland() {
    return QGuiApplication::platformName() == u"wayland" ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

/// Stands in where the session offers no way to read the screen, and says why.
class UnavailableScreenGrabber final : public ScreenGrabber {
public:
    explicit UnavailableScreenGrabber(QString reason)
        : m_reason(std::move(reason)) {}
    QCoro::Task<Grab> grabPrimaryScreen() override {
        throw Unavailable(m_reason);
        co_return Grab{};
    }

private:
    QString m_reason;
};

/// Where there are no global shortcuts: the tray menu offers the same actions.
class UnavailableGlobalHotkeys final : public GlobalHotkeys {
public:
    explicit UnavailableGlobalHotkeys(QString reason)
        : m_reason(std::move(reason)) {}
    QList<Action> registerAll(const QList<Binding> &) override { return {}; }
    void unregisterAll() override {}
    [[nodiscard]] QString unavailableReason() const override { return m_reason; }

private:
    QString m_reason;
};

struct NoFocusHandoff final : FocusHandoff {
    void returnFocusToPreviousApp() override {}
};

#ifndef PINDLE_HAVE_AUDIO
class UnavailableAudioCapture final : public AudioCapture {
public:
    QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings) override {
        throw Error(Failure::Failed,
                    QCoreApplication::translate(
                        "DesktopIntegration",
                        "This Pindle was built without sound recording (PulseAudio or "
                        "FFmpeg was missing when it was built)."));
        co_return std::unique_ptr<Recording>();
    }
};
#endif

#ifndef PINDLE_HAVE_KEYCHAIN
/// Reads find nothing and writes keep nothing, as a keyring that is not running.
class NoSecretStore final : public SecretStore {
public:
    QCoro::Task<std::optional<QByteArray>> readSecret(QString, QString) override {
        co_return std::nullopt;
    }
    QCoro::Task<> writeSecret(QString, QString, QByteArray) override { co_return; }
    QCoro::Task<> deleteSecret(QString, QString) override { co_return; }
};
#endif

// Sway's place and focus for the overlay, shared by its windowing and the focus hand-off.
std::shared_ptr<SwayOverlayFocus> swayOverlayFocus() {
    static std::weak_ptr<SwayOverlayFocus> shared;
    if (auto focus = shared.lock())
        return focus;
    auto ipc = SwayIpc::connectToSession();
    if (!ipc)
        return nullptr;
    auto focus = std::make_shared<SwayOverlayFocus>(std::move(ipc));
    shared = focus;
    return focus;
}

/// X11's hints, with sway's own commands where sway does not read them.
class SwayOverlayWindowing final : public OverlayWindowing {
public:
    explicit SwayOverlayWindowing(std::shared_ptr<SwayOverlayFocus> sway)
        : m_sway(std::move(sway)) {
        connect(&m_x11, &OverlayWindowing::compositedChanged, this,
                &OverlayWindowing::compositedChanged);
    }
    [[nodiscard]] bool composited() const override { return m_x11.composited(); }
    [[nodiscard]] bool blurBehind() const override { return m_x11.blurBehind(); }
    void shown(QWindow &window) override { m_x11.shown(window); }
    void setBlurArea(QWindow &window, const QRect &area) override {
        m_x11.setBlurArea(window, area);
    }
    void prepareShow(QWindow &window) override {
        m_x11.prepareShow(window);
        m_sway->showing(window);
    }
    bool activateForUser(QWindow &window, quint32) override {
        m_sway->takeKeyboard(window);
        return true;
    }
    [[nodiscard]] bool decidesFocus() const override { return true; }

private:
    X11OverlayWindowing m_x11;
    std::shared_ptr<SwayOverlayFocus> m_sway;
};

class SwayFocusHandoff final : public FocusHandoff {
public:
    explicit SwayFocusHandoff(std::shared_ptr<SwayOverlayFocus> sway)
        : m_sway(std::move(sway)) {}
    void returnFocusToPreviousApp() override { m_sway->giveKeyboardBack(); }

private:
    std::shared_ptr<SwayOverlayFocus> m_sway;
};

/// A desktop that publishes no shortcuts of its own.
class NoDesktopShortcuts final : public DesktopShortcuts {
public:
    QCoro::Task<QList<Binding>> bindings() override { co_return {}; }
};

#ifdef PINDLE_HAVE_LAYER_SHELL
constexpr char layerShellModule[] = "pindle-layershell.so";

QFunctionPointer layerShellEntry(const char *name) {
    QString problem;
    const QFunctionPointer entry = PindleModule::resolve(
        layerShellModule, name, PindleModule::buildTreePath(layerShellModule), problem);
    if (!entry && !problem.isEmpty())
        qWarning("Pindle's layer-shell module (%s) could not be loaded: %s", layerShellModule,
                 qPrintable(problem));
    return entry;
}
#endif

// Qt's Wayland platform is a package of its own (qt6-wayland).
bool waylandPlatformInstalled() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

} // namespace

bool compositorHasLayerShell() {
#ifdef PINDLE_HAVE_LAYER_SHELL
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    using Probe = bool (*)();
    const auto probe = reinterpret_cast<Probe>(layerShellEntry("pindleCompositorHasLayerShell"));
    return probe && probe();
#else
    return false;
#endif
}

void choosePlatform(int argc, char *argv[]) {
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return;
    // Where the compositor has no layer shell (GNOME), the overlay can stay above other windows,
    // on every workspace, without taking the keyboard only as an XWayland window.
    if (compositorHasLayerShell() && waylandPlatformInstalled())
        qputenv("QT_QPA_PLATFORM", "wayland");
    else if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

std::unique_ptr<ScreenGrabber> createScreenGrabber() {
    // Under Wayland our windows step aside as on X11, and the compositor takes the picture.
    if (underWayland() && onX11()) {
        auto portal = std::make_shared<PortalScreenshot>();
        return std::make_unique<X11StepAsideGrabber>(X11StepAsideGrabber::defaultSettleDelay,
                                                     [portal] { return portal->take(); });
    }
    if (nativeWayland()) {
        auto portal = std::make_shared<PortalScreenshot>();
        return std::make_unique<WaylandStepAsideGrabber>(X11StepAsideGrabber::defaultSettleDelay,
                                                         [portal] { return portal->take(); });
    }
    if (!onX11())
        return std::make_unique<UnavailableScreenGrabber>(
            //: %1 is the name of Qt's display platform (e.g. wayland, offscreen)
            QCoreApplication::translate(
                "DesktopIntegration",
                "Screen capture needs an X11 session, and Pindle is running on \"%1\".")
                .arg(QGuiApplication::platformName()));
    return std::make_unique<X11StepAsideGrabber>();
}

std::unique_ptr<GlobalHotkeys> createGlobalHotkeys() {
    // Keys reach X11 grabs only while an X program has the focus: the desktop's portal, or its
    // own shortcut settings running pindle --toggle-overlay and the like, must do it.
    if (underWayland())
        return std::make_unique<PortalGlobalHotkeys>();
    if (!onX11())
        return std::make_unique<UnavailableGlobalHotkeys>(QCoreApplication::translate(
            "DesktopIntegration", "Global hotkeys need an X11 session."));
    return std::make_unique<X11GlobalHotkeys>();
}

std::unique_ptr<FocusHandoff> createFocusHandoff() {
    if (onX11() && underWayland())
        if (auto sway = swayOverlayFocus())
            return std::make_unique<SwayFocusHandoff>(std::move(sway));
    if (!onX11())
        return std::make_unique<NoFocusHandoff>();
    return std::make_unique<X11FocusHandoff>();
}

std::unique_ptr<OverlayWindowing> createOverlayWindowing() {
    if (onX11() && underWayland())
        if (auto sway = swayOverlayFocus())
            return std::make_unique<SwayOverlayWindowing>(std::move(sway));
#ifdef PINDLE_HAVE_LAYER_SHELL
    using Create = OverlayWindowing *(*)();
    if (nativeWayland())
        if (const auto create =
                reinterpret_cast<Create>(layerShellEntry("pindleCreateLayerShellWindowing")))
            return std::unique_ptr<OverlayWindowing>(create());
#endif
    if (!onX11())
        return std::make_unique<OverlayWindowing>();
    return std::make_unique<X11OverlayWindowing>();
}

std::unique_ptr<DesktopShortcuts> createDesktopShortcuts() {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toUpper().split(u':', Qt::SkipEmptyParts);
    if (desktops.contains(u"GNOME") || desktops.contains(u"UNITY"))
        return std::make_unique<GnomeShortcuts>();
    if (desktops.contains(u"KDE"))
        return std::make_unique<KdeShortcuts>();
    if (desktops.contains(u"XFCE"))
        return std::make_unique<XfceShortcuts>();
    return std::make_unique<NoDesktopShortcuts>();
}

std::unique_ptr<DesktopAppearance> createDesktopAppearance() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return std::make_unique<PortalAppearance>();
#else
    return std::make_unique<DesktopAppearance>();
#endif
}

std::unique_ptr<AudioCapture> createAudioCapture() {
#ifdef PINDLE_HAVE_AUDIO
    return std::make_unique<AudioCaptureModule>(
        PindleModule::buildTreePath(AudioCaptureModule::fileName));
#else
    return std::make_unique<UnavailableAudioCapture>();
#endif
}

std::unique_ptr<QGuiApplication> createApplication(int &argc, char **argv) {
    return std::make_unique<QGuiApplication>(argc, argv);
}

std::unique_ptr<TrayIcon> createTrayIcon() {
    // Where no tray takes StatusNotifierItems at start, an X11 session may still have one that
    // takes XEmbed icons (trayer, stalonetray, older panels), or get one later.
    if (onX11() && !StatusNotifierItem::hostPresent())
        return std::make_unique<X11TrayIcon>();
    return std::make_unique<StatusNotifierItem>();
}

std::unique_ptr<SecretStore> createSecretStore() {
#ifdef PINDLE_HAVE_KEYCHAIN
    return std::make_unique<KeychainSecretStore>();
#else
    qWarning("This Pindle was built without the desktop keyring: the sign-in lasts only as long "
             "as Pindle runs.");
    return std::make_unique<NoSecretStore>();
#endif
}
