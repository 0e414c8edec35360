// Recording with fakes. The recorder's states against a capture whose starts and file closings
// the test answers, so the orders that a real sound server makes rare can be forced; and the
// overlay's record buttons against a fake sound server and the fake backend: each finished
// recording is uploaded once, and a recorder that cannot start is never silent.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "FakeDesktopServices.h"
#include "models/RecordingControls.h"
#include "services/SystemAudioRecorder.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroFuture>

#include <optional>

using namespace std::chrono_literals;
using Failure = AudioCapture::Failure;
using Reply = FakeBackend::Reply;

namespace {

class FakeRecording final : public AudioCapture::Recording {
public:
    explicit FakeRecording(std::vector<FakeRecording *> &live)
        : m_live(live) {
        m_closed.start();
        m_live.push_back(this);
    }
    ~FakeRecording() override {
        if (!m_closed.future().isFinished())
            close(true);
        std::erase(m_live, this);
    }
    void stop() override { stopped = true; }
    [[nodiscard]] QFuture<bool> finished() const override { return m_future; }
    void close(bool saved) {
        m_closed.addResult(saved);
        m_closed.finish();
    }

    bool stopped = false;

private:
    std::vector<FakeRecording *> &m_live;
    QPromise<bool> m_closed;
    QFuture<bool> m_future = m_closed.future();
};

class FakeCapture final : public AudioCapture {
public:
    QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings settings) override {
        requests << settings.filePath;
        for (const FakeRecording *recording : live)
            overlaps += !recording->finished().isFinished();
        m_answers.push_back(std::make_unique<QPromise<std::optional<Failure>>>());
        m_answers.back()->start();
        const QFuture<std::optional<Failure>> answer = m_answers.back()->future();
        if (const std::optional<Failure> failure = co_await answer)
            throw Error(*failure, QStringLiteral("fake failure"));
        co_return std::make_unique<FakeRecording>(live);
    }

    // Lets start number `index` go on, to a recording or to a failure, once it has been asked.
    void answer(int index, std::optional<Failure> failure = std::nullopt) {
        if (!QTest::qWaitFor([&] { return requests.size() > index; }))
            qFatal("start %d never reached the capture", index);
        m_answers.at(index)->addResult(failure);
        m_answers.at(index)->finish();
    }

    QStringList requests;              // the file of each start, in order
    int overlaps = 0;                  // starts while an earlier recording had its file open
    std::vector<FakeRecording *> live; // not yet destroyed, oldest first

private:
    std::vector<std::unique_ptr<QPromise<std::optional<Failure>>>> m_answers;
};

void settle() {
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class RecordingControlsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    NoScreen m_screen;
    CountingFocus m_focus;
    std::unique_ptr<ConversationRig> m_rig;
    FakeAudioCapture m_capture;
    std::unique_ptr<AudioRecorder> m_microphone;
    std::unique_ptr<SystemAudioRecorder> m_systemAudio;
    std::unique_ptr<RecordingControls> m_controls;

    // The uploads the conversation made, by the file name each carried.
    QStringList uploads() const {
        QStringList names;
        for (const FakeBackend::Request &request : m_rig->backend.requests())
            if (request.target == "/api/chat/transcribe")
                names << (request.body.contains("fake aac from pindle_recording.m4a")
                              ? "microphone"
                              : "system audio");
        return names;
    }

private Q_SLOTS:
    void init() {
        m_rig =
            std::make_unique<ConversationRig>(m_dir.filePath("settings.json"), m_screen, m_focus);
        m_capture = {};
        m_microphone = std::make_unique<AudioRecorder>(m_capture);
        m_systemAudio = std::make_unique<SystemAudioRecorder>(m_capture);
        m_controls =
            std::make_unique<RecordingControls>(*m_microphone, *m_systemAudio, m_rig->model);
    }

    void cleanup() {
        QTRY_VERIFY(!m_rig->model.isLoading());
        m_controls.reset();
        m_systemAudio.reset();
        m_microphone.reset();
        m_rig.reset();
    }

    void eachRecordingIsSentOnce() {
        // Both recorders stopped at once: each question is asked, in the order they finished.
        for (const char *question : {"First?", "Second?"}) {
            m_rig->backend.enqueue(Reply::json(200, {{"transcript", question}}));
            m_rig->backend.enqueue(streamedReply({QString("Re ") + question}));
        }
        QSignalSpy changes(m_controls.get(), &RecordingControls::microphoneRecordingChanged);
        m_controls->toggleMicrophone();
        m_controls->toggleSystemAudio();
        QTRY_VERIFY(m_controls->microphoneRecording() && m_controls->systemAudioRecording());
        m_controls->toggleMicrophone();
        m_controls->toggleSystemAudio();
        QVERIFY(!m_controls->microphoneRecording() && !m_controls->systemAudioRecording());
        QTRY_COMPARE(m_rig->model.messages().size(), qsizetype(6));
        QTRY_VERIFY(!m_rig->model.isLoading());
        QStringList shown;
        for (const ChatMessage &message : m_rig->model.messages())
            shown << message.content;
        QCOMPARE(shown, (QStringList{"[Voice message]", "First?", "Re First?", "[Voice message]",
                                     "Second?", "Re Second?"}));
        QCOMPARE(uploads(), QStringList({"microphone", "system audio"}));
        QCOMPARE(changes.count(), 2);

        // A recording that ends while an answer is on its way waits for it, and is not lost.
        m_controls->toggleMicrophone();
        QTRY_VERIFY(m_controls->microphoneRecording());
        m_rig->backend.enqueue(streamedReply({"Later."}, 300ms));
        m_rig->model.setInputText("typed meanwhile");
        m_rig->model.sendMessage();
        QVERIFY(m_rig->model.isLoading());
        m_rig->backend.enqueue(Reply::json(200, {{"transcript", "  "}}));
        m_controls->toggleMicrophone();
        QTRY_COMPARE(uploads(), QStringList({"microphone", "system audio", "microphone"}));
    }

    void signingOutDiscardsRecordings() {
        // One recording waits for an answer, the other still runs: neither is sent.
        m_rig->backend.enqueue(streamedReply({"Later."}, 200ms));
        m_controls->toggleMicrophone();
        m_controls->toggleSystemAudio();
        QTRY_VERIFY(m_controls->microphoneRecording() && m_controls->systemAudioRecording());
        m_rig->model.setInputText("typed");
        m_rig->model.sendMessage();
        m_controls->toggleMicrophone();
        QTest::qWait(50); // finished, waiting for the answer
        m_controls->discardRecordings();
        QVERIFY(!m_controls->microphoneRecording() && !m_controls->systemAudioRecording());
        QTRY_VERIFY(!m_rig->model.isLoading());
        QTest::qWait(100);
        QVERIFY(uploads().isEmpty());
        QCOMPARE(m_rig->model.messages().size(), qsizetype(2));
        QVERIFY(m_rig->model.errorMessage().isEmpty());
    }

    void failuresAreNeverSilent() {
        QSignalSpy missing(m_controls.get(), &RecordingControls::systemAudioDeviceMissing);
        m_capture.failure = Failure::NoMonitorSource;
        m_controls->toggleSystemAudio();
        QTRY_COMPARE(missing.count(), 1);
        QVERIFY(m_rig->model.errorMessage().isEmpty()); // the alert says it

        m_capture.failure = Failure::NoSoundServer;
        m_controls->toggleMicrophone();
        QTRY_COMPARE(m_rig->model.errorMessage(), QStringLiteral("No sound server is running."));
        QVERIFY(!m_controls->microphoneRecording());

        m_capture.failure.reset();
        m_capture.saves = false;
        m_controls->toggleMicrophone();
        QTRY_VERIFY(m_controls->microphoneRecording());
        m_controls->toggleMicrophone();
        QTRY_COMPARE(m_rig->model.errorMessage(),
                     QStringLiteral("The recording stopped before it could be saved."));
        QVERIFY(uploads().isEmpty());
        QCOMPARE(missing.count(), 1);
    }

    void failedStartChangesNothing() {
        FakeCapture capture;
        AudioRecorder recorder(capture);
        QCoro::Task<void> first = recorder.startRecording();
        capture.answer(0);
        await(std::move(first));
        recorder.stopRecording();
        capture.live.front()->close(true);
        settle();
        const QUrl url = recorder.audioURL();

        QSignalSpy urlChanges(&recorder, &AudioRecorder::audioURLChanged);
        QSignalSpy recordingChanges(&recorder, &AudioRecorder::isRecordingChanged);
        QCoro::Task<void> second = recorder.startRecording();
        capture.answer(1, Failure::NoMonitorSource);
        try {
            await(std::move(second));
            QFAIL("the recording started");
        } catch (const AudioRecorder::RecordingError &error) {
            QCOMPARE(error.reason(), Failure::NoMonitorSource);
            QCOMPARE(error.message(), "fake failure");
        }
        QCOMPARE(recorder.audioURL(), url);
        QVERIFY(!recorder.isRecording());
        QCOMPARE(urlChanges.count() + recordingChanges.count(), 0);

        // A failed restart cannot bring back the recording it replaced.
        QCoro::Task<void> third = recorder.startRecording();
        capture.answer(2);
        await(std::move(third));
        QCoro::Task<void> fourth = recorder.startRecording();
        capture.live.front()->close(true);
        capture.answer(3, Failure::Failed);
        QVERIFY_THROWS_EXCEPTION(AudioRecorder::RecordingError, await(std::move(fourth)));
        QVERIFY(!recorder.isRecording());
    }

    void finishArrivesWhenTheFileIsClosed_data() {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("stopped") << true;
        QTest::newRow("ended on its own") << false;
    }
    void finishArrivesWhenTheFileIsClosed() {
        QFETCH(bool, stopped);
        FakeCapture capture;
        AudioRecorder recorder(capture);
        QCoro::Task<void> start = recorder.startRecording();
        capture.answer(0);
        await(std::move(start));
        QSignalSpy finished(&recorder, &AudioRecorder::recordingFinished);
        if (stopped) {
            recorder.stopRecording();
            QVERIFY(capture.live.front()->stopped);
            QVERIFY(!recorder.isRecording());
            settle();
            QCOMPARE(finished.count(), 0); // the file is still being completed
        }
        capture.live.front()->close(stopped);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first(), (QVariantList{recorder.audioURL(), stopped}));
        QVERIFY(!recorder.isRecording());
        QVERIFY(capture.live.empty());
    }

    // Only the last of several starts records; each capture opens the file only after the one
    // before has closed it, and the replaced ones end without a finish notification. A stop while
    // a start is on its way records nothing.
    void laterStartsReplaceEarlierOnes() {
        FakeCapture capture;
        AudioRecorder recorder(capture);
        QSignalSpy finished(&recorder, &AudioRecorder::recordingFinished);
        QSignalSpy urlChanges(&recorder, &AudioRecorder::audioURLChanged);
        QCoro::Task<void> first = recorder.startRecording();
        QCoro::Task<void> second = recorder.startRecording();
        QCoro::Task<void> third = recorder.startRecording();
        settle();
        QCOMPARE(capture.requests.size(), 1); // the others wait their turn
        capture.answer(0);
        await(std::move(first));
        await(std::move(second));
        QVERIFY(capture.live.front()->stopped); // overtaken as soon as it started
        settle();
        QCOMPARE(capture.requests.size(), 1); // its file is still open
        capture.live.front()->close(true);
        capture.answer(1);
        await(std::move(third));
        QVERIFY(recorder.isRecording());

        QCoro::Task<void> restart = recorder.startRecording();
        settle();
        QVERIFY(capture.live.front()->stopped);
        QVERIFY(recorder.isRecording());
        QCOMPARE(capture.requests.size(), 2);
        capture.live.front()->close(true);
        capture.answer(2);
        await(std::move(restart));
        QCOMPARE(capture.overlaps, 0);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(urlChanges.count(), 1);
        QCOMPARE(capture.live.size(), std::size_t(1));
        QVERIFY(recorder.isRecording());

        QSignalSpy recordingChanges(&recorder, &AudioRecorder::isRecordingChanged);
        recorder.stopRecording();
        capture.live.front()->close(true);
        QCoro::Task<void> stoppedWhileStarting = recorder.startRecording();
        settle();
        recorder.stopRecording();
        capture.answer(3);
        await(std::move(stoppedWhileStarting));
        QVERIFY(capture.live.back()->stopped);
        capture.live.back()->close(true);
        settle();
        QVERIFY(capture.live.empty());
        QCOMPARE(recordingChanges.count(), 1); // the first stop's
        QCOMPARE(finished.count(), 1);         // of the recording stopped first
    }
};

QTEST_GUILESS_MAIN(RecordingControlsTest)
#include "tst_recordingcontrols.moc"
