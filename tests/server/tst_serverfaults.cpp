// pindle-server under bad luck: killed with answers in flight, stopped in the middle of a burst
// (and told twice to stop), its store away for a while. After each, the account's books balance:
// what it was given equals its balance plus what it was charged plus what is still set aside, and
// nothing stays set aside past its expiry.

#include "FakeBackend.h"
#include "OpenStore.h"
#include "ServerProcess.h"
#include "TestPostgres.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <sys/mount.h>

#include <csignal>

using namespace std::chrono_literals;
using namespace pindle;
using Reply = FakeBackend::Reply;

namespace {

constexpr qint64 granted = 1'000'000;

QByteArray chunk(const char *text) {
    return QByteArray("data: {\"choices\":[{\"delta\":{\"content\":\"") + text + "\"}}]}\n\n";
}

// A chat on a socket of its own, sent raw so that an unanswered request shows as one.
class RawChat {
public:
    RawChat(quint16 port, const QString &token) {
        const QByteArray body =
            R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user","content":"Hi"}],)"
            R"("stream":true,"temperature":0.1,"max_tokens":500})";
        QObject::connect(&m_socket, &QTcpSocket::readyRead,
                         [this] { m_received += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.write("POST /api/chat HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
                       token.toUtf8() + "\r\nContent-Type: application/json\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
    // The whole request went out, or an answer came already.
    [[nodiscard]] bool sent() const {
        return !m_received.isEmpty() || (m_socket.state() == QAbstractSocket::ConnectedState &&
                                         m_socket.bytesToWrite() == 0);
    }
    [[nodiscard]] bool streaming() const { return m_received.contains("data: "); }
    // A stream that ended as the protocol says, or a refusal in JSON.
    [[nodiscard]] bool endedProperly() const {
        if (m_received.startsWith("HTTP/1.1 200"))
            return m_received.contains("data: [DONE]") && m_received.endsWith("0\r\n\r\n");
        return m_received.startsWith("HTTP/1.1 503") && m_received.contains("{\"error\":");
    }
    [[nodiscard]] const QByteArray &received() const { return m_received; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

using Chats = std::vector<std::unique_ptr<RawChat>>;

int countOf(const Chats &chats, bool (RawChat::*state)() const) {
    return int(
        std::count_if(chats.begin(), chats.end(), [&](auto &chat) { return (*chat.*state)(); }));
}

} // namespace

class ServerFaultsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider; // a new one for each test: none inherits replies
    QTemporaryDir m_dir;
    QString m_database;
    QString m_smallDisk; // the SQLite file's own disk, while mounted
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
        return openStore(m_database.toStdString())->books().at(0);
    }

    void checkBalanced(const char *when) const {
        const AccountBooks now = books();
        QVERIFY2(now.balance + now.charged + now.reserved == granted,
                 qPrintable(QString::asprintf("%s: balance %lld + charged %lld + set aside %lld",
                                              when, qlonglong(now.balance), qlonglong(now.charged),
                                              qlonglong(now.reserved))));
        QCOMPARE(now.overdue, 0);
    }

    // Readies the store to be taken away by storeAway(): the SQLite file on a small disk of its
    // own, to be filled up; PostgreSQL, to be stopped. Says why when that cannot be done.
    [[nodiscard]] QString prepareOutage() {
        QFETCH_GLOBAL(QString, backend);
        if (backend == "postgresql")
            return qEnvironmentVariable("PINDLE_TEST_POSTGRES_CTL").isEmpty()
                       ? "no way to stop this PostgreSQL"
                       : QString();
        const QString mount = m_dir.filePath("small-disk");
        QDir().mkpath(mount);
        if (::mount("tmpfs", mount.toLocal8Bit(), "tmpfs", 0, "size=16m") != 0)
            return "mounting a tmpfs needs root";
        m_smallDisk = mount;
        m_database = mount + "/pindle.db";
        return {};
    }

    void storeAway(bool away) {
        if (!m_smallDisk.isEmpty()) {
            const QString filler = m_smallDisk + "/filler";
            if (away)
                QProcess::execute("dd", {"if=/dev/zero", "of=" + filler, "bs=64k", "status=none"});
            else
                QFile::remove(filler);
            return;
        }
        QCOMPARE(QProcess::execute(qEnvironmentVariable("PINDLE_TEST_POSTGRES_CTL"),
                                   away ? QStringList{"stop", "-m", "fast"} : QStringList{"start"}),
                 0);
    }

    // `count` answers from one account, each two events and then stalled, or ended `end` later
    // with a usage report of 42; asked all at once.
    Chats ask(ServerProcess &server, int count, std::optional<std::chrono::milliseconds> end) {
        const QString token = server.signedInUser("a@example.org", granted);
        Chats chats;
        for (int i = 0; i < count; ++i) {
            Reply reply = Reply::stream({{chunk("Hi")}, {chunk("there")}});
            reply.stall = !end;
            if (end)
                reply.parts.append({"data: {\"choices\":[{\"delta\":{},\"finish_reason\":"
                                    "\"stop\"}],\"usage\":{\"total_tokens\":42}}\n\n"
                                    "data: [DONE]\n\n",
                                    *end});
            m_provider->enqueue(reply);
            chats.push_back(std::make_unique<RawChat>(server.url().port(), token));
        }
        return chats;
    }

private Q_SLOTS:
    void initTestCase_data() { addStoreBackends(); }

    void init() {
        m_provider = std::make_unique<FakeBackend>();
        QDir(m_dir.filePath("journal")).removeRecursively();
        PINDLE_TEST_DATABASE(database, m_dir.filePath(QString("pindle-%1.db").arg(++m_databases)));
        m_database = database;
    }

    void cleanup() {
        if (!m_smallDisk.isEmpty())
            ::umount2(m_smallDisk.toLocal8Bit(), MNT_DETACH);
        m_smallDisk.clear();
    }

    // Answers cut off by kill -9 stay set aside, then are released by the next server, charging
    // what had been streamed by the last renewal.
    void killedWithAnswersInFlight() {
        QFETCH_GLOBAL(QString, backend);
        {
            ServerProcess server(settings());
            const Chats chats = ask(server, 40, {});
            QTRY_VERIFY2_WITH_TIMEOUT(countOf(chats, &RawChat::streaming) == 40,
                                      chats[0]->received(), 20000);
            QTest::qWait(6000); // renewals (every 2.5 s) record what each has streamed
            server.kill();
        }
        QVERIFY(books().reserved > 0);
        checkBalanced("after kill -9");

        ServerProcess restarted(settings());
        QVERIFY(restarted.running());
        // SQLite: released at start. PostgreSQL: once they expire, by whichever server sweeps.
        if (backend == "sqlite")
            QTRY_VERIFY(restarted.log().contains("the previous server left open"));
        QTRY_COMPARE_WITH_TIMEOUT(books().reserved, 0, 30000);
        QVERIFY(books().charged > 0); // what was streamed
        checkBalanced("after the restart");
        QVERIFY(restarted.stop());
    }

    // Every request the server accepted is answered, streams end properly, and every
    // reservation is settled before the process ends.
    void stoppedDuringABurst() {
        ServerProcess server(settings());
        const Chats chats = ask(server, 300, {});
        QTRY_VERIFY2_WITH_TIMEOUT(countOf(chats, &RawChat::streaming) >= 50, chats[0]->received(),
                                  20000);
        QTRY_COMPARE_WITH_TIMEOUT(countOf(chats, &RawChat::sent), 300, 20000);
        QVERIFY2(server.stop(), server.log().constData());
        QTRY_COMPARE_WITH_TIMEOUT(countOf(chats, &RawChat::endedProperly), 300, 20000);
        QCOMPARE(books().reserved, 0);
        checkBalanced("after SIGTERM");
    }

    // Charges the store cannot take wait, and are applied once it is back.
    void storeAwayForAWhile() {
        if (const QString why = prepareOutage(); !why.isEmpty())
            PINDLE_SKIP_OUTSIDE_CI(qPrintable(why));
        ServerProcess server(settings());
        const Chats chats = ask(server, 30, 1500ms);
        QTRY_VERIFY2_WITH_TIMEOUT(countOf(chats, &RawChat::streaming) == 30, chats[0]->received(),
                                  20000);
        storeAway(true);
        // The answers end while the store is away.
        QTRY_COMPARE_WITH_TIMEOUT(countOf(chats, &RawChat::endedProperly), 30, 20000);
        QTRY_VERIFY2_WITH_TIMEOUT(server.log().contains("charges wait until the database is back"),
                                  server.log().constData(), 20000);
        storeAway(false);
        QTRY_VERIFY2_WITH_TIMEOUT(books().reserved == 0, server.log().constData(), 20000);
        QCOMPARE(books().charged, 30 * 42);
        checkBalanced("after the store came back");
        QVERIFY2(server.stop(), server.log().constData());
    }

    // Told again to stop while it waits for the store, the server ends at once, cutting the
    // streams; the charges it held are in the journal, and the next start applies them.
    void stoppedAgainWhileFinishing() {
        if (const QString why = prepareOutage(); !why.isEmpty())
            PINDLE_SKIP_OUTSIDE_CI(qPrintable(why));
        ServerProcess server(settings());
        const Chats chats = ask(server, 30, {});
        QTRY_VERIFY2_WITH_TIMEOUT(countOf(chats, &RawChat::streaming) == 30, chats[0]->received(),
                                  20000);
        storeAway(true); // so finishing would wait for it
        ::kill(pid_t(server.processId()), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(server.log().contains("stopping: finishing"), 10000);
        ::kill(pid_t(server.processId()), SIGTERM);
        // A drain that ran its course would end with 0, and only once the store was back.
        QCOMPARE(server.waitForExit(30000), 128 + SIGTERM);
        QVERIFY2(server.log().contains(" journaled in "), server.log().constData());
        storeAway(false);
        QVERIFY(books().reserved > 0);

        ServerProcess restarted(settings());
        QVERIFY2(restarted.running(), restarted.log().constData());
        QCOMPARE(books().reserved, 0); // the journal is applied before the server listens
        QVERIFY(books().charged > 0);
        checkBalanced("after the restart");
        QVERIFY2(restarted.stop(), restarted.log().constData());
    }
};

QTEST_GUILESS_MAIN(ServerFaultsTest)
#include "tst_serverfaults.moc"
