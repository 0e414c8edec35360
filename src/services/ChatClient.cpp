#include "services/ChatClient.h"

#include "services/AuthService.h"
#include "services/ChatStreamDecoder.h"
#include "services/SettingsManager.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QStringDecoder>

#include <array>

namespace {

const std::array<QLatin1String, 4> visionModelPrefixes{
    QLatin1String("gpt-5"), QLatin1String("gpt-4o"), QLatin1String("gpt-4.1"), QLatin1String("o4")};

// An error body is for one line of text; beyond this much it tells nothing more.
constexpr qsizetype maxErrorTextLength = 64 * 1024;

QString defaultScreenshotText() {
    return QStringLiteral("Read everything on the screen carefully. Give the correct answer. Be "
                          "concise but accurate.");
}

QString clipped(QString text) {
    if (text.size() > maxErrorTextLength) {
        text.truncate(maxErrorTextLength);
        text += QChar(0x2026);
    }
    return text;
}

} // namespace

ChatClient::ChatClient(QNetworkAccessManager &network, AuthService &auth, SettingsManager &settings,
                       BackendConfig backend)
    : m_api(network, std::move(backend))
    , m_auth(auth)
    , m_settings(settings) {}

bool ChatClient::supportsVision(const QString &model) {
    return std::any_of(visionModelPrefixes.cbegin(), visionModelPrefixes.cend(),
                       [&](QLatin1String prefix) { return model.startsWith(prefix); });
}

ChatClient::RequestConfiguration ChatClient::makeConfiguration(const QList<ChatMessage> &messages,
                                                               const QString &category) const {
    QString model = m_settings.requestModel();
    const bool hasImage = std::any_of(messages.cbegin(), messages.cend(), [](const ChatMessage &m) {
        return m.imageBase64.has_value();
    });
    if (hasImage) {
        // The server says which of its models read images; without its list, the names tell.
        if (const std::optional<OfferedModels> &offered = m_settings.offeredModels()) {
            const OfferedModels::Model *chosen = offered->find(model);
            if (!chosen || !chosen->vision) {
                const OfferedModels::Model *reader = offered->firstReadingImages();
                if (!reader)
                    throw ChatError(QCoreApplication::translate(
                        "ChatClient",
                        "None of the models this server offers can read pictures, so the screen "
                        "cannot be asked about."));
                model = reader->id;
            }
        } else if (!supportsVision(model)) {
            model = QStringLiteral("gpt-4o");
        }
    }

    double temperature = hasImage ? 0.15 : 0.25;
    if (category == QLatin1String("exams") || category == QLatin1String("coding"))
        temperature = 0.1;
    else if (category == QLatin1String("writing"))
        temperature = 0.45;
    return {model, category, temperature, hasImage ? 2300 : 2048};
}

QJsonArray ChatClient::buildRequestMessages(const QList<ChatMessage> &messages) {
    QJsonArray result;
    for (const ChatMessage &message : messages) {
        QJsonObject element;
        element.insert(QStringLiteral("role"), ChatMessage::roleName(message.role));
        if (message.imageBase64) {
            const QString text =
                message.content.isEmpty() ? defaultScreenshotText() : message.content;
            const QJsonObject imageUrl{
                {QStringLiteral("url"),
                 QString(QStringLiteral("data:image/jpeg;base64,") + *message.imageBase64)},
                {QStringLiteral("detail"), QStringLiteral("high")}};
            element.insert(
                QStringLiteral("content"),
                QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")},
                                       {QStringLiteral("text"), text}},
                           QJsonObject{{QStringLiteral("type"), QStringLiteral("image_url")},
                                       {QStringLiteral("image_url"), imageUrl}}});
        } else {
            element.insert(QStringLiteral("content"), message.content);
        }
        result.append(element);
    }
    return result;
}

QCoro::Task<ReplyPtr> ChatClient::send(QList<ChatMessage> messages, QString category, bool stream) {
    const std::optional<QString> token = co_await m_auth.getToken();
    if (!token)
        throw ChatError(BackendTexts::notSignedIn());
    const QString path = QStringLiteral("/api/chat");
    if (const std::optional<QString> refusal = m_api.refusal(path, token))
        throw ChatError(*refusal);

    const RequestConfiguration configuration = makeConfiguration(messages, category);
    QJsonObject body{{QStringLiteral("model"), configuration.model},
                     {QStringLiteral("category"), configuration.category},
                     {QStringLiteral("messages"), buildRequestMessages(messages)},
                     {QStringLiteral("stream"), stream},
                     {QStringLiteral("temperature"), configuration.temperature},
                     {QStringLiteral("max_tokens"), configuration.maxTokens}};

    // The user's own instructions; pindle-server puts them after its instruction for the
    // category, ahead of the conversation.
    const QString prompt = m_settings.systemPrompt().trimmed();
    if (prompt.toUtf8().size() > maxSystemPromptSize)
        throw ChatError(QCoreApplication::translate(
            "ChatClient", "The system prompt is longer than 16 KiB. Shorten it in "
                          "Settings."));
    if (!prompt.isEmpty())
        body.insert(QStringLiteral("system_prompt"), prompt);
    ReplyPtr reply = m_api.send(path, token, QJsonDocument(body).toJson(QJsonDocument::Compact),
                                QByteArrayLiteral("application/json"));
    if (stream)
        reply->setReadBufferSize(maxStreamLineLength);
    co_return reply;
}

QCoro::Task<> ChatClient::streamChatCompletion(QList<ChatMessage> messages, QString category,
                                               TokenCallback onToken) {
    const ReplyPtr reply = co_await send(std::move(messages), std::move(category), true);
    ReplyWatcher watcher(*reply, m_api.config().requestTimeout());
    co_await watcher.head();

    const int status = watcher.status();
    if (status == 0) {
        if (watcher.transportFailed())
            throw NetworkError(watcher.transportErrorText());
        throw ChatError(BackendTexts::invalidResponse());
    }
    if (status == 401)
        throw ChatError(BackendTexts::sessionExpiredForChat());
    if (status == 403)
        throw ChatError(BackendTexts::balanceExhausted(m_api.config().webDomain()));
    if (status != 200) {
        const QString body = co_await readErrorBody(*reply, watcher);
        throw ChatError(BackendTexts::serverError(status, body));
    }

    ChatStreamDecoder decoder(std::move(onToken), maxStreamLineLength);
    qsizetype received = 0;
    for (;;) {
        const bool ended = reply->isFinished();
        const QByteArray bytes = watcher.takeAvailable();
        received += bytes.size();
        if (received > maxStreamSize)
            throw ChatError(QCoreApplication::translate(
                "ChatClient", "The server's answer went on past 32 MiB; it was stopped."));
        ChatStreamDecoder::Status state = decoder.feed(bytes);
        if (ended && state == ChatStreamDecoder::Status::More) {
            if (watcher.transportFailed())
                throw NetworkError(watcher.transportErrorText());
            state = decoder.finish();
        }
        if (state == ChatStreamDecoder::Status::LineTooLong)
            throw ChatError(QCoreApplication::translate(
                "ChatClient", "The server sent a reply line longer than 1 MiB; the "
                              "answer was stopped."));
        if (state == ChatStreamDecoder::Status::Done || ended)
            co_return;
        co_await watcher.activity();
    }
}

QCoro::Task<QString> ChatClient::readErrorBody(QNetworkReply &reply, ReplyWatcher &watcher) {
    // The body's lines joined with nothing between them, as much as fits in one line of text.
    QByteArray joined;
    bool cut = false;
    LineSplitter lines(maxErrorTextLength);
    const auto append = [&](QByteArrayView line) {
        const qsizetype room = maxErrorTextLength - joined.size();
        joined.append(line.first(std::min(line.size(), room)));
        cut = cut || line.size() > room;
        return !cut;
    };
    for (;;) {
        const bool ended = reply.isFinished();
        bool stopped = false;
        const bool fits = lines.feed(watcher.takeAvailable(), append, &stopped);
        cut = cut || !fits;
        if (ended || !fits) // the rest, or the beginning of a line too long to keep whole
            append(lines.takeRest());
        if (ended || cut)
            break;
        co_await watcher.activity();
    }
    // A JSON error document says its message in "error" (as a string, or as an object with a
    // "message"): show that sentence rather than the document around it.
    const QJsonObject document = QJsonDocument::fromJson(joined).object();
    const QJsonValue error = document.value(QStringLiteral("error"));
    const QString message = error.isString()
                                ? error.toString()
                                : error.toObject().value(QStringLiteral("message")).toString();
    if (!message.isEmpty())
        co_return message;
    QString text = QString::fromUtf8(joined);
    if (cut)
        text += QChar(0x2026);
    co_return text;
}

QCoro::Task<QString> ChatClient::chatCompletion(QList<ChatMessage> messages, QString category) {
    const ReplyPtr reply = co_await send(std::move(messages), std::move(category), false);
    ReplyWatcher watcher(*reply, m_api.config().requestTimeout());
    const QByteArray body = co_await watcher.readAll(maxReplySize);

    if (watcher.transportFailed())
        throw NetworkError(watcher.transportErrorText());
    const int status = watcher.status();
    if (status != 200) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(body);
        throw ChatError(BackendTexts::apiError(
            //: Follows "API error: " when the server's error message cannot be read
            utf8.hasError() ? QCoreApplication::translate("ChatClient", "Unknown error")
                            : clipped(text)));
    }

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(BackendTexts::notJson(error.errorString()));
    const QJsonArray choices = document.object().value(QLatin1String("choices")).toArray();
    const QJsonValue content = choices.isEmpty() ? QJsonValue()
                                                 : choices.first()
                                                       .toObject()
                                                       .value(QLatin1String("message"))
                                                       .toObject()
                                                       .value(QLatin1String("content"));
    if (!content.isString())
        throw ChatError(QCoreApplication::translate("ChatClient", "Failed to parse API response"));
    co_return content.toString();
}
