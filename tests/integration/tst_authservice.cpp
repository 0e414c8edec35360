// Sign-in, verification and sign-out against the fake backend: the bytes sent, every reply the
// backend may give, and what each leaves behind in memory and in the keychain; the token store
// under them, over a keychain in memory (caching, decoding, loads overtaken by changes); and the
// sign-in window's controller over them.

#include "Await.h"
#include "ConversationRig.h"
#include "models/LoginController.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

const QJsonObject ada{{"id", "17"},
                      {"email", "ada@example.org"},
                      {"name", "Ada"},
                      {"subscriptionStatus", "active"},
                      {"subscriptionEnd", "2027-01-01"}};

// How a sign-in or a verification ends: the user's id, or the kind and message of its failure.
QString outcome(QCoro::Task<AuthService::UserInfo> task) {
    return outcomeOf<AuthService::AuthError>(
        "refused", [&]() -> QString { return "user " + await(std::move(task)).id; });
}

} // namespace

class AuthServiceTest : public QObject {
    Q_OBJECT

private:
    std::optional<ClientRig> m_rig;

private Q_SLOTS:
    void init() { m_rig.emplace(); }
    void cleanup() { m_rig.reset(); }

    // Through the sign-in window: what it lets the user send, what it shows, and what the
    // service sends and keeps.
    void signInAndOut() {
        AuthService &auth = m_rig->auth;
        LoginController login(auth, m_rig->config);
        QSignalSpy signedIn(&login, &LoginController::signedIn);
        QVERIFY(!login.canSignIn());
        login.signIn(); // nothing to send yet
        login.setEmail(" Ada@Example.org");
        QVERIFY(!login.canSignIn());
        login.signIn();
        QVERIFY(m_rig->backend.requests().isEmpty());

        // A refusal shows the service's words; the next attempt clears them before it is sent.
        login.setPassword("wrong");
        QVERIFY(login.canSignIn());
        m_rig->backend.enqueue(Reply::json(401, {{"error", "Invalid email or password"}}));
        login.signIn();
        QVERIFY(login.isLoading() && !login.canSignIn());
        QTRY_VERIFY(!login.isLoading());
        QCOMPARE(login.errorMessage(), "Invalid email or password");
        QCOMPARE(signedIn.count(), 0);

        Reply slow = Reply::json(200, {{"token", "tök-9"}, {"user", ada}});
        slow.parts.first().delay = 200ms;
        m_rig->backend.enqueue(slow);
        login.setPassword("p\"w d");
        login.signIn();
        QVERIFY(login.errorMessage().isEmpty());
        QVERIFY(signedIn.wait());
        QVERIFY(!login.isLoading());
        const FakeBackend::Request &request = m_rig->backend.requests().last();
        QCOMPARE(request.method + ' ' + request.target, "POST /api/auth/login");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.headerCount("Authorization"), 0);
        // Exactly two members, as typed: no trimming, no lower-casing.
        QCOMPARE(request.json(),
                 (QJsonObject{{"email", " Ada@Example.org"}, {"password", "p\"w d"}}));
        QCOMPARE(m_rig->secrets.items.value(FakeSecretStore::token),
                 QByteArray("t\xc3\xb6k-9")); // UTF-8
        QCOMPARE(await(auth.getToken()), QStringLiteral("tök-9"));
        QCOMPARE(auth.cachedUser(),
                 (AuthService::UserInfo{"17", "ada@example.org", "Ada", "active", "2027-01-01"}));
        QCOMPARE(login.signUpText(), "Sign up at " + m_rig->config.webDomain());
        QCOMPARE(login.signUpUrl().path(), QStringLiteral("/signup"));

        // Signing out ends the session on the backend too, without waiting for it; a refusal
        // there changes nothing here, and twice is harmless.
        QSignalSpy received(&m_rig->backend, &FakeBackend::received);
        await(auth.logout());
        await(auth.logout());
        QVERIFY(m_rig->secrets.items.isEmpty());
        QCOMPARE(await(auth.getToken()), std::nullopt);
        QCOMPARE(auth.cachedUser(), std::nullopt);
        QVERIFY(!received.isEmpty() || received.wait(10000));
        QCOMPARE(m_rig->backend.requests().size(), 3);
        const FakeBackend::Request &logout = m_rig->backend.requests().last();
        QCOMPARE(logout.method + ' ' + logout.target, "POST /api/auth/logout");
        QCOMPARE(logout.header("Authorization"), QByteArray("Bearer t\xc3\xb6k-9"));

        // Never over plain HTTP to another machine.
        AuthService remote(m_rig->network, m_rig->secrets,
                           BackendConfig(QUrl("http://pindle.example")));
        QVERIFY(outcome(remote.login("a@b.c", "pw"))
                    .startsWith("refused: Refusing to send your sign-in over an unencrypted "
                                "connection"));
    }

    // Sign-ins that fail leave nothing behind.
    void failedSignIns_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        const auto accepted = [](const char *key, const QJsonValue &value) {
            QJsonObject user = ada;
            if (value.isUndefined())
                user.remove(key);
            else
                user.insert(key, value);
            return QJsonDocument(QJsonObject{{"token", "tok"}, {"user", user}}).toJson();
        };
        const auto row = [](const char *name, int status, const QByteArray &body,
                            const QString &expected) {
            QTest::newRow(name) << status << body << expected;
        };
        row("error body", 400, R"({"error":"Wrong password."})", "refused: Wrong password.");
        row("empty error", 401, R"({"error":""})", "refused: ");
        row("HTML page", 500, "<html>oops</html>", "refused: Login failed (HTTP 500)");
        row("error not a string", 429, R"({"error":5})", "refused: Login failed (HTTP 429)");
        const QString notAUser = "decoding: The server's reply does not describe a user.";
        row("no subscriptionStatus", 200, accepted("subscriptionStatus", {}), notAUser);
        row("numeric id", 200, accepted("id", 17), notAUser);
        row("subscriptionEnd a number", 200, accepted("subscriptionEnd", 2027), notAUser);
        row("no token", 200, R"({"user":{}})",
            "decoding: The server's reply has no sign-in token.");
    }
    void failedSignIns() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        m_rig->backend.enqueue(Reply::text(status, body, "application/json"));
        QCOMPARE(outcome(m_rig->auth.login("a@b.c", "pw")), expected);
        QVERIFY(m_rig->secrets.items.isEmpty());
        QCOMPARE(await(m_rig->auth.getToken()), std::nullopt);
    }

    // The balance is an extra the record may carry: read when it is a whole number, and never a
    // reason to refuse the record.
    void tokenBalance_data() {
        QTest::addColumn<QByteArray>("balance"); // as written in the record; empty: absent
        QTest::addColumn<std::optional<qint64>>("read");
        const auto row = [](const char *name, const QByteArray &balance,
                            std::optional<qint64> read) { QTest::newRow(name) << balance << read; };
        row("integer", "12345", 12345);
        row("zero", "0", 0);
        row("beyond 32 bits", "5000000000", 5000000000);
        row("whole, in exponent form", "1.2e4", 12000);
        row("below zero is none left", "-40", 0);
        row("absent", "", std::nullopt);
        row("null", "null", std::nullopt);
        row("string", "\"12345\"", std::nullopt);
        row("fraction", "12.5", std::nullopt);
        row("too large for 64 bits", "1e300", std::nullopt);
        row("object", "{\"tokens\":5}", std::nullopt);
    }
    void tokenBalance() {
        QFETCH(QByteArray, balance);
        QFETCH(std::optional<qint64>, read);
        QByteArray record = QJsonDocument(ada).toJson(QJsonDocument::Compact);
        if (!balance.isEmpty())
            record.replace("{", QByteArray("{\"tokenBalance\":" + balance + ','));
        // Both ways a record arrives: the session check and the sign-in.
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok-1");
        m_rig->backend.enqueue(Reply::text(200, record, "application/json"));
        m_rig->backend.enqueue(
            Reply::text(200, R"({"token":"tok-2","user":)" + record + '}', "application/json"));
        const AuthService::UserInfo expected{"17",     "ada@example.org", "Ada",
                                             "active", "2027-01-01",      read};
        QCOMPARE(outcome(m_rig->auth.verifyToken()), "user 17");
        QCOMPARE(m_rig->auth.cachedUser(), expected);
        QCOMPARE(outcome(m_rig->auth.login("a@b.c", "pw")), "user 17");
        QCOMPARE(m_rig->auth.cachedUser(), expected);
    }

    // The session check at start, by the service and through the sign-in window.
    void verification() {
        AuthService &auth = m_rig->auth;
        LoginController login(auth, m_rig->config);
        QSignalSpy signedIn(&login, &LoginController::signedIn);
        // Signed out: nothing is sent, and the window stays silent.
        QCOMPARE(outcome(auth.verifyToken()), "refused: Not logged in");
        login.checkExistingSession();
        QCOMPARE(await(auth.getToken()), std::nullopt); // read after the check's own
        QVERIFY(m_rig->backend.requests().isEmpty());

        m_rig->secrets.items.insert(FakeSecretStore::token, "tok-1");
        QJsonObject noEnd = ada;
        noEnd.insert("subscriptionEnd", QJsonValue::Null);
        m_rig->backend.enqueue(Reply::json(200, noEnd));
        login.checkExistingSession();
        QVERIFY(signedIn.wait());
        QCOMPARE(signedIn.count(), 1);
        QVERIFY(login.errorMessage().isEmpty());
        QCOMPARE(auth.cachedUser(),
                 (AuthService::UserInfo{"17", "ada@example.org", "Ada", "active", std::nullopt}));
        const FakeBackend::Request &request = m_rig->backend.requests().first();
        QCOMPARE(request.method + ' ' + request.target, "GET /api/auth/me");
        QCOMPARE(request.header("Authorization"), "Bearer tok-1");
        QVERIFY(request.body.isEmpty());

        // Temporary failures keep the token, and so does a server out of reach.
        for (const int status : {403, 500}) {
            m_rig->backend.enqueue(Reply::text(status, "no"));
            QCOMPARE(outcome(auth.verifyToken()),
                     QStringLiteral("refused: Verification failed (HTTP %1)").arg(status));
        }
        AuthService offline(m_rig->network, m_rig->secrets, BackendConfig(FakeBackend().url()));
        QCOMPARE(outcome(offline.verifyToken()), "network: Connection refused");
        QCOMPARE(await(offline.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(m_rig->secrets.items.value(FakeSecretStore::token), QByteArray("tok-1"));

        // A rejected token signs out here.
        m_rig->backend.enqueue(Reply::text(401, "expired"));
        QCOMPARE(outcome(auth.verifyToken()), "refused: Session expired. Please log in again.");
        QVERIFY(m_rig->secrets.items.isEmpty());
        QCOMPARE(auth.cachedUser(), std::nullopt);
        QCOMPARE(await(auth.getToken()), std::nullopt);
    }

    // Signed out, the keychain is asked each time; a token found there is kept, even when it is
    // removed behind this process's back. Bytes that are not UTF-8 are no token.
    void storedToken_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<std::optional<QString>>("token");
        QTest::newRow("text") << QByteArray("abc.def") << std::optional<QString>("abc.def");
        QTest::newRow("UTF-8") << QByteArray("t\xc3\xb6k") << std::optional<QString>("tök");
        QTest::newRow("empty token is a token") << QByteArray("") << std::optional<QString>("");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\xfd") << std::optional<QString>();
        QTest::newRow("cut inside a character") << QByteArray("t\xc3") << std::optional<QString>();
    }
    void storedToken() {
        QFETCH(QByteArray, stored);
        QFETCH(std::optional<QString>, token);
        QCOMPARE(await(m_rig->auth.getToken()), std::nullopt);
        QCOMPARE(await(m_rig->auth.getToken()), std::nullopt);
        m_rig->secrets.items.insert(FakeSecretStore::token, stored);
        QCOMPARE(await(m_rig->auth.getToken()), token);
        m_rig->secrets.items.clear();
        QCOMPARE(await(m_rig->auth.getToken()), token);
        QCOMPARE(m_rig->secrets.reads, token ? 3 : 4);
    }

    // A load still reading the keychain when the user signs in or out gives what they did.
    void loadOvertaken_data() {
        QTest::addColumn<std::optional<QString>>("now");
        QTest::newRow("by a sign-in") << std::optional<QString>("new");
        QTest::newRow("by a sign-out") << std::optional<QString>();
    }
    void loadOvertaken() {
        QFETCH(std::optional<QString>, now);
        m_rig->secrets.latency = 50ms;
        m_rig->secrets.items.insert(FakeSecretStore::token, "old");
        TokenStore tokens(m_rig->secrets);
        auto load = tokens.getToken(); // reads "old" from the keychain, slowly
        tokens.setCachedToken(now);
        auto change = now ? tokens.saveTokenToKeychain(*now) : tokens.deleteTokenFromKeychain();
        QCOMPARE(await(std::move(load)), now);
        await(std::move(change));
        QCOMPARE(tokens.cachedToken(), now);
        QCOMPARE(await(tokens.getToken()), now);

        // The application closing while the keychain is read: the read ends in an error and the
        // store, gone, is not touched (the sanitizers watch).
        auto closing = std::make_unique<TokenStore>(m_rig->secrets);
        load = closing->getToken();
        closing.reset();
        QCOMPARE(failureOf<PindleError>(std::move(load)),
                 "Pindle closed while reading the keychain.");
    }

    // A sign-in or verification answered after the user signed out does not sign them back in.
    void signOutDuringARequestWins_data() {
        QTest::addColumn<bool>("signingIn");
        QTest::newRow("verification") << false;
        QTest::newRow("sign-in") << true;
    }
    void signOutDuringARequestWins() {
        QFETCH(bool, signingIn);
        if (!signingIn)
            m_rig->secrets.items.insert(FakeSecretStore::token, "tok-1");
        Reply slow =
            Reply::json(200, signingIn ? QJsonObject{{"token", "tok-2"}, {"user", ada}} : ada);
        slow.parts.first().delay = 200ms;
        m_rig->backend.enqueue(slow);
        auto request = signingIn ? m_rig->auth.login("a@b.c", "pw") : m_rig->auth.verifyToken();
        QTRY_COMPARE(m_rig->backend.requests().size(), 1);
        await(m_rig->auth.logout());
        QCOMPARE(outcome(std::move(request)),
                 signingIn ? "refused: Signed out while signing in."
                           : "refused: Signed out while the session was being checked.");
        QCOMPARE(await(m_rig->auth.getToken()), std::nullopt);
        QCOMPARE(m_rig->auth.cachedUser(), std::nullopt);
        QVERIFY(m_rig->secrets.items.isEmpty());
    }
};

QTEST_GUILESS_MAIN(AuthServiceTest)
#include "tst_authservice.moc"
