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
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArray>("middle"); // what stands between the audio and the category
        QTest::newRow("English locale")
            << QLocale(QLocale::English, QLocale::UnitedKingdom) << "exams"
            << QByteArray("--@\r\nContent-Disposition: form-data; "
                          "name=\"language\"\r\n\r\nen\r\n");
        QTest::newRow("C locale, empty category") << QLocale::c() << "" << QByteArray();
    }

    void uploadByteForByte() {
        QFETCH(QLocale, locale);
        QFETCH(QString, category);
        QFETCH(QByteArray, middle);
        const QByteArray audio("\x00\x01\r\n--not-a-boundary\xff", 22);
        m_backend->enqueue(Reply::json(200, {{"transcript", " Hello there. "}}));
        AudioTranscriptionService transcriber = service(locale);
        QCOMPARE(
            await(transcriber.transcribeAudio(recording(audio, "whatever.aac"), "tok-1", category)),
            QStringLiteral(" Hello there. "));

        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/api/chat/transcribe");
        QCOMPARE(request.header("Authorization"), "Bearer tok-1");
        const QByteArray contentType = request.header("Content-Type");
        const QRegularExpression form("^multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                      "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$");
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(contentType));
        QVERIFY2(match.hasMatch(), contentType.constData());
        const QByteArray boundary = match.captured(1).toLatin1();

        QByteArray expected = "--@\r\nContent-Disposition: form-data; name=\"audio\"; "
                              "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                              audio + "\r\n" + middle +
                              "--@\r\nContent-Disposition: form-data; name=\"category\"\r\n\r\n" +
                              category.toUtf8() + "\r\n--@--\r\n";
        expected.replace("@", boundary);
        QCOMPARE(request.body, expected);
    }

    void everyUploadHasItsOwnBoundary() {
        m_backend->enqueue(Reply::json(200, {}));
        m_backend->enqueue(Reply::json(200, {}));
        AudioTranscriptionService transcriber = service(QLocale::c());
        const QString file = recording("x");
        await(transcriber.transcribeAudio(file, "", "general"));
        await(transcriber.transcribeAudio(file, "", "general"));
        QVERIFY(m_backend->requests()[0].header("Content-Type") !=
                m_backend->requests()[1].header("Content-Type"));
        QCOMPARE(m_backend->requests()[0].header("Authorization"), "Bearer"); // "Bearer " trimmed
    }

    void replies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result");
        QTest::newRow("empty transcript") << 200 << QByteArray(R"({"transcript":""})") << "";
        QTest::newRow("no transcript") << 200 << QByteArray("{}") << "";
        QTest::newRow("transcript not text") << 200 << QByteArray(R"({"transcript":5})") << "";
        QTest::newRow("401 is not a session message")
            << 401 << QByteArray(R"({"error":"expired"})") << "Failed to transcribe audio";
        QTest::newRow("500") << 500 << QByteArray("boom") << "Failed to transcribe audio";
    }

    void replies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        m_backend->enqueue(Reply::text(status, body, "application/json"));
        AudioTranscriptionService transcriber = service(QLocale::c());
        QString outcome;
        try {
            outcome = await(transcriber.transcribeAudio(recording("x"), "t", "exams"));
        } catch (const TranscriptionError &error) {
            outcome = error.message();
        }
        QCOMPARE(outcome, result);
    }

    void failuresBeforeAndAfter() {
        AudioTranscriptionService transcriber = service(QLocale::c());
        // A recording that cannot be read sends nothing.
        QVERIFY(!failureOf<FileError>(
                     transcriber.transcribeAudio(m_dir.filePath("missing.m4a"), "t", "exams"))
                     .isEmpty());
        QVERIFY(m_backend->requests().isEmpty());
        // A 200 that is not JSON is the reader's error.
        m_backend->enqueue(Reply::text(200, "<html>"));
        QVERIFY(failureOf<DecodingError>(transcriber.transcribeAudio(recording("x"), "t", "exams"))
                    .startsWith("The server's reply is not valid JSON"));
    }
};

QTEST_GUILESS_MAIN(AudioTranscriptionTest)
#include "tst_audiotranscription.moc"
