// The streamed-reply decoder on its own: how bytes become lines and lines become text pieces.

#include "services/ChatStreamDecoder.h"

#include <QTest>

class ChatStreamDecoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesAcrossFeeds() {
        LineSplitter lines(16);
        QByteArrayList seen;
        bool stopped = false;
        const auto collect = [&](QByteArrayView line) {
            seen.append(line.toByteArray());
            return true;
        };
        QVERIFY(lines.feed("ab", collect, &stopped));
        QVERIFY(lines.feed("c\r", collect, &stopped));
        QVERIFY(lines.feed("\n\nd\re\n", collect, &stopped));
        QVERIFY(lines.feed("tail\r", collect, &stopped));
        QCOMPARE(seen, (QByteArrayList{"abc", "", "d\re"}));
        QCOMPARE(lines.takeRest(), QByteArray("tail"));
        QCOMPARE(lines.takeRest(), QByteArray());
        QVERIFY(!stopped);
    }

    void lineLengthBound() {
        bool stopped = false;
        const auto ignore = [](QByteArrayView) { return true; };

        LineSplitter exact(4);
        QVERIFY(exact.feed("1234\n12", ignore, &stopped));
        QVERIFY(exact.feed("34", ignore, &stopped));
        QVERIFY(!exact.feed("5", ignore, &stopped)); // the unfinished line grew past the bound

        LineSplitter whole(4);
        QVERIFY(!whole.feed("12345\n", ignore, &stopped)); // a complete line past the bound

        LineSplitter joined(4);
        QVERIFY(joined.feed("123", ignore, &stopped));
        QVERIFY(!joined.feed("45\n", ignore, &stopped)); // completed across feeds
    }

    void stopsAtDoneAndStaysDone() {
        QStringList tokens;
        ChatStreamDecoder decoder([&](const QString &token) { tokens.append(token); });
        QCOMPARE(decoder.feed("data: {\"choices\":[{\"delta\":{\"content\":\"a\"}}]}\ndata: [DO"),
                 ChatStreamDecoder::Status::More);
        QCOMPARE(decoder.feed("NE]\ndata: {\"choices\":[{\"delta\":{\"content\":\"b\"}}]}\n"),
                 ChatStreamDecoder::Status::Done);
        QCOMPARE(decoder.feed("data: {\"choices\":[{\"delta\":{\"content\":\"c\"}}]}\n"),
                 ChatStreamDecoder::Status::Done);
        QCOMPARE(decoder.finish(), ChatStreamDecoder::Status::Done);
        QCOMPARE(tokens, QStringList{"a"});
    }

    void doneOnTheLastLineWithoutBreak() {
        QStringList tokens;
        ChatStreamDecoder decoder([&](const QString &token) { tokens.append(token); });
        QCOMPARE(decoder.feed("data: [DONE]"), ChatStreamDecoder::Status::More);
        QCOMPARE(decoder.finish(), ChatStreamDecoder::Status::Done);
        QVERIFY(tokens.isEmpty());
    }

    void tooLongIsFinal() {
        ChatStreamDecoder decoder([](const QString &) {}, 8);
        QCOMPARE(decoder.feed("data: 123456789"), ChatStreamDecoder::Status::LineTooLong);
        QCOMPARE(decoder.feed("\n"), ChatStreamDecoder::Status::LineTooLong);
        QCOMPARE(decoder.finish(), ChatStreamDecoder::Status::LineTooLong);
    }
};

QTEST_GUILESS_MAIN(ChatStreamDecoderTest)
#include "tst_chatstreamdecoder.moc"
