// The application as a user meets it: start to tray icon, resident memory idle with the overlay
// hidden and shown after a 100-message conversation, and Alt+S to the capture reaching the model
// provider. Needs a desktop session and a keyring:
//   scripts/with-keyring.sh scripts/with-x11.sh build/<dir>/bench/pindle_bench_app

#include "ChatReplies.h"
#include "FakeBackend.h"
#include "Resident.h"
#include "ServerProcess.h"
#include "app/AppDelegate.h"
#include "app/QuickBackend.h"
#include "platform/keychain/KeychainSecretStore.h"
#include "windows/OverlayPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;

namespace {

FakeBackend::Reply answer(const QString &text) {
    return FakeBackend::Reply::stream({{deltaLine(text) + '\n'}, {"data: [DONE]\n\n"}});
}

} // namespace

int main(int argc, char **argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    chooseQuickBackend();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));

    FakeBackend provider;
    ServerProcess server(ServerProcess::forwardingTo(provider.url()));
    if (!server.running())
        return 1;
    // Enough for every question asked here, however much each reserves.
    const QString token = server.signedInUser(QStringLiteral("bench@example.org"), 100000000);
    KeychainSecretStore secrets;
    {
        const QString service = QStringLiteral("com.pindle.app");
        const QString account = QStringLiteral("pindle_auth_token");
        QCoro::Task<> saved = secrets.writeSecret(service, account, token.toUtf8());
        [[maybe_unused]] const bool done = QTest::qWaitFor([&] { return saved.isReady(); });
    }
    QTemporaryDir dir;
    QFile settings(dir.filePath("settings.json"));
    settings.open(QIODevice::WriteOnly);
    settings.write(R"({"pindle_category": "writing"})");
    settings.close();

    const qint64 beforeApp = sinceStart.elapsed();
    QElapsedTimer startup;
    startup.start();
    AppDelegate delegate(BackendConfig(server.url()), secrets, dir.filePath("settings.json"));
    delegate.applicationDidFinishLaunching();
    if (!QTest::qWaitFor([&] { return !delegate.statusItem().geometry().isEmpty(); }, 10000)) {
        std::fprintf(stderr, "the tray icon never appeared: is a tray running?\n");
        return 1;
    }
    const qint64 toTray = startup.elapsed();
    if (!QTest::qWaitFor([&] { return delegate.isLoggedIn(); }, 10000)) {
        std::fprintf(stderr, "the stored session was not accepted\n");
        return 1;
    }
    QTest::qWait(500);
    const double idleHidden = residentMiB();

    ChatViewModel &chat = delegate.chatViewModel();
    for (int i = 0; i < 50; ++i) {
        provider.enqueue(answer(QStringLiteral("An answer of a few words, number %1.").arg(i)));
        chat.setInputText(QStringLiteral("Question %1?").arg(i));
        chat.sendMessage();
        [[maybe_unused]] const bool answered = QTest::qWaitFor([&] { return !chat.isLoading(); });
    }
    delegate.toggleOverlay();
    QTest::qWait(800);
    const double idleShown = residentMiB();

    provider.enqueue(answer(QStringLiteral("A desktop.")));
    provider.enqueue(completionReply(QStringLiteral("A desktop.")));
    const qsizetype sent = provider.requests().size();
    QElapsedTimer pressed;
    QProcess key;
    key.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+s")});
    pressed.start();
    if (!QTest::qWaitFor([&] { return provider.requests().size() > sent; }, 10000)) {
        std::fprintf(stderr, "Alt+S sent no capture: %s (shortcut %s)\n",
                     qPrintable(chat.errorMessage()),
                     qPrintable(delegate.shortcuts().working(GlobalHotkeys::Action::CaptureScreen)));
        return 1;
    }
    const qint64 toCapture = pressed.elapsed();
    key.waitForFinished();

    std::printf("application\n");
    std::printf("  start to tray icon shown: %lld ms (process start to this point: %lld ms)\n",
                qlonglong(toTray), qlonglong(beforeApp + toTray));
    std::printf("  resident: %.1f MiB idle with the overlay hidden; %.1f MiB shown after %lld "
                "messages\n",
                idleHidden, idleShown, qlonglong(chat.messages().size()));
    std::printf("  Alt+S to the capture request reaching the model provider: %lld ms (of which "
                "150 ms is the deliberate wait for the overlay to get out of the way)\n",
                qlonglong(toCapture));
    return 0;
}
