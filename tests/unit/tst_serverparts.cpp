// The server's small parsers on their own: configuration errors, multipart and form bodies, the
// system prompt header, and which address a request is counted under.

#include "Config.h"
#include "HttpForms.h"
#include "api/SystemPrompt.h"

#include <QTemporaryDir>
#include <QTest>

using namespace pindle;

namespace {

// Loads a configuration file holding `text`; what it throws is left to the caller.
Config loadConfig(const QByteArray &text) {
    QTemporaryDir dir;
    const QString path = dir.filePath("server.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    return Config::load(path.toStdString());
}

} // namespace

class ServerPartsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void configurationErrors_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected"); // each must appear in the error text
        QTest::newRow("not JSON") << QByteArray("{port: 1}") << QStringList{"is not valid JSON"};
        QTest::newRow("not an object")
            << QByteArray("[]") << QStringList{"must hold a JSON object"};
        QTest::newRow("every bad setting at once")
            << QByteArray(R"({"port": 70000, "signup_open": "yes", "allowed_models": "gpt-4",)"
                          "\"provider_url\": \"ftp://x\", \"tls_certificate\": \"/nope.pem\", "
                          R"("worker_threads": 0, "category_instructions": {"exams": ""},)"
                          R"("colour": "blue"})")
            << QStringList{"\"port\" must lie between 1 and 65535",
                           "\"signup_open\" must be true or false, not string",
                           "\"allowed_models\" must be a list of strings",
                           "\"provider_url\" must start with http:// or https://",
                           "must be given together",
                           "TLS file not found: /nope.pem",
                           "\"worker_threads\" must lie between 1 and 256",
                           "\"category_instructions\": the instruction for \"exams\" must not "
                           "be empty",
                           "unknown setting \"colour\""};
        QTest::newRow("instructions not text")
            << QByteArray(R"({"category_instructions": {"exams": 1}})")
            << QStringList{"\"category_instructions\" must be an object of strings"};
    }

    void configurationErrors() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        try {
            (void)loadConfig(file);
            QFAIL("a bad configuration was accepted");
        } catch (const ConfigError &error) {
            const QString text = QString::fromUtf8(error.what());
            for (const QString &part : expected)
                QVERIFY2(text.contains(part), qPrintable(text));
        }
    }

    void categoryInstructions() {
        // The file's entries replace or add to the built-in ones; the rest stay.
        auto expected = Config::defaultCategoryInstructions();
        expected["coding"] = "Answer as a pirate.";
        expected["poems"] = "Rhyme.";
        QVERIFY(loadConfig(R"({"category_instructions":
            {"coding": "Answer as a pirate.", "poems": "Rhyme."}})")
                    .categoryInstructions == expected);
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
};

QTEST_GUILESS_MAIN(ServerPartsTest)
#include "tst_serverparts.moc"
