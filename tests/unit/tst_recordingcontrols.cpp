// The overlay's record buttons against a fake sound server and the fake backend: each finished
// recording is uploaded once, and a recorder that cannot start is never silent.

#include "ChatReplies.h"
#include "ConversationRig.h"
#include "FakeDesktopServices.h"
#include "models/RecordingControls.h"
#include "services/SystemAudioRecorder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Failure = AudioCapture::Failure;
using Reply = FakeBackend::Reply;

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
        m_rig->backend.enqueue(Reply::json(200, {{"transcript", "What time is it?"}}));
        m_rig->backend.enqueue(Reply::stream({{deltaLine("Noon."), {}}, {"data: [DONE]\n", {}}}));
        QSignalSpy changes(m_controls.get(), &RecordingControls::microphoneRecordingChanged);

        m_controls->toggleMicrophone();
        QTRY_VERIFY(m_controls->microphoneRecording());
        m_controls->toggleMicrophone();
        QVERIFY(!m_controls->microphoneRecording());
        QTRY_VERIFY(!m_rig->model.isLoading() && m_rig->model.messages().size() == 3);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(uploads(), QStringList{"microphone"});

        m_rig->backend.enqueue(Reply::json(200, {{"transcript", "  "}}));
        m_controls->toggleSystemAudio();
        QTRY_VERIFY(m_controls->systemAudioRecording());
        m_controls->toggleSystemAudio();
        QTRY_VERIFY(!m_rig->model.isLoading());
        QTest::qWait(50);
        QCOMPARE(uploads(), QStringList({"microphone", "system audio"}));

        // A recording that ends while an answer is on its way waits for it, and is not lost.
        m_controls->toggleMicrophone();
        QTRY_VERIFY(m_controls->microphoneRecording());
        Reply slow = Reply::stream({{deltaLine("Later."), 300ms}, {"data: [DONE]\n", {}}});
        m_rig->backend.enqueue(slow);
        m_rig->model.setInputText("typed meanwhile");
        m_rig->model.sendMessage();
        QVERIFY(m_rig->model.isLoading());
        m_rig->backend.enqueue(Reply::json(200, {{"transcript", "  "}}));
        m_controls->toggleMicrophone();
        QTRY_COMPARE(uploads(), QStringList({"microphone", "system audio", "microphone"}));
    }

    void recordingsHandedOverTogetherAreBothAsked() {
        // Both recorders stopped at once: each question is asked, in the order they finished.
        for (const char *question : {"First?", "Second?"}) {
            m_rig->backend.enqueue(Reply::json(200, {{"transcript", question}}));
            m_rig->backend.enqueue(streamedReply({QString("Re ") + question}));
        }
        m_controls->toggleMicrophone();
        m_controls->toggleSystemAudio();
        QTRY_VERIFY(m_controls->microphoneRecording() && m_controls->systemAudioRecording());
        m_controls->toggleMicrophone();
        m_controls->toggleSystemAudio();
        QTRY_COMPARE(m_rig->model.messages().size(), qsizetype(6));
        QTRY_VERIFY(!m_rig->model.isLoading());
        QStringList shown;
        for (const ChatMessage &message : m_rig->model.messages())
            shown << message.content;
        QCOMPARE(shown, (QStringList{"[Voice message]", "First?", "Re First?", "[Voice message]",
                                     "Second?", "Re Second?"}));
        QCOMPARE(uploads(), QStringList({"microphone", "system audio"}));
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
};

QTEST_GUILESS_MAIN(RecordingControlsTest)
#include "tst_recordingcontrols.moc"
