// Pindle's entry point: one tray application per user; a second launch shows the overlay of the
// first, or runs the action its command line names there.

#include "app/AppDelegate.h"
#include "app/QuickBackend.h"
#include "app/SingleInstance.h"
#include "core/AppId.h"
#include "platform/DesktopIntegration.h"
#include "services/BackendConfig.h"

#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <optional>
#include <string_view>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

namespace {

constexpr auto usage = R"(Usage: pindle [OPTION]

Options:
  --toggle-overlay   show or hide the overlay
  --capture-screen   ask about what the screen shows
  --type-mode        switch the overlay to typing
  --version          print the version
  --help             print this help

Each action goes to the Pindle already running (it starts first when none is). Where Pindle
cannot take keys itself, bind these commands to keys in the desktop's own shortcut settings.
)";

} // namespace

int main(int argc, char *argv[]) {
    // Answered before any display is needed.
    std::optional<SingleInstance::Action> action;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--version") {
            std::printf("Pindle %s\n", PINDLE_VERSION);
            return 0;
        }
        if (option == "--help" || option == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (const auto asked = SingleInstance::actionOption(QString::fromLocal8Bit(argv[i])))
            action = asked;
    }
    choosePlatform(argc, argv);
    const std::unique_ptr<QGuiApplication> app = createApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pindle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PINDLE_VERSION));
    QGuiApplication::setDesktopFileName(pindleAppId);
    // The tray agent lives on with every window closed.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim(action))
        return 0;

    chooseQuickBackend();
    QQuickWindow::setDefaultAlphaBuffer(true);

    const std::unique_ptr<SecretStore> secrets = createSecretStore();
    AppDelegate delegate(BackendConfig::builtIn(), *secrets, SettingsManager::defaultFilePath());
    QObject::connect(&instance, &SingleInstance::showRequested, &delegate,
                     &AppDelegate::showOverlay);
    QObject::connect(&instance, &SingleInstance::actionRequested, &delegate,
                     [&delegate](SingleInstance::Action asked) { delegate.runAction(asked); });
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching();
    if (action) // the first launch runs what it was asked for once it is up
        QTimer::singleShot(0, &delegate, [&delegate, action] { delegate.runAction(*action); });
    return QGuiApplication::exec();
}
