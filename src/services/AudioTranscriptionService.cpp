#include "services/AudioTranscriptionService.h"

#include "services/ReplyWatcher.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QUuid>

namespace {

constexpr qsizetype maxReplySize = 1024 * 1024;

QByteArray field(const QByteArray &boundary, const char *name, const QByteArray &value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

} // namespace

AudioTranscriptionService::TranscriptionError::TranscriptionError()
    : PindleError(QStringLiteral("Failed to transcribe audio")) {}

AudioTranscriptionService::AudioTranscriptionService(QNetworkAccessManager &network,
                                                     BackendConfig backend, LocaleSource locale)
    : m_network(network)
    , m_backend(std::move(backend))
    , m_locale(std::move(locale)) {}

QString AudioTranscriptionService::languageCodeOf(const QLocale &locale) {
    const QLocale::Language language = locale.language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return {};
    return QLocale::languageToCode(language);
}

QByteArray AudioTranscriptionService::formBody(const QByteArray &boundary, const QByteArray &audio,
                                               const QString &languageCode,
                                               const QString &category) {
    QByteArray body = "--" + boundary +
                      "\r\nContent-Disposition: form-data; name=\"audio\"; "
                      "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n";
    body.reserve(audio.size() + 512);
    body += audio;
    body += "\r\n";
    if (!languageCode.isEmpty())
        body += field(boundary, "language", languageCode.toUtf8());
    body += field(boundary, "category", category.toUtf8());
    body += "--" + boundary + "--\r\n";
    return body;
}

QCoro::Task<QString> AudioTranscriptionService::transcribeAudio(QString filePath, QString token,
                                                                QString category) {
    const QString path = QStringLiteral("/api/chat/transcribe");
    if (const auto refusal = BackendConfig::credentialTransportRefusal(m_backend.endpoint(path)))
        throw PindleError(*refusal);
    if (!BackendConfig::isHeaderSafe(token))
        throw PindleError(QStringLiteral("The stored sign-in is damaged. Please sign in again."));

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(file.errorString());
    const QByteArray audio = file.readAll();
    file.close();

    const QByteArray boundary =
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    QNetworkRequest request = m_backend.request(path);
    request.setRawHeader(QByteArrayLiteral("Authorization"), "Bearer " + token.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=" + boundary));
    const ReplyPtr reply(
        m_network.post(request, formBody(boundary, audio, languageCodeOf(m_locale()), category)));
    ReplyWatcher watcher(*reply, m_backend.requestTimeout());
    co_await watcher.head();
    if (watcher.status() == 0 && watcher.transportFailed())
        throw NetworkError(watcher.transportErrorText());
    if (watcher.status() != 200) // refusals are not told apart; their body is not read
        throw TranscriptionError();
    const QByteArray answer = co_await watcher.readAll(maxReplySize);
    if (watcher.transportFailed())
        throw NetworkError(watcher.transportErrorText());
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(
            QStringLiteral("The server's reply is not valid JSON (%1).").arg(error.errorString()));
    co_return document.object().value(QLatin1String("transcript")).toString();
}
