// The clients of the desktop's D-Bus services against fakes on a private session bus
// (dbus-run-session): a screenshot read and its file removed, global shortcuts bound in both the
// documented way and KDE 5.27's, their presses and changes followed, and each failure told in
// words a user can act on; the tray icon as a tray host sees it.

#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalGlobalHotkeys.h"
#include "platform/desktop/PortalScreenshot.h"
#include "platform/desktop/StatusNotifierItem.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "Await.h"
#include "FakePortal.h"
#include "FakeStatusNotifierWatcher.h"

#include <future>

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

// A DBusMenu node as a tray host reads it: (ia{sv}av), each child in a variant.
struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;
};

MenuNode menuNode(const QDBusArgument &argument) {
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children.append(menuNode(qvariant_cast<QDBusArgument>(child.variant())));
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

// Asked on a thread of its own: what answers runs on this one.
template <typename Question> auto fromAnotherThread(Question question) {
    auto answer = std::async(std::launch::async, std::move(question));
    [[maybe_unused]] const bool answered = QTest::qWaitFor(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return answer.get();
}

bool hostPresent() {
    return fromAnotherThread(&StatusNotifierItem::hostPresent);
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

    // The tray icon as a host sees it: registered, drawn from pixels where the theme lacks the
    // icon, its menu read and clicked; registered again whenever a watcher comes back.
    void trayIconThroughAHost() {
        QDBusConnection hostBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("tray-host"));
        FakeStatusNotifierWatcher watcher(hostBus);
        QVERIFY(!hostPresent());
        QVERIFY(watcher.start());
        QVERIFY(hostPresent());

        StatusNotifierItem item;
        QList<int> chosen;
        int visibilityChanges = 0;
        item.onTriggered = [&](int index) { chosen.append(index); };
        item.onVisibilityChanged = [&] { ++visibilityChanges; };
        QImage red(22, 22, QImage::Format_ARGB32);
        red.fill(Qt::red);
        item.setMenu({{"Toggle Overlay (Alt+Space)", false, {}},
                      {{}, true, {}},
                      {"Settings…", false, QKeySequence("Ctrl+,")},
                      {"Quit_Now", false, {}}});
        item.show("no-such-icon-here", QIcon(QPixmap::fromImage(red)), "Pindle");
        QTRY_COMPARE(watcher.items, QStringList{item.serviceName()});
        QTRY_VERIFY(item.isVisible());

        const auto call = [&](const QString &path, const QString &interface, const QString &method,
                              const QList<QVariant> &arguments) {
            QDBusMessage message =
                QDBusMessage::createMethodCall(item.serviceName(), path, interface, method);
            message.setArguments(arguments);
            return fromAnotherThread([&] { return hostBus.call(message); }).arguments();
        };
        const auto property = [&](const QString &name) {
            return call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                        {"org.kde.StatusNotifierItem", name})
                .value(0)
                .value<QDBusVariant>()
                .variant();
        };
        QCOMPARE(property("ItemIsMenu").toBool(), true);
        QCOMPARE(property("Title").toString(), "Pindle");
        QCOMPARE(property("IconName").toString(), ""); // the tray would find nothing
        const QDBusArgument list = qvariant_cast<QDBusArgument>(property("IconPixmap"));
        list.beginArray();
        QVERIFY(!list.atEnd());
        int width = 0, height = 0;
        QByteArray pixels;
        list.beginStructure();
        list >> width >> height >> pixels;
        list.endStructure();
        list.endArray();
        QCOMPARE(width * height * 4, pixels.size());
        QCOMPARE(pixels.left(4), QByteArray("\xff\xff\x00\x00", 4)); // ARGB, network order

        const auto layout = [&] {
            return menuNode(qvariant_cast<QDBusArgument>(
                call("/MenuBar", "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()})
                    .value(1)));
        };
        MenuNode root = layout();
        QCOMPARE(root.children.size(), 4);
        QCOMPARE(root.children[0].properties.value("label").toString(),
                 "Toggle Overlay (Alt+Space)");
        QCOMPARE(root.children[1].properties.value("type").toString(), "separator");
        QCOMPARE(root.children[3].properties.value("label").toString(), "Quit__Now");
        const QDBusArgument shortcut =
            qvariant_cast<QDBusArgument>(root.children[2].properties.value("shortcut"));
        QCOMPARE(qdbus_cast<QList<QStringList>>(shortcut), (QList<QStringList>{{"Control", ","}}));

        const auto click = [&](int id) {
            call("/MenuBar", "com.canonical.dbusmenu", "Event",
                 {id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
        };
        click(2); // the separator
        click(4);
        click(99);
        QTRY_COMPARE(chosen, QList<int>{3});

        item.setMenu({{"Quit Pindle", false, {}}});
        QCOMPARE(layout().children.size(), 1);

        watcher.setHostRegistered(false);
        QTRY_VERIFY(!item.isVisible());
        QVERIFY(!hostPresent());
        watcher.setHostRegistered(true);
        QTRY_VERIFY(item.isVisible());
        watcher.stop(); // the panel restarts
        QTRY_VERIFY(!item.isVisible());
        QVERIFY(watcher.start());
        QTRY_COMPARE(watcher.items, QStringList{item.serviceName()});
        QTRY_VERIFY(item.isVisible());
        QCOMPARE(visibilityChanges, 5);
        watcher.stop();
        QDBusConnection::disconnectFromBus(hostBus.name());
    }
};

QTEST_MAIN(PortalsTest)
#include "tst_portals.moc"
