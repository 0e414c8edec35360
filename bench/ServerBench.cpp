// pindle-server under load on this machine: the time it adds before the first streamed byte, for
// one request at a time and in bursts; how many streams it holds at once and the memory each costs;
// its memory while strangers send oversized bodies; and how fast it signs people in. Runs on
// SQLite, and on PostgreSQL as well when PINDLE_TEST_POSTGRES names one (scripts/with-postgres.sh).
//
//   pindle_bench_server [streams] [--only ttfb,bodies,streams,burst,signin] [--bursts 500,2000]

#include "FakeBackend.h"
#include "ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

QByteArray chatBody() {
    return QJsonDocument(QJsonObject{{"model", "gpt-4.1"},
                                     {"category", "exams"},
                                     {"messages",
                                      QJsonArray{QJsonObject{{"role", "user"}, {"content", "Hi"}}}},
                                     {"stream", true},
                                     {"temperature", 0.1},
                                     {"max_tokens", 100}})
        .toJson(QJsonDocument::Compact);
}

const QByteArray firstChunk = R"(data: {"choices":[{"delta":{"content":"Hi"}}]})"
                              "\n\n";

QByteArray post(const QByteArray &path, const QByteArray &body, const QByteArray &token = {}) {
    QByteArray head = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        head += "Authorization: Bearer " + token + "\r\n";
    return head +
           "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

// Runs the event loop until `done` holds or `timeout` passes. QTest::qWaitFor would do, but it
// sleeps 10 ms between rounds, which left every socket in a burst waiting 20 ms.
bool spinUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds poll = 1ms) {
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeout.count())
            loop.quit();
    });
    check.start(poll);
    if (!done())
        loop.exec();
    return done();
}

void spinFor(std::chrono::milliseconds duration) {
    spinUntil([] { return false; }, duration);
}

// The fake provider serves from a thread of its own, so that thousands of its streams do not
// queue behind the client's sockets; everything that touches it goes through run().
class ProviderThread final {
public:
    ProviderThread() {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([this] {
            m_provider = std::make_unique<FakeBackend>();
            // Qt's default backlog of 50 drops connections in a burst, and a dropped SYN costs a
            // one-second retransmit that would be charged to the server: listen again, wider.
            auto *listener = m_provider->findChild<QTcpServer *>();
            const quint16 port = listener->serverPort();
            listener->close();
            listener->setListenBacklogSize(4096);
            listener->listen(QHostAddress::LocalHost, port);
            m_url = m_provider->url();
        });
    }
    ~ProviderThread() {
        run([this] { m_provider.reset(); });
        m_thread.quit();
        m_thread.wait();
    }

    template <typename Work> void run(Work work) {
        QMetaObject::invokeMethod(&m_anchor, work, Qt::BlockingQueuedConnection);
    }
    [[nodiscard]] QUrl url() const { return m_url; }
    void enqueueStalls(int count) {
        run([this, count] {
            Reply stall = Reply::stream({{firstChunk}});
            stall.stall = true;
            for (int i = 0; i < count; ++i)
                m_provider->enqueue(stall);
        });
    }
    [[nodiscard]] int closed() {
        int closed = 0;
        run([&] { closed = m_provider->closedConnections(); });
        return closed;
    }
    // Waits until the provider has seen `count` more connections close since `before`.
    void awaitClosed(int before, int count) {
        [[maybe_unused]] const bool all =
            spinUntil([&] { return closed() >= before + count; }, 20s, 5ms);
    }

private:
    QThread m_thread;
    QObject m_anchor;
    std::unique_ptr<FakeBackend> m_provider;
    QUrl m_url;
};

// The CPU time a process has used so far, user and system, in milliseconds.
std::pair<double, double> cpuMilliseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    stat.open(QIODevice::ReadOnly);
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    return {fields.value(11).toDouble() * tick, fields.value(12).toDouble() * tick};
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(fraction * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// VmRSS and VmHWM of a process, in KiB.
std::pair<qint64, qint64> memoryKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    qint64 rss = -1, peak = -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ').first().toLongLong();
        else if (line.startsWith("VmHWM:"))
            peak = line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return {rss, peak};
}

struct Bench {
    ProviderThread &provider;
    ServerProcess &server;
    QByteArray token;
    QString email;

    [[nodiscard]] QByteArray serverChat() const { return post("/api/chat", chatBody(), token); }
    [[nodiscard]] static QByteArray directChat() {
        return post("/v1/chat/completions", chatBody());
    }
};

// Milliseconds from sending a streamed request to its first body byte.
double firstByte(QNetworkAccessManager &network, QNetworkRequest request) {
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QNetworkReply> reply(network.post(request, chatBody()));
    QSignalSpy ready(reply.get(), &QIODevice::readyRead);
    ready.wait(10000);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    reply->abort();
    return elapsed;
}

void timeToFirstByte(Bench &bench) {
    constexpr int runs = 50;
    QNetworkAccessManager network;
    std::vector<double> direct, proxied;
    const int closedBefore = bench.provider.closed();
    for (int i = -5; i < runs; ++i) { // the first five warm both paths up and are not counted
        bench.provider.enqueueStalls(2);
        QNetworkRequest toProvider(QUrl(bench.provider.url().toString() + "/v1/chat/completions"));
        toProvider.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        const double fromProvider = firstByte(network, toProvider);

        QNetworkRequest toServer(QUrl(bench.server.url().toString() + "/api/chat"));
        toServer.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        toServer.setRawHeader("Authorization", "Bearer " + bench.token);
        const double throughServer = firstByte(network, toServer);
        if (i >= 0)
            direct.push_back(fromProvider), proxied.push_back(throughServer);
    }
    bench.provider.awaitClosed(closedBefore, 2 * (runs + 5));
    std::printf("time to first byte:     added %.2f ms p50, %.2f ms p99 (one at a time, %d runs; "
                "direct from the provider %.2f / %.2f ms, through pindle-server %.2f / %.2f ms)\n",
                percentile(proxied, 0.5) - percentile(direct, 0.5),
                percentile(proxied, 0.99) - percentile(direct, 0.99), runs, percentile(direct, 0.5),
                percentile(direct, 0.99), percentile(proxied, 0.5), percentile(proxied, 0.99));
}

struct BurstOutcome {
    std::vector<double> firstBytes; // milliseconds from each request's send
    int failed = 0;                 // answered without a stream, or closed
    double spreadSeconds = 0;       // from the first connection to the last request sent
    QByteArray firstFailure;
};

// Starts `count` streamed requests spread evenly over a second (or as fast as this one thread
// manages) and times each from its send to its first "data:" byte.
BurstOutcome burst(quint16 port, const QByteArray &request, int count) {
    struct Stream {
        std::unique_ptr<QTcpSocket> socket;
        qint64 sent = 0;
        QByteArray received;
        bool over = false;
    };
    std::vector<Stream> streams(count);
    BurstOutcome outcome;
    int started = 0, sent = 0, over = 0;
    QElapsedTimer clock;
    clock.start();
    const auto start = [&](int i) {
        Stream &stream = streams[i];
        stream.socket = std::make_unique<QTcpSocket>();
        QTcpSocket *socket = stream.socket.get();
        QObject::connect(socket, &QTcpSocket::connected, socket, [&, socket] {
            stream.sent = clock.nsecsElapsed();
            socket->write(request);
            if (++sent == count)
                outcome.spreadSeconds = stream.sent / 1e9;
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            const QByteArray bytes = socket->readAll();
            if (stream.over)
                return;
            stream.received += bytes;
            if (stream.received.contains("data:")) {
                outcome.firstBytes.push_back((clock.nsecsElapsed() - stream.sent) / 1e6);
                stream.over = true;
                ++over;
            } else if (stream.received.contains("\r\n\r\n") &&
                       !stream.received.startsWith("HTTP/1.1 200")) {
                if (outcome.firstFailure.isEmpty())
                    outcome.firstFailure = stream.received.left(stream.received.indexOf('\r'));
                stream.over = true;
                ++outcome.failed, ++over;
            }
        });
        QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [&, socket] {
            if (stream.over)
                return;
            if (outcome.firstFailure.isEmpty())
                outcome.firstFailure = socket->errorString().toUtf8();
            stream.over = true;
            ++outcome.failed, ++over;
        });
        socket->connectToHost(QHostAddress::LocalHost, port);
    };
    QTimer pacer;
    pacer.setTimerType(Qt::PreciseTimer);
    pacer.setInterval(1);
    QObject::connect(&pacer, &QTimer::timeout, [&] {
        const int due = std::min<qint64>(count, clock.nsecsElapsed() * count / 1'000'000'000 + 1);
        while (started < due)
            start(started++);
        if (started == count)
            pacer.stop();
    });
    pacer.start();
    [[maybe_unused]] const bool all = spinUntil([&] { return over == count; }, 60000ms);
    outcome.failed += count - over;
    for (Stream &stream : streams) {
        if (stream.socket)
            stream.socket->abort();
    }
    return outcome;
}

void bursts(Bench &bench, const std::vector<int> &sizes) {
    std::printf("bursts (each request timed from its send to its first data: byte, client and fake "
                "provider on this machine; added = through pindle-server less direct):\n");
    for (const int count : sizes) {
        int closedBefore = bench.provider.closed();
        bench.provider.enqueueStalls(count);
        const BurstOutcome direct = burst(bench.provider.url().port(), Bench::directChat(), count);
        bench.provider.awaitClosed(closedBefore, count);

        closedBefore = bench.provider.closed();
        bench.provider.enqueueStalls(count);
        const auto [userBefore, systemBefore] = cpuMilliseconds(bench.server.processId());
        const BurstOutcome proxied = burst(bench.server.url().port(), bench.serverChat(), count);
        bench.provider.awaitClosed(closedBefore, int(proxied.firstBytes.size()));
        spinFor(500ms); // let the server settle its closed streams before the next burst
        // Everything a chat costs the server, from its connection to its settlement.
        const auto [userAfter, systemAfter] = cpuMilliseconds(bench.server.processId());

        std::printf("  %5d in 1 s:          added %.1f ms p50, %.1f ms p99; through pindle-server "
                    "%.1f / %.1f ms, %zu of %d streamed, sent within %.2f s\n",
                    count, percentile(proxied.firstBytes, 0.5) - percentile(direct.firstBytes, 0.5),
                    percentile(proxied.firstBytes, 0.99) - percentile(direct.firstBytes, 0.99),
                    percentile(proxied.firstBytes, 0.5), percentile(proxied.firstBytes, 0.99),
                    proxied.firstBytes.size(), count, proxied.spreadSeconds);
        std::printf("                         direct from the provider %.1f / %.1f ms, %zu of %d "
                    "streamed, sent within %.2f s%s%s\n",
                    percentile(direct.firstBytes, 0.5), percentile(direct.firstBytes, 0.99),
                    direct.firstBytes.size(), count, direct.spreadSeconds,
                    proxied.failed ? "; first server failure: " : "",
                    proxied.firstFailure.constData());
        std::printf("                         server CPU %.3f ms per chat (%.3f user, %.3f "
                    "system)\n",
                    (userAfter - userBefore + systemAfter - systemBefore) / count,
                    (userAfter - userBefore) / count, (systemAfter - systemBefore) / count);
    }
}

void concurrentStreams(Bench &bench, int count) {
    const int closedBefore = bench.provider.closed();
    bench.provider.enqueueStalls(count);
    const qint64 idle = memoryKiB(bench.server.processId()).first;
    QElapsedTimer timer;
    timer.start();
    const QByteArray request = bench.serverChat();
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    int streaming = 0;
    for (int i = 0; i < count; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        auto *raw = socket.get();
        QObject::connect(raw, &QTcpSocket::connected, raw,
                         [raw, &request] { raw->write(request); });
        QObject::connect(raw, &QTcpSocket::readyRead, raw, [raw, &streaming] {
            if (raw->property("seen").toBool())
                return raw->readAll(), void();
            if (raw->readAll().contains("data: ")) {
                raw->setProperty("seen", true);
                ++streaming;
            }
        });
        raw->connectToHost(QHostAddress::LocalHost, bench.server.url().port());
        sockets.push_back(std::move(socket));
        if (i % 50 == 49)
            QCoreApplication::processEvents();
    }
    [[maybe_unused]] const bool all = spinUntil([&] { return streaming == count; }, 60000ms);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 busy = memoryKiB(bench.server.processId()).first;
    std::printf("concurrent streams:     %.1f KiB of server memory per open stream (%d of %d open "
                "and streaming after %.1f s; VmRSS %.1f MiB idle, %.1f MiB with them)\n",
                double(busy - idle) / std::max(streaming, 1), streaming, count, seconds,
                idle / 1024.0, busy / 1024.0);
    sockets.clear();
    bench.provider.awaitClosed(closedBefore, streaming);
}

// Strangers each sending a 10 MiB body: the server should refuse them before reading it.
void oversizedBodies(Bench &bench) {
    constexpr int count = 40;
    const QByteArray body(10 * 1024 * 1024, 'x');
    const auto [rssBefore, peakBefore] = memoryKiB(bench.server.processId());
    qint64 sampledPeak = rssBefore;
    QTimer sampler;
    sampler.setInterval(2);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        sampledPeak = std::max(sampledPeak, memoryKiB(bench.server.processId()).first);
    });
    sampler.start();

    std::map<QByteArray, std::map<QByteArray, int>> outcomes; // route -> status -> connections
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    int over = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        const QByteArray route = i % 2 ? "/api/chat" : "/api/auth/login";
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket *raw = socket.get();
        auto answer = std::make_shared<QByteArray>();
        auto done = std::make_shared<bool>(false);
        const auto finish = [&, route, answer, done](const QByteArray &outcome) {
            if (std::exchange(*done, true))
                return;
            ++outcomes[route][outcome];
            ++over;
        };
        QObject::connect(raw, &QTcpSocket::connected, raw, [raw, route, &body] {
            raw->write("POST " + route +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                       "Content-Length: " +
                       QByteArray::number(body.size()) + "\r\n\r\n");
            raw->write(body);
        });
        QObject::connect(raw, &QTcpSocket::readyRead, raw, [raw, answer, finish] {
            *answer += raw->readAll();
            if (answer->contains("\r\n"))
                finish(answer->split(' ').value(1));
        });
        QObject::connect(raw, &QTcpSocket::errorOccurred, raw, [raw, answer, finish] {
            *answer += raw->readAll();
            finish(answer->contains("\r\n") ? answer->split(' ').value(1)
                                            : "reset before its answer was read");
        });
        raw->connectToHost(QHostAddress::LocalHost, bench.server.url().port());
        sockets.push_back(std::move(socket));
    }
    [[maybe_unused]] const bool all = spinUntil([&] { return over == count; }, 60000ms);
    const double seconds = clock.nsecsElapsed() / 1e9;
    spinFor(200ms); // a late rise in memory counts too
    sampler.stop();
    const qint64 peakAfter = memoryKiB(bench.server.processId()).second;
    sockets.clear();

    QByteArray statuses;
    for (const auto &[route, counts] : outcomes) {
        for (const auto &[status, connections] : counts)
            statuses += (statuses.isEmpty() ? "" : ", ") + route + ' ' + status + " x" +
                        QByteArray::number(connections);
    }
    std::printf("oversized bodies:       server VmRSS %.1f MiB before, %.1f MiB at most while %d "
                "strangers sent 10 MiB each; VmHWM %.1f -> %.1f MiB\n",
                rssBefore / 1024.0, sampledPeak / 1024.0, count, peakBefore / 1024.0,
                peakAfter / 1024.0);
    std::printf("                        answers: %s (all in %.2f s)\n", statuses.constData(),
                seconds);
}

void signInThroughput(Bench &bench) {
    QNetworkAccessManager network; // up to six connections at once
    const QByteArray login =
        QJsonDocument(QJsonObject{{"email", bench.email}, {"password", "correct horse"}})
            .toJson(QJsonDocument::Compact);
    constexpr int total = 24;
    int finished = 0, succeeded = 0;
    std::vector<std::unique_ptr<QNetworkReply>> replies;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < total; ++i) {
        QNetworkRequest request(QUrl(bench.server.url().toString() + "/api/auth/login"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        replies.emplace_back(network.post(request, login));
        QNetworkReply *reply = replies.back().get();
        QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
            ++finished;
            succeeded += reply->error() == QNetworkReply::NoError;
        });
    }
    [[maybe_unused]] const bool done = spinUntil([&] { return finished == total; }, 120000ms);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("sign-in:                %.1f sign-ins per second (%d of %d succeeded in %.2f s; "
                "Argon2id, six clients at once)\n",
                succeeded / seconds, succeeded, total, seconds);
}

struct Options {
    int streams = 1000;
    QStringList sections{"ttfb", "bodies", "streams", "burst", "signin"};
    std::vector<int> bursts{500, 2000, 5000};
};

Options parse(const QStringList &arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == u"--only" && i + 1 < arguments.size()) {
            options.sections = arguments[++i].split(u',');
        } else if (argument == u"--bursts" && i + 1 < arguments.size()) {
            options.bursts.clear();
            for (const QString &size : arguments[++i].split(u','))
                options.bursts.push_back(size.toInt());
        } else if (argument.toInt() > 0) {
            options.streams = argument.toInt();
        } else {
            std::fprintf(stderr, "usage: pindle_bench_server [streams] [--only "
                                 "ttfb,bodies,streams,burst,signin] [--bursts 500,2000,5000]\n");
            std::exit(2);
        }
    }
    return options;
}

bool runOn(const QString &store, const QString &database, const Options &options) {
    ProviderThread provider;
    QJsonObject settings{{"provider_url", QString(provider.url().toString() + "/v1")},
                         {"worker_threads", 4},
                         // One client address opens every connection here: lift the caps.
                         {"max_connections", 9000},
                         {"max_connections_per_address", 9000}};
    if (!database.isEmpty())
        settings.insert("database", database);
    ServerProcess server(settings);
    if (!server.running()) {
        std::fprintf(stderr, "pindle-server on %s did not start:\n%s\n", qPrintable(store),
                     server.log().constData());
        return false;
    }
    // A new account each run, so that a database kept from an earlier run serves as well.
    const QString email =
        QStringLiteral("bench-%1@example.org").arg(QDateTime::currentMSecsSinceEpoch());
    Bench bench{provider, server, server.signedInUser(email, 1'000'000'000).toUtf8(), email};
    if (bench.token.isEmpty()) {
        std::fprintf(stderr, "could not sign in on %s:\n%s\n", qPrintable(store),
                     server.log().constData());
        return false;
    }
    // Other work on the machine moves these figures more than anything measured: say how busy.
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    std::printf("--- %s, pindle-server pid %lld, %d cores, load average %s\n", qPrintable(store),
                server.processId(), QThread::idealThreadCount(),
                load.readLine().split(' ').mid(0, 3).join(' ').constData());
    const auto wanted = [&](const char *name) {
        return options.sections.contains(QString::fromLatin1(name));
    };
    if (wanted("ttfb"))
        timeToFirstByte(bench);
    if (wanted("bodies"))
        oversizedBodies(bench);
    if (wanted("streams"))
        concurrentStreams(bench, options.streams);
    if (wanted("burst"))
        bursts(bench, options.bursts);
    if (wanted("signin"))
        signInThroughput(bench);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const Options options = parse(app.arguments());

    bool ok = runOn(QStringLiteral("SQLite"), {}, options);
    const QString postgres = qEnvironmentVariable("PINDLE_TEST_POSTGRES");
    if (postgres.isEmpty())
        std::printf("--- PostgreSQL skipped: run through scripts/with-postgres.sh to measure it\n");
    else
        ok = runOn(QStringLiteral("PostgreSQL"), postgres, options) && ok;
    return ok ? 0 : 1;
}
