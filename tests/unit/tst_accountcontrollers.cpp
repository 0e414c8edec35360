// The sign-in and settings windows' controllers against the fake backend: what each shows while
// and after the account is asked for.

#include "ConversationRig.h"
#include "models/LoginController.h"
#include "models/SettingsController.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

QJsonObject user(const QString &status) {
    return {{"id", "17"},
            {"email", "ada@example.org"},
            {"name", "Ada"},
            {"subscriptionStatus", status}};
}

} // namespace

class AccountControllersTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::optional<ClientRig> m_rig;

private Q_SLOTS:
    void init() { m_rig.emplace(); }
    void cleanup() { m_rig.reset(); }

    void signIn() {
        LoginController login(m_rig->auth, m_rig->config);
        QSignalSpy signedIn(&login, &LoginController::signedIn);
        QVERIFY(!login.canSignIn());
        login.signIn(); // nothing to send yet
        login.setEmail(" ada@example.org ");
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
        QVERIFY(!login.errorMessage().isEmpty());
        QCOMPARE(signedIn.count(), 0);
        QCOMPARE(login.email(), QStringLiteral(" ada@example.org ")); // the fields keep their text

        Reply slow = Reply::json(200, {{"token", "tok"}, {"user", user("active")}});
        slow.parts.first().delay = 200ms;
        m_rig->backend.enqueue(slow);
        login.setPassword("right");
        login.signIn();
        QVERIFY(login.errorMessage().isEmpty());
        QTRY_COMPARE(signedIn.count(), 1);
        QVERIFY(!login.isLoading());
        // Sent exactly as typed.
        QCOMPARE(m_rig->backend.requests().last().json().value("email").toString(),
                 QStringLiteral(" ada@example.org "));
        QCOMPARE(login.signUpText(), "Sign up at " + m_rig->config.webDomain());
        QCOMPARE(login.signUpUrl().path(), QStringLiteral("/signup"));
    }

    void sessionCheck() {
        LoginController login(m_rig->auth, m_rig->config);
        QSignalSpy signedIn(&login, &LoginController::signedIn);
        login.checkExistingSession(); // no token: silent
        QTest::qWait(50);
        QCOMPARE(signedIn.count(), 0);
        QVERIFY(login.errorMessage().isEmpty());

        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        m_rig->backend.enqueue(Reply::json(200, user("active")));
        login.checkExistingSession();
        QTRY_COMPARE(signedIn.count(), 1);
    }

    void accountRows_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("active");
        const auto row = [](const char *name, const QString &status, const QString &shown,
                            bool active) { QTest::newRow(name) << status << shown << active; };
        row("active", "active", "Active", true);
        row("other, capitalised", "past due", "Past Due", false);
        row("mixed case", "cANCELED", "Canceled", false);
        row("Active is not active", "Active", "Active", true);
        row("empty", "", "", false);
    }
    void accountRows() {
        QFETCH(QString, status);
        QFETCH(QString, shown);
        QFETCH(bool, active);
        SettingsManager settings(m_dir.filePath("settings.json"));
        SettingsController controller(m_rig->auth, settings);
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        Reply slow = Reply::json(200, user(status));
        slow.parts.first().delay = 100ms;
        m_rig->backend.enqueue(slow);
        controller.loadAccountInfo();
        QCOMPARE(controller.userEmail(), QStringLiteral("Loading..."));
        QCOMPARE(controller.subscriptionStatus(), QStringLiteral("..."));
        QTRY_COMPARE(controller.userEmail(), QStringLiteral("ada@example.org"));
        QCOMPARE(controller.subscriptionStatus(), shown);
        QCOMPARE(controller.subscriptionActive(), active);
    }

    void notSignedInAndTheOtherRows() {
        QFile::remove(m_dir.filePath("settings.json"));
        SettingsManager settings(m_dir.filePath("settings.json"));
        SettingsController controller(m_rig->auth, settings);
        controller.loadAccountInfo();
        QTRY_COMPARE(controller.userEmail(), QStringLiteral("Not signed in"));
        QCOMPARE(controller.subscriptionStatus(), QStringLiteral("N/A"));

        QCOMPARE(controller.opacityPercent(), QStringLiteral("92%"));
        settings.setOverlayOpacity(0.3);
        QCOMPARE(controller.opacityPercent(), QStringLiteral("30%")); // not 29% from 0.3 * 100
        settings.setOverlayOpacity(0.999);
        QCOMPARE(controller.opacityPercent(), QStringLiteral("99%"));
        QCOMPARE(controller.categoryDescription(),
                 QStringLiteral("Exam prep, study help, and academic questions."));
        settings.setSelectedCategory("no-such-category");
        QCOMPARE(controller.categoryDescription(), QString());

        settings.setModel("my-own-model");
        const QVariantList models = controller.modelOptions();
        QCOMPARE(models.first().toMap().value("id").toString(), QStringLiteral("my-own-model"));
        QCOMPARE(models.size(), SettingsManager::modelCatalogue().size() + 1);
        for (const QVariant &category : controller.categoryOptions())
            QVERIFY(!category.toMap().value("name").toString().isEmpty());
    }
    // The switch writes and removes the autostart entry, and shows what the entry says when the
    // window opens, whoever changed it.
    void startAtLogin() {
        const QString folder = m_dir.filePath("autostart");
        SettingsManager settings(m_dir.filePath("start.json"));
        SettingsController controller(m_rig->auth, settings, StartAtLogin(folder));
        QSignalSpy changed(&controller, &SettingsController::startAtLoginChanged);
        QVERIFY(!controller.startAtLogin());

        controller.setStartAtLogin(true);
        QVERIFY(controller.startAtLogin());
        QCOMPARE(controller.startAtLoginError(), QString());
        QFile entry(folder + "/com.pindle.app.desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray written = entry.readAll();
        entry.close();
        QVERIFY(written.startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(written.contains(
            QByteArray("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n")));

        // Turned off from GNOME's own settings, then removed by hand.
        QVERIFY(entry.open(QIODevice::Append));
        entry.write("X-GNOME-Autostart-enabled=false\n");
        entry.close();
        controller.reloadStartAtLogin();
        QVERIFY(!controller.startAtLogin());
        QVERIFY(entry.remove());
        controller.setStartAtLogin(true);
        controller.setStartAtLogin(false);
        QVERIFY(!entry.exists());
        QCOMPARE(changed.size(), 4);

        // Whatever the path holds, the entry starts that program, as GLib starts login entries
        // (which cannot find a program whose path holds a percent sign, however it is written: it
        // is written as the format asks); a path no entry can hold is refused and the entry is
        // left as it was.
        const QString program = m_dir.filePath(R"(my apps/"pin"dle$`\x)");
        QVERIFY(QDir().mkpath(QFileInfo(program).path()));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$0\" >\"$(dirname \"$0\")/started\"\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        QString error;
        StartAtLogin odd(folder);
        QVERIFY(odd.setEnabled(true, program, error));
        QCOMPARE(QProcess::execute("gio", {"launch", entry.fileName()}), 0);
        const auto started = [&] {
            QFile file(QFileInfo(program).path() + "/started");
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE(started(), program.toUtf8() + '\n');
        const auto exec = [&] {
            QFile file(entry.fileName());
            const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const qsizetype start = text.indexOf("\nExec=") + 6;
            return text.mid(start, text.indexOf('\n', start) - start);
        };
        QVERIFY(odd.setEnabled(true, "/opt/50%/pindle", error));
        QCOMPARE(exec(), "/opt/50%%/pindle");
        QVERIFY(odd.setEnabled(true, "/opt/my 50%/pindle", error));
        QCOMPARE(exec(), "\"/opt/my 50%%/pindle\"");
        QVERIFY(!odd.setEnabled(true, "/opt/two\nlines/pindle", error));
        QVERIFY2(error.contains("line break"), qPrintable(error));
        QCOMPARE(exec(), "\"/opt/my 50%%/pindle\"");

        // A file where the folder should be: told, and nothing changes.
        QFile blocker(m_dir.filePath("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        SettingsController refused(m_rig->auth, settings, StartAtLogin(blocker.fileName()));
        refused.setStartAtLogin(true);
        QVERIFY(!refused.startAtLogin());
        QVERIFY(refused.startAtLoginError().contains(blocker.fileName()));
    }
};

QTEST_GUILESS_MAIN(AccountControllersTest)
#include "tst_accountcontrollers.moc"
