// The token store over a keychain in memory: caching, decoding, and loads overtaken by changes.

#include "Await.h"
#include "FakeSecretStore.h"
#include "services/TokenStore.h"

#include <QTest>

using namespace std::chrono_literals;

class TokenStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Signed out, the keychain is asked each time; once a token is found it is kept.
    void onlyAFoundTokenIsCached() {
        FakeSecretStore secrets;
        TokenStore tokens(secrets);
        QCOMPARE(await(tokens.getToken()), std::nullopt);
        QCOMPARE(await(tokens.getToken()), std::nullopt);
        QCOMPARE(tokens.cachedToken(), std::nullopt);
        secrets.items.insert(FakeSecretStore::token, "tok-1");
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        secrets.items.clear(); // removed behind our back: this process stays signed in
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(secrets.reads, 3);
    }

    void storedBytes_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<std::optional<QString>>("token");
        QTest::newRow("text") << QByteArray("abc.def") << std::optional<QString>("abc.def");
        QTest::newRow("UTF-8") << QByteArray("t\xc3\xb6k") << std::optional<QString>("tök");
        QTest::newRow("empty token is a token") << QByteArray("") << std::optional<QString>("");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\xfd") << std::optional<QString>();
        QTest::newRow("cut inside a character") << QByteArray("t\xc3") << std::optional<QString>();
    }
    void storedBytes() {
        QFETCH(QByteArray, stored);
        QFETCH(std::optional<QString>, token);
        FakeSecretStore secrets;
        secrets.items.insert(FakeSecretStore::token, stored);
        TokenStore tokens(secrets);
        QCOMPARE(await(tokens.getToken()), token);
        QCOMPARE(tokens.cachedToken(), token);
    }

    // A load still reading the keychain when the user signs in or out gives what they did.
    void loadOvertaken_data() {
        QTest::addColumn<bool>("signIn");
        QTest::newRow("by a sign-in") << true;
        QTest::newRow("by a sign-out") << false;
    }
    void loadOvertaken() {
        QFETCH(bool, signIn);
        const std::optional<QString> now = signIn ? std::optional<QString>("new") : std::nullopt;
        FakeSecretStore secrets;
        secrets.latency = 50ms;
        secrets.items.insert(FakeSecretStore::token, "old");
        TokenStore tokens(secrets);

        auto load = tokens.getToken(); // reads "old" from the keychain, slowly
        tokens.setCachedToken(now);
        auto change = signIn ? tokens.saveTokenToKeychain("new") : tokens.deleteTokenFromKeychain();
        QCOMPARE(await(std::move(load)), now);
        await(std::move(change));
        QCOMPARE(tokens.cachedToken(), now);
        QCOMPARE(await(tokens.getToken()), now);
    }

    // The application closing while the keychain is read: the read ends in an error and the
    // store, gone, is not touched (the sanitizers watch).
    void storeGoneWhileReading() {
        FakeSecretStore secrets;
        secrets.latency = 50ms;
        secrets.items.insert(FakeSecretStore::token, "tok");
        auto tokens = std::make_unique<TokenStore>(secrets);
        auto load = tokens->getToken();
        tokens.reset();
        QCOMPARE(failureOf<PindleError>(std::move(load)),
                 "Pindle closed while reading the keychain.");
    }
};

QTEST_GUILESS_MAIN(TokenStoreTest)
#include "tst_tokenstore.moc"
