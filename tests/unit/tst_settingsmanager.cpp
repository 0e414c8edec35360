// The settings document: defaults, types, persistence, damaged files and the model catalogue.

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
        QCOMPARE(settings.systemPrompt(),
                 "You are an expert assistant. Read all text, numbers, and diagrams carefully. "
                 "Give the correct answer concisely. Show your reasoning only if the question "
                 "requires it.");
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
            settings.setSystemPrompt("Be terse.");
            settings.setOverlayOpacity(0.55);
            settings.setSelectedCategory("coding");
            QCOMPARE(modelSpy.size(), 1);
            QCOMPARE(opacitySpy.size(), 1);
        }
        const QJsonObject stored = readFile();
        QCOMPARE(stored.value("pindle_model"), QJsonValue("o3"));
        QCOMPARE(stored.value("pindle_opacity"), QJsonValue(0.55));
        QCOMPARE(stored.value("from_a_newer_version"), QJsonValue(QJsonArray({1, 2})));

        const SettingsManager reread(path());
        QCOMPARE(reread.model(), "o3");
        QCOMPARE(reread.systemPrompt(), "Be terse.");
        QCOMPARE(reread.overlayOpacity(), 0.55);
        QCOMPARE(reread.selectedCategory(), "coding");
    }

    void sameValueIsWrittenAgain() {
        SettingsManager settings(path());
        settings.setSelectedCategory("exams");
        QCOMPARE(readFile(), (QJsonObject{{"pindle_category", "exams"}}));
        QFile::remove(path());
        settings.setSelectedCategory("exams");
        QVERIFY(QFile::exists(path()));
    }

    void damagedFileIsKeptAside_data() {
        QTest::addColumn<QByteArray>("damaged");
        QTest::newRow("truncated") << QByteArray(R"({"pindle_model":"o3",)");
        QTest::newRow("not an object") << QByteArray(R"(["pindle_model"])");
        QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3);
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
        const QString blocked = path() + "/settings.json";
        SettingsManager settings(blocked);
        QSignalSpy errorSpy(&settings, &SettingsManager::storageErrorChanged);
        settings.setModel("o3");
        QCOMPARE(settings.model(), "o3");
        QVERIFY(settings.storageError().startsWith("Your settings could not be saved"));
        QCOMPARE(errorSpy.size(), 1);
    }

    void modelCatalogue() {
        SettingsManager settings(path());
        QCOMPARE(settings.availableModelOptions().size(), 14);
        QCOMPARE(settings.availableModelOptions().at(3).id, "gpt-4.1");
        QCOMPARE(settings.selectedModelSummary(),
                 "Best overall for quality, coding, and instruction following.");
        QCOMPARE(settings.availableCategories().size(), 5);

        settings.setModel("GPT-4.1");
        const QList<SettingsManager::ModelOption> options = settings.availableModelOptions();
        QCOMPARE(options.size(), 15);
        QCOMPARE(options.first(), (SettingsManager::ModelOption{"GPT-4.1", "GPT-4.1",
                                                                "Previously saved custom model."}));
        QCOMPARE(options.mid(1), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(), "Previously saved custom model.");

        settings.setModel("gpt-3.5-turbo");
        QCOMPARE(settings.availableModelOptions(), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(),
                 "Legacy budget model kept for backward compatibility.");
    }
};

QTEST_GUILESS_MAIN(SettingsManagerTest)
#include "tst_settingsmanager.moc"
