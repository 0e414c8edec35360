// pindle-server under load on this machine: the time it adds before the first streamed byte, how
// many streams it holds at once and the memory each costs, and how fast it signs people in.

#include "FakeBackend.h"
#include "ServerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

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

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void timeToFirstByte(FakeBackend &provider, ServerProcess &server, const QString &token) {
    QNetworkAccessManager network;
    std::vector<double> direct, proxied;
    for (int i = 0; i < 30; ++i) {
        Reply stall = Reply::stream({{firstChunk}});
        stall.stall = true;
        provider.enqueue(stall);
        QNetworkRequest toProvider(QUrl(provider.url().toString() + "/v1/chat/completions"));
        toProvider.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        direct.push_back(firstByte(network, toProvider));

        provider.enqueue(stall);
        QNetworkRequest toServer(QUrl(server.url().toString() + "/api/chat"));
        toServer.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        toServer.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        proxied.push_back(firstByte(network, toServer));
    }
    std::printf("time to first byte:     %.2f ms direct from the provider, %.2f ms through "
                "pindle-server: %.2f ms added (median of 30)\n",
                median(direct), median(proxied), median(proxied) - median(direct));
}

void concurrentStreams(FakeBackend &provider, ServerProcess &server, const QString &token,
                       int count) {
    for (int i = 0; i < count; ++i) {
        Reply stall = Reply::stream({{firstChunk}});
        stall.stall = true;
        provider.enqueue(stall);
    }
    const qint64 idle = residentKiB(server.processId());
    const QByteArray body = chatBody();
    const QByteArray request =
        "POST /api/chat HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token.toUtf8() +
        "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\n\r\n" + body;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    int streaming = 0;
    QElapsedTimer timer;
    timer.start();
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
        raw->connectToHost(QHostAddress::LocalHost, server.url().port());
        sockets.push_back(std::move(socket));
        if (i % 50 == 49)
            QCoreApplication::processEvents();
    }
    [[maybe_unused]] const bool all = QTest::qWaitFor([&] { return streaming == count; }, 60000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 busy = residentKiB(server.processId());
    std::printf("concurrent streams:     %d of %d open and streaming after %.1f s; server memory "
                "%.1f MiB idle, %.1f MiB with them: %.1f KiB per stream\n",
                streaming, count, seconds, idle / 1024.0, busy / 1024.0,
                double(busy - idle) / std::max(streaming, 1));
    sockets.clear();
}

void signInThroughput(ServerProcess &server) {
    QNetworkAccessManager network; // up to six connections at once
    const QByteArray login = R"({"email":"bench@example.org","password":"correct horse"})";
    constexpr int total = 24;
    int finished = 0;
    std::vector<std::unique_ptr<QNetworkReply>> replies;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < total; ++i) {
        QNetworkRequest request(QUrl(server.url().toString() + "/api/auth/login"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        replies.emplace_back(network.post(request, login));
        QObject::connect(replies.back().get(), &QNetworkReply::finished, [&] { ++finished; });
    }
    [[maybe_unused]] const bool done = QTest::qWaitFor([&] { return finished == total; }, 120000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("sign-in:                %d sign-ins in %.2f s: %.1f per second (Argon2id, two "
                "hashes at a time, six clients)\n",
                total, seconds, total / seconds);
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    const int streams = argc > 1 ? std::atoi(argv[1]) : 1000;

    FakeBackend provider;
    ServerProcess server(QJsonObject{{"provider_url", QString(provider.url().toString() + "/v1")},
                                     {"worker_threads", 4}});
    if (!server.running()) {
        std::fprintf(stderr, "pindle-server did not start:\n%s\n", server.log().constData());
        return 1;
    }
    const QString token = server.signedInUser("bench@example.org", 1'000'000'000);
    timeToFirstByte(provider, server, token);
    concurrentStreams(provider, server, token, streams);
    signInThroughput(server);
    return 0;
}
