// The application as a user meets it, every figure of its footprint in one run, medians of
// several runs. Needs an X session with a tray and a keyring, and port 8787 free (the address
// the application is built to reach):
//   scripts/with-keyring.sh scripts/with-x11.sh build/<dir>/bench/pindle_bench_app [runs]
// From outside, of the `pindle` executable itself, with each kind of tray: exec to the tray icon
// registered with a StatusNotifierItem host (one of the bench's own, in a process of its own) or
// its XEmbed window mapped (the session's tray), and resident memory, proportional memory and
// mapped shared objects, idle with the overlay hidden and then shown. In this process: resident
// memory with the overlay shown after a 100-message conversation, Alt+S (pressed through XTEST) to
// the capture request arriving at a provider on a thread of its own, and how long our windows are
// off the screen for it. First on the renderer Pindle picks here, then again on OpenGL where there
// is one.

#include "ChatReplies.h"
#include "FakeBackend.h"
#include "FakeStatusNotifierWatcher.h"
#include "Resident.h"
#include "ServerProcess.h"
#include "app/Application.h"
#include "app/QuickBackend.h"
#include "platform/keychain/KeychainSecretStore.h"
#include "platform/session/DesktopIntegration.h"
#include "platform/x11/X11Support.h"
#include "windows/OverlayPanel.h"

#include <QAbstractNativeEventFilter>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QQuickWindow>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

double msSince(Steady::time_point start, Steady::time_point end = Steady::now()) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::ranges::sort(values);
    return values[values.size() / 2];
}

// Runs the event loop until `done` or `timeout`. QTest::qWaitFor sleeps 10 ms between passes,
// which holds up whatever needs this thread meanwhile (Qt's uploads do): a figure measured
// through it is the bench's, not Pindle's.
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 10s) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    check.start(1);
    if (!done())
        loop.exec();
    return done();
}

void pause(std::chrono::milliseconds time) {
    waitUntil([] { return false; }, time);
}

FakeBackend::Reply answer(const QString &text) {
    return FakeBackend::Reply::stream({{deltaLine(text) + '\n'}, {"data: [DONE]\n\n"}});
}

// A process's memory as the kernel counts it.
struct Footprint {
    double rss = 0, pss = 0; // MiB
    int sharedObjects = 0;
};

Footprint footprintOf(qint64 pid) {
    Footprint footprint;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly))
        for (const QByteArray &line : rollup.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 2 && fields[0] == "Rss:")
                footprint.rss = fields[1].toDouble() / 1024;
            if (fields.size() >= 2 && fields[0] == "Pss:")
                footprint.pss = fields[1].toDouble() / 1024;
        }
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QSet<QByteArray> objects;
    if (maps.open(QIODevice::ReadOnly))
        for (const QByteArray &line : maps.readAll().split('\n'))
            if (const qsizetype at = line.indexOf('/'); at >= 0 && line.indexOf(".so", at) > 0)
                objects.insert(line.mid(at));
    footprint.sharedObjects = int(objects.size());
    return footprint;
}

// Whether a window of process `pid` is viewable below `window`.
bool viewableWindowOf(xcb_window_t window, quint32 pid) {
    xcb_connection_t *c = X11Support::connection();
    const X11Support::Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return false;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const X11Support::Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const X11Support::Reply<xcb_get_property_reply_t> owner(xcb_get_property_reply(
            c,
            xcb_get_property(c, 0, children[i], X11Support::atom("_NET_WM_PID"), XCB_ATOM_CARDINAL,
                             0, 1),
            nullptr));
        if (owner && xcb_get_property_value_length(owner.get()) == 4 &&
            *static_cast<const quint32 *>(xcb_get_property_value(owner.get())) == pid)
            return true;
        if (viewableWindowOf(children[i], pid))
            return true;
    }
    return false;
}

struct ProcessFigures {
    double toTray = -1;
    Footprint hidden, shown;
};

// A StatusNotifierItem host in a process of its own (this bench with --tray-host), started
// before this process's application object exists, which then chooses that tray as Pindle does
// on KDE or Xfce. It prints "ready", then the steady-clock time of each registration.
class TrayHost {
public:
    ~TrayHost() { stop(); }

    bool start() {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl("/proc/self/exe", "pindle_bench_app", "--tray-host", nullptr);
            _exit(127);
        }
        close(fds[1]);
        m_output = fdopen(fds[0], "r");
        const std::optional<qint64> ready = nextLine(10s);
        return ready && *ready == 0;
    }

    void stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_output)
            fclose(std::exchange(m_output, nullptr));
    }

    std::optional<Steady::time_point> nextRegistration(std::chrono::milliseconds timeout) {
        if (const std::optional<qint64> at = nextLine(timeout))
            return Steady::time_point(Steady::duration(*at));
        return std::nullopt;
    }

    // The host's side.
    static int run(int argc, char **argv) {
        QCoreApplication app(argc, argv);
        FakeStatusNotifierWatcher watcher(QDBusConnection::sessionBus());
        watcher.onRegistered = [](const QString &) {
            std::printf("%lld\n", qlonglong(Steady::now().time_since_epoch().count()));
            std::fflush(stdout);
        };
        if (!watcher.start())
            return 1;
        std::printf("0\n");
        std::fflush(stdout);
        return QCoreApplication::exec();
    }

private:
    std::optional<qint64> nextLine(std::chrono::milliseconds timeout) {
        if (!m_output)
            return std::nullopt;
        pollfd ready{fileno(m_output), POLLIN, 0};
        char line[64];
        if (poll(&ready, 1, int(timeout.count())) != 1 || !fgets(line, sizeof line, m_output))
            return std::nullopt;
        return std::atoll(line);
    }

    pid_t m_pid = -1;
    FILE *m_output = nullptr;
};

// Starts `pindle` `runs` times: the time to its tray icon each time, its memory once. With a
// `host`, the icon is its registration there; without, its XEmbed window on screen.
ProcessFigures measureProcess(int runs, const QProcessEnvironment &environment, TrayHost *host) {
    ProcessFigures figures;
    std::vector<double> times;
    // The icon is the first of its windows on screen: Pindle shows nothing else at start.
    const xcb_window_t root = X11Support::rootWindow();
    for (int run = 0; run < runs; ++run) {
        QProcess app;
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const Steady::time_point started = Steady::now();
        app.start(QStringLiteral(PINDLE_APP_PATH), {});
        if (!app.waitForStarted())
            break;
        const auto pid = quint32(app.processId());
        if (host) {
            const std::optional<Steady::time_point> registered = host->nextRegistration(10s);
            times.push_back(registered ? msSince(started, *registered) : 10000);
        } else {
            while (!viewableWindowOf(root, pid) && msSince(started) < 10000)
                QThread::usleep(500);
            times.push_back(msSince(started));
        }
        if (times.back() >= 10000)
            std::fprintf(stderr, "no tray icon of Pindle's came\n");
        if (run == 0) {
            pause(2000ms); // signed in, settled
            figures.hidden = footprintOf(pid);
            QProcess::execute(QStringLiteral(PINDLE_APP_PATH),
                              {QStringLiteral("--toggle-overlay")});
            pause(1500ms);
            figures.shown = footprintOf(pid);
        }
        app.terminate();
        if (!app.waitForFinished(5000))
            app.kill();
    }
    figures.toTray = median(times);
    return figures;
}

// When our windows leave the screen and come back, as the X server reports it.
class MapWatch final : public QAbstractNativeEventFilter {
public:
    xcb_window_t window = XCB_WINDOW_NONE;
    Steady::time_point unmapped, mapped;

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<xcb_generic_event_t *>(message);
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_UNMAP_NOTIFY &&
            reinterpret_cast<const xcb_unmap_notify_event_t *>(event)->window == window)
            unmapped = Steady::now();
        if (kind == XCB_MAP_NOTIFY &&
            reinterpret_cast<const xcb_map_notify_event_t *>(event)->window == window)
            mapped = Steady::now();
        return false;
    }
};

xcb_keycode_t keycodeOf(xcb_keysym_t keysym) {
    xcb_connection_t *c = X11Support::connection();
    const xcb_setup_t *setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const X11Support::Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr));
    if (!mapping)
        return 0;
    const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int i = 0; i < count * mapping->keysyms_per_keycode; ++i)
        if (symbols[i] == keysym)
            return xcb_keycode_t(setup->min_keycode + i / mapping->keysyms_per_keycode);
    return 0;
}

void pressAltS() {
    xcb_connection_t *c = X11Support::connection();
    const xcb_keycode_t alt = keycodeOf(0xffe9), s = keycodeOf('s');
    for (const auto &[type, key] : {std::pair{XCB_KEY_PRESS, alt}, std::pair{XCB_KEY_PRESS, s},
                                    std::pair{XCB_KEY_RELEASE, s}, std::pair{XCB_KEY_RELEASE, alt}})
        xcb_test_fake_input(c, uint8_t(type), key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_flush(c);
}

// Stands between Pindle and its backend and notes when a request to `path` has wholly left
// Pindle: the moment its last byte reaches the backend's side of the loopback.
class TimingProxy final : public QObject {
public:
    TimingProxy(quint16 backendPort, QByteArray path, std::atomic<qint64> &sentAt)
        : m_backendPort(backendPort)
        , m_requestLine(QByteArray(QByteArrayLiteral("POST ") + path + ' '))
        , m_sentAt(sentAt) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &TimingProxy::accept);
    }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }

private:
    void accept() {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            auto *backend = new QTcpSocket(client);
            backend->connectToHost(QHostAddress::LocalHost, m_backendPort);
            auto pending = std::make_shared<QByteArray>();
            connect(client, &QTcpSocket::readyRead, client, [this, client, backend, pending] {
                const QByteArray bytes = client->readAll();
                backend->write(bytes);
                pending->append(bytes);
                // Whole requests: headers, then Content-Length bytes.
                for (qsizetype end; (end = pending->indexOf("\r\n\r\n")) >= 0;) {
                    const QByteArray head = pending->left(end).toLower();
                    const qsizetype at = head.indexOf("content-length:");
                    const qsizetype length =
                        at < 0 ? 0
                               : head.mid(at + 15, head.indexOf('\r', at) - at - 15)
                                     .trimmed()
                                     .toLongLong();
                    if (pending->size() < end + 4 + length)
                        break;
                    if (pending->startsWith(m_requestLine))
                        m_sentAt = Steady::now().time_since_epoch().count();
                    pending->remove(0, end + 4 + length);
                }
            });
            connect(backend, &QTcpSocket::readyRead, client,
                    [client, backend] { client->write(backend->readAll()); });
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            connect(backend, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        }
    }

    QTcpServer m_server;
    quint16 m_backendPort;
    QByteArray m_requestLine;
    std::atomic<qint64> &m_sentAt;
};

void printProcess(const ProcessFigures &figures, bool statusNotifier) {
    const auto line = [](const char *what, const Footprint &f) {
        std::printf("  %s: resident %.1f MiB, proportional %.1f MiB, %d shared objects\n", what,
                    f.rss, f.pss, f.sharedObjects);
    };
    std::printf("  exec to tray icon %s: %.0f ms\n",
                statusNotifier ? "registered with the host" : "window mapped", figures.toTray);
    line("idle, overlay hidden", figures.hidden);
    line("overlay shown, empty conversation", figures.shown);
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--tray-host")
        return TrayHost::run(argc, argv);
    const bool inProcessOnly = argc > 2 && std::string_view(argv[2]) == "--in-process";
    // The OpenGL run in a second process finds the first one's host.
    TrayHost host;
    if (!inProcessOnly && !host.start()) {
        std::fprintf(stderr, "the tray host did not start\n");
        return 1;
    }
    const std::unique_ptr<QGuiApplication> application = createApplication(argc, argv);
    QGuiApplication &app = *application;
    QGuiApplication::setQuitOnLastWindowClosed(false);
    chooseQuickBackend();
    const int runs =
        std::max(1, app.arguments().value(1).toInt() > 0 ? app.arguments().value(1).toInt() : 5);

    // The provider on a thread of its own, so what it measures is not held up by ours.
    QThread providerThread;
    providerThread.start();
    auto *provider = new FakeBackend;
    provider->moveToThread(&providerThread);
    std::atomic<qint64> receivedAt{0}, sentAt{0};
    QObject::connect(
        provider, &FakeBackend::received, provider,
        [&] { receivedAt = Steady::now().time_since_epoch().count(); }, Qt::DirectConnection);
    const auto enqueue = [&](FakeBackend::Reply reply) {
        QMetaObject::invokeMethod(
            provider, [&, reply] { provider->enqueue(reply); }, Qt::BlockingQueuedConnection);
    };

    QJsonObject serverSettings = ServerProcess::forwardingTo(provider->url());
    serverSettings.insert(QStringLiteral("port"), 8787);
    ServerProcess server(serverSettings);
    if (!server.running()) {
        std::fprintf(stderr, "pindle-server did not start on port 8787: %s\n",
                     server.log().constData());
        return 1;
    }
    // Enough for every question asked here, however much each reserves.
    const QString token = server.signedInUser(QStringLiteral("bench@example.org"), 100000000);
    KeychainSecretStore secrets;
    {
        QCoro::Task<> saved = secrets.writeSecret(
            QStringLiteral("com.pindle.app"), QStringLiteral("pindle_auth_token"), token.toUtf8());
        [[maybe_unused]] const bool done = waitUntil([&] { return saved.isReady(); });
    }

    if (!inProcessOnly) {
        std::printf("the pindle executable, median of %d starts\n", runs);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QSG_RHI_BACKEND"));
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        std::printf(" StatusNotifierItem tray, software renderer\n");
        printProcess(measureProcess(runs, environment, &host), true);
        QProcessEnvironment openGl = environment;
        openGl.remove(QStringLiteral("QT_QUICK_BACKEND"));
        openGl.insert(QStringLiteral("QSG_RHI_BACKEND"), QStringLiteral("opengl"));
        std::printf(" StatusNotifierItem tray, OpenGL\n");
        printProcess(measureProcess(runs, openGl, &host), true);
        host.stop();
        std::printf(" XEmbed tray, software renderer\n");
        printProcess(measureProcess(runs, environment, nullptr), false);
        host.start();
    }

    // In a scope of its own: its shortcuts are let go before the OpenGL run takes them.
    {
        QTemporaryDir dir;
        QFile settings(dir.filePath("settings.json"));
        settings.open(QIODevice::WriteOnly);
        settings.write(R"({"pindle_category": "writing"})"); // no reviewing request
        settings.close();
        // Between Pindle and the backend, on the provider's thread.
        std::unique_ptr<TimingProxy> proxy;
        QMetaObject::invokeMethod(
            provider, [&] { proxy = std::make_unique<TimingProxy>(8787, "/api/chat", sentAt); },
            Qt::BlockingQueuedConnection);
        Application pindle(
            BackendConfig(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(proxy->port()))), secrets,
            dir.filePath("settings.json"));
        pindle.start();
        if (!waitUntil([&] { return pindle.isLoggedIn(); })) {
            std::fprintf(stderr, "the stored session was not accepted\n");
            return 1;
        }
        ChatViewModel &chat = pindle.chatViewModel();
        for (int i = 0; i < 50; ++i) {
            enqueue(answer(QStringLiteral("An answer of a few words, number %1.").arg(i)));
            chat.setInputText(QStringLiteral("Question %1?").arg(i));
            chat.sendMessage();
            [[maybe_unused]] const bool answered = waitUntil([&] { return !chat.isLoading(); });
        }
        MapWatch watch;
        app.installNativeEventFilter(&watch);
        // The overlay and its view are made when it is first shown: that is part of the first
        // show. Its map event comes once the event loop runs again.
        const Steady::time_point toggled = Steady::now();
        pindle.runAction(ShortcutAction::ToggleOverlay);
        watch.window = xcb_window_t(pindle.overlayPanel()->winId());
        [[maybe_unused]] const bool shown = waitUntil([&] { return watch.mapped > toggled; });
        const double firstShow = msSince(toggled, watch.mapped);
        pause(800ms);
        const double shownAfterConversation = residentMiB();
        std::vector<double> toRequest, toBackend, hidden;
        const qsizetype conversation = chat.messages().size();
        for (int i = 0; i < runs; ++i) {
            // Each question about the screen in a conversation of its own: the requests carry every
            // earlier picture, and a long conversation asks for a summary meanwhile.
            chat.clearChat();
            enqueue(answer(QStringLiteral("A desktop.")));
            enqueue(completionReply(QStringLiteral("A desktop."))); // the screenshot's review
            receivedAt = 0;
            sentAt = 0;
            const Steady::time_point pressed = Steady::now();
            pressAltS();
            if (!waitUntil([&] { return receivedAt != 0; })) {
                std::fprintf(stderr, "Alt+S sent no capture: %s\n",
                             qPrintable(chat.errorMessage()));
                break;
            }
            toRequest.push_back(
                msSince(pressed, Steady::time_point(Steady::duration(qint64(receivedAt)))));
            toBackend.push_back(
                msSince(pressed, Steady::time_point(Steady::duration(qint64(sentAt)))));
            [[maybe_unused]] const bool answered =
                waitUntil([&] { return !chat.isLoading() && pindle.overlayPanel()->isVisible(); });
            pause(300ms);
            hidden.push_back(msSince(watch.unmapped, watch.mapped));
        }

        std::printf("in this process (%s), median of %d\n",
                    qPrintable(QQuickWindow::sceneGraphBackend().isEmpty()
                                   ? QStringLiteral("OpenGL")
                                   : QQuickWindow::sceneGraphBackend()),
                    runs);
        std::printf("  Alt+Space to the overlay on the screen, the first time: %.0f ms\n",
                    firstShow);
        std::printf("  resident with the overlay shown after %lld messages: %.1f MiB\n",
                    qlonglong(conversation), shownAfterConversation);
        const auto figure = [](const char *what, const std::vector<double> &times) {
            std::printf("  %s: %.0f ms (each:", what, median(times));
            for (const double each : times)
                std::printf(" %.0f", each);
            std::printf(")\n");
        };
        figure("Alt+S to the capture request having left Pindle", toBackend);
        figure("Alt+S to the capture request arriving at the model provider", toRequest);
        std::printf("  our windows off the screen for it: %.0f ms\n", median(hidden));
        std::fflush(stdout);
        QMetaObject::invokeMethod(
            provider, [&] { proxy.reset(); }, Qt::BlockingQueuedConnection);
    }

    QMetaObject::invokeMethod(provider, &QObject::deleteLater);
    providerThread.quit();
    providerThread.wait();

    // The same on OpenGL, in a process of its own (the renderer is chosen once per process).
    if (!inProcessOnly && qEnvironmentVariable("QSG_RHI_BACKEND") != u"opengl") {
        [[maybe_unused]] const bool stopped = server.stop();
        QProcess again;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QSG_RHI_BACKEND"), QStringLiteral("opengl"));
        again.setProcessEnvironment(environment);
        again.setProcessChannelMode(QProcess::ForwardedChannels);
        again.start(QCoreApplication::applicationFilePath(),
                    {QString::number(runs), QStringLiteral("--in-process")});
        again.waitForFinished(120000);
    }
    return 0;
}
