// The clients of the desktop's D-Bus services against fakes on a private session bus
// (dbus-run-session): a screenshot read and its file removed, global shortcuts bound in both the
// documented way and KDE 5.27's, chosen anew in the settings, kept through a portal that fails or
// starts late, their presses and changes followed, and each failure told in words a user can act
// on; the tray icon as a tray host sees it, and the menu Pindle draws where the tray cannot.

#include "Await.h"
#include "FakeDesktopServices.h"
#include "FakePortal.h"
#include "FakeStatusNotifierWatcher.h"
#include "models/ShortcutController.h"
#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalAppearance.h"
#include "platform/desktop/PortalGlobalHotkeys.h"
#include "platform/desktop/PortalScreenshot.h"
#include "platform/desktop/StatusNotifierItem.h"
#include "platform/x11/X11TrayMenu.h"
#include "services/SettingsManager.h"

#include <QAccessible>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>

using namespace std::chrono_literals;
using Action = GlobalHotkeys::Action;
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

// Answers come within milliseconds here: a request gets two seconds, and a failed one is asked
// again soon.
constexpr PortalPatience quick{2s, 50ms, 200ms, 1min};

// The shortcuts as Pindle runs them under Wayland: the controller behind the settings window and
// the menus, over the portal's client; presses as the application receives them.
struct Pindle {
    explicit Pindle(const QString &settingsFile, PortalPatience patience = quick)
        : settings(settingsFile)
        , hotkeys(QDBusConnection::sessionBus(), patience) {}

    SettingsManager settings;
    ShortcutSettings shortcuts{settings};
    FakeDesktop desktop;
    PortalGlobalHotkeys hotkeys;
    ShortcutController controller{shortcuts, hotkeys, desktop};
    QSignalSpy presses{&controller, &ShortcutController::activated};
    QSignalSpy notices{&controller, &ShortcutController::notice};
};

Action pressed(const QSignalSpy &presses, int index) {
    return presses.at(index).first().value<Action>();
}

// Whether all the fake portal has sent so far has reached Pindle: the answer to a ping comes
// after them, on the same way.
bool delivered() {
    QDBusPendingCallWatcher ping(
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            "org.freedesktop.portal.Desktop", desktopPath, "org.freedesktop.DBus.Peer", "Ping")));
    QSignalSpy answered(&ping, &QDBusPendingCallWatcher::finished);
    return answered.wait();
}

} // namespace

class PortalsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_settingsFile = m_home.filePath(QStringLiteral("settings.json"));
    QDBusConnection m_portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    std::unique_ptr<FakePortal> m_portal;

    // The fake portal answers as KDE's, in a session that says it runs KDE.
    void useKde(bool kde) {
        m_portal->kde = kde;
        qputenv("XDG_CURRENT_DESKTOP", kde ? "KDE" : "GNOME");
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through dbus-run-session");
        qputenv("HOME", m_home.path().toLocal8Bit()); // the portal's file lands in "our" folders
    }

    void init() {
        QFile::remove(m_settingsFile);
        m_portal = std::make_unique<FakePortal>(m_portalBus);
        QVERIFY(m_portal->start());
    }

    void cleanup() { m_portal.reset(); }

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
        m_portal->screenshotResponse = response;
        m_portal->screenshotUri = QUrl::fromLocalFile(path).toString();

        PortalScreenshot portal;
        const Outcome outcome = take(portal);
        QCOMPARE(outcome.failure, failure);
        QCOMPARE(m_portal->lastOptions.value("interactive"), QVariant(false));
        if (failure.isEmpty()) {
            QCOMPARE(outcome.image.size(), QSize(64, 40));
            QCOMPARE(outcome.image.pixelColor(5, 5), QColor(Qt::darkCyan));
            QVERIFY(!QFile::exists(path)); // the portal's copy is not left behind
        }
    }

    // The first registration: the desktop's keys stand as they are, the missing are bound, and
    // presses and changes of the session (only) are followed.
    void shortcuts_data() {
        QTest::addColumn<bool>("kde");
        QTest::newRow("as documented") << false;
        QTest::newRow("KDE 5.27") << true;
    }

    void shortcuts() {
        QFETCH(bool, kde);
        useKde(kde);
        m_portal->pressOnCreate = "type-mode"; // pressed as soon as the desktop has the keys
        // Chosen by the user in the desktop's settings, in an earlier run.
        m_portal->bound = {{"capture-screen", {{"trigger_description", "CTRL+ALT+c"}}}};
        PortalGlobalHotkeys hotkeys(QDBusConnection::sessionBus(), quick);
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        QSignalSpy activated(&hotkeys, &GlobalHotkeys::activated);
        const QList<GlobalHotkeys::Binding> bindings{
            {Action::ToggleOverlay, *KeyCombination::parse(u"Alt+Space")},
            {Action::CaptureScreen, *KeyCombination::parse(u"Ctrl+Alt+S")}};
        hotkeys.registerAll(bindings);
        QVERIFY(hotkeys.pending());
        QTRY_COMPARE(answered.size(), 1);
        QVERIFY(!hotkeys.pending());
        QVERIFY(hotkeys.unavailableReason().isEmpty());
        QCOMPARE(activated.size(), 1);
        QCOMPARE(pressed(activated, 0), Action::ToggleTypingMode);
        activated.clear();
        // The desktop's words for the keys it gave, asked for as the portal writes them.
        QCOMPARE(hotkeys.triggerDescription(Action::ToggleOverlay), "ALT+space");
        QCOMPARE(hotkeys.triggerDescription(Action::CaptureScreen), "CTRL+ALT+c");
        QVERIFY(hotkeys.triggerDescription(Action::ToggleTypingMode).isEmpty());
        // Binding asks the user; KDE, which took the keys with the session, would only open
        // System Settings at every start.
        QCOMPARE(m_portal->bindCalls, kde ? 0 : 1);
        hotkeys.registerAll(bindings); // the same again: nothing to ask
        QTRY_COMPARE(answered.size(), 2);
        QCOMPARE(m_portal->bindCalls, kde ? 0 : 1);

        const QVariant session = QVariant::fromValue(QDBusObjectPath(m_portal->session));
        const QVariant stranger =
            QVariant::fromValue(QDBusObjectPath(desktopPath + "/session/x/y"));
        m_portal->emitSignal("Activated", {stranger, "toggle-overlay", quint64(1), QVariantMap()});
        m_portal->press("capture-screen");
        QVERIFY(activated.wait());
        QCOMPARE(activated.size(), 1); // another application's session is not ours
        QCOMPARE(pressed(activated, 0), Action::CaptureScreen);

        // GNOME names its keys as a sentence of GTK accelerators.
        const QList<Shortcut> changed{
            Shortcut{"toggle-overlay", QVariantMap{{"trigger_description", "Meta+O"}}},
            Shortcut{"type-mode", QVariantMap{{"trigger_description", "Press <Control><Alt>y"}}},
            Shortcut{"capture-screen", QVariantMap{{"trigger_description", "Press <Super>Print"}}}};
        m_portal->emitSignal("ShortcutsChanged", {session, QVariant::fromValue(changed)});
        QTRY_COMPARE(answered.size(), 3);
        QCOMPARE(hotkeys.triggerDescription(Action::ToggleOverlay), "Meta+O");
        QCOMPARE(hotkeys.triggerDescription(Action::ToggleTypingMode), "Ctrl+Alt+Y");
        QCOMPARE(hotkeys.triggerDescription(Action::CaptureScreen), "Super+Print");
    }

    // A combination chosen in the settings reaches the desktop, whose old key goes, however the
    // sessions went meanwhile; a key the user gave another action in the desktop stays.
    void changingAShortcut_data() {
        QTest::addColumn<bool>("kde");
        QTest::addColumn<bool>("failing"); // a request fails on the way
        QTest::newRow("as documented") << false << false;
        QTest::newRow("KDE 5.27") << true << false;
        QTest::newRow("as documented, a request failing") << false << true;
        QTest::newRow("KDE 5.27, a request failing") << true << true;
    }

    void changingAShortcut() {
        QFETCH(bool, kde);
        QFETCH(bool, failing);
        useKde(kde);
        m_portal->bound = {{"capture-screen", {{"trigger_description", "CTRL+ALT+c"}}}};
        Pindle pindle(m_settingsFile);
        pindle.controller.start();
        QTRY_COMPARE(pindle.controller.toggleOverlay(), "ALT+space");
        QCOMPARE(pindle.controller.problem(Action::CaptureScreen),
                 "The desktop has Ctrl+Alt+C for it instead: change that in the desktop's "
                 "keyboard settings.");
        const int bindCalls = m_portal->bindCalls;

        pindle.controller.startRecording(int(Action::ToggleOverlay));
        m_portal->failures = failing ? 1 : 0;
        QVERIFY(pindle.controller.recordKey(Qt::Key_O, Qt::ControlModifier | Qt::AltModifier, 0));
        QTRY_COMPARE(m_portal->trigger("toggle-overlay"), "CTRL+ALT+o");
        QTRY_COMPARE(pindle.controller.toggleOverlay(), "CTRL+ALT+o");
        QCOMPARE(m_portal->trigger("capture-screen"), "CTRL+ALT+c");
        QCOMPARE(m_portal->bindCalls, kde ? 0 : bindCalls + 1);
        m_portal->press("toggle-overlay");
        QTRY_COMPARE(pindle.presses.size(), 1);
        QCOMPARE(pressed(pindle.presses, 0), Action::ToggleOverlay);

        // The desktop's key stands until the user chooses Pindle's combination again.
        pindle.controller.startRecording(int(Action::CaptureScreen));
        QVERIFY(pindle.controller.recordKey(Qt::Key_S, Qt::AltModifier, 0));
        QTRY_COMPARE(m_portal->trigger("capture-screen"), "ALT+s");
        QTRY_COMPARE(pindle.controller.problem(Action::CaptureScreen), QString());
        QCOMPARE(m_portal->bindCalls, kde ? 0 : bindCalls + 2);
        QCOMPARE(pindle.notices.size(), 0);
    }

    // A portal that fails at first (not ready at login) is asked again, and meanwhile nothing
    // claims a key; nothing passing is told, let alone remembered as told.
    void aPortalThatFailsFirst_data() {
        QTest::addColumn<FakePortal::Failure>("failure");
        QTest::addColumn<int>("failures");
        QTest::newRow("errors") << FakePortal::Failure::Error << 2;
        QTest::newRow("no answer") << FakePortal::Failure::NoAnswer << 1;
    }

    void aPortalThatFailsFirst() {
        QFETCH(FakePortal::Failure, failure);
        QFETCH(int, failures);
        m_portal->failure = failure;
        m_portal->failures = failures;
        Pindle pindle(m_settingsFile);
        // What the settings window says of the shortcut at each answer of the desktop.
        QStringList shown;
        connect(&pindle.hotkeys, &GlobalHotkeys::desktopAnswered, this, [&] {
            shown.append(pindle.controller.toggleOverlay() + u'|' +
                         pindle.controller.problem(Action::ToggleOverlay));
        });
        pindle.controller.start();
        QTRY_COMPARE_WITH_TIMEOUT(pindle.controller.toggleOverlay(), "ALT+space", 10000);
        QCOMPARE(shown.takeLast(), "ALT+space|");
        QVERIFY(shown.size() >= failures); // a busy machine may miss an answer more
        QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()),
                 QSet<QString>{"|Waiting for the desktop to take it."});
        QVERIFY(pindle.controller.unavailableReason().isEmpty());
        QCOMPARE(pindle.notices.size(), 0);
    }

    // A portal without shortcuts, or one that refuses every time, means it: told once, in words
    // the user can act on. The application's id is told before the first request.
    void aPortalWithoutShortcuts() {
        for (const bool offered : {false, true}) {
            m_portal->withShortcuts = offered;
            m_portal->failures = 1000;
            Pindle pindle(m_home.filePath(QStringLiteral("settings-%1.json").arg(offered)));
            pindle.controller.start();
            QTRY_VERIFY(!pindle.controller.unavailableReason().isEmpty());
            QVERIFY(pindle.controller.unavailableReason().startsWith(
                offered ? "The desktop portal refused" : PortalGlobalHotkeys::commandLineAdvice));
            QCOMPARE(pindle.controller.toggleOverlay(), QString());
            QCOMPARE(pindle.notices.size(), 1);
        }
        QCOMPARE(FakePortal::registeredId, "com.pindle.app");
    }

    // No portal at all for now: the shortcuts come when it does, whether Pindle was still
    // waiting for one or had told the user there is none.
    void aPortalStartingLate_data() {
        QTest::addColumn<int>("patience"); // for a portal to appear, in milliseconds
        QTest::newRow("while waiting") << 60000;
        QTest::newRow("after giving up") << 0;
    }

    void aPortalStartingLate() {
        QFETCH(int, patience);
        m_portal->stop();
        PortalScreenshot screenshot;
        QVERIFY(take(screenshot).failure.startsWith("No desktop portal is running."));
        // Asked again only when it appears.
        Pindle pindle(m_settingsFile, {2s, 1min, 1min, std::chrono::milliseconds(patience)});
        QSignalSpy answered(&pindle.hotkeys, &GlobalHotkeys::desktopAnswered);
        pindle.controller.start();
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(pindle.controller.toggleOverlay(), QString());
        const bool toldNone = patience == 0;
        QCOMPARE(pindle.controller.unavailableReason(),
                 toldNone ? PortalGlobalHotkeys::commandLineAdvice : QString());
        QCOMPARE(pindle.notices.size(), toldNone ? 1 : 0);

        QVERIFY(m_portal->start());
        QTRY_COMPARE(pindle.controller.toggleOverlay(), "ALT+space");
        QVERIFY(pindle.controller.unavailableReason().isEmpty());
        QCOMPARE(pindle.notices.size(), toldNone ? 1 : 0);
    }

    // While a combination is being chosen no press acts, not even one for a session that the
    // desktop made after the choosing began.
    void noPressWhileChoosing_data() {
        QTest::addColumn<bool>("kde");
        QTest::addColumn<bool>("duringCreation");
        QTest::newRow("after the session is made") << false << false;
        QTest::newRow("while it is made") << false << true;
        QTest::newRow("while it is made, KDE 5.27") << true << true;
    }

    void noPressWhileChoosing() {
        QFETCH(bool, kde);
        QFETCH(bool, duringCreation);
        useKde(kde);
        m_portal->holdAnswers = duringCreation;
        Pindle pindle(m_settingsFile);
        QSignalSpy hotkeyPresses(&pindle.hotkeys, &GlobalHotkeys::activated);
        pindle.controller.start();
        if (duringCreation)
            QTRY_VERIFY(m_portal->sessionOpen); // its answer held back
        else
            QTRY_COMPARE(pindle.controller.captureScreen(), "ALT+s");
        pindle.controller.startRecording(int(Action::ToggleOverlay));
        m_portal->press("capture-screen");
        m_portal->holdAnswers = false;
        m_portal->release();
        m_portal->press("capture-screen");
        QVERIFY(delivered());
        QTRY_VERIFY(!m_portal->sessionOpen);

        pindle.controller.cancelRecording();
        QTRY_COMPARE(pindle.controller.captureScreen(), "ALT+s");
        m_portal->press("type-mode");
        QTRY_COMPARE(pindle.presses.size(), 1);
        QCOMPARE(pressed(pindle.presses, 0), Action::ToggleTypingMode);
        QCOMPARE(hotkeyPresses.size(), 1);
    }

    // The desktop's light or dark preference and accent, read at start and followed; a portal
    // without them, or none at all, leaves the light look.
    void appearance() {
        {
            PortalAppearance unset;
            QVERIFY(delivered());
            QCOMPARE(unset.dark(), false);
            QCOMPARE(unset.accent(), QString());
        }
        m_portal->appearance = {{"color-scheme", 1u},
                                {"accent-color", FakePortal::accentColor(0.8, 0.2, 0.5)}};
        PortalAppearance appearance;
        QSignalSpy changed(&appearance, &DesktopAppearance::changed);
        QTRY_VERIFY(appearance.dark());
        QTRY_COMPARE(appearance.accent(), QStringLiteral("#cc3380"));

        m_portal->changeAppearance("color-scheme", 2u); // light
        QTRY_VERIFY(!appearance.dark());
        m_portal->changeAppearance("accent-color", FakePortal::accentColor(-1, -1, -1)); // unset
        QTRY_COMPARE(appearance.accent(), QString());
        m_portal->changeAppearance("contrast", 1u);
        QVERIFY(delivered());
        QCOMPARE(changed.size(), 4);
        QCOMPARE(PortalAppearance::accentFrom(QVariant(1u)), QString());
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

    // The menu of the XEmbed tray icon, which Pindle draws: keys move over the items only (none
    // is current at first) and round the ends, and choose; a screen reader presses items too.
    void trayMenuDrawnByPindle_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("open");
        QTest::newRow("first") << QList<int>{Qt::Key_Down, Qt::Key_Return} << 0 << false;
        QTest::newRow("over a separator")
            << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter} << 3 << false;
        QTest::newRow("last") << QList<int>{Qt::Key_Up, Qt::Key_Space} << 5 << false;
        QTest::newRow("round the end")
            << QList<int>{Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << 1 << false;
        QTest::newRow("none current") << QList<int>{Qt::Key_Return} << -1 << true;
        QTest::newRow("escape") << QList<int>{Qt::Key_Down, Qt::Key_Escape} << -1 << false;
    }

    void trayMenuDrawnByPindle() {
        QFETCH(QList<int>, keys);
        QFETCH(int, chosen);
        QFETCH(bool, open);
        X11TrayMenu menu;
        menu.setItems({{"Toggle Overlay", false, {}},
                       {"Capture Screen", false, {}},
                       {{}, true, {}},
                       {"Settings…", false, QKeySequence("Ctrl+,")},
                       {{}, true, {}},
                       {"Quit Pindle", false, {}}});
        QSignalSpy triggered(&menu, &X11TrayMenu::triggered);
        menu.toggle({20, 20});
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        for (const int key : keys)
            QTest::keyClick(&menu, Qt::Key(key));
        QCOMPARE(triggered.size(), chosen < 0 ? 0 : 1);
        if (chosen >= 0)
            QCOMPARE(triggered.at(0).at(0).toInt(), chosen);
        QCOMPARE(menu.isVisible(), open);

        QAccessibleInterface *popup = QAccessible::queryAccessibleInterface(&menu);
        QCOMPARE(popup->role(), QAccessible::PopupMenu);
        QCOMPARE(popup->childCount(), 6);
        QCOMPARE(popup->child(4)->role(), QAccessible::Separator);
        QAccessibleInterface *settings = popup->child(3);
        QCOMPARE(settings->text(QAccessible::Name), "Settings…");
        QCOMPARE(settings->text(QAccessible::Accelerator),
                 QKeySequence("Ctrl+,").toString(QKeySequence::NativeText));
        settings->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(triggered.constLast().at(0).toInt(), 3);
    }
};

QTEST_MAIN(PortalsTest)
#include "tst_portals.moc"
