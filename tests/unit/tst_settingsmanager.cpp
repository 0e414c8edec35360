// The settings document (defaults, types, persistence, damaged files, the model catalogue) and the
// settings window's controller: the account as the fake backend reports it, the rows it derives
// from the settings, and the start-at-login switch.

#include "ConversationRig.h"
#include "core/AssistantCategory.h"
#include "models/SettingsController.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

class SettingsManagerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::optional<ClientRig> m_rig;

    QString path() const { return m_dir.filePath("pindle/settings.json"); }

    static QByteArray read(const QString &file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    // Writes `bytes` to `file`, in a folder made for it if need be.
    static bool write(const QString &file, const QByteArray &bytes,
                      QIODevice::OpenMode mode = QIODevice::WriteOnly) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        return out.open(mode) && out.write(bytes) == bytes.size();
    }
    QJsonObject readFile() const { return QJsonDocument::fromJson(read(path())).object(); }

    QStringList asideFiles() const {
        return QDir(QFileInfo(path()).absolutePath())
            .entryList({"settings.json.unreadable-*"}, QDir::Files);
    }

private Q_SLOTS:
    void init() { m_rig.emplace(); }
    void cleanup() {
        m_rig.reset();
        QDir(m_dir.filePath("pindle")).removeRecursively();
    }

    void storedValuesDefaultsAndWrongTypes_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("model");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<QString>("category");
        const auto row = [](const char *name, const QByteArray &document, const QString &model,
                            double opacity, const QString &category) {
            QTest::newRow(name) << document << model << opacity << category;
        };
        row("first launch: defaults, nothing written", {}, "gpt-4.1", 0.92, "exams");
        row("stored values",
            R"({"pindle_model":"GPT-4.1","pindle_opacity":0.3,"pindle_category":"x"})", "GPT-4.1",
            0.3, "x");
        row("opacity as text", R"({"pindle_opacity":"0.5"})", "gpt-4.1", 0.92, "exams");
        row("opacity as integer 1", R"({"pindle_opacity":1})", "gpt-4.1", 1.0, "exams");
        row("opacity out of range is kept", R"({"pindle_opacity":7.5})", "gpt-4.1", 7.5, "exams");
        row("strings of other types", R"({"pindle_model":5,"pindle_category":null})", "gpt-4.1",
            0.92, "exams");
    }
    void storedValuesDefaultsAndWrongTypes() {
        QFETCH(QByteArray, document);
        QFETCH(QString, model);
        QFETCH(double, opacity);
        QFETCH(QString, category);
        if (!document.isNull())
            QVERIFY(write(path(), document));
        const SettingsManager settings(path());
        QCOMPARE(settings.model(), model);
        QCOMPARE(settings.overlayOpacity(), opacity);
        QCOMPARE(settings.selectedCategory(), category);
        QCOMPARE(settings.systemPrompt(), SettingsManager::defaultSystemPrompt());
        QVERIFY(settings.storageError().isEmpty());
        QCOMPARE(QFile::exists(path()), !document.isNull());
    }

    void assignmentsPersistAcrossInstances() {
        QVERIFY(write(path(), R"({"from_a_newer_version":[1,2]})"));
        {
            SettingsManager settings(path());
            QSignalSpy modelSpy(&settings, &SettingsManager::modelChanged);
            QSignalSpy opacitySpy(&settings, &SettingsManager::overlayOpacityChanged);
            settings.setModel("o3");
            settings.setModel("o3");
            settings.setOverlayOpacity(0.55);
            QCOMPARE(modelSpy.size(), 1);
            QCOMPARE(opacitySpy.size(), 1);
            // Only what was set is written: the defaults stay free to change.
            QCOMPARE(readFile(), (QJsonObject{{"from_a_newer_version", QJsonArray{1, 2}},
                                              {"pindle_model", "o3"},
                                              {"pindle_opacity", 0.55}}));
            settings.setSystemPrompt("Be terse.");
            settings.setSelectedCategory("coding");
            // Setting a value again writes it again, so a removed file comes back whole.
            QFile::remove(path());
            settings.setSelectedCategory("coding");
        }
        const SettingsManager reread(path());
        QCOMPARE(reread.model(), "o3");
        QCOMPARE(reread.systemPrompt(), "Be terse.");
        QCOMPARE(reread.overlayOpacity(), 0.55);
        QCOMPARE(reread.selectedCategory(), "coding");
        QCOMPARE(readFile().value("from_a_newer_version"), QJsonValue(QJsonArray({1, 2})));
    }

    void damagedFileIsKeptAside_data() {
        QTest::addColumn<QByteArray>("damaged");
        QTest::newRow("truncated") << QByteArray(R"({"pindle_model":"o3",)");
        QTest::newRow("not an object") << QByteArray(R"(["pindle_model"])");
        QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3);
        QTest::newRow("valid, but over 1 MiB")
            << QByteArray(R"({"pindle_model":"o3"})") + QByteArray(1024 * 1024, ' ');
    }
    void damagedFileIsKeptAside() {
        QFETCH(QByteArray, damaged);
        QVERIFY(write(path(), damaged));
        SettingsManager settings(path());
        QCOMPARE(settings.model(), "gpt-4.1");
        QVERIFY(settings.storageError().startsWith("Your settings could not be read"));

        const QStringList aside = asideFiles();
        QCOMPARE(aside.size(), 1);
        QCOMPARE(read(QFileInfo(path()).absolutePath() + u'/' + aside.first()), damaged);

        settings.setModel("o3");
        QCOMPARE(readFile().value("pindle_model").toString(), "o3");
        QCOMPARE(asideFiles().size(), 1);
    }

    void failedWriteIsReported() {
        // The folder the document should live in is a file: nothing can be saved there.
        QVERIFY(write(path(), ""));
        SettingsManager settings(path() + "/settings.json");
        QSignalSpy errorSpy(&settings, &SettingsManager::storageErrorChanged);
        settings.setModel("o3");
        QCOMPARE(settings.model(), "o3");
        QVERIFY(settings.storageError().startsWith("Your settings could not be saved"));
        QCOMPARE(errorSpy.size(), 1);

        // Nor is a document too large to be read back at the next start.
        SettingsManager large(path() + ".large");
        large.setSystemPrompt(QString(1024 * 1024, u'x'));
        QCOMPARE(large.storageError(),
                 "Your settings could not be saved: they are larger than 1 MiB.");
        QVERIFY(!QFile::exists(path() + ".large"));
    }

    // A model the catalogue does not know (saved by hand, or dropped since) leads the list.
    void customModelLeadsTheCatalogue() {
        SettingsManager settings(path());
        QCOMPARE(settings.availableModelOptions(), SettingsManager::modelCatalogue());
        settings.setModel("GPT-4.1");
        const SettingsManager::ModelOption custom{"GPT-4.1", "GPT-4.1",
                                                  "Previously saved custom model."};
        QCOMPARE(settings.availableModelOptions(),
                 QList{custom} + SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(), custom.summary);
        const SettingsController controller(m_rig->auth, settings); // the picker's entries
        QCOMPARE(controller.modelOptions().first().toMap(),
                 (QVariantMap{{"id", "GPT-4.1"}, {"name", "GPT-4.1"}}));
        QCOMPARE(controller.modelOptions().size(), SettingsManager::modelCatalogue().size() + 1);
        settings.setModel("gpt-3.5-turbo");
        QCOMPARE(settings.availableModelOptions(), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(),
                 "Legacy budget model kept for backward compatibility.");
    }

    // A category is enabled or disabled: one stored without saying which is not read at all.
    void categoryWithoutEnabledDoesNotDecode() {
        QJsonObject category = AssistantCategory::builtIn().first().toJson();
        QCOMPARE(AssistantCategory::fromJson(category), AssistantCategory::builtIn().first());
        category.remove("enabled");
        QCOMPARE(AssistantCategory::fromJson(category), std::nullopt);
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
        Reply slow = Reply::json(200, {{"id", "17"},
                                       {"email", "ada@example.org"},
                                       {"name", "Ada"},
                                       {"subscriptionStatus", status}});
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

        for (const QVariant &category : controller.categoryOptions())
            QVERIFY(!category.toMap().value("name").toString().isEmpty());
    }

    // The switch writes and removes the autostart entry, and shows what the entry says when the
    // window opens, whoever changed it.
    void startAtLogin() {
        const QString folder = m_dir.filePath("autostart");
        const QString entry = folder + "/com.pindle.app.desktop";
        SettingsManager settings(m_dir.filePath("start.json"));
        SettingsController controller(m_rig->auth, settings, StartAtLogin(folder));
        QSignalSpy changed(&controller, &SettingsController::startAtLoginChanged);
        QVERIFY(!controller.startAtLogin());

        controller.setStartAtLogin(true);
        QVERIFY(controller.startAtLogin());
        QCOMPARE(controller.startAtLoginError(), QString());
        QVERIFY(read(entry).startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(read(entry).contains(
            QByteArray("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n")));

        // Turned off from GNOME's own settings, then removed by hand.
        QVERIFY(write(entry, "X-GNOME-Autostart-enabled=false\n", QIODevice::Append));
        controller.reloadStartAtLogin();
        QVERIFY(!controller.startAtLogin());
        QVERIFY(QFile::remove(entry));
        controller.setStartAtLogin(true);
        controller.setStartAtLogin(false);
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(changed.size(), 4);

        // Whatever the path holds, the entry starts that program, as GLib starts login entries
        // (which cannot find a program whose path holds a percent sign, however it is written: it
        // is written as the format asks); a path no entry can hold is refused and the entry is
        // left as it was.
        const QString program = m_dir.filePath(R"(my apps/"pin"dle$`\x)");
        QVERIFY(
            write(program, "#!/bin/sh\nprintf '%s\\n' \"$0\" >\"$(dirname \"$0\")/started\"\n"));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));
        QString error;
        StartAtLogin odd(folder);
        QVERIFY(odd.setEnabled(true, program, error));
        QCOMPARE(QProcess::execute("gio", {"launch", entry}), 0);
        QTRY_COMPARE(read(QFileInfo(program).path() + "/started"), program.toUtf8() + '\n');
        const auto exec = [&] {
            const QByteArray text = read(entry);
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
        QVERIFY(write(m_dir.filePath("blocked"), {}));
        SettingsController refused(m_rig->auth, settings, StartAtLogin(m_dir.filePath("blocked")));
        refused.setStartAtLogin(true);
        QVERIFY(!refused.startAtLogin());
        QVERIFY(refused.startAtLoginError().contains(m_dir.filePath("blocked")));
    }
};

QTEST_GUILESS_MAIN(SettingsManagerTest)
#include "tst_settingsmanager.moc"
