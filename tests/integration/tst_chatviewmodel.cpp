// The conversation controller against the fake backend: what each flow shows and what each
// request carries (context window, rolling summary, review), and how failures end.

#include "Await.h"
#include "ChatReplies.h"
#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "models/ChatViewModel.h"
#include "models/MessageListModel.h"
#include "platform/Clock.h"
#include "platform/FocusHandoff.h"
#include "platform/ScreenCapture.h"
#include "services/AudioTranscriptionService.h"
#include "services/AuthService.h"
#include "services/ChatGPTService.h"
#include "services/SettingsManager.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QCoroTimer>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

struct FakeFocus final : FocusHandoff {
    void returnFocusToPreviousApp() override { ++handoffs; }
    int handoffs = 0;
};

struct FakeCapture final : ScreenCapture {
    QCoro::Task<Screenshot> captureScreen() override {
        QTimer timer;
        timer.start(delay);
        co_await timer;
        if (fail)
            throw PindleError("No display to capture.");
        co_return Screenshot{std::make_shared<QImage>(4, 4, QImage::Format_RGB32), "SU1H"};
    }
    std::chrono::milliseconds delay{0};
    bool fail = false;
};

Reply answer(const QStringList &tokens, std::chrono::milliseconds gap = 5ms) {
    QList<FakeBackend::Part> parts;
    for (const QString &token : tokens)
        parts.append({deltaLine(token), gap});
    parts.append({"data: [DONE]\n", gap});
    return Reply::stream(parts);
}

// role: content, per message of a request body, for compact assertions.
QStringList sent(const FakeBackend::Request &request) {
    QStringList lines;
    for (const QJsonValue &message : request.json().value("messages").toArray()) {
        const QJsonValue content = message["content"];
        lines.append(message["role"].toString() + ": " +
                     (content.isString() ? content.toString() : QStringLiteral("<parts>")));
    }
    return lines;
}

} // namespace

class ChatViewModelTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeBackend> m_backend;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<FakeSecretStore> m_secrets;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<SettingsManager> m_settings;
    std::unique_ptr<ChatGPTService> m_chat;
    std::unique_ptr<AudioTranscriptionService> m_transcriber;
    FakeCapture m_capture;
    FakeFocus m_focus;
    Clock m_clock;
    std::unique_ptr<ChatViewModel> m_model;

    // Sends a question; with `tokens`, its answer is scripted first (else the test scripted it).
    void ask(const QString &question, const QStringList &tokens) {
        if (!tokens.isEmpty())
            m_backend->enqueue(answer(tokens));
        m_model->setInputText(question);
        m_model->sendMessage();
        QTRY_VERIFY(!m_model->isLoading());
    }

    QStringList shown() const {
        QStringList lines;
        for (const ChatMessage &message : m_model->messages())
            lines.append(ChatMessage::roleName(message.role) + ": " + message.content);
        return lines;
    }

private Q_SLOTS:
    void init() {
        m_backend = std::make_unique<FakeBackend>();
        m_network = std::make_unique<QNetworkAccessManager>();
        m_secrets = std::make_unique<FakeSecretStore>();
        m_secrets->items.insert({"com.pindle.app", "pindle_auth_token"}, "tok");
        const BackendConfig backend(m_backend->url());
        m_auth = std::make_unique<AuthService>(*m_network, *m_secrets, backend);
        QFile::remove(m_dir.filePath("settings.json"));
        m_settings = std::make_unique<SettingsManager>(m_dir.filePath("settings.json"));
        m_settings->setSelectedCategory("writing"); // no review unless a test asks for one
        m_chat = std::make_unique<ChatGPTService>(*m_network, *m_auth, *m_settings, backend);
        m_transcriber = std::make_unique<AudioTranscriptionService>(*m_network, backend,
                                                                    [] { return QLocale::c(); });
        m_capture = FakeCapture();
        m_focus.handoffs = 0;
        m_model = std::make_unique<ChatViewModel>(*m_chat, *m_auth, *m_transcriber, *m_settings,
                                                  m_capture, m_focus, m_clock);
    }

    void cleanup() {
        // Two answers may have overlapped: let the one still streaming (its end does not show
        // in isLoading) finish before the network it reads from goes away.
        QTRY_VERIFY(!m_model->isLoading());
        QTest::qWait(300);
        m_model.reset();
        m_backend.reset();
    }

    void typedQuestion() {
        m_model->setInputText(" \n ");
        m_model->sendMessage();
        QVERIFY(m_model->messages().isEmpty());
        QCOMPARE(m_model->inputText(), QStringLiteral(" \n ")); // kept

        m_model->setStealthMode(false);
        m_backend->enqueue(answer({"Hel", "lo"}, 150ms));
        m_model->setInputText("  Hi there \n");
        m_model->sendMessage();
        QCOMPARE(shown(), (QStringList{"user: Hi there", "assistant: "}));
        QVERIFY(m_model->isLoading());
        QVERIFY(m_model->stealthMode());
        QCOMPARE(m_focus.handoffs, 1);
        QVERIFY(m_model->inputText().isEmpty());

        m_model->setInputText("while busy");
        m_model->sendMessage(); // refused while an answer is produced
        QTRY_COMPARE(shown(), (QStringList{"user: Hi there", "assistant: Hel"}));
        QTRY_VERIFY(!m_model->isLoading());
        QCOMPARE(shown(), (QStringList{"user: Hi there", "assistant: Hello"}));
        QCOMPARE(m_backend->requests().size(), 1);
        QCOMPARE(sent(m_backend->requests().first()), QStringList{"user: Hi there"});
    }

    void contextWindowAndRollingSummary() {
        // Answers complete at 2, 4, ... 20 messages; summaries are due at 14 (messages 1-6)
        // and at 20 (messages 7-12), not at 16 or 18.
        for (int turn = 1; turn <= 10; ++turn) {
            m_backend->enqueue(answer({QString("a%1").arg(turn)}));
            if (turn == 7)
                m_backend->enqueue(completionReply("  S1 \n"));
            if (turn == 10)
                m_backend->enqueue(completionReply("S2"));
            m_model->setInputText(QString("q%1").arg(turn));
            m_model->sendMessage();
            QTRY_VERIFY(!m_model->isLoading());
        }
        QVERIFY2(m_model->errorMessage().isEmpty(), qPrintable(m_model->errorMessage()));
        const QList<FakeBackend::Request> &requests = m_backend->requests();
        QCOMPARE(requests.size(), 12);

        const QString header =
            "Update the conversation summary so it preserves facts, user intent, constraints, "
            "unresolved questions, and any answer that should remain in context.\nKeep it compact "
            "and factual.\nOmit filler, repetition, and partial token fragments.\n\n";
        const QString merge = "\n\nNew conversation turns to merge:\n";
        QCOMPARE(sent(requests[7]),
                 QStringList{"user: " + header + "No previous summary yet." + merge +
                             "USER: q1\nASSISTANT: a1\nUSER: q2\nASSISTANT: a2\nUSER: q3\n"
                             "ASSISTANT: a3"});
        QCOMPARE(requests[7].json().value("stream").toBool(), false);
        // The next answer: the summary, then the last 8 messages.
        QCOMPARE(sent(requests[8]),
                 (QStringList{"system: Conversation summary so far:\nS1", "assistant: a4",
                              "user: q5", "assistant: a5", "user: q6", "assistant: a6", "user: q7",
                              "assistant: a7", "user: q8"}));
        QCOMPARE(sent(requests[11]),
                 QStringList{"user: " + header + "Existing summary:\nS1" + merge +
                             "USER: q4\nASSISTANT: a4\nUSER: q5\nASSISTANT: a5\nUSER: q6\n"
                             "ASSISTANT: a6"});

        // A review sees the last 6 of that context, then the draft and the instruction.
        m_settings->setSelectedCategory("exams");
        m_backend->enqueue(answer({"a11"}));
        m_backend->enqueue(completionReply("a11 reviewed"));
        ask("q11", {});
        const QStringList review = sent(m_backend->requests().last());
        QCOMPARE(review.size(), 8);
        QCOMPARE(review.mid(0, 7),
                 (QStringList{"assistant: a8", "user: q9", "assistant: a9", "user: q10",
                              "assistant: a10", "user: q11", "assistant: a11"}));
        m_settings->setSelectedCategory("writing");

        // A cleared conversation starts without a summary.
        m_model->clearChat();
        ask("fresh", {"ok"});
        QCOMPARE(sent(m_backend->requests().last()), QStringList{"user: fresh"});
    }

    void blankSummaryChangesNothing() {
        for (int turn = 1; turn <= 8; ++turn) {
            m_backend->enqueue(answer({"a"}));
            if (turn >= 7) // at 14 and again at 16 messages: a blank reply keeps the batch waiting
                m_backend->enqueue(completionReply(" \n "));
            m_model->setInputText("q");
            m_model->sendMessage();
            QTRY_VERIFY(!m_model->isLoading());
        }
        QCOMPARE(m_backend->requests().size(), 10);
        QVERIFY(!sent(m_backend->requests()[8]).first().startsWith("system:")); // no summary
        QVERIFY(
            sent(m_backend->requests()[9])
                .first()
                .endsWith(
                    "USER: q\nASSISTANT: a\nUSER: q\nASSISTANT: a\nUSER: q\nASSISTANT: a\nUSER: q\n"
                    "ASSISTANT: a")); // messages 1-8 this time
    }

    void answerReview() {
        m_settings->setSelectedCategory("exams");
        m_backend->enqueue(answer({"dra", "ft "}));
        m_backend->enqueue(completionReply("  Reviewed answer.  "));
        ask("2+2?", {});
        QCOMPARE(shown(), (QStringList{"user: 2+2?", "assistant: Reviewed answer."}));
        const QString instruction =
            "Review the assistant's last answer for mistakes, unsupported claims, and missed "
            "details.\nIf the answer is already correct and well-supported, return the same answer "
            "with only minimal cleanup.\nIf the answer is wrong or incomplete, return a corrected "
            "answer.\nKeep the final response concise. Start with the direct answer, then give a "
            "brief justification.";
        QCOMPARE(sent(m_backend->requests()[1]),
                 (QStringList{"user: 2+2?", "assistant: draft", "user: " + instruction}));

        // A blank review keeps the streamed draft as it came.
        m_backend->enqueue(answer({" kept "}));
        m_backend->enqueue(completionReply(" \n"));
        ask("again", {});
        QCOMPARE(m_model->messages().last().content, QStringLiteral(" kept "));

        // A blank draft is not reviewed.
        m_backend->enqueue(answer({" ", "\n"}));
        const qsizetype sentBefore = m_backend->requests().size();
        ask("blank", {});
        QCOMPARE(m_backend->requests().size(), sentBefore + 1);

        // Only "exams" and "coding" exactly, or a picture in the context, call for a review.
        m_settings->setSelectedCategory("Exams");
        const qsizetype before = m_backend->requests().size();
        ask("no review", {"plain"});
        QCOMPARE(m_backend->requests().size(), before + 1);

        // A failed review leaves the answer in place and says why.
        m_settings->setSelectedCategory("coding");
        m_backend->enqueue(answer({"complete"}));
        m_backend->enqueue(Reply::text(500, "review down"));
        ask("code?", {});
        QCOMPARE(m_model->messages().last().content, QStringLiteral("complete"));
        QCOMPARE(m_model->errorMessage(), QStringLiteral("API error: review down"));
    }

    void failures() {
        // Before any token: the empty answer goes, the error has no prefix.
        m_backend->enqueue(Reply::text(500, "boom"));
        m_model->setInputText("q");
        m_model->sendMessage();
        QTRY_VERIFY(!m_model->isLoading());
        QCOMPARE(shown(), QStringList{"user: q"});
        QCOMPARE(m_model->errorMessage(), QStringLiteral("Server error (500): boom"));

        // A new request clears the banner; a failed capture adds nothing.
        m_capture.fail = true;
        m_model->captureAndAnalyze();
        QVERIFY(m_model->errorMessage().isEmpty());
        QVERIFY(m_model->isCapturing());
        QTRY_VERIFY(!m_model->isCapturing());
        QCOMPARE(m_model->errorMessage(),
                 QStringLiteral("Screen capture failed: No display to capture."));
        QCOMPARE(shown(), QStringList{"user: q"});
    }

    // The list the overlay shows changes row by row: never a reset for a token.
    void listModelFollowsTheConversation() {
        MessageListModel list(*m_model);
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStringList events;
        connect(&list, &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex &, int first, int last) {
                    events << QStringLiteral("insert %1-%2").arg(first).arg(last);
                });
        connect(&list, &QAbstractItemModel::rowsRemoved, this,
                [&](const QModelIndex &, int first, int last) {
                    events << QStringLiteral("remove %1-%2").arg(first).arg(last);
                });
        connect(&list, &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &from, const QModelIndex &to, const QList<int> &roles) {
                    QCOMPARE(roles, QList<int>{MessageListModel::ContentRole});
                    events << QStringLiteral("change %1-%2").arg(from.row()).arg(to.row());
                });
        connect(&list, &QAbstractItemModel::modelReset, this, [&] { events << "reset"; });

        ask("q", {"A", "B"});
        QCOMPARE(events, QStringList({"insert 0-0", "insert 1-1", "change 1-1", "change 1-1"}));
        const QModelIndex reply = list.index(1);
        QCOMPARE(reply.data(MessageListModel::ContentRole).toString(), QStringLiteral("AB"));
        QCOMPARE(reply.data(MessageListModel::MessageRole).toString(),
                 QStringLiteral("assistant"));
        QCOMPARE(reply.data(MessageListModel::IdRole).toString(),
                 m_model->messages()[1].id.toString(QUuid::WithoutBraces));
        QCOMPARE(reply.data(MessageListModel::HasImageRole).toBool(), false);

        events.clear();
        m_backend->enqueue(Reply::text(500, "boom"));
        ask("again", {});
        QCOMPARE(events, QStringList({"insert 2-2", "insert 3-3", "remove 3-3"}));
        QCOMPARE(list.count(), 3);

        events.clear();
        m_capture.delay = 0ms;
        m_backend->enqueue(answer({"seen"}));
        m_backend->enqueue(completionReply("seen, reviewed"));
        m_model->captureAndAnalyze();
        QTRY_VERIFY(!m_model->isLoading() && !m_model->isCapturing());
        QCOMPARE(list.index(3).data(MessageListModel::HasImageRole).toBool(), true);

        events.clear();
        m_model->clearChat();
        QCOMPARE(events, QStringList{"reset"});
        QCOMPARE(list.rowCount(), 0);
    }

    void answersAreAddressedById() {
        // A question sent while a screenshot is taken: two answers stream at once, each into
        // its own message.
        m_capture.delay = 100ms;
        m_backend->enqueue(answer({"A1", "A2"}, 60ms));
        m_backend->enqueue(answer({"B"}));
        m_backend->enqueue(
            completionReply("B reviewed")); // the screenshot makes B's context a review case
        m_model->captureAndAnalyze();
        m_model->setInputText("typed");
        m_model->sendMessage();
        QTRY_COMPARE(m_model->messages().size(), qsizetype(4));
        QTRY_COMPARE(m_model->messages()[3].content, QStringLiteral("B reviewed"));
        QTRY_COMPARE(m_model->messages()[1].content, QStringLiteral("A1A2"));
        QCOMPARE(m_model->messages()[2].content, ChatViewModel::buildScreenshotPrompt(""));
        QCOMPARE(m_model->messages()[2].imageBase64, QStringLiteral("SU1H"));
        QVERIFY(m_model->messages()[2].image);
        QCOMPARE(m_backend->requests()[1].json()["model"].toString(), QStringLiteral("gpt-4.1"));

        // Cleared while an answer streams: its late tokens land nowhere.
        m_backend->enqueue(answer({"x", "y"}, 50ms));
        m_model->setInputText("q");
        m_model->sendMessage();
        QTRY_COMPARE(m_model->messages().last().content, QStringLiteral("x"));
        m_model->clearChat();
        QTRY_VERIFY(!m_model->isLoading());
        QVERIFY(m_model->messages().isEmpty());
        QVERIFY(m_model->errorMessage().isEmpty());
    }

    void voiceQuestions() {
        QFile recording(m_dir.filePath("pindle_recording.m4a"));
        QVERIFY(recording.open(QIODevice::WriteOnly));
        recording.write("aac");
        recording.close();

        m_backend->enqueue(Reply::json(200, {{"transcript", " What time is it? "}}));
        m_backend->enqueue(answer({"Noon."}));
        m_model->sendAudioMessage(recording.fileName());
        QCOMPARE(shown(), QStringList{"user: [Voice message]"});
        QVERIFY(m_model->isLoading());
        QCOMPARE(m_focus.handoffs, 1);
        QTRY_VERIFY(!m_model->isLoading());
        QCOMPARE(shown(), (QStringList{"user: [Voice message]", "user: What time is it?",
                                       "assistant: Noon."}));
        const FakeBackend::Request &upload = m_backend->requests().first();
        QCOMPARE(upload.target, "/api/chat/transcribe");
        QCOMPARE(upload.header("Authorization"), "Bearer tok");
        QVERIFY(upload.body.contains("name=\"category\"\r\n\r\nwriting\r\n"));

        // Nothing heard: nothing more is sent.
        m_backend->enqueue(Reply::json(200, {{"transcript", " \n"}}));
        m_model->sendAudioMessage(recording.fileName());
        QTRY_VERIFY(!m_model->isLoading());
        QCOMPARE(shown().size(), 4);
        QCOMPARE(m_backend->requests().size(), 3);

        // A refused upload keeps the voice message and says what failed.
        m_backend->enqueue(Reply::text(401, "expired"));
        m_model->sendAudioMessage(recording.fileName());
        QTRY_VERIFY(!m_model->isLoading());
        QCOMPARE(shown().last(), QStringLiteral("user: [Voice message]"));
        QCOMPARE(m_model->errorMessage(),
                 QStringLiteral("Audio transcription failed: Failed to transcribe audio"));
    }
};

QTEST_GUILESS_MAIN(ChatViewModelTest)
#include "tst_chatviewmodel.moc"
