#include "services/AudioTranscriptionService.h"

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
    : PindleError(BackendTexts::transcriptionFailed()) {}

AudioTranscriptionService::AudioTranscriptionService(QNetworkAccessManager &network,
                                                     BackendConfig backend, LocaleSource locale)
    : m_api(network, std::move(backend))
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
    if (const auto refusal = m_api.refusal(path, token))
        throw PindleError(*refusal);

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(file.errorString());
    const QByteArray audio = file.readAll();
    file.close();

    const QByteArray boundary =
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    const ReplyPtr reply =
        m_api.send(path, token, formBody(boundary, audio, languageCodeOf(m_locale()), category),
                   "multipart/form-data; boundary=" + boundary);
    ReplyWatcher watcher(*reply, m_api.config().requestTimeout());
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
        throw DecodingError(BackendTexts::notJson(error.errorString()));
    co_return document.object().value(QLatin1String("transcript")).toString();
}
