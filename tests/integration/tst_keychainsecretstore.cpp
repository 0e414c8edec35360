// The real Secret Service store, against GNOME Keyring in a private D-Bus session
// (scripts/with-keyring.sh starts both).

#include "Await.h"
#include "platform/keychain/KeychainSecretStore.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <QCoroTask>

#include <iostream>

namespace {

const QString service = QStringLiteral("com.pindle.app");
const QString account = QStringLiteral("pindle_auth_token");

// What another Secret Service client sees under our item's attributes.
QString lookupFromOutside() {
    QProcess lookup;
    lookup.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("server"),
                                                 service, QStringLiteral("user"), account});
    if (!lookup.waitForFinished(10000) || lookup.exitCode() != 0)
        return QStringLiteral("<none>");
    return QString::fromUtf8(lookup.readAllStandardOutput());
}

// Run in a child process whose session bus does not exist.
int probeWithoutSecretService() {
    KeychainSecretStore store;
    await(store.writeSecret(service, account, "tok"));
    const std::optional<QByteArray> read = await(store.readSecret(service, account));
    std::cout << (read ? "present" : "absent") << std::endl;
    return 0;
}

} // namespace

class KeychainSecretStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QFAIL("needs a D-Bus session with GNOME Keyring: run through scripts/with-keyring.sh");
    }

    void saveLoadDelete() {
        KeychainSecretStore store;
        QCOMPARE(await(store.readSecret(service, account)), std::nullopt);

        await(store.writeSecret(service, account, "tok-1"));
        await(store.writeSecret(service, account, "t\xc3\xb6k-2"));
        QCOMPARE(await(store.readSecret(service, account)), QByteArray("t\xc3\xb6k-2"));
        QCOMPARE(lookupFromOutside(), QStringLiteral("tök-2"));

        await(store.deleteSecret(service, account));
        QCOMPARE(await(store.readSecret(service, account)), std::nullopt);
        QCOMPARE(lookupFromOutside(), QStringLiteral("<none>"));
        await(store.deleteSecret(service, account)); // deleting nothing is harmless

        // Started together, none awaited before the next begins: run in the order asked.
        auto writeA = store.writeSecret(service, account, "A");
        auto readA = store.readSecret(service, account);
        auto writeB = store.writeSecret(service, account, "B");
        auto readB = store.readSecret(service, account);
        auto remove = store.deleteSecret(service, account);
        auto readNone = store.readSecret(service, account);
        QCOMPARE(await(std::move(readNone)), std::nullopt);
        QCOMPARE(await(std::move(readA)), QByteArray("A"));
        QCOMPARE(await(std::move(readB)), QByteArray("B"));
        await(std::move(writeA));
        await(std::move(writeB));
        await(std::move(remove));
    }

    void withoutSecretServiceNothingIsStored() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=/nonexistent/pindle-bus"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--probe-without-service")});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("absent"));
    }
};

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--probe-without-service") == 0)
        return probeWithoutSecretService();
    KeychainSecretStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keychainsecretstore.moc"
