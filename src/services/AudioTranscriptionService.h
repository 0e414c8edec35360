#pragma once

#include "core/PindleError.h"
#include "services/BackendApi.h"

#include <QLocale>
#include <QString>

#include <QCoroTask>

#include <functional>

class QNetworkAccessManager;

/// Uploads one recording to the backend's transcription endpoint and returns the text heard.
/// It is handed the token and category; it reads neither the token store nor the settings.
class AudioTranscriptionService final {
public:
    /// The backend refused or failed the transcription: domain "TranscriptionError", code 1.
    class TranscriptionError final : public PindleError {
    public:
        TranscriptionError();
        static constexpr auto domain = "TranscriptionError";
        static constexpr int code = 1;
    };

    using LocaleSource = std::function<QLocale()>;

    AudioTranscriptionService(QNetworkAccessManager &network, BackendConfig backend,
                              LocaleSource locale = &QLocale::system);

    AudioTranscriptionService(const AudioTranscriptionService &) = delete;
    AudioTranscriptionService &operator=(const AudioTranscriptionService &) = delete;

    /// The transcript of the recording at `filePath`; empty when the backend sends none.
    QCoro::Task<QString> transcribeAudio(QString filePath, QString token, QString category);

    /// The multipart body, byte for byte, for `audio` with this boundary and language code.
    [[nodiscard]] static QByteArray formBody(const QByteArray &boundary, const QByteArray &audio,
                                             const QString &languageCode, const QString &category);
    /// The locale's language code ("en"), or empty when it has none.
    [[nodiscard]] static QString languageCodeOf(const QLocale &locale);

private:
    BackendApi m_api;
    LocaleSource m_locale;
};
