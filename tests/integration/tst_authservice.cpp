// Sign-in, verification and sign-out against the fake backend: the bytes sent, every reply the
// backend may give, and what each leaves behind in memory and in the keychain.

#include "Await.h"
#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "services/AuthService.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;
using AuthError = AuthService::AuthError;

namespace {

const FakeSecretStore::Key item{"com.pindle.app", "pindle_auth_token"};

const QJsonObject ada{{"id", "17"},
                      {"email", "ada@example.org"},
                      {"name", "Ada"},
                      {"subscriptionStatus", "active"},
                      {"subscriptionEnd", "2027-01-01"}};

// How a sign-in or a verification ends: the user's id, or the kind and message of its failure.
QString outcome(QCoro::Task<AuthService::UserInfo> task) {
    try {
        return "user " + await(std::move(task)).id;
    } catch (const AuthError &error) {
        return "refused: " + error.message();
    } catch (const DecodingError &error) {
        return "decoding: " + error.message();
    } catch (const NetworkError &error) {
        return "network: " + error.message();
    }
}

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

    void signInAndOut() {
        m_backend->enqueue(Reply::json(200, {{"token", "tök-9"}, {"user", ada}}));
        QCOMPARE(outcome(m_auth->login(" Ada@Example.org", "p\"w d")), "user 17");
        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/api/auth/login");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.headerCount("Authorization"), 0);
        // Exactly two members, unchanged: no trimming, no lower-casing.
        QCOMPARE(request.json(),
                 (QJsonObject{{"email", " Ada@Example.org"}, {"password", "p\"w d"}}));
        QCOMPARE(m_secrets->items.value(item), QByteArray("t\xc3\xb6k-9")); // UTF-8
        QCOMPARE(await(m_auth->getToken()), QStringLiteral("tök-9"));
        QCOMPARE(m_auth->cachedUser(),
                 (AuthService::UserInfo{"17", "ada@example.org", "Ada", "active", "2027-01-01"}));

        // Signing out is this machine's business alone, and twice is harmless.
        await(m_auth->logout());
        await(m_auth->logout());
        QVERIFY(m_secrets->items.isEmpty());
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
        QCOMPARE(m_auth->cachedUser(), std::nullopt);
        QCOMPARE(m_backend->requests().size(), 1);
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
        m_backend->enqueue(Reply::text(status, body, "application/json"));
        QCOMPARE(outcome(m_auth->login("a@b.c", "pw")), expected);
        QVERIFY(m_secrets->items.isEmpty());
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
    }

    void verification() {
        // Signed out: nothing is sent.
        QCOMPARE(outcome(m_auth->verifyToken()), "refused: Not logged in");
        QVERIFY(m_backend->requests().isEmpty());

        m_secrets->items.insert(item, "tok-1");
        QJsonObject noEnd = ada;
        noEnd.insert("subscriptionEnd", QJsonValue::Null);
        m_backend->enqueue(Reply::json(200, noEnd));
        QCOMPARE(outcome(m_auth->verifyToken()), "user 17");
        QCOMPARE(m_auth->cachedUser()->subscriptionEnd, std::nullopt);
        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "GET");
        QCOMPARE(request.target, "/api/auth/me");
        QCOMPARE(request.header("Authorization"), "Bearer tok-1");
        QVERIFY(request.body.isEmpty());

        // Temporary failures keep the token, and so does a server out of reach.
        for (const int status : {403, 500}) {
            m_backend->enqueue(Reply::text(status, "no"));
            QCOMPARE(outcome(m_auth->verifyToken()),
                     QStringLiteral("refused: Verification failed (HTTP %1)").arg(status));
        }
        AuthService offline(*m_network, *m_secrets, BackendConfig(FakeBackend().url()));
        QCOMPARE(outcome(offline.verifyToken()), "network: Connection refused");
        QCOMPARE(await(offline.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(m_secrets->items.value(item), QByteArray("tok-1"));

        // A rejected token signs out here.
        m_backend->enqueue(Reply::text(401, "expired"));
        QCOMPARE(outcome(m_auth->verifyToken()), "refused: Session expired. Please log in again.");
        QVERIFY(m_secrets->items.isEmpty());
        QCOMPARE(m_auth->cachedUser(), std::nullopt);
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
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
            m_secrets->items.insert(item, "tok-1");
        Reply slow =
            Reply::json(200, signingIn ? QJsonObject{{"token", "tok-2"}, {"user", ada}} : ada);
        slow.parts.first().delay = 200ms;
        m_backend->enqueue(slow);
        auto request = signingIn ? m_auth->login("a@b.c", "pw") : m_auth->verifyToken();
        QTRY_COMPARE(m_backend->requests().size(), 1);
        await(m_auth->logout());
        QCOMPARE(outcome(std::move(request)),
                 signingIn ? "refused: Signed out while signing in."
                           : "refused: Signed out while the session was being checked.");
        QCOMPARE(await(m_auth->getToken()), std::nullopt);
        QCOMPARE(m_auth->cachedUser(), std::nullopt);
        QVERIFY(m_secrets->items.isEmpty());
    }

    void passwordsStayOffPlainHttp() {
        AuthService remote(*m_network, *m_secrets, BackendConfig(QUrl("http://pindle.example")));
        QVERIFY(outcome(remote.login("a@b.c", "pw"))
                    .startsWith("refused: Refusing to send your sign-in over an unencrypted "
                                "connection"));
    }
};

QTEST_GUILESS_MAIN(AuthServiceTest)
#include "tst_authservice.moc"
