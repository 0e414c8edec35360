#include "services/ChatStreamDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

ChatStreamDecoder::ChatStreamDecoder(TokenCallback onToken, qsizetype maxLineLength)
    : m_onToken(std::move(onToken))
    , m_lines(maxLineLength) {}

ChatStreamDecoder::Status ChatStreamDecoder::feed(QByteArrayView bytes) {
    if (m_status != Status::More)
        return m_status;
    bool stopped = false;
    const bool fits = m_lines.feed(
        bytes, [this](QByteArrayView line) { return handleLine(line); }, &stopped);
    if (stopped)
        m_status = Status::Done;
    else if (!fits)
        m_status = Status::LineTooLong;
    return m_status;
}

ChatStreamDecoder::Status ChatStreamDecoder::finish() {
    if (m_status != Status::More)
        return m_status;
    if (!handleLine(m_lines.takeRest()))
        m_status = Status::Done;
    return m_status;
}

bool ChatStreamDecoder::handleLine(QByteArrayView line) {
    bool done = false;
    if (const std::optional<QString> token = tokenOf(line, &done))
        m_onToken(*token);
    return !done;
}

std::optional<QString> ChatStreamDecoder::tokenOf(QByteArrayView line, bool *done) {
    static constexpr QByteArrayView prefix("data: ");
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QByteArrayView payload = line.sliced(prefix.size());
    if (payload == QByteArrayView("[DONE]")) {
        *done = true;
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonArray choices = document.object().value(QLatin1String("choices")).toArray();
    if (choices.isEmpty())
        return std::nullopt;
    const QJsonValue content = choices.first()
                                   .toObject()
                                   .value(QLatin1String("delta"))
                                   .toObject()
                                   .value(QLatin1String("content"));
    if (!content.isString())
        return std::nullopt;
    return content.toString();
}
