#pragma once

#include "FakeBackend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Replies in the shape of an OpenAI-compatible chat endpoint, for the fake backend.

/// One streamed event line carrying `text` in choices[0].delta.content.
inline QByteArray deltaLine(const QString &text) {
    const QJsonObject delta{{QStringLiteral("content"), text}};
    const QJsonObject choice{{QStringLiteral("delta"), delta}};
    const QJsonObject chunk{{QStringLiteral("choices"), QJsonArray{choice}}};
    return "data: " + QJsonDocument(chunk).toJson(QJsonDocument::Compact) + '\n';
}

/// An answer streamed as events, one token every `gap`, ended by "[DONE]".
inline FakeBackend::Reply
streamedReply(const QStringList &tokens,
              std::chrono::milliseconds gap = std::chrono::milliseconds(20)) {
    QList<FakeBackend::Part> parts;
    for (const QString &token : tokens)
        parts.append({deltaLine(token) + '\n', gap});
    parts.append({"data: [DONE]\n\n", gap});
    return FakeBackend::Reply::stream(parts);
}

/// A whole answer with `content` in choices[0].message.content, and a usage report when given.
inline FakeBackend::Reply completionReply(const QJsonValue &content, int totalTokens = -1) {
    const QJsonObject message{{QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("message"), message}};
    QJsonObject body{{QStringLiteral("choices"), QJsonArray{choice}}};
    if (totalTokens >= 0)
        body.insert(QStringLiteral("usage"),
                    QJsonObject{{QStringLiteral("total_tokens"), totalTokens}});
    return FakeBackend::Reply::json(200, body);
}
