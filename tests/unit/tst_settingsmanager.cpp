// The settings document: defaults, types, persistence, damaged files and the model catalogue.

#include "core/AssistantCategory.h"
#include "services/SettingsManager.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class SettingsManagerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path() const { return m_dir.filePath("pindle/settings.json"); }

    void writeFile(const QByteArray &bytes) const {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QJsonObject readFile() const {
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QStringList asideFiles() const {
        return QDir(QFileInfo(path()).absolutePath())
            .entryList({"settings.json.unreadable-*"}, QDir::Files);
    }

private Q_SLOTS:
    void cleanup() { QDir(m_dir.filePath("pindle")).removeRecursively(); }

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
        row("opacity as boolean", R"({"pindle_opacity":true})", "gpt-4.1", 0.92, "exams");
        row("strings of other types", R"({"pindle_model":5,"pindle_category":null})", "gpt-4.1",
            0.92, "exams");
    }
    void storedValuesDefaultsAndWrongTypes() {
        QFETCH(QByteArray, document);
        QFETCH(QString, model);
        QFETCH(double, opacity);
        QFETCH(QString, category);
        if (!document.isNull())
            writeFile(document);
        const SettingsManager settings(path());
        QCOMPARE(settings.model(), model);
        QCOMPARE(settings.overlayOpacity(), opacity);
        QCOMPARE(settings.selectedCategory(), category);
        QCOMPARE(settings.systemPrompt(), SettingsManager::defaultSystemPrompt());
        QVERIFY(settings.storageError().isEmpty());
        QCOMPARE(QFile::exists(path()), !document.isNull());
    }

    void assignmentsPersistAcrossInstances() {
        writeFile(R"({"from_a_newer_version":[1,2]})");
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
        writeFile(damaged);
        SettingsManager settings(path());
        QCOMPARE(settings.model(), "gpt-4.1");
        QVERIFY(settings.storageError().startsWith("Your settings could not be read"));

        const QStringList aside = asideFiles();
        QCOMPARE(aside.size(), 1);
        QFile kept(QFileInfo(path()).absolutePath() + u'/' + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);

        settings.setModel("o3");
        QCOMPARE(readFile().value("pindle_model").toString(), "o3");
        QCOMPARE(asideFiles().size(), 1);
    }

    void failedWriteIsReported() {
        // The folder the document should live in is a file: nothing can be saved there.
        writeFile("");
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
        const QList<SettingsManager::ModelOption> options = settings.availableModelOptions();
        QCOMPARE(options.first(), (SettingsManager::ModelOption{"GPT-4.1", "GPT-4.1",
                                                                "Previously saved custom model."}));
        QCOMPARE(options.mid(1), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(), "Previously saved custom model.");

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
};

QTEST_GUILESS_MAIN(SettingsManagerTest)
#include "tst_settingsmanager.moc"
