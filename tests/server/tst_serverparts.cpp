// The server's small parsers on their own: configuration errors, multipart and form bodies, the
// system prompt header, which address a request is counted under, where a browser says a request
// came from, and the limits on requests and connections.

#include "Config.h"
#include "api/SameOrigin.h"
#include "api/SystemPrompt.h"
#include "http/HttpForms.h"
#include "http/HttpLimits.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace pindle;

namespace {

// Loads a configuration file holding `text`, or a missing one when `text` is null; what it
// throws is left to the caller.
Config loadConfig(const QByteArray &text) {
    QTemporaryDir dir;
    const QString path = dir.filePath("server.json");
    QFile file(path);
    if (!text.isNull() && (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()))
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    return Config::load(path.toStdString());
}

} // namespace

class ServerPartsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void configurationErrors_data() {
        QTest::addColumn<QByteArray>("file");      // null for a missing file
        QTest::addColumn<QStringList>("expected"); // each must appear in the error text
        QTest::addColumn<QByteArray>("port");      // PINDLE_PORT, when not empty
        const auto row = [](const char *name, const QByteArray &file, const QStringList &expected,
                            const QByteArray &port = {}) {
            QTest::newRow(name) << file << expected << port;
        };
        row("not an object", "[]", {"must hold a JSON object"});
        row("every bad setting at once",
            R"({"port": 70000, "signup_open": "yes", "allowed_models": "gpt-4",)"
            R"("provider_url": "ftp://x", "tls_certificate": "/nope.pem", "worker_threads": 0,)"
            R"("category_instructions": {"exams": ""}, "colour": "blue"})",
            {"\"port\" must lie between 1 and 65535",
             "\"signup_open\" must be true or false, not string",
             "\"allowed_models\" must be a list of strings",
             "\"provider_url\" must start with http:// or https://", "must be given together",
             "TLS file not found: /nope.pem", "\"worker_threads\" must lie between 1 and 256",
             "\"category_instructions\": the instruction for \"exams\" must not be empty",
             "unknown setting \"colour\""});
        row("models given both ways, and badly",
            R"({"models": [{"id": "a", "vision": "yes"}, {"name": "b"}, {"id": "a"}, 7],)"
            R"("model_map": {"a": "b"}, "default_model": "c"})",
            {"\"models\" replaces \"allowed_models\" and \"model_map\": give only \"models\"",
             "\"models\" entry 1: \"vision\" must be true or false, not string",
             "\"models\" entry 2 needs an \"id\" of 1 to 200 characters",
             "\"models\" lists \"a\" twice", "\"models\" entry 4 must be an object with an \"id\"",
             "\"default_model\" must be one of the models offered, not \"c\""});
        row("models neither a list nor the provider's", R"({"models": "all"})",
            {"\"models\" must be a list of models ({\"id\": ...}) or \"provider\""});
        row("instructions not text", R"({"category_instructions": {"exams": 1}})",
            {"\"category_instructions\" must be an object of strings"});

        // Every number is whole and within its bounds, however JSON spells it.
        row("numbers out of bounds",
            R"({"port": 4294975383, "session_days": 1e300, "signup_balance": -1,)"
            R"("max_upload_bytes": 1e19, "io_threads": -1e300})",
            {"\"port\" must lie between 1 and 65535",
             "\"session_days\" must lie between 1 and 3650",
             "\"signup_balance\" must lie between 0 and 1000000000000000",
             "\"max_upload_bytes\" must lie between 1024 and 1099511627776",
             "\"io_threads\" must lie between 1 and 64"});
        row("fractions and other types",
            R"({"port": 80.9, "worker_threads": 2.5, "session_days": "30"})",
            {"\"port\" must be a whole number, not 80.9",
             "\"worker_threads\" must be a whole number, not 2.5",
             "\"session_days\" must be a whole number, not string"});
        row("beyond a double", R"({"port": 8080, "model_map": {"a": [-1e400]}})",
            {"\"model_map\" holds a number too large to read (-1e400); the rest of the file was "
             "not read"});
        row("beyond a double, a whole-number setting", R"({"port": 1e400})",
            {"\"port\" holds a number too large to read (1e400)"});
        row("beyond a double, outside any setting", "[1e400]",
            {"server.json holds a number too large to read (1e400)"});

        // Syntax errors say where, in words, and never repeat what was read: it may be a secret.
        row("syntax error", "{\n  port: 1}",
            {"is not valid JSON (line 2, column 3: syntax error while parsing object key - "
             "invalid literal; expected string literal)"});
        row("key cut off by a missing quote", "{\"provider_api_key\": \"hunter2hunter2}",
            {"is not valid JSON (line 1, column 38: syntax error while parsing value - invalid "
             "string: missing closing quote)"});
        const QByteArray longPath = "\"/" + QByteArray(5000, 'a') + '"';
        row("TLS paths too long",
            "{\"tls_certificate\": " + longPath + ", \"tls_private_key\": " + longPath + '}',
            {"\"tls_certificate\" cannot be used: File name too long",
             "\"tls_private_key\" cannot be used: File name too long"});

        // Whatever stops the file being read, the environment is still checked.
        row("missing file and a bad variable", {},
            {"cannot read the configuration file",
             "PINDLE_PORT must be a port number between 1 and 65535"},
            "80.9");
        row("bad JSON and a bad variable", "{",
            {"is not valid JSON", "PINDLE_PORT must be a port number"}, "99999999999999999999");
    }

    void configurationErrors() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, port);
        QFETCH(QStringList, expected);
        if (!port.isEmpty())
            qputenv("PINDLE_PORT", port);
        const auto restore = qScopeGuard([] { qunsetenv("PINDLE_PORT"); });
        try {
            (void)loadConfig(file);
            QFAIL("a bad configuration was accepted");
        } catch (const ConfigError &error) {
            const QString text = QString::fromUtf8(error.what());
            QCOMPARE(text.count('\n') + 1, expected.size()); // one line each, nothing else
            for (const QString &part : expected)
                QVERIFY2(text.contains(part), qPrintable(text));
            // In plain words, with no secret read back.
            QVERIFY2(!text.contains("json.exception") && !text.contains("hunter2"),
                     qPrintable(text));
        }
    }

    // Numbers spelled any way JSON allows, at their bounds; instructions that replace or add to
    // the built-in ones, which stay otherwise.
    void goodConfiguration() {
        const Config config = loadConfig(R"({"port": 8.08e3, "session_days": 3650,
            "signup_balance": 0, "max_upload_bytes": 1024.0,
            "category_instructions": {"coding": "Answer as a pirate.", "poems": "Rhyme."}})");
        QCOMPARE(config.port, 8080);
        QCOMPARE(config.sessionDays, 3650);
        QCOMPARE(config.signupBalance, 0);
        QCOMPARE(config.maxUploadBytes, 1024);
        QCOMPARE(config.sessionExpiry(1000), 1000 + 3650 * 86400);
        auto instructions = Config::defaultCategoryInstructions();
        instructions["coding"] = "Answer as a pirate.";
        instructions["poems"] = "Rhyme.";
        QVERIFY(config.categoryInstructions == instructions);

        Config huge;
        huge.sessionDays = std::numeric_limits<std::int64_t>::max();
        QCOMPARE(huge.sessionExpiry(1000), 1000 + 3650 * 86400);
        QCOMPARE(huge.sessionExpiry(std::numeric_limits<std::int64_t>::max() - 5),
                 std::numeric_limits<std::int64_t>::max());
    }

    // What clients are offered and what the provider is asked for, however the file names it.
    void modelOffers_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("offered"); // id=name[+vision][>provider's name] ...; default
        QTest::addColumn<QString>("other");   // what a model outside the list is sent as
        QTest::newRow("untouched: the catalogue, open to any model")
            << QByteArray("{}")
            << "gpt-5.5=GPT-5.5+ gpt-5.4=GPT-5.4+ gpt-5.4-mini=GPT-5.4 mini+ gpt-4.1=GPT-4.1+ "
               "o3=o3 o4-mini=o4-mini+ gpt-4o=GPT-4o+ gpt-4.1-mini=GPT-4.1 mini+ "
               "gpt-4o-mini=GPT-4o mini+ o3-mini=o3-mini gpt-4.1-nano=GPT-4.1 nano+ "
               "gpt-4-turbo=GPT-4 Turbo gpt-4=GPT-4 gpt-3.5-turbo=GPT-3.5 Turbo; gpt-4.1"
            << "llama3";
        QTest::newRow("allowed_models and model_map")
            << QByteArray(R"({"allowed_models": ["o4-mini", "gpt-4.1", "llava"],)"
                          R"("model_map": {"gpt-4.1": "llama3.1:8b", "gpt-4o": "x"},)"
                          R"("vision_models": ["llava"]})")
            << "o4-mini=o4-mini+ gpt-4.1=GPT-4.1>llama3.1:8b llava=llava+; gpt-4.1"
            << "";
        QTest::newRow("model_map alone adds its models to the catalogue")
            << QByteArray(R"({"model_map": {"local": "qwen2.5:7b"}})") << "local=local>qwen2.5:7b"
            << "llama3";
        QTest::newRow("a list of the operator's own")
            << QByteArray(R"({"models": [{"id": "fast", "name": "Fast", "provider_model": "q:3b"},)"
                          R"({"id": "eyes", "description": "Reads screens.", "vision": true}],)"
                          R"("default_model": "eyes"})")
            << "fast=Fast>q:3b eyes=eyes+; eyes"
            << "";
    }

    void modelOffers() {
        QFETCH(QByteArray, file);
        QFETCH(QString, offered);
        QFETCH(QString, other);
        const ModelOffer offer = loadConfig(file).models;
        QStringList shown;
        for (const OfferedModel &model : offer.models) {
            QString entry = QString::fromStdString(model.id + "=" + model.name);
            if (model.vision)
                entry += '+';
            if (const auto sent = offer.providerModelFor(model.id); sent != model.id)
                entry += QString::fromStdString(">" + sent.value_or("?"));
            shown.append(entry);
        }
        const QString all = shown.join(' ') + "; " + QString::fromStdString(offer.defaultId);
        if (offered.contains(';'))
            QCOMPARE(all, offered);
        else
            QVERIFY2(all.contains(offered), qPrintable(all));
        QCOMPARE(QString::fromStdString(offer.providerModelFor("llama3").value_or("")), other);
        const nlohmann::json listed = offer.toJson();
        QVERIFY(listed["models"].size() == offer.models.size());
        QVERIFY(listed["default"].get<std::string>() == offer.defaultId);
    }

    // A provider's own list: its order, the catalogue's names where they apply, the operator's
    // default where listed.
    void providerModelList_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("offered"); // or the problem
        QTest::newRow("Ollama's")
            << QByteArray(R"({"object": "list", "data": [{"id": "llava:7b", "object": "model"},)"
                          R"({"id": "gpt-4.1"}, {"id": "llava:7b"}, {"id": 5}, {"id": ""}]})")
            << "llava:7b=llava:7b+ gpt-4.1=GPT-4.1+; gpt-4.1";
        QTest::newRow("without the default")
            << QByteArray(R"({"data": [{"id": "q"}, {"id": "r"}]})") << "q=q r=r; q";
        QTest::newRow("no models") << QByteArray(R"({"data": []})") << "it lists no models";
        QTest::newRow("not a list") << QByteArray(R"(["gpt-4.1"])")
                                    << "its reply is not a list of models ({\"data\": [...]})";
        QTest::newRow("not JSON") << QByteArray("<html>")
                                  << "its reply is not a list of models ({\"data\": [...]})";
    }

    void providerModelList() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, offered);
        std::string problem;
        const auto offer =
            ModelOffer::fromProviderList(reply.toStdString(), {"llava:7b"}, "gpt-4.1", problem);
        QString shown = QString::fromStdString(problem);
        if (offer) {
            QStringList entries;
            for (const OfferedModel &model : offer->models)
                entries.append(QString::fromStdString(model.id + "=" + model.name) +
                               (model.vision ? "+" : ""));
            shown = entries.join(' ') + "; " + QString::fromStdString(offer->defaultId);
            QVERIFY(!offer->acceptsOthers);
        }
        QCOMPARE(shown, offered);
    }

    void listeningWithoutTls_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("warned");
        for (const char *local :
             {"127.0.0.1", "127.8.9.10", "::1", "[::1]", "::ffff:127.0.0.1", "localhost"})
            QTest::newRow(local) << QString(local) << false << false;
        for (const char *open : {"0.0.0.0", "::", "192.0.2.7", "128.0.0.1", "example.org"})
            QTest::newRow(open) << QString(open) << false << true;
        QTest::newRow("0.0.0.0 with TLS") << QString("0.0.0.0") << true << false;
    }

    void listeningWithoutTls() {
        QFETCH(QString, address);
        QFETCH(bool, tls);
        QFETCH(bool, warned);
        Config config;
        config.listenAddress = address.toStdString();
        if (tls)
            config.tlsCertificate = config.tlsPrivateKey = "/etc/hostname";
        QCOMPARE(config.warnings().size(), size_t(warned));
        QVERIFY(config.problems().empty());
    }

    void systemPromptHeader_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem");
        const QString malformed = "The system prompt is not valid percent-encoded UTF-8.";
        const QString tooLong = "The system prompt is longer than 16 KiB.";
        QTest::newRow("none") << QByteArray() << QByteArray() << QString();
        QTest::newRow("escaped UTF-8, either case of hex")
            << QByteArray("Sei%20kurz%3a%20%C3%BC%E2%82%AC%f0%9f%98%80")
            << QByteArray("Sei kurz: \xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80") << QString();
        QTest::newRow("reserved characters left unescaped")
            << QByteArray("a+b/c?d=e (f)!") << QByteArray("a+b/c?d=e (f)!") << QString();
        QTest::newRow("16 KiB, every byte escaped")
            << QByteArray("%41").repeated(16384) << QByteArray(16384, 'A') << QString();
        QTest::newRow("a byte more") << QByteArray(16385, 'a') << QByteArray() << tooLong;
        for (const char *bad : {"%4", "100%", "%zz", "\xc3\xbc", "tab\there", "%80", "%C0%AF",
                                "%E2%82", "%ED%A0%80", "%F4%90%80%80", "%C3%28"})
            QTest::newRow(bad) << QByteArray(bad) << QByteArray() << malformed;
    }

    void systemPromptHeader() {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        const SystemPrompt prompt = SystemPrompt::decode(header.toStdString());
        QCOMPARE(QByteArray::fromStdString(prompt.text), text);
        QCOMPARE(QString::fromStdString(prompt.problem), problem);
    }

    void multipartBodies() {
        const std::string type = "multipart/form-data; boundary=\"XyZ\"";
        const auto parts = parseMultipart(
            type,
            "preamble\r\n--XyZ\r\nContent-Disposition: form-data; name=\"audio\"; "
            "filename=\"a.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n\r\n--XyZ-not-yet\r\n"
            "--XyZ\r\ncontent-disposition: form-data; name=category\r\n\r\nexams\r\n--XyZ--\r\n");
        QVERIFY(parts);
        QCOMPARE(parts->size(), size_t(2));
        QCOMPARE(parts->at(0).fileName, std::string("a.m4a"));
        QCOMPARE(parts->at(0).contentType, std::string("audio/mp4"));
        QCOMPARE(parts->at(0).data, std::string("\r\n--XyZ-not-yet")); // only CRLF--XyZ ends a part
        QCOMPARE(parts->at(1).name, std::string("category"));
        QCOMPARE(parts->at(1).data, std::string("exams"));

        QVERIFY(!parseMultipart("application/json", "{}"));
        QVERIFY(!parseMultipart("multipart/form-data", "--x\r\n")); // no boundary
        QVERIFY(!parseMultipart(type, "--XyZ\r\nContent-Disposition: x\r\n\r\nunended")); // cut off
    }

    void urlEncodedForms() {
        const auto fields =
            parseUrlEncoded("name=Ada+L%C3%B6velace&email=a%40b.c&bad=%zz&empty=&x");
        QCOMPARE(fields.at("name"), std::string("Ada L\xc3\xb6velace"));
        QCOMPARE(fields.at("email"), std::string("a@b.c"));
        QCOMPARE(fields.at("bad"), std::string("%zz"));
        QCOMPARE(fields.at("empty"), std::string());
        QVERIFY(!fields.count("x"));
        QCOMPARE(escapeHtml("<a href=\"x\">'&'</a>"),
                 std::string("&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;"));
    }

    void clientAddresses() {
        const std::vector<std::string> proxies{"127.0.0.1", "10.0.0.2"};
        // Only a trusted proxy may speak for someone else.
        QCOMPARE(clientAddressOf("203.0.113.9", "1.2.3.4", proxies), std::string("203.0.113.9"));
        QCOMPARE(clientAddressOf("127.0.0.1", "1.2.3.4, 198.51.100.7", proxies),
                 std::string("198.51.100.7"));
        QCOMPARE(clientAddressOf("127.0.0.1", "198.51.100.7, 10.0.0.2", proxies),
                 std::string("198.51.100.7"));
        QCOMPARE(clientAddressOf("127.0.0.1", "", proxies), std::string("127.0.0.1"));

        QCOMPARE(addressKey("2001:db8:1:2:aaaa::1"), addressKey("2001:db8:1:2:bbbb::9"));
        QVERIFY(addressKey("2001:db8:1:2::1") != addressKey("2001:db8:1:3::1"));
        QCOMPARE(addressKey("192.0.2.1"), std::string("192.0.2.1"));
    }

    void origins_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("origin"); // empty: none
        const auto row = [](const char *url, const char *origin) {
            QTest::newRow(url) << QString(url) << QString(origin);
        };
        row("https://Pindle.Example:443/signup?a=b", "https://pindle.example");
        row("HTTP://[::1]:80/", "http://[::1]");
        row("https://pindle.example:080#x", "https://pindle.example:80");
        for (const char *none :
             {"null", "", "/signup", "ftp://pindle.example", "https://pindle.example@evil.example",
              "http://:8787", "http://a:99999", "http://a:+1", "http://[::1", "https://a:b"})
            row(none, "");
    }

    void origins() {
        QFETCH(QString, url);
        QFETCH(QString, origin);
        QCOMPARE(QString::fromStdString(originOf(url.toStdString())), origin);
    }

    // Forwarded headers name the origin only when a trusted proxy sent them.
    void ownOrigin() {
        using namespace std::string_literals;
        const auto originFor = [](const char *peer, bool tls, const char *host, const char *proto,
                                  const char *forwarded) {
            HttpRequest request;
            request.peerAddress = peer;
            request.tls = tls;
            request.host = host;
            request.forwardedProto = proto;
            request.forwardedHost = forwarded;
            return pindle::ownOrigin(request, {"127.0.0.1", "10.0.0.2"});
        };
        QCOMPARE(originFor("203.0.113.9", true, "Pindle.example:443", "", ""),
                 "https://pindle.example"s);
        QCOMPARE(originFor("203.0.113.9", false, "127.0.0.1:8787", "https", "evil.example"),
                 "http://127.0.0.1:8787"s);
        QCOMPARE(originFor("10.0.0.2", false, "backend", "https, http", "pindle.example, backend"),
                 "https://pindle.example"s);
        QCOMPARE(originFor("10.0.0.2", false, "pindle.example", "https", ""),
                 "https://pindle.example"s);
        QCOMPARE(originFor("203.0.113.9", false, "pindle.example/x", "", ""), ""s);
    }

    // Each open stream holds two descriptors, and a few stay for the database and the logs.
    void connectionCap() {
        QCOMPARE(defaultConnectionCap(1024), size_t(480));
        QCOMPARE(defaultConnectionCap(1024 * 1024), size_t(4096));
        QCOMPARE(defaultConnectionCap(2), size_t(1));
    }
};

QTEST_GUILESS_MAIN(ServerPartsTest)
#include "tst_serverparts.moc"
