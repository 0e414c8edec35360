// The token store over a keychain in memory: caching, decoding, and loads overtaken by changes.

#include "Await.h"
#include "FakeSecretStore.h"
#include "services/TokenStore.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const FakeSecretStore::Key item{QStringLiteral("com.pindle.app"),
                                QStringLiteral("pindle_auth_token")};

} // namespace

class TokenStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signedOutReadsTheKeychainEachTime() {
        FakeSecretStore secrets;
        TokenStore tokens(secrets);
        QCOMPARE(await(tokens.getToken()), std::nullopt);
        QCOMPARE(await(tokens.getToken()), std::nullopt);
        QCOMPARE(secrets.reads, 2);
        QCOMPARE(tokens.cachedToken(), std::nullopt);
    }

    void loadedTokenIsCached() {
        FakeSecretStore secrets;
        secrets.items.insert(item, "tok-1");
        TokenStore tokens(secrets);
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        secrets.items.clear(); // removed behind our back: this process stays signed in
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(await(tokens.getToken()), QStringLiteral("tok-1"));
        QCOMPARE(secrets.reads, 1);
    }

    void storedBytes_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("token");
        QTest::newRow("text") << QByteArray("abc.def") << true << "abc.def";
        QTest::newRow("UTF-8") << QByteArray("t\xc3\xb6k") << true << "tök";
        QTest::newRow("empty token is a token") << QByteArray("") << true << "";
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\xfd") << false << "";
        QTest::newRow("cut inside a character") << QByteArray("t\xc3") << false << "";
    }

    void storedBytes() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, present);
        QFETCH(QString, token);
        FakeSecretStore secrets;
        secrets.items.insert(item, stored);
        TokenStore tokens(secrets);
        const std::optional<QString> loaded = await(tokens.getToken());
        QCOMPARE(loaded.has_value(), present);
        if (present)
            QCOMPARE(*loaded, token);
        QCOMPARE(tokens.cachedToken(), loaded);
    }

    void saveReplacesAndDeleteRemoves() {
        FakeSecretStore secrets;
        TokenStore tokens(secrets);
        await(tokens.saveTokenToKeychain(QStringLiteral("first")));
        await(tokens.saveTokenToKeychain(QStringLiteral("sëcond")));
        QCOMPARE(secrets.items.size(), 1);
        QCOMPARE(secrets.items.value(item), QByteArray("s\xc3\xab"
                                                       "cond"));

        tokens.setCachedToken(QStringLiteral("sëcond"));
        await(tokens.deleteTokenFromKeychain());
        QVERIFY(secrets.items.isEmpty());
        QCOMPARE(tokens.cachedToken(), QStringLiteral("sëcond")); // the caller clears it
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
        secrets.items.insert(item, "old");
        TokenStore tokens(secrets);

        auto load = tokens.getToken(); // reads "old" from the keychain, slowly
        tokens.setCachedToken(now);
        auto change = signIn ? tokens.saveTokenToKeychain("new") : tokens.deleteTokenFromKeychain();
        QCOMPARE(await(std::move(load)), now);
        await(std::move(change));
        QCOMPARE(tokens.cachedToken(), now);
        QCOMPARE(await(tokens.getToken()), now);
    }
};

QTEST_GUILESS_MAIN(TokenStoreTest)
#include "tst_tokenstore.moc"
