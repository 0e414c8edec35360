// The settings document (defaults, types, persistence, damaged files, the model catalogue and the
// server's list of models as the fake backend gives it) and the settings window's controller: the
// account as the fake backend reports it, the rows it derives from the settings, and the
// start-at-login switch.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "core/AssistantCategory.h"
#include "models/SettingsController.h"
#include "services/ModelDirectory.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;
using Option = SettingsManager::ModelOption;

namespace {

QJsonObject entry(const QString &id, const QString &name, const QString &description = {},
                  bool vision = false) {
    return {{"id", id}, {"name", name}, {"description", description}, {"vision", vision}};
}

// The server's list of models: a local one that reads no pictures and, its default, one that does.
const QJsonObject serverList{
    {"models", QJsonArray{entry("llama-3", "Llama 3", "Local and fast."),
                          entry("gpt-4o", "GPT-4o", "Reads pictures.", true)}},
    {"default", "gpt-4o"}};

} // namespace

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
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
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

    // The server's list replaces the catalogue: in its order, with its names and descriptions. A
    // model chosen earlier that it no longer offers leads the list, and its default answers in
    // its place. A server without the route brings the catalogue back.
    void modelListFromTheServer() {
        SettingsManager settings(path());
        settings.setModel("o3");
        ModelDirectory directory(m_rig->network, m_rig->auth, settings, m_rig->config);
        await(directory.refresh()); // signed out: nobody is asked
        QVERIFY(m_rig->backend.requests().isEmpty());

        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        m_rig->backend.route("/api/models", Reply::json(200, serverList));
        QSignalSpy optionsChanged(&settings, &SettingsManager::modelOptionsChanged);
        await(directory.refresh());
        const FakeBackend::Request &request = m_rig->backend.requests().first();
        QCOMPARE(request.method + ' ' + request.target, "GET /api/models");
        QCOMPARE(request.header("Authorization"), "Bearer tok");
        QCOMPARE(optionsChanged.size(), 1);
        const QList<Option> offered{{"llama-3", "Llama 3", "Local and fast.", false},
                                    {"gpt-4o", "GPT-4o", "Reads pictures.", true}};
        const Option gone{"o3", "o3 (not offered)",
                          "This server no longer offers this model; GPT-4o is used instead."};
        QCOMPARE(settings.availableModelOptions(), QList{gone} + offered);
        QCOMPARE(settings.selectedModelSummary(), gone.summary);
        QCOMPARE(settings.model(), "o3");
        const SettingsController controller(m_rig->auth, settings);
        QCOMPARE(controller.modelOptions().first().toMap(),
                 (QVariantMap{{"id", "o3"}, {"name", "o3 (not offered)"}}));

        // Questions go to the server's default meanwhile.
        ChatClient chat(m_rig->network, m_rig->auth, settings, m_rig->config);
        m_rig->backend.enqueue(completionReply("ok"));
        const ChatMessage hi(QUuid::createUuid(), ChatMessage::Role::User, "Hi",
                             QDateTime::currentDateTime());
        QCOMPARE(await(chat.chatCompletion({hi}, "exams")), "ok");
        QCOMPARE(m_rig->backend.requests().last().json().value("model").toString(), "gpt-4o");

        settings.setModel("llama-3");
        QCOMPARE(settings.availableModelOptions(), offered);
        QCOMPARE(settings.selectedModelSummary(), "Local and fast.");
        await(directory.refresh()); // the same list again: nothing changes, nothing is written
        QCOMPARE(optionsChanged.size(), 2);

        // Kept for a start without the server; someone who never chose has the server's default.
        QCOMPARE(SettingsManager(path()).availableModelOptions(), offered);
        QVERIFY(write(path(),
                      QJsonDocument(QJsonObject{{"pindle_models_offered", serverList}}).toJson()));
        const SettingsManager unchosen(path());
        QCOMPARE(unchosen.model(), "gpt-4o");
        QCOMPARE(unchosen.availableModelOptions(), offered);

        // A server that passes other models on (one whose operator named none) keeps the user's.
        QJsonObject open = serverList;
        open.insert("anyModel", true);
        settings.setOfferedModels(OfferedModels::fromJson(open));
        settings.setModel("o3");
        QCOMPARE(settings.availableModelOptions().first(),
                 (Option{"o3", "o3", "Previously saved custom model."}));
        QCOMPARE(settings.requestModel(), "o3");
        settings.setModel("llama-3");

        m_rig->backend.route("/api/models", Reply::text(404, "Not Found"));
        await(directory.refresh());
        QCOMPARE(settings.offeredModels(), std::nullopt);
        QVERIFY(!readFile().contains("pindle_models_offered"));
        const Option custom{"llama-3", "llama-3", "Previously saved custom model."};
        QCOMPARE(settings.availableModelOptions(),
                 QList{custom} + SettingsManager::modelCatalogue());
    }

    // A list is bounded: the first 200 models, names and descriptions cut, an id seen before
    // dropped, and what is not a flag is no flag.
    void modelListIsBounded() {
        QJsonArray models;
        for (int i = 0; i < 300; ++i) // m50 to m99 twice, then on to m249
            models.append(entry(QString("m%1").arg(i < 100 ? i : i - 50), QString(300, u'n'),
                                QString(1000, u'd'), i == 3));
        models[1] = QJsonObject{{"id", "m1"}, {"name", "One"}, {"vision", "yes"}};
        const auto offered = OfferedModels::fromJson({{"models", models}, {"default", "m199"}});
        QVERIFY(offered);
        QCOMPARE(offered->models.size(), 200);
        QCOMPARE(offered->models.last().id, "m199");
        QCOMPARE(offered->models[100].id, "m100");
        QCOMPARE(offered->models.first().name, QString(100, u'n') + QChar(0x2026));
        QCOMPARE(offered->models.first().description.size(), 401);
        QCOMPARE(offered->models[1], (OfferedModels::Model{"m1", "One", "", false}));
        QCOMPARE(offered->firstReadingImages()->id, "m3");
        QCOMPARE(OfferedModels::fromJson(offered->toJson()), offered);
        // The default must be among those kept.
        QCOMPARE(OfferedModels::fromJson({{"models", models}, {"default", "m200"}}), std::nullopt);
    }

    // A reply that cannot be used keeps the list stored before, with a line in the log; a
    // refused session is left to the session check, silently.
    void unusableModelLists_data() {
        QTest::addColumn<int>("status"); // 0: the server is gone
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("logged");
        const auto row = [](const char *name, int status, const QByteArray &body, bool logged) {
            QTest::newRow(name) << status << body << logged;
        };
        const auto list = [](const QJsonValue &models, const QJsonValue &defaultId = "a") {
            return QJsonDocument(QJsonObject{{"models", models}, {"default", defaultId}})
                .toJson(QJsonDocument::Compact);
        };
        row("401", 401, R"({"error":"expired"})", false);
        row("500", 500, "oops", true);
        row("server gone", 0, {}, true);
        row("not JSON", 200, "<html>", true);
        row("a JSON list", 200, "[]", true);
        row("entry without a name", 200, list(QJsonArray{QJsonObject{{"id", "a"}}}), true);
        row("numeric id", 200, list(QJsonArray{QJsonObject{{"id", 1}, {"name", "a"}}}, "1"), true);
        row("empty id", 200, list(QJsonArray{entry("", "A")}, ""), true);
        row("entry not an object", 200, list(QJsonArray{entry("a", "A"), "b"}), true);
        row("default not listed", 200, list(QJsonArray{entry("b", "B")}), true);
        row("default not a string", 200, list(QJsonArray{entry("a", "A")}, QJsonValue()), true);
        row("empty list", 200, list(QJsonArray{}), true);
        row("id over 200 characters", 200,
            list(QJsonArray{entry("a", "A"), entry(QString(201, u'x'), "X")}), true);
        row("over 1 MiB", 200, list(QJsonArray{entry("a", QString(1024 * 1024, u'A'))}), true);
    }
    void unusableModelLists() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, logged);
        SettingsManager settings(path());
        const auto before = OfferedModels::fromJson(serverList);
        settings.setOfferedModels(before);
        const QByteArray stored = read(path());
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        const BackendConfig config =
            status != 0 ? m_rig->config : BackendConfig(FakeBackend().url());
        if (status != 0)
            m_rig->backend.enqueue(Reply::text(status, body, "application/json"));
        ModelDirectory directory(m_rig->network, m_rig->auth, settings, config);
        QTest::failOnWarning(QRegularExpression("models"));
        if (logged)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^The server's (list of )?models .*[^\n]$"));
        await(directory.refresh());
        QCOMPARE(settings.offeredModels(), before);
        QCOMPARE(read(path()), stored);
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
        QTest::addColumn<QJsonValue>("balance");
        QTest::addColumn<QString>("tokensLeft");
        const auto row = [](const char *name, const QString &status, const QString &shown,
                            bool active, const QJsonValue &balance, const QString &tokensLeft) {
            QTest::newRow(name) << status << shown << active << balance << tokensLeft;
        };
        row("active", "active", "Active", true, 12345, "12,345");
        row("other, capitalised", "past due", "Past Due", false, 0, "0");
        row("mixed case", "cANCELED", "Canceled", false, qint64(1234567890123),
            "1,234,567,890,123");
        row("Active is not active", "Active", "Active", true, QJsonValue::Undefined, "");
        row("empty", "", "", false, "12345", "");
    }
    void accountRows() {
        QFETCH(QString, status);
        QFETCH(QString, shown);
        QFETCH(bool, active);
        QFETCH(QJsonValue, balance);
        QFETCH(QString, tokensLeft);
        SettingsManager settings(m_dir.filePath("settings.json"));
        SettingsController controller(m_rig->auth, settings);
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        QJsonObject user{{"id", "17"},
                         {"email", "ada@example.org"},
                         {"name", "Ada"},
                         {"subscriptionStatus", status}};
        if (!balance.isUndefined())
            user.insert("tokenBalance", balance);
        Reply slow = Reply::json(200, user);
        slow.parts.first().delay = 100ms;
        m_rig->backend.enqueue(slow);
        controller.loadAccountInfo();
        QCOMPARE(controller.userEmail(), QStringLiteral("Loading..."));
        QCOMPARE(controller.subscriptionStatus(), QStringLiteral("..."));
        QCOMPARE(controller.tokensLeft(), QString());
        QTRY_COMPARE(controller.userEmail(), QStringLiteral("ada@example.org"));
        QCOMPARE(controller.subscriptionStatus(), shown);
        QCOMPARE(controller.subscriptionActive(), active);
        QCOMPARE(controller.tokensLeft(), tokensLeft);
    }

    // After an answer the balance is asked for again without the rows going back to
    // "Loading...": a failure leaves them, unless the session is gone.
    void quietRefresh() {
        SettingsManager settings(m_dir.filePath("settings.json"));
        SettingsController controller(m_rig->auth, settings);
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok");
        const auto user = [](qint64 balance) {
            return Reply::json(200, {{"id", "17"},
                                     {"email", "ada@example.org"},
                                     {"name", "Ada"},
                                     {"subscriptionStatus", "active"},
                                     {"tokenBalance", balance}});
        };
        QSignalSpy changed(&controller, &SettingsController::accountChanged);
        m_rig->backend.enqueue(user(12345));
        controller.loadAccountInfo();
        QVERIFY(changed.wait());
        QCOMPARE(controller.tokensLeft(), "12,345");

        Reply slow = user(11000);
        slow.parts.first().delay = 100ms;
        m_rig->backend.enqueue(slow);
        changed.clear();
        await(controller.refreshAccountInfo());
        QCOMPARE(changed.size(), 1); // straight to the new balance
        QCOMPARE(controller.userEmail(), "ada@example.org");
        QCOMPARE(controller.tokensLeft(), "11,000");

        m_rig->backend.enqueue(Reply::text(500, "busy"));
        await(controller.refreshAccountInfo());
        QCOMPARE(changed.size(), 1); // nothing for the failure
        QCOMPARE(controller.tokensLeft(), "11,000");

        // Over a window just opened, a failure still ends its "Loading...".
        m_rig->backend.enqueue(Reply::text(500, "busy"));
        m_rig->backend.enqueue(Reply::text(500, "busy"));
        controller.loadAccountInfo();
        await(controller.refreshAccountInfo());
        QCOMPARE(changed.size(), 3);
        QCOMPARE(controller.userEmail(), "Not signed in");

        m_rig->backend.enqueue(user(10000));
        controller.loadAccountInfo();
        QVERIFY(changed.wait());
        changed.clear();
        m_rig->backend.enqueue(Reply::text(401, "expired"));
        await(controller.refreshAccountInfo());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(controller.userEmail(), "Not signed in");
        QCOMPARE(controller.subscriptionStatus(), "N/A");
        QCOMPARE(controller.tokensLeft(), QString());
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
