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

    QString path() const { return m_dir.filePath(QStringLiteral("pindle/settings.json")); }

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
            .entryList({QStringLiteral("settings.json.unreadable-*")}, QDir::Files);
    }

private Q_SLOTS:
    void cleanup() { QDir(m_dir.filePath(QStringLiteral("pindle"))).removeRecursively(); }

    void firstLaunchUsesDefaultsAndWritesNothing() {
        const SettingsManager settings(path());
        QCOMPARE(settings.model(), QStringLiteral("gpt-4.1"));
        QCOMPARE(settings.selectedCategory(), QStringLiteral("exams"));
        QCOMPARE(settings.overlayOpacity(), 0.92);
        QCOMPARE(settings.systemPrompt(),
                 QStringLiteral("You are an expert assistant. Read all text, numbers, and diagrams "
                                "carefully. Give the correct answer concisely. Show your reasoning "
                                "only if the question requires it."));
        QCOMPARE(settings.systemPrompt().size(), 165);
        QVERIFY(settings.storageError().isEmpty());
        QVERIFY(!QFile::exists(path()));
    }

    void storedValuesAndWrongTypes_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("model");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<QString>("category");

        QTest::newRow("stored values")
            << QByteArray(
                   R"({"pindle_model":"GPT-4.1","pindle_opacity":0.3,"pindle_category":"x"})")
            << "GPT-4.1" << 0.3 << "x";
        QTest::newRow("opacity as text")
            << QByteArray(R"({"pindle_opacity":"0.5"})") << "gpt-4.1" << 0.92 << "exams";
        QTest::newRow("opacity as integer 1")
            << QByteArray(R"({"pindle_opacity":1})") << "gpt-4.1" << 1.0 << "exams";
        QTest::newRow("opacity out of range is kept")
            << QByteArray(R"({"pindle_opacity":7.5})") << "gpt-4.1" << 7.5 << "exams";
        QTest::newRow("opacity as boolean")
            << QByteArray(R"({"pindle_opacity":true})") << "gpt-4.1" << 0.92 << "exams";
        QTest::newRow("strings of other types")
            << QByteArray(R"({"pindle_model":5,"pindle_category":null})") << "gpt-4.1" << 0.92
            << "exams";
    }

    void storedValuesAndWrongTypes() {
        QFETCH(QByteArray, document);
        QFETCH(QString, model);
        QFETCH(double, opacity);
        QFETCH(QString, category);
        writeFile(document);
        const SettingsManager settings(path());
        QCOMPARE(settings.model(), model);
        QCOMPARE(settings.overlayOpacity(), opacity);
        QCOMPARE(settings.selectedCategory(), category);
        QVERIFY(settings.storageError().isEmpty());
    }

    void assignmentsPersistAcrossInstances() {
        writeFile(R"({"from_a_newer_version":[1,2]})");
        {
            SettingsManager settings(path());
            QSignalSpy modelSpy(&settings, &SettingsManager::modelChanged);
            QSignalSpy opacitySpy(&settings, &SettingsManager::overlayOpacityChanged);
            settings.setModel(QStringLiteral("o3"));
            settings.setModel(QStringLiteral("o3"));
            settings.setSystemPrompt(QStringLiteral("Be terse."));
            settings.setOverlayOpacity(0.55);
            settings.setSelectedCategory(QStringLiteral("coding"));
            QCOMPARE(modelSpy.size(), 1);
            QCOMPARE(opacitySpy.size(), 1);
        }
        const QJsonObject stored = readFile();
        QCOMPARE(stored.value(QStringLiteral("pindle_model")), QJsonValue(QStringLiteral("o3")));
        QCOMPARE(stored.value(QStringLiteral("pindle_opacity")), QJsonValue(0.55));
        QCOMPARE(stored.value(QStringLiteral("from_a_newer_version")),
                 QJsonValue(QJsonArray({1, 2})));

        const SettingsManager reread(path());
        QCOMPARE(reread.model(), QStringLiteral("o3"));
        QCOMPARE(reread.systemPrompt(), QStringLiteral("Be terse."));
        QCOMPARE(reread.overlayOpacity(), 0.55);
        QCOMPARE(reread.selectedCategory(), QStringLiteral("coding"));
    }

    void sameValueIsWrittenAgain() {
        SettingsManager settings(path());
        settings.setSelectedCategory(QStringLiteral("exams"));
        QCOMPARE(readFile(),
                 (QJsonObject{{QStringLiteral("pindle_category"), QStringLiteral("exams")}}));
        QFile::remove(path());
        settings.setSelectedCategory(QStringLiteral("exams"));
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
        QCOMPARE(settings.model(), QStringLiteral("gpt-4.1"));
        QVERIFY(
            settings.storageError().startsWith(QStringLiteral("Your settings could not be read")));

        const QStringList aside = asideFiles();
        QCOMPARE(aside.size(), 1);
        QFile kept(QFileInfo(path()).absolutePath() + u'/' + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);

        settings.setModel(QStringLiteral("o3"));
        QCOMPARE(readFile().value(QStringLiteral("pindle_model")).toString(), QStringLiteral("o3"));
        QCOMPARE(asideFiles().size(), 1);
    }

    void failedWriteIsReported() {
        // The folder the document should live in is a file: nothing can be saved there.
        writeFile("");
        const QString blocked = path() + QStringLiteral("/settings.json");
        SettingsManager settings(blocked);
        QSignalSpy errorSpy(&settings, &SettingsManager::storageErrorChanged);
        settings.setModel(QStringLiteral("o3"));
        QCOMPARE(settings.model(), QStringLiteral("o3"));
        QVERIFY(
            settings.storageError().startsWith(QStringLiteral("Your settings could not be saved")));
        QCOMPARE(errorSpy.size(), 1);
    }

    void modelCatalogue() {
        SettingsManager settings(path());
        QCOMPARE(settings.availableModelOptions().size(), 14);
        QCOMPARE(settings.availableModelOptions().at(3).id, QStringLiteral("gpt-4.1"));
        QCOMPARE(settings.selectedModelSummary(),
                 QStringLiteral("Best overall for quality, coding, and instruction following."));
        QCOMPARE(settings.availableCategories().size(), 5);

        settings.setModel(QStringLiteral("GPT-4.1"));
        const QList<SettingsManager::ModelOption> options = settings.availableModelOptions();
        QCOMPARE(options.size(), 15);
        QCOMPARE(options.first(),
                 (SettingsManager::ModelOption{QStringLiteral("GPT-4.1"), QStringLiteral("GPT-4.1"),
                                               QStringLiteral("Previously saved custom model.")}));
        QCOMPARE(options.mid(1), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(), QStringLiteral("Previously saved custom model."));

        settings.setModel(QStringLiteral("gpt-3.5-turbo"));
        QCOMPARE(settings.availableModelOptions(), SettingsManager::modelCatalogue());
        QCOMPARE(settings.selectedModelSummary(),
                 QStringLiteral("Legacy budget model kept for backward compatibility."));
    }
};

QTEST_GUILESS_MAIN(SettingsManagerTest)
#include "tst_settingsmanager.moc"
