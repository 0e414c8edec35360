// The transcription upload against the fake backend: the multipart body byte for byte, and what
// each reply becomes.

#include "Await.h"
#include "FakeBackend.h"
#include "services/AudioTranscriptionService.h"

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Reply = FakeBackend::Reply;
using TranscriptionError = AudioTranscriptionService::TranscriptionError;

class AudioTranscriptionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeBackend> m_backend;
    QNetworkAccessManager m_network;

    QString recording(const QByteArray &bytes, const QString &name = "pindle_recording.m4a") {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

    AudioTranscriptionService service(const QLocale &locale) {
        return AudioTranscriptionService(m_network, BackendConfig(m_backend->url()),
                                         [locale] { return locale; });
    }

private Q_SLOTS:
    void init() { m_backend = std::make_unique<FakeBackend>(); }
    void cleanup() { m_backend.reset(); }

    void uploadByteForByte_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArray>("middle"); // what stands between the audio and the category
        QTest::newRow("English locale")
            << QLocale(QLocale::English, QLocale::UnitedKingdom) << "tok-1"
            << "exams"
            << QByteArray("--@\r\nContent-Disposition: form-data; "
                          "name=\"language\"\r\n\r\nen\r\n");
        QTest::newRow("C locale, empty token and category") << QLocale::c() << ""
                                                            << "" << QByteArray();
    }
    void uploadByteForByte() {
        QFETCH(QLocale, locale);
        QFETCH(QString, token);
        QFETCH(QString, category);
        QFETCH(QByteArray, middle);
        const QByteArray audio("\x00\x01\r\n--not-a-boundary\xff", 22);
        const QString file = recording(audio, "whatever.aac");
        AudioTranscriptionService transcriber = service(locale);
        QByteArrayList boundaries;
        for (int upload = 0; upload < 2; ++upload) { // each upload has a boundary of its own
            m_backend->enqueue(Reply::json(200, {{"transcript", " Hello there. "}}));
            QCOMPARE(await(transcriber.transcribeAudio(file, token, category)),
                     QStringLiteral(" Hello there. "));

            const FakeBackend::Request &request = m_backend->requests().at(upload);
            QCOMPARE(request.method, "POST");
            QCOMPARE(request.target, "/api/chat/transcribe");
            QCOMPARE(request.header("Authorization"),
                     QString("Bearer " + token).trimmed().toUtf8());
            const QByteArray contentType = request.header("Content-Type");
            const QRegularExpression form("^multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                          "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$");
            const QRegularExpressionMatch match = form.match(QString::fromLatin1(contentType));
            QVERIFY2(match.hasMatch(), contentType.constData());
            const QByteArray boundary = match.captured(1).toLatin1();
            QVERIFY(!boundaries.contains(boundary));
            boundaries << boundary;

            QByteArray expected =
                "--@\r\nContent-Disposition: form-data; name=\"audio\"; "
                "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                audio + "\r\n" + middle +
                "--@\r\nContent-Disposition: form-data; name=\"category\"\r\n\r\n" +
                category.toUtf8() + "\r\n--@--\r\n";
            expected.replace("@", boundary);
            QCOMPARE(request.body, expected);
        }
    }

    void replies_data() {
        QTest::addColumn<int>("status"); // 0: the recording cannot be read and nothing is sent
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // a final '*' stands for any text
        const auto row = [](const char *name, int status, const QByteArray &body,
                            const QString &expected) {
            QTest::newRow(name) << status << body << expected;
        };
        row("no transcript", 200, "{}", "");
        row("transcript not text", 200, R"({"transcript":5})", "");
        row("401 is not a session message", 401, R"({"error":"expired"})",
            "refused: Failed to transcribe audio");
        row("200 not JSON", 200, "<html>", "decoding: The server's reply is not valid JSON*");
        row("no recording", 0, {}, "file: No such file or directory");
    }
    void replies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        if (status != 0)
            m_backend->enqueue(Reply::text(status, body, "application/json"));
        AudioTranscriptionService transcriber = service(QLocale::c());
        const QString file = status != 0 ? recording("x") : m_dir.filePath("missing.m4a");
        const QString actual = outcomeOf<TranscriptionError>(
            "refused", [&] { return await(transcriber.transcribeAudio(file, "t", "exams")); });
        if (expected.endsWith('*'))
            QVERIFY2(actual.startsWith(expected.chopped(1)), qPrintable(actual));
        else
            QCOMPARE(actual, expected);
        QCOMPARE(m_backend->requests().size(), status != 0 ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(AudioTranscriptionTest)
#include "tst_audiotranscription.moc"
