// The desktop portal's clients against a fake portal on a private session bus
// (dbus-run-session): a screenshot read and its file removed, global shortcuts bound in both the
// documented way and KDE 5.27's, their presses and changes followed, and each failure told in
// words a user can act on.

#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalGlobalHotkeys.h"
#include "platform/desktop/PortalScreenshot.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "Await.h"
#include "FakePortal.h"

namespace {

// What a screenshot ended with: the picture, or the message of its failure.
struct Outcome {
    QImage image;
    QString failure;
};

Outcome take(PortalScreenshot &portal) {
    try {
        return {await(portal.take()), {}};
    } catch (const ScreenGrabber::Unavailable &error) {
        return {{}, error.message()};
    }
}

} // namespace

class PortalsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QDBusConnection m_portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    FakePortal m_portal{m_portalBus};

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through dbus-run-session");
        qputenv("HOME", m_home.path().toLocal8Bit()); // the portal's file lands in "our" folders
        QVERIFY(m_portalBus.registerVirtualObject(desktopPath, &m_portal));
    }

    void init() {
        m_portal.kde = false;
        m_portal.withShortcuts = true;
        m_portal.bound.clear();
        m_portal.bindCalls = 0;
        m_portal.pressOnCreate.clear();
        QVERIFY(m_portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    }

    void cleanup() {
        m_portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void withoutAPortal() {
        cleanup();
        PortalScreenshot portal;
        QVERIFY(take(portal).failure.startsWith("No desktop portal is running."));
        PortalGlobalHotkeys hotkeys;
        // Counted, not waited for: without a portal the answer can come before registerAll returns.
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        QVERIFY(hotkeys.registerAll({}).isEmpty());
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(hotkeys.unavailableReason(), PortalGlobalHotkeys::commandLineAdvice);
    }

    void screenshots_data() {
        QTest::addColumn<uint>("response");
        QTest::addColumn<QString>("file"); // under the home folder; empty: none written
        QTest::addColumn<QString>("failure");
        QTest::newRow("picture") << 0u << "Pictures/Screenshot.png" << QString();
        QTest::newRow("cancelled") << 1u << QString() << "The screenshot was cancelled.";
        QTest::newRow("refused")
            << 2u << QString()
            << "The desktop refused to take a screenshot. Allow Pindle to take screenshots in "
               "your desktop's privacy settings (GNOME: Settings, Apps, Pindle; KDE: System "
               "Settings, Application Permissions) and try again.";
        QTest::newRow("file gone") << 0u << QString()
                                   << "The desktop's screenshot could not be read (file://"
                                      "/nonexistent/Screenshot.png).";
    }

    void screenshots() {
        QFETCH(uint, response);
        QFETCH(QString, file);
        QFETCH(QString, failure);
        const QString path = file.isEmpty() ? QStringLiteral("/nonexistent/Screenshot.png")
                                            : QDir(m_home.path()).filePath(file);
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(path).path());
            QImage picture(64, 40, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            QVERIFY(picture.save(path));
        }
        m_portal.screenshotResponse = response;
        m_portal.screenshotUri = QUrl::fromLocalFile(path).toString();

        PortalScreenshot portal;
        const Outcome outcome = take(portal);
        QCOMPARE(outcome.failure, failure);
        QCOMPARE(m_portal.lastOptions.value("interactive"), QVariant(false));
        if (failure.isEmpty()) {
            QCOMPARE(outcome.image.size(), QSize(64, 40));
            QCOMPARE(outcome.image.pixelColor(5, 5), QColor(Qt::darkCyan));
            QVERIFY(!QFile::exists(path)); // the portal's copy is not left behind
        }
    }

    void shortcuts_data() {
        QTest::addColumn<bool>("kde");
        QTest::newRow("as documented") << false;
        QTest::newRow("KDE 5.27") << true;
    }

    void shortcuts() {
        QFETCH(bool, kde);
        m_portal.kde = kde;
        m_portal.pressOnCreate = "type-mode"; // pressed as soon as the desktop has the keys
        PortalGlobalHotkeys hotkeys;
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        QSignalSpy activated(&hotkeys, &GlobalHotkeys::activated);
        hotkeys.registerAll(
            {{GlobalHotkeys::Action::ToggleOverlay, *KeyCombination::parse(u"Alt+Space")},
             {GlobalHotkeys::Action::CaptureScreen, *KeyCombination::parse(u"Ctrl+Alt+S")}});
        QTRY_COMPARE(answered.size(), 1);
        QVERIFY(hotkeys.unavailableReason().isEmpty());
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.takeFirst().first().value<GlobalHotkeys::Action>(),
                 GlobalHotkeys::Action::ToggleTypingMode);
        // The desktop's words for the keys it gave, asked for as the portal writes them.
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleOverlay), "ALT+space");
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::CaptureScreen), "CTRL+ALT+s");
        QVERIFY(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleTypingMode).isEmpty());
        // Binding asks the user; KDE, which took the keys with the session, would only open
        // System Settings at every start.
        QCOMPARE(m_portal.bindCalls, kde ? 0 : 1);
        const QList<GlobalHotkeys::Binding> changedKeys{
            {GlobalHotkeys::Action::ToggleOverlay, *KeyCombination::parse(u"Alt+O")},
            {GlobalHotkeys::Action::CaptureScreen, *KeyCombination::parse(u"Ctrl+Alt+S")}};
        hotkeys.registerAll(changedKeys);
        QTRY_COMPARE(answered.size(), 2);
        hotkeys.registerAll(changedKeys); // the same again: nothing to ask
        QTRY_COMPARE(answered.size(), 3);
        QCOMPARE(m_portal.bindCalls, kde ? 1 : 2);

        const QVariant session = QVariant::fromValue(QDBusObjectPath(m_portal.session));
        const QVariant stranger =
            QVariant::fromValue(QDBusObjectPath(desktopPath + "/session/x/y"));
        m_portal.emitSignal("Activated", {stranger, "capture-screen", quint64(1), QVariantMap()});
        m_portal.emitSignal("Activated", {session, "capture-screen", quint64(2), QVariantMap()});
        QVERIFY(activated.wait());
        QCOMPARE(activated.size(), 1); // another application's session is not ours
        QCOMPARE(activated.first().first().value<GlobalHotkeys::Action>(),
                 GlobalHotkeys::Action::CaptureScreen);

        const QList<Shortcut> changed{
            Shortcut{"toggle-overlay", QVariantMap{{"trigger_description", "Meta+O"}}}};
        m_portal.emitSignal("ShortcutsChanged", {session, QVariant::fromValue(changed)});
        QTRY_COMPARE(answered.size(), 4);
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleOverlay), "Meta+O");
    }

    void noShortcutsInThisPortal() {
        m_portal.withShortcuts = false;
        PortalGlobalHotkeys hotkeys;
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        hotkeys.registerAll(
            {{GlobalHotkeys::Action::ToggleOverlay, *KeyCombination::parse(u"Alt+Space")}});
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(hotkeys.unavailableReason(), PortalGlobalHotkeys::commandLineAdvice);
        QCOMPARE(m_portal.registeredId, "com.pindle.app"); // before the first request it ran
    }
};

QTEST_GUILESS_MAIN(PortalsTest)
#include "tst_portals.moc"
