#pragma once

#include "core/ChatMessage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <optional>

class AudioTranscriptionService;
class AuthService;
class ChatClient;
class Clock;
class ScreenshotTaker;
class SettingsManager;

/// Runs the one conversation: turns a typed question, a screenshot or a voice clip into a user
/// message, streams the answer into an assistant message, has exam, coding and screenshot answers
/// reviewed by a second request, and keeps each request small with the last 8 messages plus a
/// rolling summary of everything older.
///
/// An answer is addressed by its message id, not its place in the list, so a cleared conversation
/// or a second answer's removed placeholder never redirects its tokens; writes whose message is
/// gone are dropped.
class ChatViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString inputText READ inputText WRITE setInputText NOTIFY inputTextChanged FINAL)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged FINAL)
    Q_PROPERTY(bool isCapturing READ isCapturing NOTIFY isCapturingChanged FINAL)
    /// Whether a screenshot question can start: no answer on its way, no capture running.
    Q_PROPERTY(bool canCapture READ canCapture NOTIFY canCaptureChanged FINAL)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged FINAL)

public:
    static constexpr qsizetype recentMessageWindow = 8;
    static constexpr qsizetype summaryBatchSize = 6;

    ChatViewModel(ChatClient &chat, AuthService &auth, AudioTranscriptionService &transcriber,
                  SettingsManager &settings, ScreenshotTaker &capture, Clock &clock,
                  QObject *parent = nullptr);

    [[nodiscard]] const QList<ChatMessage> &messages() const { return m_messages; }
    [[nodiscard]] QString inputText() const { return m_inputText; }
    void setInputText(const QString &text);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    [[nodiscard]] bool isCapturing() const { return m_isCapturing; }
    [[nodiscard]] bool canCapture() const { return !m_isLoading && !m_isCapturing; }
    /// The last failure, one line; empty when there is none.
    [[nodiscard]] QString errorMessage() const { return m_errorMessage; }

    Q_INVOKABLE void sendMessage();
    /// Asks about the screen; see askAboutScreen().
    Q_INVOKABLE void captureAndAnalyze();
    /// Takes a screenshot and asks about it, with the text typed so far. Done once the picture
    /// is in the conversation and its answer has started, or the capture failed; at once when an
    /// answer is still on its way.
    QCoro::Task<> askAboutScreen();
    Q_INVOKABLE void sendAudioMessage(const QString &audioFile);
    Q_INVOKABLE void clearChat();
    /// Removes the error banner.
    Q_INVOKABLE void dismissError();
    /// Shows a failure that happened outside the conversation (a recorder that could not start).
    void showError(const QString &message);

    /// The content of the user message that carries a screenshot, for the text typed with it.
    [[nodiscard]] static QString buildScreenshotPrompt(const QString &typed);

Q_SIGNALS:
    void inputTextChanged();
    void isLoadingChanged();
    void isCapturingChanged();
    void canCaptureChanged();
    void errorMessageChanged();
    /// A question left as a user message: typed, or heard and transcribed.
    void questionSent();
    /// The list grew by one message at `index`.
    void messageAppended(qsizetype index);
    /// The content of the message at `index` changed (a streamed token, a reviewed answer).
    void messageContentChanged(qsizetype index);
    void messageRemoved(qsizetype index);
    void messagesCleared();
    /// An answer is complete (streamed, and reviewed where it is reviewed); `text` is all of it.
    void answerFinished(const QString &text);

private:
    /// Adds `question` as a user message and streams its answer.
    void ask(const QString &question);
    QCoro::Task<> captureTask();
    QCoro::Task<> transcribeTask(QString audioFile);
    QCoro::Task<> streamResponse();
    [[nodiscard]] QList<ChatMessage> buildContextMessages(bool excludingLastMessage) const;
    QCoro::Task<> refreshConversationSummaryIfNeeded();
    [[nodiscard]] QString buildSummaryPrompt(const QString &transcript) const;
    [[nodiscard]] static QString serializeMessagesForSummary(const QList<ChatMessage> &messages);
    [[nodiscard]] bool shouldVerifyResponse(const QList<ChatMessage> &context,
                                            const QString &draft) const;
    QCoro::Task<std::optional<QString>> verifyAssistantResponse(QString draft,
                                                                QList<ChatMessage> context);

    [[nodiscard]] ChatMessage makeMessage(ChatMessage::Role role, QString content) const;
    void append(ChatMessage message);
    [[nodiscard]] std::optional<qsizetype> indexOf(const QUuid &id) const;
    void setLoading(bool loading);
    void setCapturing(bool capturing);
    void setErrorMessage(const QString &message);
    [[nodiscard]] QString category() const;

    ChatClient &m_chat;
    AuthService &m_auth;
    AudioTranscriptionService &m_transcriber;
    SettingsManager &m_settings;
    ScreenshotTaker &m_capture;
    Clock &m_clock;

    QList<ChatMessage> m_messages;
    QString m_inputText;
    bool m_isLoading = false;
    bool m_isCapturing = false;
    QString m_errorMessage;
    QString m_conversationSummary;
    qsizetype m_summarizedMessageCount = 0;
    // Moves on with every clear: a request that finds it moved belongs to a conversation gone.
    quint64 m_conversation = 0;
};
