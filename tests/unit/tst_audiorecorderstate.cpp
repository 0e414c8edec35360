// The recorder's states against a fake capture whose starts and file closings the test answers,
// so the orders that a real sound server makes rare can be forced.

#include "Await.h"
#include "services/AudioRecorder.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSignalSpy>
#include <QTest>

#include <QCoroFuture>

#include <optional>

using Failure = AudioCapture::Failure;

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

    // Lets start number `index` go on, to a recording or to a failure.
    void answer(int index, std::optional<Failure> failure = std::nullopt) {
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

class AudioRecorderStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        settle();
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
        QTRY_COMPARE(capture.requests.size(), 4);
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
        QCOMPARE(finished.first().at(0).toUrl(), recorder.audioURL());
        QCOMPARE(finished.first().at(1).toBool(), stopped);
        QVERIFY(!recorder.isRecording());
        QVERIFY(capture.live.empty());
    }

    // Only the last of several starts records; each capture opens the file only after the one
    // before has closed it, and the replaced ones end without a finish notification.
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
        QTRY_COMPARE(capture.requests.size(), 2);
        capture.answer(1);
        await(std::move(third));
        QVERIFY(recorder.isRecording());

        QCoro::Task<void> restart = recorder.startRecording();
        settle();
        QVERIFY(capture.live.front()->stopped);
        QVERIFY(recorder.isRecording());
        QCOMPARE(capture.requests.size(), 2);
        capture.live.front()->close(true);
        QTRY_COMPARE(capture.requests.size(), 3);
        capture.answer(2);
        await(std::move(restart));

        QCOMPARE(capture.overlaps, 0);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(urlChanges.count(), 1);
        QCOMPARE(capture.live.size(), std::size_t(1));
        QVERIFY(recorder.isRecording());
    }

    void stopWhileStartingRecordsNothing() {
        FakeCapture capture;
        AudioRecorder recorder(capture);
        QSignalSpy recordingChanges(&recorder, &AudioRecorder::isRecordingChanged);
        QSignalSpy finished(&recorder, &AudioRecorder::recordingFinished);
        QCoro::Task<void> start = recorder.startRecording();
        settle();
        recorder.stopRecording();
        capture.answer(0);
        await(std::move(start));
        QVERIFY(capture.live.front()->stopped);
        capture.live.front()->close(true);
        settle();
        QVERIFY(capture.live.empty());
        QCOMPARE(recordingChanges.count(), 0);
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_GUILESS_MAIN(AudioRecorderStateTest)

#include "tst_audiorecorderstate.moc"
