// Sign-in, verification and sign-out against the fake backend: the bytes sent, every reply the
// backend may give, and what each leaves behind in memory and in the keychain.

#include "Await.h"
#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "services/AuthService.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>

using Reply = FakeBackend::Reply;
using AuthError = AuthService::AuthError;

namespace {

const FakeSecretStore::Key item{"com.pindle.app", "pindle_auth_token"};

const QJsonObject ada{{"id", "17"},
                      {"email", "ada@example.org"},
                      {"name", "Ada"},
                      {"subscriptionStatus", "active"},
                      {"subscriptionEnd", "2027-01-01"}};

} // namespace

class AuthServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_backend;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<FakeSecretStore> m_secrets;
    std::unique_ptr<AuthService> m_auth;

private Q_SLOTS:
    void init() {
        m_backend = std::make_unique<FakeBackend>();
        m_network = std::make_unique<QNetworkAccessManager>();
        m_secrets = std::make_unique<FakeSecretStore>();
        m_auth =
            std::make_unique<AuthService>(*m_network, *m_secrets, BackendConfig(m_backend->url()));
    }

    void cleanup() {
        m_auth.reset();
        m_backend.reset();
    }

    void signInSendsCredentialsAndKeepsTheToken() {
        m_backend->enqueue(Reply::json(200, {{"token", "tok-9"}, {"user", ada}}));
        const AuthService::UserInfo user = await(m_auth->login(" Ada@Example.org", "p\"w d"));
        QCOMPARE(user.id, QStringLiteral("17"));
        QCOMPARE(user.subscriptionEnd, QStringLiteral("2027-01-01"));

        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/api/auth/login");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.headerCount("Authorization"), 0);
        // Exactly two members, unchanged: no trimming, no lower-casing.
        QCOMPARE(request.json(),
                 (QJsonObject{{"email", " Ada@Example.org"}, {"password", "p\"w d"}}));

        QCOMPARE(m_secrets->items.value(item), QByteArray("tok-9"));
        QCOMPARE(await(m_auth->getToken()), QStringLiteral("tok-9"));
        QCOMPARE(m_auth->cachedUser(), user);
    }

    void refusedSignIns_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("error body")
            << 400 << QByteArray(R"({"error":"Wrong password."})") << "Wrong password.";
        QTest::newRow("empty error") << 401 << QByteArray(R"({"error":""})") << "";
        QTest::newRow("HTML page")
            << 500 << QByteArray("<html>oops</html>") << "Login failed (HTTP 500)";
        QTest::newRow("error not a string")
            << 429 << QByteArray(R"({"error":5})") << "Login failed (HTTP 429)";
    }

    void refusedSignIns() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        m_backend->enqueue(Reply::text(status, body, "application/json"));
        QCOMPARE(failureOf<AuthError>(m_auth->login("a@b.c", "pw")), message);
        QVERIFY(m_secrets->items.isEmpty());
    }

    void signInRepliesThatDoNotDecode_data() {
        QTest::addColumn<QJsonObject>("user");
        QJsonObject noStatus = ada;
        noStatus.remove("subscriptionStatus");
        QJsonObject numericId = ada;
        numericId.insert("id", 17);
        QJsonObject endNotText = ada;
        endNotText.insert("subscriptionEnd", 2027);
        QTest::newRow("no subscriptionStatus") << noStatus;
        QTest::newRow("numeric id") << numericId;
        QTest::newRow("subscriptionEnd a number") << endNotText;
    }

    void signInRepliesThatDoNotDecode() {
        QFETCH(QJsonObject, user);
        m_backend->enqueue(Reply::json(200, {{"token", "tok"}, {"user", user}}));
        QVERIFY(!failureOf<DecodingError>(m_auth->login("a@b.c", "pw")).isEmpty());
        QVERIFY(m_secrets->items.isEmpty()); // nothing changed
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
    }

    void verification() {
        // Signed out: nothing is sent.
        QCOMPARE(failureOf<AuthError>(m_auth->verifyToken()), QStringLiteral("Not logged in"));
        QVERIFY(m_backend->requests().isEmpty());

        m_secrets->items.insert(item, "tok-1");
        QJsonObject noEnd = ada;
        noEnd.insert("subscriptionEnd", QJsonValue::Null);
        m_backend->enqueue(Reply::json(200, noEnd));
        const AuthService::UserInfo user = await(m_auth->verifyToken());
        QCOMPARE(user.subscriptionEnd, std::nullopt);
        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "GET");
        QCOMPARE(request.target, "/api/auth/me");
        QCOMPARE(request.header("Authorization"), "Bearer tok-1");
        QVERIFY(request.body.isEmpty());

        // Temporary failures keep the token.
        for (const int status : {403, 500}) {
            m_backend->enqueue(Reply::text(status, "no"));
            QCOMPARE(failureOf<AuthError>(m_auth->verifyToken()),
                     QStringLiteral("Verification failed (HTTP %1)").arg(status));
        }
        QCOMPARE(m_secrets->items.value(item), QByteArray("tok-1"));

        // A rejected token signs out here.
        m_backend->enqueue(Reply::text(401, "expired"));
        QCOMPARE(failureOf<AuthError>(m_auth->verifyToken()),
                 QStringLiteral("Session expired. Please log in again."));
        QVERIFY(m_secrets->items.isEmpty());
        QCOMPARE(m_auth->cachedUser(), std::nullopt);
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
    }

    void verificationWithoutNetworkKeepsEverything() {
        m_secrets->items.insert(item, "tok-1");
        m_backend->enqueue(Reply::json(200, ada));
        await(m_auth->verifyToken());

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        QUrl gone = m_backend->url();
        gone.setPort(closed.serverPort());
        closed.close();
        AuthService offline(*m_network, *m_secrets, BackendConfig(gone));
        QCOMPARE(failureOf<NetworkError>(offline.verifyToken()),
                 QStringLiteral("Connection refused"));
        QCOMPARE(m_secrets->items.value(item), QByteArray("tok-1"));
        QCOMPARE(await(offline.getToken()), QStringLiteral("tok-1"));
    }

    void signOutTwiceIsHarmless() {
        m_backend->enqueue(Reply::json(200, {{"token", "tok"}, {"user", ada}}));
        await(m_auth->login("a@b.c", "pw"));
        await(m_auth->logout());
        await(m_auth->logout());
        QVERIFY(m_secrets->items.isEmpty());
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
        QCOMPARE(m_auth->cachedUser(), std::nullopt);
        QCOMPARE(m_backend->requests().size(), 1); // the backend is not told
    }

    void signOutDuringARequestWins() {
        using namespace std::chrono_literals;
        // A verification answered after the user signed out does not sign them back in.
        m_secrets->items.insert(item, "tok-1");
        Reply slowUser = Reply::json(200, ada);
        slowUser.parts.first().delay = 200ms;
        m_backend->enqueue(slowUser);
        auto verification = m_auth->verifyToken();
        QTRY_COMPARE(m_backend->requests().size(), 1);
        await(m_auth->logout());
        QCOMPARE(failureOf<AuthError>(std::move(verification)),
                 QStringLiteral("Signed out while the session was being checked."));
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
        QCOMPARE(m_auth->cachedUser(), std::nullopt);

        // Nor does a sign-in answered after a sign-out.
        Reply slowLogin = Reply::json(200, {{"token", "tok-2"}, {"user", ada}});
        slowLogin.parts.first().delay = 200ms;
        m_backend->enqueue(slowLogin);
        auto login = m_auth->login("a@b.c", "pw");
        QTRY_COMPARE(m_backend->requests().size(), 2);
        await(m_auth->logout());
        QCOMPARE(failureOf<AuthError>(std::move(login)),
                 QStringLiteral("Signed out while signing in."));
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
        QVERIFY(m_secrets->items.isEmpty());
    }

    void passwordsStayOffPlainHttp() {
        AuthService remote(*m_network, *m_secrets, BackendConfig(QUrl("http://pindle.example")));
        QVERIFY(failureOf<AuthError>(remote.login("a@b.c", "pw"))
                    .startsWith("Refusing to send your sign-in over an unencrypted connection"));
    }
};

QTEST_GUILESS_MAIN(AuthServiceTest)
#include "tst_authservice.moc"
