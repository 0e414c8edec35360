// The message list's follow-the-end rule, without a view: what each change asks the list to do.

#include "views/ListEndFollower.h"

#include <QSignalSpy>
#include <QTest>

class ListEndFollowerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void followsTheEndUntilTheUserScrolls() {
        ListEndFollower follower;
        QSignalSpy glides(&follower, &ListEndFollower::glideToEnd);
        QSignalSpy jumps(&follower, &ListEndFollower::jumpToEnd);

        // Two rows in one turn (a question and its placeholder): one glide.
        follower.setCount(1);
        follower.setCount(2);
        follower.layoutChanged();
        QTRY_COMPARE(glides.count(), 1);
        QVERIFY(follower.following());
        QCOMPARE(jumps.count(), 0);

        // While the glide runs, a growing last row waits for it; then the list is pinned.
        follower.rowChanged(1);
        QTest::qWait(10);
        QCOMPARE(jumps.count(), 0);
        follower.glideFinished();
        QCOMPARE(jumps.count(), 1);
        follower.rowChanged(0); // not the last row: nothing
        follower.rowChanged(1);
        follower.layoutChanged();
        QTRY_COMPARE(jumps.count(), 2);

        // Scrolled away: growth no longer moves the list; a new row brings it back.
        follower.userScrolled();
        QVERIFY(!follower.following());
        follower.layoutChanged();
        QTest::qWait(10);
        QCOMPARE(jumps.count(), 2);
        follower.setCount(3);
        QTRY_COMPARE(glides.count(), 2);
        QVERIFY(follower.following());

        // Cleared: nothing to follow, and a settle still waiting does nothing.
        follower.glideFinished();
        follower.rowChanged(2);
        follower.setCount(0);
        QTest::qWait(10);
        QVERIFY(!follower.following());
        QCOMPARE(glides.count(), 2);
        QCOMPARE(jumps.count(), 3); // the one glideFinished asked for
    }
};

QTEST_GUILESS_MAIN(ListEndFollowerTest)
#include "tst_listendfollower.moc"
