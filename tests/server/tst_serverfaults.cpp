// pindle-server under bad luck: killed with answers in flight, stopped in the middle of a burst,
// its disk full, its PostgreSQL gone for a while. After each, every account's books balance:
// what it was given equals its balance plus what it was charged plus what is still set aside,
// and nothing stays set aside past its expiry.

#include "FakeBackend.h"
#include "OpenStore.h"
#include "ServerProcess.h"
#include "TestPostgres.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <sys/mount.h>

using namespace std::chrono_literals;
using namespace pindle;
using Reply = FakeBackend::Reply;

namespace {

constexpr qint64 granted = 1'000'000;

QByteArray chunk(const char *text) {
    return QByteArray("data: {\"choices\":[{\"delta\":{\"content\":\"") + text + "\"}}]}\n\n";
}

const QByteArray finished = "data: {\"choices\":[{\"delta\":{},\"finish_reason\":\"stop\"}],"
                            "\"usage\":{\"total_tokens\":42}}\n\ndata: [DONE]\n\n";

// A chat on a socket of its own, sent raw so that an unanswered request shows as one.
class RawChat {
public:
    RawChat(quint16 port, const QString &token) {
        const QByteArray body =
            R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user","content":"Hi"}],)"
            R"("stream":true,"temperature":0.1,"max_tokens":500})";
        const QByteArray request = "POST /api/chat HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: "
                                   "Bearer " +
                                   token.toUtf8() +
                                   "\r\nContent-Type: application/json\r\nContent-Length: " +
                                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QObject::connect(&m_socket, &QTcpSocket::connected,
                         [this, request] { m_socket.write(request); });
        QObject::connect(&m_socket, &QTcpSocket::readyRead,
                         [this] { m_received += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    [[nodiscard]] bool streaming() const { return m_received.contains("data: "); }
    [[nodiscard]] bool answered() const { return m_received.startsWith("HTTP/1.1 "); }
    // A stream that ended as the protocol says, or a refusal in JSON.
    [[nodiscard]] bool endedProperly() const {
        if (m_received.startsWith("HTTP/1.1 200"))
            return m_received.contains("data: [DONE]") && m_received.endsWith("0\r\n\r\n");
        return m_received.startsWith("HTTP/1.1 503") && m_received.contains("{\"error\":");
    }
    void readRest() { m_received += m_socket.readAll(); }
    [[nodiscard]] const QByteArray &received() const { return m_received; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

} // namespace

class ServerFaultsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider; // a new one for each test: none inherits replies
    QTemporaryDir m_dir;
    QString m_database;
    int m_databases = 0;

    [[nodiscard]] QJsonObject settings() const {
        QJsonObject settings = ServerProcess::forwardingTo(m_provider->url());
        settings.insert("database", m_database);
        settings.insert("journal_directory", m_dir.filePath("journal"));
        settings.insert("reservation_seconds", 10);
        settings.insert("max_connections_per_address", 1000);
        return settings;
    }

    // The account's books, read straight from the store.
    [[nodiscard]] AccountBooks books() const {
        const auto store = openStore(m_database.toStdString());
        return store->books().at(0);
    }

    void checkBalanced(const char *when) const {
        const AccountBooks now = books();
        QVERIFY2(now.balance + now.charged + now.reserved == granted,
                 qPrintable(QString("%1: balance %2 + charged %3 + set aside %4 != %5")
                                .arg(when)
                                .arg(now.balance)
                                .arg(now.charged)
                                .arg(now.reserved)
                                .arg(granted)));
        QCOMPARE(now.overdue, 0);
    }

    std::vector<std::unique_ptr<RawChat>> openChats(ServerProcess &server, const QString &token,
                                                    int count) {
        std::vector<std::unique_ptr<RawChat>> chats;
        for (int i = 0; i < count; ++i)
            chats.push_back(std::make_unique<RawChat>(server.url().port(), token));
        return chats;
    }

    static int streamingCount(const std::vector<std::unique_ptr<RawChat>> &chats) {
        return int(
            std::count_if(chats.begin(), chats.end(), [](auto &c) { return c->streaming(); }));
    }

    void enqueue(int count, bool stall, std::chrono::milliseconds end = 0ms) {
        for (int i = 0; i < count; ++i) {
            Reply reply = Reply::stream({{chunk("Hi")}, {chunk("there")}});
            if (stall)
                reply.stall = true;
            else
                reply.parts.append({finished, end});
            m_provider->enqueue(reply);
        }
    }

private Q_SLOTS:
    void initTestCase_data() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgresql") << "postgresql";
    }

    void init() {
        QFETCH_GLOBAL(QString, backend);
        m_provider = std::make_unique<FakeBackend>();
        QDir(m_dir.filePath("journal")).removeRecursively();
        if (backend == "sqlite") {
            m_database = m_dir.filePath(QString("pindle-%1.db").arg(++m_databases));
            return;
        }
        PINDLE_TEST_POSTGRES(postgres);
        m_database = postgres;
    }

    // Answers cut off by kill -9 stay set aside, then are released by the next server, charging
    // what had been streamed by the last renewal.
    void killedWithAnswersInFlight() {
        QFETCH_GLOBAL(QString, backend);
        enqueue(40, true);
        {
            ServerProcess server(settings());
            const QString token = server.signedInUser("k@example.org", granted);
            const auto chats = openChats(server, token, 40);
            QTRY_VERIFY2_WITH_TIMEOUT(streamingCount(chats) == 40, chats[0]->received(), 20000);
            QTest::qWait(3000); // a renewal records what each has streamed
            server.kill();
        }
        QVERIFY(books().reserved > 0);
        checkBalanced("after kill -9");

        ServerProcess restarted(settings());
        QVERIFY(restarted.running());
        // SQLite: released at start. PostgreSQL: once they expire, by whichever server sweeps.
        QTRY_COMPARE_WITH_TIMEOUT(books().reserved, 0, backend == "sqlite" ? 5000 : 30000);
        QVERIFY(books().charged > 0); // what was streamed
        checkBalanced("after the restart");
        QVERIFY(restarted.stop());
    }

    // Every request the server accepted is answered, streams end properly, and every
    // reservation is settled before the process ends.
    void stoppedDuringABurst() {
        enqueue(300, true);
        ServerProcess server(settings());
        const QString token = server.signedInUser("b@example.org", granted);
        const auto chats = openChats(server, token, 300);
        QTRY_VERIFY2_WITH_TIMEOUT(streamingCount(chats) >= 50, chats[0]->received(), 20000);
        QTest::qWait(300); // long enough for the rest to be accepted
        QVERIFY2(server.stop(), server.log().constData());
        QTest::qWait(200);
        int unanswered = 0, improper = 0;
        for (const auto &chat : chats) {
            chat->readRest();
            unanswered += chat->answered() ? 0 : 1;
            improper += chat->answered() && !chat->endedProperly() ? 1 : 0;
        }
        QCOMPARE(unanswered, 0);
        QCOMPARE(improper, 0);
        QCOMPARE(books().reserved, 0);
        checkBalanced("after SIGTERM");
    }

    // Charges the store cannot take wait, and are applied once it is back.
    void storeAwayForAWhile() {
        QFETCH_GLOBAL(QString, backend);
        const QString mount = m_dir.filePath("small-disk");
        const QString filler = mount + "/filler";
        if (backend == "sqlite") {
            // A small disk of its own for the database, filled up while answers finish.
            QDir().mkpath(mount);
            if (::mount("tmpfs", mount.toLocal8Bit(), "tmpfs", 0, "size=16m") != 0) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL("cannot mount a tmpfs: the fault suite runs as root in CI");
                QSKIP("mounting a tmpfs needs root");
            }
            m_database = mount + "/pindle.db";
        } else if (qEnvironmentVariable("PINDLE_TEST_POSTGRES_CTL").isEmpty()) {
            QSKIP("no way to stop this PostgreSQL");
        }
        const auto unmount = qScopeGuard([&] {
            if (backend == "sqlite")
                ::umount2(mount.toLocal8Bit(), MNT_DETACH);
        });

        enqueue(30, false, 1500ms);
        ServerProcess server(settings());
        const QString token = server.signedInUser("f@example.org", granted);
        const auto chats = openChats(server, token, 30);
        QTRY_VERIFY2_WITH_TIMEOUT(streamingCount(chats) == 30, chats[0]->received(), 20000);
        if (backend == "sqlite") {
            QProcess::execute("dd", {"if=/dev/zero", "of=" + filler, "bs=64k", "status=none"});
        } else {
            QCOMPARE(QProcess::execute(qEnvironmentVariable("PINDLE_TEST_POSTGRES_CTL"),
                                       {"stop", "-m", "fast"}),
                     0);
        }
        QTest::qWait(2500); // the answers end while the store is away
        if (backend == "sqlite")
            QFile::remove(filler);
        else
            QCOMPARE(QProcess::execute(qEnvironmentVariable("PINDLE_TEST_POSTGRES_CTL"), {"start"}),
                     0);
        QTRY_VERIFY2_WITH_TIMEOUT(books().reserved == 0, server.log().constData(), 15000);
        QCOMPARE(books().charged, 30 * 42);
        checkBalanced("after the store came back");
        QVERIFY(server.log().contains("charges wait until the database is back"));
        QVERIFY2(server.stop(), server.log().constData());
    }
};

QTEST_GUILESS_MAIN(ServerFaultsTest)
#include "tst_serverfaults.moc"
