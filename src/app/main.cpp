// Pindle's entry point: one tray application per user; a second launch shows the overlay of the
// first, or runs the action its command line names there.

#include "app/Application.h"
#include "app/QuickBackend.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "core/AppId.h"
#include "platform/ShortcutActions.h"
#include "platform/session/DesktopIntegration.h"
#include "services/BackendConfig.h"

#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

namespace {

// What `pindle --help` prints: the actions' options come from their table.
std::string usage() {
    std::string text = "Usage: pindle [OPTION]\n\nOptions:\n";
    const auto option = [&](std::string_view name, std::string_view what) {
        text.append("  ").append(name).append(name.size() < 19 ? 19 - name.size() : 1, ' ');
        text.append(what).append("\n");
    };
    for (const ShortcutActionRow &row : shortcutActions)
        option({row.option.data(), std::size_t(row.option.size())},
               {row.description.data(), std::size_t(row.description.size())});
    option("--version", "Print the version");
    option("--help", "Print this help");
    return text +
           "\nEach action goes to the Pindle already running (it starts first when none is). "
           "Where Pindle\ncannot take keys itself, bind these commands to keys in the "
           "desktop's own shortcut settings.\n";
}

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
            std::fputs(usage().c_str(), stdout);
            return 0;
        }
        if (const auto asked = shortcutActionWithOption(QString::fromLocal8Bit(argv[i])))
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
    installTranslations();

    chooseQuickBackend();
    QQuickWindow::setDefaultAlphaBuffer(true);

    const std::unique_ptr<SecretStore> secrets = createSecretStore();
    Application pindle(BackendConfig::builtIn(), *secrets, SettingsManager::defaultFilePath());
    QObject::connect(&instance, &SingleInstance::showRequested, &pindle, &Application::showOverlay);
    QObject::connect(&instance, &SingleInstance::actionRequested, &pindle,
                     [&pindle](SingleInstance::Action asked) { pindle.runAction(asked); });
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &pindle, &Application::stop);
    pindle.start();
    if (action) // the first launch runs what it was asked for once it is up
        QTimer::singleShot(0, &pindle, [&pindle, action] { pindle.runAction(*action); });
    return QGuiApplication::exec();
}
