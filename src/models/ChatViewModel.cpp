#include "models/ChatViewModel.h"

#include "platform/Clock.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatClient.h"
#include "services/ScreenshotTaker.h"
#include "services/SettingsManager.h"

#include <QPointer>

namespace {

QString describe(const std::exception &error) {
    if (const auto *pindle = dynamic_cast<const PindleError *>(&error))
        return pindle->message();
    return QString::fromUtf8(error.what());
}

const QString reviewInstruction = QStringLiteral(
    "Review the assistant's last answer for mistakes, unsupported claims, and missed details.\n"
    "If the answer is already correct and well-supported, return the same answer with only "
    "minimal cleanup.\nIf the answer is wrong or incomplete, return a corrected answer.\nKeep the "
    "final response concise. Start with the direct answer, then give a brief justification.");

} // namespace

ChatViewModel::ChatViewModel(ChatClient &chat, AuthService &auth,
                             AudioTranscriptionService &transcriber, SettingsManager &settings,
                             ScreenshotTaker &capture, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_chat(chat)
    , m_auth(auth)
    , m_transcriber(transcriber)
    , m_settings(settings)
    , m_capture(capture)
    , m_clock(clock) {}

void ChatViewModel::setInputText(const QString &text) {
    if (m_inputText == text)
        return;
    m_inputText = text;
    Q_EMIT inputTextChanged();
}

void ChatViewModel::setLoading(bool loading) {
    if (m_isLoading == loading)
        return;
    const bool could = canCapture();
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
    if (could != canCapture())
        Q_EMIT canCaptureChanged();
}

void ChatViewModel::setCapturing(bool capturing) {
    if (m_isCapturing == capturing)
        return;
    const bool could = canCapture();
    m_isCapturing = capturing;
    Q_EMIT isCapturingChanged();
    if (could != canCapture())
        Q_EMIT canCaptureChanged();
}

void ChatViewModel::setErrorMessage(const QString &message) {
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

QString ChatViewModel::category() const {
    return m_settings.selectedCategory();
}

ChatMessage ChatViewModel::makeMessage(ChatMessage::Role role, QString content) const {
    return ChatMessage(QUuid::createUuid(), role, std::move(content), m_clock.now());
}

void ChatViewModel::append(ChatMessage message) {
    m_messages.append(std::move(message));
    Q_EMIT messageAppended(m_messages.size() - 1);
}

std::optional<qsizetype> ChatViewModel::indexOf(const QUuid &id) const {
    // The answer being written is almost always at the end: look there first.
    for (qsizetype i = m_messages.size() - 1; i >= 0; --i) {
        if (m_messages[i].id == id)
            return i;
    }
    return std::nullopt;
}

void ChatViewModel::sendMessage() {
    const QString text = m_inputText.trimmed();
    if (text.isEmpty() || m_isLoading)
        return;
    setInputText(QString());
    ask(text);
}

void ChatViewModel::ask(const QString &question) {
    setErrorMessage(QString());
    append(makeMessage(ChatMessage::Role::User, question));
    Q_EMIT questionSent();
    streamResponse();
}

void ChatViewModel::captureAndAnalyze() {
    askAboutScreen();
}

QCoro::Task<> ChatViewModel::askAboutScreen() {
    if (m_isLoading)
        co_return;
    setCapturing(true);
    setErrorMessage(QString());
    co_await captureTask();
}

QCoro::Task<> ChatViewModel::captureTask() {
    QPointer self(this);
    try {
        ScreenshotTaker::Screenshot shot = co_await m_capture.captureScreen();
        if (!self)
            co_return;
        const QString text = m_inputText.trimmed();
        setInputText(QString());
        ChatMessage message = makeMessage(ChatMessage::Role::User, buildScreenshotPrompt(text));
        message.imageBase64 = std::move(shot.base64);
        message.image = std::move(shot.image);
        append(std::move(message));
        setCapturing(false);
        streamResponse();
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        setCapturing(false);
        //: Error line above the conversation; %1 is why, in the capture service's words
        setErrorMessage(tr("Screen capture failed: %1").arg(describe(error)));
    }
}

void ChatViewModel::sendAudioMessage(const QString &audioFile) {
    if (m_isLoading)
        return;
    setErrorMessage(QString());
    append(makeMessage(ChatMessage::Role::User, QStringLiteral("[Voice message]")));
    Q_EMIT questionSent();
    setLoading(true);
    transcribeTask(audioFile);
}

QCoro::Task<> ChatViewModel::transcribeTask(QString audioFile) {
    QPointer self(this);
    try {
        const std::optional<QString> token = co_await m_auth.getToken();
        if (!self)
            co_return;
        const QString bearer = token.value_or(QString());
        const QString selected = category();
        const QString transcript =
            co_await m_transcriber.transcribeAudio(audioFile, bearer, selected);
        if (!self)
            co_return;
        // A sign-out while the recording was on its way discards it, as it does a recording.
        const std::optional<QString> stillSignedIn = co_await m_auth.getToken();
        if (!self)
            co_return;
        if (token && !stillSignedIn) {
            setLoading(false);
            co_return;
        }
        // Asked straight away, still busy: a recording waiting for this one to finish must not
        // slip in before its question. The text being typed stays as it is.
        const QString question = transcript.trimmed();
        if (question.isEmpty())
            setLoading(false);
        else
            ask(question);
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        setLoading(false);
        //: Error line above the conversation; %1 is why, in the transcription service's words
        setErrorMessage(tr("Audio transcription failed: %1").arg(describe(error)));
    }
}

void ChatViewModel::clearChat() {
    ++m_conversation;
    m_messages.clear();
    Q_EMIT messagesCleared();
    setErrorMessage(QString());
    m_conversationSummary.clear();
    m_summarizedMessageCount = 0;
}

void ChatViewModel::dismissError() {
    setErrorMessage(QString());
}

void ChatViewModel::showError(const QString &message) {
    setErrorMessage(message);
}

QCoro::Task<> ChatViewModel::streamResponse() {
    const ChatMessage placeholder = makeMessage(ChatMessage::Role::Assistant, QString());
    const QUuid id = placeholder.id;
    append(placeholder);
    setLoading(true);
    QPointer self(this);
    // A clear wins over this answer: nothing of it is reviewed, summarised or reported after.
    const quint64 conversation = m_conversation;
    const auto cleared = [&] { return conversation != m_conversation; };
    try {
        const QList<ChatMessage> context = buildContextMessages(true);
        // WORKAROUND: g++ 12 can destroy a temporary of a co_await expression twice (here it
        // freed the QPointer's shared count); arguments of awaited calls are named first. Remove
        // once g++ 12 (Debian 12) is no longer a compiler we build with.
        ChatClient::TokenCallback onToken = [self, id](const QString &token) {
            if (!self)
                return;
            if (const auto index = self->indexOf(id)) {
                self->m_messages[*index].content += token;
                Q_EMIT self->messageContentChanged(*index);
            }
        };
        const QString selected = category();
        co_await m_chat.streamChatCompletion(context, selected, std::move(onToken));
        if (!self)
            co_return;
        if (cleared()) {
            setLoading(false);
            co_return;
        }
        const auto index = indexOf(id);
        const QString draft = index ? m_messages[*index].content.trimmed() : QString();
        if (shouldVerifyResponse(context, draft)) {
            const std::optional<QString> reviewed =
                co_await verifyAssistantResponse(draft, context);
            if (!self)
                co_return;
            if (const auto at = indexOf(id); at && reviewed) {
                m_messages[*at].content = *reviewed;
                Q_EMIT messageContentChanged(*at);
            }
        }
        if (const auto at = indexOf(id); at && !m_messages[*at].content.isEmpty())
            Q_EMIT answerFinished(m_messages[*at].content);
        if (!cleared())
            co_await refreshConversationSummaryIfNeeded();
        if (!self)
            co_return;
        setLoading(false);
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        setLoading(false);
        if (cleared())
            co_return;
        if (const auto index = indexOf(id); index && m_messages[*index].content.isEmpty()) {
            m_messages.removeAt(*index);
            Q_EMIT messageRemoved(*index);
        }
        setErrorMessage(describe(error));
    }
}

QList<ChatMessage> ChatViewModel::buildContextMessages(bool excludingLastMessage) const {
    QList<ChatMessage> recent = m_messages;
    if (excludingLastMessage && !recent.isEmpty())
        recent.removeLast();
    if (recent.size() > recentMessageWindow)
        recent = recent.mid(recent.size() - recentMessageWindow);
    if (m_conversationSummary.isEmpty())
        return recent;
    recent.prepend(
        makeMessage(ChatMessage::Role::System,
                    QStringLiteral("Conversation summary so far:\n") + m_conversationSummary));
    return recent;
}

QCoro::Task<> ChatViewModel::refreshConversationSummaryIfNeeded() {
    const qsizetype count = m_messages.size();
    const qsizetype cutoff = std::max<qsizetype>(count - recentMessageWindow, 0);
    if (cutoff <= m_summarizedMessageCount)
        co_return;
    const QList<ChatMessage> pending =
        m_messages.mid(m_summarizedMessageCount, cutoff - m_summarizedMessageCount);
    if (pending.size() < summaryBatchSize)
        co_return;
    const QString transcript = serializeMessagesForSummary(pending);
    if (transcript.isEmpty())
        co_return;
    const QList<ChatMessage> request{
        makeMessage(ChatMessage::Role::User, buildSummaryPrompt(transcript))};
    QPointer self(this);
    const quint64 conversation = m_conversation;
    const QString selected = category();
    const QString reply = (co_await m_chat.chatCompletion(request, selected)).trimmed();
    if (!self || conversation != m_conversation || reply.isEmpty())
        co_return;
    m_conversationSummary = reply;
    m_summarizedMessageCount = cutoff;
}

QString ChatViewModel::buildSummaryPrompt(const QString &transcript) const {
    return QStringLiteral("Update the conversation summary so it preserves facts, user intent, "
                          "constraints, unresolved questions, and any answer that should remain in "
                          "context.\nKeep it compact and factual.\nOmit filler, repetition, and "
                          "partial token fragments.\n\n") +
           (m_conversationSummary.isEmpty()
                ? QStringLiteral("No previous summary yet.")
                : QStringLiteral("Existing summary:\n") + m_conversationSummary) +
           QStringLiteral("\n\nNew conversation turns to merge:\n") + transcript;
}

QString ChatViewModel::serializeMessagesForSummary(const QList<ChatMessage> &messages) {
    QStringList lines;
    lines.reserve(messages.size());
    for (const ChatMessage &message : messages) {
        QString line =
            ChatMessage::roleName(message.role).toUpper() + QStringLiteral(": ") + message.content;
        if (message.imageBase64)
            line += QStringLiteral(" [Image attached]");
        lines.append(line);
    }
    return lines.join(u'\n');
}

QString ChatViewModel::buildScreenshotPrompt(const QString &typed) {
    const QString text = typed.trimmed();
    const QString task =
        text.isEmpty()
            ? QStringLiteral("Task: Analyze the screenshot and answer the actual question shown.")
            : QStringLiteral("Task: ") + text;
    return QStringLiteral("Screenshot task.\n") + task +
           QStringLiteral(
               "\nFirst, read the screenshot carefully and extract the important visible text, "
               "numbers, labels, and answer options.\nThen identify what the user is actually "
               "being asked.\nBase the answer only on what is visible in the screenshot and the "
               "task above.\nIf part of the screenshot is unreadable or missing, say what is "
               "unclear instead of guessing.\nGive the final answer first, then briefly justify "
               "it.");
}

bool ChatViewModel::shouldVerifyResponse(const QList<ChatMessage> &context,
                                         const QString &draft) const {
    if (draft.isEmpty())
        return false;
    const QString selected = category();
    if (selected == QLatin1String("exams") || selected == QLatin1String("coding"))
        return true;
    return std::any_of(context.cbegin(), context.cend(),
                       [](const ChatMessage &message) { return message.imageBase64.has_value(); });
}

QCoro::Task<std::optional<QString>>
ChatViewModel::verifyAssistantResponse(QString draft, QList<ChatMessage> context) {
    QList<ChatMessage> request = context.mid(std::max<qsizetype>(context.size() - 6, 0));
    request.append(makeMessage(ChatMessage::Role::Assistant, draft));
    request.append(makeMessage(ChatMessage::Role::User, reviewInstruction));
    const QString selected = category();
    const QString reply = (co_await m_chat.chatCompletion(request, selected)).trimmed();
    if (reply.isEmpty())
        co_return std::nullopt;
    co_return reply;
}
