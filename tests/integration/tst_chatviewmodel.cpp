// The conversation controller against the fake backend: what each flow shows and what each
// request carries (context window, rolling summary, review), and how failures end.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "models/MessageListModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QCoroTimer>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

struct FakeCapture final : ScreenshotTaker {
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
    FakeCapture m_capture;
    CountingFocus m_focus;
    std::unique_ptr<ConversationRig> m_rig;

    // Sends a question whose requests get `replies`, in order.
    void send(const QString &question, const QList<Reply> &replies = {}) {
        for (const Reply &reply : replies)
            m_rig->backend.enqueue(reply);
        m_rig->model.setInputText(question);
        m_rig->model.sendMessage();
    }
    // The same, then waits for its answer.
    void ask(const QString &question, const QList<Reply> &replies) {
        send(question, replies);
        QTRY_VERIFY(!m_rig->model.isLoading());
    }

    QStringList shown() const {
        QStringList lines;
        for (const ChatMessage &message : m_rig->model.messages())
            lines.append(ChatMessage::roleName(message.role) + ": " + message.content);
        return lines;
    }

private Q_SLOTS:
    void init() {
        m_capture = FakeCapture();
        m_focus.handoffs = 0;
        m_rig =
            std::make_unique<ConversationRig>(m_dir.filePath("settings.json"), m_capture, m_focus);
    }

    void cleanup() {
        // Two answers may have overlapped: let the one still streaming (its end does not show
        // in isLoading) finish before the network it reads from goes away.
        QTRY_VERIFY(!m_rig->model.isLoading());
        QTest::qWait(300);
        m_rig.reset();
    }

    void typedQuestion() {
        ChatViewModel &model = m_rig->model;
        send(" \n ");
        QVERIFY(model.messages().isEmpty());
        QCOMPARE(model.inputText(), " \n "); // kept

        m_rig->overlay.toggleTypingMode();
        send("  Hi there \n", {streamedReply({"Hel", "lo"}, 150ms)});
        QCOMPARE(shown(), (QStringList{"user: Hi there", "assistant: "}));
        QVERIFY(model.isLoading());
        QVERIFY(m_rig->overlay.stealthMode()); // sent: the keyboard went back
        QCOMPARE(m_focus.handoffs, 1);
        QVERIFY(model.inputText().isEmpty());

        send("while busy"); // refused while an answer is produced
        QTRY_COMPARE(shown(), (QStringList{"user: Hi there", "assistant: Hel"}));
        QTRY_VERIFY(!model.isLoading());
        QCOMPARE(shown(), (QStringList{"user: Hi there", "assistant: Hello"}));
        QCOMPARE(m_rig->backend.requests().size(), 1);
        QCOMPARE(sent(m_rig->backend.requests().first()), QStringList{"user: Hi there"});
    }

    void contextWindowAndRollingSummary() {
        // Answers complete at 2, 4, ... 20 messages; summaries are due at 14 (messages 1-6)
        // and at 20 (messages 7-12), not at 16 or 18.
        for (int turn = 1; turn <= 10; ++turn) {
            QList<Reply> replies{streamedReply({QString("a%1").arg(turn)})};
            if (turn == 7 || turn == 10)
                replies << completionReply(turn == 7 ? "  S1 \n" : "S2");
            ask(QString("q%1").arg(turn), replies);
        }
        QVERIFY2(m_rig->model.errorMessage().isEmpty(), qPrintable(m_rig->model.errorMessage()));
        const QList<FakeBackend::Request> &requests = m_rig->backend.requests();
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
        m_rig->settings.setSelectedCategory("exams");
        ask("q11", {streamedReply({"a11"}), completionReply("a11 reviewed")});
        const QStringList review = sent(m_rig->backend.requests().last());
        QCOMPARE(review.size(), 8);
        QCOMPARE(review.mid(0, 7),
                 (QStringList{"assistant: a8", "user: q9", "assistant: a9", "user: q10",
                              "assistant: a10", "user: q11", "assistant: a11"}));
        m_rig->settings.setSelectedCategory("writing");

        // A cleared conversation starts without a summary.
        m_rig->model.clearChat();
        ask("fresh", {streamedReply({"ok"})});
        QCOMPARE(sent(m_rig->backend.requests().last()), QStringList{"user: fresh"});
    }

    void clearWinsOverRequestsInFlight() {
        // A summary answered after "Clear" belongs to the conversation that is gone.
        for (int turn = 1; turn <= 6; ++turn)
            ask(QString("q%1").arg(turn), {streamedReply({"a"})});
        Reply lateSummary = completionReply("old summary");
        lateSummary.parts.first().delay = 200ms;
        send("q7", {streamedReply({"a7"}), lateSummary});
        QTRY_COMPARE(m_rig->backend.requests().size(), 8); // the summary is on its way
        m_rig->model.clearChat();
        QTRY_VERIFY(!m_rig->model.isLoading());
        ask("fresh", {streamedReply({"ok"})});
        QCOMPARE(sent(m_rig->backend.requests().last()), QStringList{"user: fresh"});

        // Nor does an answer cleared while it streams land anywhere, get reviewed, or report.
        m_rig->settings.setSelectedCategory("exams");
        send("q", {streamedReply({"x", "y"}, 100ms)});
        QTRY_COMPARE(m_rig->model.messages().last().content, "x");
        const qsizetype before = m_rig->backend.requests().size();
        m_rig->model.clearChat();
        QTRY_VERIFY(!m_rig->model.isLoading());
        QTest::qWait(100);
        QCOMPARE(m_rig->backend.requests().size(), before);
        QVERIFY(m_rig->model.errorMessage().isEmpty());
        QVERIFY(m_rig->model.messages().isEmpty());
    }

    void blankSummaryChangesNothing() {
        // At 14 and again at 16 messages: a blank summary keeps the batch waiting.
        for (int turn = 1; turn <= 8; ++turn)
            ask("q", turn < 7 ? QList{streamedReply({"a"})}
                              : QList{streamedReply({"a"}), completionReply(" \n ")});
        QCOMPARE(m_rig->backend.requests().size(), 10);
        QVERIFY(!sent(m_rig->backend.requests()[8]).first().startsWith("system:")); // no summary
        QVERIFY(sent(m_rig->backend.requests()[9])
                    .first()
                    .endsWith("USER: q\nASSISTANT: a\nUSER: q\nASSISTANT: a\nUSER: q\nASSISTANT: "
                              "a\nUSER: q\nASSISTANT: a")); // messages 1-8 this time
    }

    void answerReview() {
        m_rig->settings.setSelectedCategory("exams");
        ask("2+2?", {streamedReply({"dra", "ft "}), completionReply("  Reviewed answer.  ")});
        QCOMPARE(shown(), (QStringList{"user: 2+2?", "assistant: Reviewed answer."}));
        const QString instruction =
            "Review the assistant's last answer for mistakes, unsupported claims, and missed "
            "details.\nIf the answer is already correct and well-supported, return the same answer "
            "with only minimal cleanup.\nIf the answer is wrong or incomplete, return a corrected "
            "answer.\nKeep the final response concise. Start with the direct answer, then give a "
            "brief justification.";
        QCOMPARE(sent(m_rig->backend.requests()[1]),
                 (QStringList{"user: 2+2?", "assistant: draft", "user: " + instruction}));

        // A blank review keeps the streamed draft as it came.
        ask("again", {streamedReply({" kept "}), completionReply(" \n")});
        QCOMPARE(m_rig->model.messages().last().content, " kept ");

        // A blank draft is not reviewed; nor, without a picture in the context, is any category
        // but "exams" and "coding" exactly.
        qsizetype before = m_rig->backend.requests().size();
        ask("blank", {streamedReply({" ", "\n"})});
        m_rig->settings.setSelectedCategory("Exams");
        ask("no review", {streamedReply({"plain"})});
        QCOMPARE(m_rig->backend.requests().size(), before + 2);

        // A failed review leaves the answer in place and says why.
        m_rig->settings.setSelectedCategory("coding");
        ask("code?", {streamedReply({"complete"}), Reply::text(500, "review down")});
        QCOMPARE(m_rig->model.messages().last().content, "complete");
        QCOMPARE(m_rig->model.errorMessage(), "API error: review down");
    }

    // Alt+Space, Alt+T and Alt+S, from a hidden overlay and from typing mode. Alt+S shows the
    // overlay once the picture is taken, and only then.
    void overlayActions() {
        OverlayController &overlay = m_rig->overlay;
        const auto window = [&]() -> FakeOverlayWindow & {
            return static_cast<FakeOverlayWindow &>(overlay.window());
        };
        overlay.toggle();
        QVERIFY(window().shown && overlay.stealthMode());
        overlay.toggle();
        QVERIFY(!window().shown);

        overlay.toggleTypingMode(42); // hidden: shown, for typing
        QVERIFY(window().shown && !overlay.stealthMode());
        QCOMPARE(window().keyboardRequests, 1);
        overlay.toggleTypingMode(43); // typing on screen: back to stealth, keyboard handed back
        QVERIFY(window().shown && overlay.stealthMode());
        QCOMPARE(m_focus.handoffs, 1);

        overlay.hide();
        m_capture.delay = 100ms;
        m_rig->backend.enqueue(streamedReply({"seen"}));
        m_rig->backend.enqueue(completionReply("seen, reviewed"));
        bool captured = false;
        QCoro::connect(overlay.captureScreen(), this, [&] { captured = true; });
        QVERIFY(!window().shown); // not in the picture
        QTRY_VERIFY(captured);
        QVERIFY(window().shown && overlay.stealthMode());
        QCOMPARE(m_rig->model.messages().first().imageBase64, "SU1H");

        // From typing mode the keyboard goes back; while an answer is on its way nothing is
        // captured, and the overlay still ends up on screen.
        overlay.toggleTypingMode();
        QVERIFY(m_rig->model.isLoading());
        captured = false;
        QCoro::connect(overlay.captureScreen(), this, [&] { captured = true; });
        QVERIFY(captured);
        QVERIFY(overlay.stealthMode());
        QCOMPARE(m_focus.handoffs, 2);
        QVERIFY(!m_rig->model.isCapturing());
    }

    void failures() {
        // Before any token: the empty answer goes, the error has no prefix.
        ask("q", {Reply::text(500, "boom")});
        QCOMPARE(shown(), QStringList{"user: q"});
        QCOMPARE(m_rig->model.errorMessage(), "Server error (500): boom");

        // A new request clears the banner; a failed capture adds nothing.
        m_capture.fail = true;
        m_rig->model.captureAndAnalyze();
        QVERIFY(m_rig->model.errorMessage().isEmpty());
        QVERIFY(m_rig->model.isCapturing());
        QTRY_VERIFY(!m_rig->model.isCapturing());
        QCOMPARE(m_rig->model.errorMessage(), "Screen capture failed: No display to capture.");
        QCOMPARE(shown(), QStringList{"user: q"});
    }

    // The list the overlay shows changes row by row: never a reset for a token.
    void listModelFollowsTheConversation() {
        MessageListModel list(m_rig->model);
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

        ask("q", {streamedReply({"A", "B"})});
        QCOMPARE(events, QStringList({"insert 0-0", "insert 1-1", "change 1-1", "change 1-1"}));
        const QModelIndex reply = list.index(1);
        QCOMPARE(reply.data(MessageListModel::ContentRole).toString(), QStringLiteral("AB"));
        QCOMPARE(reply.data(MessageListModel::MessageRole).toString(), QStringLiteral("assistant"));
        QCOMPARE(reply.data(MessageListModel::IdRole).toString(),
                 m_rig->model.messages()[1].id.toString(QUuid::WithoutBraces));
        QCOMPARE(reply.data(MessageListModel::HasImageRole).toBool(), false);
        QCOMPARE(reply.data(MessageListModel::FromAssistantRole).toBool(), true);
        QCOMPARE(list.index(0).data(MessageListModel::FromUserRole).toBool(), true);

        events.clear();
        ask("again", {Reply::text(500, "boom")});
        QCOMPARE(events, QStringList({"insert 2-2", "insert 3-3", "remove 3-3"}));
        QCOMPARE(list.count(), 3);

        m_rig->backend.enqueue(streamedReply({"seen"}));
        m_rig->backend.enqueue(completionReply("seen, reviewed"));
        m_rig->model.captureAndAnalyze();
        QTRY_VERIFY(!m_rig->model.isLoading() && !m_rig->model.isCapturing());
        QCOMPARE(list.index(3).data(MessageListModel::HasImageRole).toBool(), true);

        events.clear();
        m_rig->model.clearChat();
        QCOMPARE(events, QStringList{"reset"});
        QCOMPARE(list.rowCount(), 0);
    }

    void answersAreAddressedById() {
        // A question sent while a screenshot is taken: two answers stream at once, each into
        // its own message.
        ChatViewModel &model = m_rig->model;
        m_capture.delay = 100ms;
        model.captureAndAnalyze();
        // The screenshot's answer, B, is reviewed: its context holds a picture.
        send("typed", {streamedReply({"A1", "A2"}, 60ms), streamedReply({"B"}),
                       completionReply("B reviewed")});
        QTRY_COMPARE(model.messages().size(), qsizetype(4));
        QTRY_COMPARE(model.messages()[3].content, "B reviewed");
        QTRY_COMPARE(model.messages()[1].content, "A1A2");
        QCOMPARE(model.messages()[2].content, ChatViewModel::buildScreenshotPrompt(""));
        QCOMPARE(model.messages()[2].imageBase64, "SU1H");
        QVERIFY(model.messages()[2].image);
        QCOMPARE(m_rig->backend.requests()[1].json()["model"].toString(), "gpt-4.1");
    }

    void voiceQuestions() {
        QFile recording(m_dir.filePath("pindle_recording.m4a"));
        QVERIFY(recording.open(QIODevice::WriteOnly));
        recording.write("aac");
        recording.close();
        // The upload and the requests after it get `replies`, in order.
        const auto speak = [&](const QList<Reply> &replies) {
            for (const Reply &reply : replies)
                m_rig->backend.enqueue(reply);
            m_rig->model.sendAudioMessage(recording.fileName());
        };

        speak({Reply::json(200, {{"transcript", " What time is it? "}}), streamedReply({"Noon."})});
        QCOMPARE(shown(), QStringList{"user: [Voice message]"});
        QVERIFY(m_rig->model.isLoading());
        QCOMPARE(m_focus.handoffs, 1);
        QTRY_VERIFY(!m_rig->model.isLoading());
        QCOMPARE(shown(), (QStringList{"user: [Voice message]", "user: What time is it?",
                                       "assistant: Noon."}));
        const FakeBackend::Request &upload = m_rig->backend.requests().first();
        QCOMPARE(upload.target, "/api/chat/transcribe");
        QCOMPARE(upload.header("Authorization"), "Bearer tok");
        QVERIFY(upload.body.contains("name=\"category\"\r\n\r\nwriting\r\n"));

        // Nothing heard: nothing more is sent.
        speak({Reply::json(200, {{"transcript", " \n"}})});
        QTRY_VERIFY(!m_rig->model.isLoading());
        QCOMPARE(shown().size(), 4);
        QCOMPARE(m_rig->backend.requests().size(), 3);

        // A refused upload keeps the voice message and says what failed.
        speak({Reply::text(401, "expired")});
        QTRY_VERIFY(!m_rig->model.isLoading());
        QCOMPARE(shown().last(), "user: [Voice message]");
        QCOMPARE(m_rig->model.errorMessage(),
                 "Audio transcription failed: Failed to transcribe audio");

        // Signed out while the upload was on its way: the transcript is not asked.
        Reply late = Reply::json(200, {{"transcript", "Still there?"}});
        late.parts.first().delay = 200ms;
        const qsizetype before = m_rig->backend.requests().size();
        speak({late});
        QTRY_COMPARE(m_rig->backend.requests().size(), before + 1);
        await(m_rig->auth.logout());
        QTRY_VERIFY(!m_rig->model.isLoading());
        QTest::qWait(100);
        const auto asked = std::ranges::count_if(
            m_rig->backend.requests().mid(before),
            [](const FakeBackend::Request &request) { return request.target == "/api/chat"; });
        QCOMPARE(asked, 0);
        QCOMPARE(shown().last(), "user: [Voice message]");
        QVERIFY(m_rig->model.errorMessage().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ChatViewModelTest)
#include "tst_chatviewmodel.moc"
