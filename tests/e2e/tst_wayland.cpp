// Pindle in a Wayland session (scripts/with-wayland.sh): under sway with a portal of the test's
// own, or under KWin with KDE's own portal. The desktop's shortcuts show the overlay above another
// program's window without taking its keys, typing mode takes the keyboard and gives it back, a
// question about the screen carries the portal's picture, and a shortcut chosen in the settings
// becomes the desktop's (KDE's kglobalaccel holds it). Where the compositor has layer-shell
// (sway and KWin on Debian 13), the overlay is a layer surface; elsewhere an XWayland window.
// Keys go through the compositor, as a user's would: under sway into a Wayland terminal; KWin
// offers other programs no keyboard, so there keys go through XWayland into an X program, and
// into the overlay straight from the test once KWin has given it the keyboard.

#include "AppTestMain.h"
#include "ChatReplies.h"
#include "FakePortal.h"
#include "FakeSecretStore.h"
#include "ServerProcess.h"
#include "X11Input.h"
#include "app/Application.h"
#include "platform/GlobalHotkeys.h"
#include "windows/OverlayPanel.h"

#include <QDBusVariant>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

namespace {

QByteArray run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        qWarning() << program << arguments << "failed:" << process.readAllStandardError();
    return process.readAllStandardOutput();
}

// Sway's windows, each container flattened into one list.
QList<QJsonObject> swayWindows(const QJsonObject &node) {
    QList<QJsonObject> found;
    if (node.contains("pid"))
        found.append(node);
    for (const char *list : {"nodes", "floating_nodes"})
        for (const QJsonValue &child : node[QLatin1String(list)].toArray())
            found += swayWindows(child.toObject());
    return found;
}

QJsonObject swayWindow(const std::function<bool(const QJsonObject &)> &which) {
    const QJsonObject tree =
        QJsonDocument::fromJson(run("swaymsg", {"-r", "-t", "get_tree"})).object();
    for (const QJsonObject &candidate : swayWindows(tree))
        if (which(candidate))
            return candidate;
    return {};
}

// The whole screen as sway shows it.
QImage swayScreen() {
    return QImage::fromData(run("grim", {"-"}), "PNG");
}

QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QList<QVariant> &arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

} // namespace

class WaylandTest : public QObject {
    Q_OBJECT

private:
    const bool m_sway = qEnvironmentVariableIsSet("SWAYSOCK");
    const bool m_gnome = qEnvironmentVariable("XDG_CURRENT_DESKTOP") == u"GNOME";
    // The overlay a layer-shell surface, as where the compositor offers one.
    const bool m_layer = QGuiApplication::platformName() == u"wayland";
    QTemporaryDir m_dir;
    QDBusConnection m_portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    FakePortal m_portal{m_portalBus};
    FakeBackend m_provider;
    std::unique_ptr<ServerProcess> m_server;
    FakeSecretStore m_secrets;
    std::unique_ptr<Application> m_app;
    // Another program standing for the user's work, which keeps what it is typed.
    QProcess m_other;
    QString m_typedIntoOther = m_dir.filePath("typed.txt");
    xcb_window_t m_otherWindow = XCB_WINDOW_NONE;
    QString m_shortcutsComponent; // KWin's: where the portal put our shortcuts
    // GNOME 48 on: its portal binds shortcuts and takes screenshots, and Mutter's remote desktop
    // presses keys as a user would.
    bool m_gnomePortal = false;
    QString m_remoteDesktop;
    // The keys the user chose in GNOME's dialog, keysyms.
    const QMap<GlobalHotkeys::Action, quint32> m_gnomeKeys{
        {GlobalHotkeys::Action::ToggleOverlay, 'j'},
        {GlobalHotkeys::Action::CaptureScreen, 'k'},
        {GlobalHotkeys::Action::ToggleTypingMode, 'y'}};

    // The desktop's own portal takes the screenshots (GNOME 48, Plasma 6).
    bool m_portalScreenshots = false;

    // What GNOME keeps once the user has added Pindle's shortcuts in its dialog (Ctrl+Alt and
    // the keys above), which it then binds without asking again.
    static void seedGnome(const QMap<GlobalHotkeys::Action, quint32> &keys) {
        QStringList shortcuts;
        for (auto key = keys.begin(); key != keys.end(); ++key)
            shortcuts.append(QStringLiteral("('%1', {'description': <'%1'>, 'shortcuts': "
                                            "<['<Control><Alt>%2']>})")
                                 .arg(QString(shortcutAction(key.key()).id), QChar(key.value())));
        run("gsettings", {"set",
                          "org.gnome.settings-daemon.global-shortcuts.application:/org/gnome/"
                          "settings-daemon/global-shortcuts/com.pindle.app/",
                          "shortcuts", "[" + shortcuts.join(", ") + "]"});
    }

    // What the portal keeps once the user has answered its question whether Pindle may take
    // screenshots ("yes" or "no").
    static void allowScreenshots(const char *answer) {
        run("gdbus",
            {"call", "--session", "--dest", "org.freedesktop.impl.portal.PermissionStore",
             "--object-path", "/org/freedesktop/impl/portal/PermissionStore", "--method",
             "org.freedesktop.impl.portal.PermissionStore.SetPermission", "screenshot", "true",
             "screenshot", "com.pindle.app", QStringLiteral("['%1']").arg(QLatin1String(answer))});
    }

    // A call on Mutter's remote desktop session, which presses keys as a user would.
    QDBusMessage mutter(const QString &method, const QList<QVariant> &arguments = {}) const {
        return call("org.gnome.Mutter.RemoteDesktop", m_remoteDesktop,
                    "org.gnome.Mutter.RemoteDesktop.Session", method, arguments);
    }

    // Ctrl+Alt and `keysym`, pressed and let go through Mutter.
    void gnomePress(quint32 keysym) {
        for (const auto &[key, down] : {std::pair{0xffe3u, true},
                                        {0xffe9u, true},
                                        {keysym, true},
                                        {keysym, false},
                                        {0xffe9u, false},
                                        {0xffe3u, false}})
            QCOMPARE(mutter("NotifyKeyboardKeysym", {key, down}).type(),
                     QDBusMessage::ReplyMessage);
    }

    OverlayPanel *overlay() const { return m_app->overlayPanel(); }
    ChatViewModel &chat() const { return m_app->chatViewModel(); }

    QJsonObject overlayWindow() const {
        if (m_layer) // ours is the only window of this process
            return swayWindow([](const QJsonObject &w) {
                return w["pid"].toInteger() == QCoreApplication::applicationPid();
            });
        const auto id = qint64(overlay()->winId());
        return swayWindow([id](const QJsonObject &w) { return w["window"].toInteger() == id; });
    }

    // Who has the keyboard: "other", "overlay", or another answer when neither has.
    QString keyboardHolder() const {
        if (m_layer && m_app && overlay()->isActive())
            return "overlay";
        const qint64 ours = m_app && !m_layer ? qint64(overlay()->winId()) : -1;
        if (m_sway) {
            const QJsonObject focused =
                swayWindow([](const QJsonObject &w) { return w["focused"].toBool(); });
            if (focused["window"].toInteger() == ours)
                return "overlay";
            return focused["app_id"].toString("none");
        }
        const xcb_window_t focus = inputFocus();
        return focus == m_otherWindow  ? "other"
               : qint64(focus) == ours ? "overlay"
                                       : QString::number(focus);
    }

    // What the other program was typed, one character for each key under KWin.
    QByteArray typedIntoOther() {
        if (m_sway) {
            QFile file(m_typedIntoOther);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        static QByteArray keys;
        while (m_other.canReadLine())
            keys += m_other.readLine().startsWith("key ") ? "k" : "";
        return keys;
    }

    void type(const QString &text) {
        if (m_sway) { // wtype's first key is lost while sway takes in its keymap: it waits first
            run("wtype", {"-s", "200", "-d", "10", text});
        } else if (m_layer && overlay()->isActive()) {
            // KWin lets no test program type into a Wayland surface: the keys go to the window
            // KWin gave the keyboard.
            for (const QString &line : text.chopped(1).split(u'\n')) {
                for (const QChar c : line)
                    QTest::keyClick(overlay(), c.toLatin1());
                QTest::keyClick(overlay(), Qt::Key_Return);
            }
        } else {
            for (const QString &line : text.chopped(1).split(u'\n')) {
                xdotool({"type", "--delay", "10", line});
                xdotool({"key", "Return"});
            }
        }
    }

    void press(GlobalHotkeys::Action action) {
        const QString id = QString(shortcutAction(action).id);
        if (m_gnomePortal)
            gnomePress(m_gnomeKeys.value(action));
        else if (m_gnome) // GNOME 43's portal has no shortcuts: its own run pindle --toggle-overlay
            m_app->runAction(action);
        else if (m_sway)
            m_portal.press(id);
        else
            run("gdbus", {"call", "--session", "--dest", "org.kde.kglobalaccel", "--object-path",
                          m_shortcutsComponent, "--method",
                          "org.kde.kglobalaccel.Component.invokeShortcut", id});
    }

    // The keys kglobalaccel holds for one of Pindle's actions.
    QStringList kglobalaccelKeys(GlobalHotkeys::Action action) const {
        // (Its object path spells the name's dots as underscores.)
        const QString component =
            qdbus_cast<QDBusVariant>(call("org.kde.kglobalaccel", m_shortcutsComponent,
                                          "org.freedesktop.DBus.Properties", "Get",
                                          {"org.kde.kglobalaccel.Component", "uniqueName"})
                                         .arguments()
                                         .value(0))
                .variant()
                .toString();
        const QStringList id{component, QString(shortcutAction(action).id), component, {}};
        QStringList keys;
        for (const int key : qdbus_cast<QList<int>>(call("org.kde.kglobalaccel", "/kglobalaccel",
                                                         "org.kde.KGlobalAccel", "shortcut", {id})
                                                        .arguments()
                                                        .value(0)))
            keys.append(KeyCombination::fromQtKeyCode(key).value_or(KeyCombination()).toString());
        return keys;
    }

    QStringList kglobalaccelComponents() const {
        return QString::fromUtf8(
                   run("gdbus",
                       {"call", "--session", "--dest", "org.kde.kglobalaccel", "--object-path",
                        "/kglobalaccel", "--method", "org.kde.KGlobalAccel.allComponents"}))
            .split(u'\'');
    }

    // The picture the model was sent with request `index`.
    QImage sentPicture(qsizetype index) const {
        const QByteArray body = m_provider.requests().at(index).body;
        const qsizetype start = body.indexOf("base64,") + 7;
        return QImage::fromData(
            QByteArray::fromBase64(body.mid(start, body.indexOf('"', start) - start)), "JPEG");
    }

    // The desktop's portal: refused while its permission says no (as when the user said no, or
    // let its question pass), and then the screen as the compositor shows it.
    void portalScreenshots() {
        const qsizetype before = m_provider.requests().size();
        press(GlobalHotkeys::Action::CaptureScreen);
        QTRY_VERIFY_WITH_TIMEOUT(chat().errorMessage().contains("refused"), 10000);
        QCOMPARE(m_provider.requests().size(), before);
        QTRY_VERIFY(overlay()->isVisible());
        if (!m_gnome)
            QSKIP("KWin takes screenshots only while it composites with OpenGL, which it cannot "
                  "without a GPU device (headless here it paints with QPainter).");

        allowScreenshots("yes");
        m_provider.enqueue(streamedReply({"A blue window."}));
        press(GlobalHotkeys::Action::CaptureScreen);
        QTRY_VERIFY_WITH_TIMEOUT(m_provider.requests().size() > before, 10000);
        const QImage sent = sentPicture(before);
        QVERIFY(!sent.isNull());
        // The other program's blue, at its window's middle.
        const QColor at = sent.pixelColor(QPoint(240, 630) * sent.width() / 1440);
        QVERIFY2(qAbs(at.blue() - 0x9f) < 12 && qAbs(at.red() - 0x3c) < 12, qPrintable(at.name()));
        QTRY_VERIFY(overlay()->isVisible());
        QTRY_VERIFY(!chat().isLoading());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland",
                 "run under scripts/with-wayland.sh");
        if (m_sway)
            QVERIFY(m_portal.start());
        m_server = std::make_unique<ServerProcess>(ServerProcess::forwardingTo(m_provider.url()));
        QVERIFY2(m_server->running(), m_server->log().constData());
        m_secrets.items.insert({"com.pindle.app", "pindle_auth_token"},
                               m_server->signedInUser("ada@example.org").toUtf8());
        QFile settings(m_dir.filePath("settings.json"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        // No second, reviewing request; GNOME's window menu holds Alt+Space, so a GNOME user
        // picks another key.
        settings.write(m_gnome ? R"({"pindle_category": "writing",
                                     "pindle_shortcuts": {"toggle_overlay": "Ctrl+Alt+J"}})"
                               : R"({"pindle_category": "writing"})");
        settings.close();

        if (m_sway) {
            m_other.start("foot", {"--app-id=other", "--override=colors.background=3c6e9f", "sh",
                                   "-c", "cat >" + m_typedIntoOther});
        } else {
            m_other.start(QStringLiteral(PINDLE_COLOUR_WINDOW_PATH),
                          {"40", "480", "400", "300", "3c6e9f"});
            QVERIFY(m_other.waitForReadyRead(10000));
            m_otherWindow = m_other.readLine().trimmed().toUInt();
        }
        QTRY_COMPARE(keyboardHolder(), "other");
        const QStringList components = m_gnome || m_sway ? QStringList() : kglobalaccelComponents();
        m_gnomePortal = m_gnome && run("gdbus", {"introspect", "--session", "--dest",
                                                 "org.freedesktop.portal.Desktop", "--object-path",
                                                 "/org/freedesktop/portal/desktop"})
                                       .contains("org.freedesktop.portal.GlobalShortcuts");
        m_portalScreenshots =
            m_gnomePortal || (!m_sway && qEnvironmentVariableIntValue("KDE_SESSION_VERSION") >= 6);
        if (m_portalScreenshots)
            allowScreenshots("no");
        if (m_gnomePortal) {
            seedGnome(m_gnomeKeys);
            m_remoteDesktop =
                qvariant_cast<QDBusObjectPath>(
                    call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                         "org.gnome.Mutter.RemoteDesktop", "CreateSession")
                        .arguments()
                        .value(0))
                    .path();
            QVERIFY(!m_remoteDesktop.isEmpty());
            QCOMPARE(mutter("Start").type(), QDBusMessage::ReplyMessage);
            // Mutter's virtual keyboard comes with the first key, which it may lose.
            for (const bool down : {true, false})
                mutter("NotifyKeyboardKeysym", {0xffe1u, down});
        }

        m_app = std::make_unique<Application>(BackendConfig(m_server->url()), m_secrets,
                                              m_dir.filePath("settings.json"));
        m_app->start();
        QTRY_VERIFY(m_app->isLoggedIn());
        if (m_sway) {
            QTRY_VERIFY(!m_portal.session.isEmpty() && !m_portal.bound.isEmpty());
        } else if (!m_gnome) {
            QTRY_VERIFY_WITH_TIMEOUT(kglobalaccelComponents().size() > components.size(), 10000);
            for (const QString &component : kglobalaccelComponents())
                if (component.startsWith(u'/') && !components.contains(component))
                    m_shortcutsComponent = component;
        }
        if (!m_sway && (!m_gnome || m_gnomePortal)) // bound, by KDE or through GNOME's portal
            QTRY_VERIFY_WITH_TIMEOUT(
                !m_app->shortcuts().working(GlobalHotkeys::Action::ToggleTypingMode).isEmpty(),
                10000);
    }

    void cleanupTestCase() {
        m_app.reset();
        m_other.kill();
        m_other.waitForFinished();
        QVERIFY(m_server->stop());
    }

    // Shown by the desktop's shortcut, the overlay floats above the other program on every
    // workspace, and that program keeps the keys.
    void aboveWithoutTakingTheKeyboard() {
        if (overlay()->isVisible())
            press(GlobalHotkeys::Action::ToggleOverlay);
        QTRY_VERIFY(!overlay()->isVisible());
        if (!m_layer)
            overlay()->setPosition(120, 90); // where the user last moved it
        QImage without[2]; // the screen where the overlay will be, on workspaces 1 and 2
        if (m_sway && m_layer) {
            const QRect card(QPoint(160, 130), QSize(300, 400));
            without[0] = swayScreen().copy(card);
            run("swaymsg", {"workspace", "2"});
            without[1] = swayScreen().copy(card);
            run("swaymsg", {"workspace", "1"});
            QTRY_COMPARE(keyboardHolder(), "other");
        }
        press(GlobalHotkeys::Action::ToggleOverlay);
        QTRY_VERIFY(overlay()->isVisible());
        if (m_layer) {
            // Moved by its header from the middle of the screen, where the compositor put it,
            // the pointer reported where it would be while the surface stays put.
            QTRY_VERIFY(overlay()->isExposed());
            const QPoint grip(100, 20);
            const QPoint by = QPoint(120, 90) - QPoint((1440 - 420) / 2, (900 - 600) / 2);
            QTest::mousePress(overlay(), Qt::LeftButton, {}, grip);
            QTest::mouseMove(overlay(), grip + by / 3);
            // Sway's frame is the press's; elsewhere it follows the surface as it moves.
            const QPoint end = m_sway ? grip + by : grip + by - by / 3;
            QTest::mouseMove(overlay(), end);
            QTest::mouseRelease(overlay(), Qt::LeftButton, {}, end);
        }
        if (m_sway && m_layer) {
            // Drawn above the terminal on each workspace, and no window of sway's.
            QTRY_VERIFY(overlay()->isExposed());
            const QRect card(QPoint(160, 130), QSize(300, 400));
            QTRY_VERIFY(swayScreen().copy(card) != without[0]);
            run("swaymsg", {"workspace", "2"});
            QTRY_VERIFY(swayScreen().copy(card) != without[1]);
            run("swaymsg", {"workspace", "1"});
            QVERIFY(overlayWindow().isEmpty());
        } else if (m_sway) {
            QTRY_VERIFY(overlayWindow()["sticky"].toBool());
            QCOMPARE(overlayWindow()["type"].toString(), QStringLiteral("floating_con"));
            const auto placed = [this] {
                const QJsonObject rect = overlayWindow()["rect"].toObject();
                return QPoint(rect["x"].toInt(), rect["y"].toInt());
            };
            QTRY_COMPARE(placed(), QPoint(120, 90));
        } else if (m_layer) { // on the overlay layer, above every window
            QTRY_VERIFY(overlay()->isExposed());
        } else { // the window manager's X11 stacking, bottom to top
            const auto stacking = [] {
                return QString::fromUtf8(run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}));
            };
            const auto at = [&](xcb_window_t window) {
                return stacking().indexOf(QStringLiteral("0x%1").arg(window, 0, 16));
            };
            QTRY_VERIFY(at(m_otherWindow) >= 0 &&
                        at(m_otherWindow) < at(xcb_window_t(overlay()->winId())));
        }
        QTRY_COMPARE(keyboardHolder(), "other");
        const QByteArray before = typedIntoOther(); // (GNOME's shortcut keys went there too)
        type("kept\n");
        QTRY_COMPARE(typedIntoOther(), before + (m_sway ? "kept\n" : "kkkkk"));
        QVERIFY(chat().messages().isEmpty());
    }

    void typingModeTakesAndGivesBackTheKeyboard() {
        m_provider.enqueue(streamedReply({"A tiling", " compositor."}));
        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(keyboardHolder(), "overlay");
        type("What is sway?\n");
        QTRY_COMPARE(chat().messages().size(), qsizetype(2));
        QCOMPARE(chat().messages().first().content, QStringLiteral("What is sway?"));
        QTRY_COMPARE(chat().messages().last().content, QStringLiteral("A tiling compositor."));
        QTRY_COMPARE(keyboardHolder(), "other"); // sending gives it back
        QTest::qWait(200); // Qt takes a moment to see the window lose the keyboard

        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(keyboardHolder(), "overlay");
        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(keyboardHolder(), "other");
        const QByteArray before = typedIntoOther();
        type("again\n");
        QTRY_COMPARE(typedIntoOther(), before + (m_sway ? "again\n" : "kkkkkk"));
    }

    // The portal's picture, not XWayland's black root window, goes to the model; its file goes.
    void askAboutTheScreen() {
        if (m_portalScreenshots)
            return portalScreenshots();
        if (!m_sway)
            QSKIP("Plasma 5's portal takes screenshots only with Plasma's dialogs "
                  "(plasma-workspace), and GNOME 43's does not start without a screen.");
        const QString picture = m_dir.filePath("Screenshot.png");
        QImage screen(1440, 900, QImage::Format_RGB32);
        screen.fill(QColor(0x3c, 0x6e, 0x9f));
        QVERIFY(screen.save(picture));
        m_portal.screenshotUri = QUrl::fromLocalFile(picture).toString();
        // Under sway with the overlay on its layer, the picture is the screen as sway shows it
        // when asked: the terminal, not the overlay, where the overlay was.
        const QPoint inCard = QPoint(120, 90) + QPoint(210, 300);
        QColor terminal, card;
        if (m_layer) {
            QTRY_VERIFY(overlay()->isExposed());
            card = swayScreen().pixelColor(inCard);
            overlay()->hide();
            QTRY_VERIFY((terminal = swayScreen().pixelColor(inCard)) != card);
            overlay()->show();
            QTRY_COMPARE(swayScreen().pixelColor(inCard), card);
            QTRY_COMPARE(keyboardHolder(), "other");
            m_portal.takeScreenshot = [picture] { run("grim", {picture}); };
        }
        m_provider.enqueue(streamedReply({"A blue screen."}));
        const qsizetype before = m_provider.requests().size();

        press(GlobalHotkeys::Action::CaptureScreen);
        QTRY_VERIFY(m_provider.requests().size() > before);
        const QImage sent = sentPicture(before);
        QVERIFY(!sent.isNull());
        if (m_layer) {
            const QColor at = sent.pixelColor(inCard * sent.width() / 1440);
            QVERIFY2(
                qAbs(at.lightness() - terminal.lightness()) < 8,
                qPrintable(at.name() + " terminal " + terminal.name() + " overlay " + card.name()));
        } else {
            QVERIFY(qAbs(sent.pixelColor(sent.rect().center()).blue() - 0x9f) < 8);
        }
        QTRY_VERIFY(overlay()->isVisible());
        QTRY_VERIFY(!chat().isLoading());
        QTRY_COMPARE(keyboardHolder(), "other");
    }

    // A shortcut chosen in the settings is the one KDE's kglobalaccel holds and acts on; the one
    // it replaced is gone. (Through the portal sway runs here, the test's own, tst_portals has it.)
    void changingAShortcut() {
        if (m_gnome || m_sway)
            QSKIP("GNOME keeps the keys the user gave in its own dialog (GNOME 43: its own "
                  "settings run Pindle's commands); sway's portal is the test's own.");
        ShortcutController &shortcuts = m_app->shortcuts();
        shortcuts.startRecording(int(GlobalHotkeys::Action::ToggleOverlay));
        QVERIFY(shortcuts.recordKey(Qt::Key_O, Qt::ControlModifier | Qt::AltModifier, 0));
        QCOMPARE(shortcuts.recordingError(), QString());
        // KDE's own record of the key, as its System Settings shows it.
        QTRY_COMPARE_WITH_TIMEOUT(kglobalaccelKeys(GlobalHotkeys::Action::ToggleOverlay),
                                  QStringList{"Ctrl+Alt+O"}, 10000);
        QTRY_COMPARE(shortcuts.toggleOverlay(), "Ctrl+Alt+O");
        QCOMPARE(shortcuts.problem(GlobalHotkeys::Action::ToggleOverlay), QString());
        const bool shown = overlay()->isVisible();
        press(GlobalHotkeys::Action::ToggleOverlay);
        QTRY_COMPARE(overlay()->isVisible(), !shown);
    }
};

PINDLE_APP_TEST_MAIN(WaylandTest)

#include "tst_wayland.moc"
