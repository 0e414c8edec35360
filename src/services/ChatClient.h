#pragma once

#include "core/ChatMessage.h"
#include "core/PindleError.h"
#include "services/BackendApi.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <QCoroTask>

#include <functional>

class AuthService;
class QNetworkAccessManager;
class SettingsManager;

/// The one client of the backend's chat endpoint: sends a conversation with the user's token and
/// model, and streams the answer back piece by piece or returns it whole.
///
/// Questions go to the model the user chose while the server offers it, else to the server's
/// default; a request with a screenshot goes to a model that reads images. Temperature and answer
/// length follow the category. Every failure is thrown, as an `ChatError` with the text the user
/// sees, or as the network's or JSON reader's own error.
class ChatClient final {
public:
    class ChatError final : public PindleError {
    public:
        using PindleError::PindleError;
    };

    using TokenCallback = std::function<void(const QString &)>;

    /// Longest line of a streamed reply, and largest whole reply, the client will hold.
    static constexpr qsizetype maxStreamLineLength = 1024 * 1024;
    static constexpr qsizetype maxReplySize = 8 * 1024 * 1024;
    /// A streamed answer of this many bytes is far past any model's reply limit: stop it.
    static constexpr qsizetype maxStreamSize = 32 * 1024 * 1024;
    /// The most of the user's system prompt (UTF-8) a request carries; the backend refuses more.
    static constexpr qsizetype maxSystemPromptSize = 16 * 1024;

    ChatClient(QNetworkAccessManager &network, AuthService &auth, SettingsManager &settings,
               BackendConfig backend);

    ChatClient(const ChatClient &) = delete;
    ChatClient &operator=(const ChatClient &) = delete;

    /// Streams the answer to `messages`, calling `onToken` with each piece in arrival order.
    QCoro::Task<> streamChatCompletion(QList<ChatMessage> messages, QString category,
                                       TokenCallback onToken);
    /// The whole answer to `messages`, for requests the user does not watch.
    QCoro::Task<QString> chatCompletion(QList<ChatMessage> messages, QString category);

private:
    struct RequestConfiguration {
        QString model;
        QString category;
        double temperature;
        int maxTokens;
    };

    [[nodiscard]] static bool supportsVision(const QString &model);
    [[nodiscard]] RequestConfiguration makeConfiguration(const QList<ChatMessage> &messages,
                                                         const QString &category) const;
    [[nodiscard]] static QJsonArray buildRequestMessages(const QList<ChatMessage> &messages);
    QCoro::Task<ReplyPtr> send(QList<ChatMessage> messages, QString category, bool stream);
    QCoro::Task<QString> readErrorBody(QNetworkReply &reply, ReplyWatcher &watcher);

    BackendApi m_api;
    AuthService &m_auth;
    SettingsManager &m_settings;
};
