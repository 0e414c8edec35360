// Pindle's entry point: one tray application per user; a second launch shows the overlay of the
// first.

#include "app/AppDelegate.h"
#include "app/QuickBackend.h"
#include "app/SingleInstance.h"
#include "platform/DesktopIntegration.h"
#include "services/BackendConfig.h"

#include <QApplication>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <string_view>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

int main(int argc, char *argv[]) {
    // Answered before any display is needed.
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") {
            std::printf("Pindle %s\n", PINDLE_VERSION);
            return 0;
        }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pindle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PINDLE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("pindle"));
    // The tray agent lives on with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim())
        return 0;

    chooseQuickBackend();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QQuickWindow::setDefaultAlphaBuffer(true);

    const std::unique_ptr<SecretStore> secrets = createSecretStore();
    AppDelegate delegate(BackendConfig::builtIn(), *secrets, SettingsManager::defaultFilePath());
    QObject::connect(&instance, &SingleInstance::showRequested, &delegate,
                     &AppDelegate::showOverlay);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
