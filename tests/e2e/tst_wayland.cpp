// Pindle in a Wayland session (scripts/with-sway.sh: sway, XWayland, and a portal of the test's
// own): the desktop's shortcuts show the overlay above a Wayland program's window without taking
// its keys, typing mode takes the keyboard and gives it back, and a question about the screen
// carries the portal's picture. Keys go through the compositor, as a user's would.

#include "AppTestMain.h"
#include "ChatReplies.h"
#include "FakePortal.h"
#include "FakeSecretStore.h"
#include "ServerProcess.h"
#include "app/AppDelegate.h"
#include "platform/GlobalHotkeys.h"
#include "windows/OverlayPanel.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QQuickStyle>
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
QList<QJsonObject>
windows(const QJsonObject &node =
            QJsonDocument::fromJson(run("swaymsg", {"-r", "-t", "get_tree"})).object()) {
    QList<QJsonObject> found;
    if (node.contains("pid"))
        found.append(node);
    for (const char *list : {"nodes", "floating_nodes"})
        for (const QJsonValue &child : node[QLatin1String(list)].toArray())
            found += windows(child.toObject());
    return found;
}

QJsonObject window(const std::function<bool(const QJsonObject &)> &which) {
    for (const QJsonObject &candidate : windows())
        if (which(candidate))
            return candidate;
    return {};
}

QString focusedAppId() {
    const QJsonObject focused = window([](const QJsonObject &w) { return w["focused"].toBool(); });
    return focused["app_id"].toString(focused["window"].isDouble() ? "X11" : "");
}

// The whole screen as the compositor shows it, for a look by eye, when PINDLE_SCREENSHOT_DIR
// names a folder.
void snapshot(const QString &what) {
    if (const QString dir = qEnvironmentVariable("PINDLE_SCREENSHOT_DIR"); !dir.isEmpty())
        run("grim", {QStringLiteral("%1/sway-%2.png").arg(dir, what)});
}

void type(const QString &text) {
    // wtype's first key is lost while the compositor takes in its keymap: it waits first.
    run("wtype", {"-s", "200", "-d", "10", text});
}

} // namespace

class WaylandTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QDBusConnection m_portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    FakePortal m_portal{m_portalBus};
    FakeBackend m_provider;
    std::unique_ptr<ServerProcess> m_server;
    FakeSecretStore m_secrets;
    std::unique_ptr<AppDelegate> m_app;
    // A Wayland program standing for the user's work: what it is typed goes to a file.
    QProcess m_other;
    QString m_typedIntoOther = m_dir.filePath("typed.txt");

    OverlayPanel *overlay() const { return m_app->overlayPanel(); }
    ChatViewModel &chat() const { return m_app->chatViewModel(); }

    QJsonObject overlayWindow() const {
        const auto id = qint64(overlay()->winId());
        return window([id](const QJsonObject &w) { return w["window"].toInteger() == id; });
    }

    void press(GlobalHotkeys::Action action) {
        m_portal.emitSignal("Activated",
                            {QVariant::fromValue(QDBusObjectPath(m_portal.session)),
                             GlobalHotkeys::actionId(action), quint64(0), QVariantMap()});
    }

    QByteArray typedIntoOther() const {
        QFile file(m_typedIntoOther);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("SWAYSOCK"), "run under scripts/with-sway.sh");
        QVERIFY(m_portalBus.registerVirtualObject(desktopPath, &m_portal));
        QVERIFY(m_portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QQuickStyle::setStyle("Fusion");
        m_server = std::make_unique<ServerProcess>(ServerProcess::forwardingTo(m_provider.url()));
        QVERIFY2(m_server->running(), m_server->log().constData());
        m_secrets.items.insert({"com.pindle.app", "pindle_auth_token"},
                               m_server->signedInUser("ada@example.org").toUtf8());
        QFile settings(m_dir.filePath("settings.json"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"pindle_category": "writing"})"); // no second, reviewing request
        settings.close();

        m_other.start("foot", {"--app-id=other", "sh", "-c", "cat >" + m_typedIntoOther});
        QTRY_COMPARE(focusedAppId(), QStringLiteral("other"));

        m_app = std::make_unique<AppDelegate>(BackendConfig(m_server->url()), m_secrets,
                                              m_dir.filePath("settings.json"));
        m_app->applicationDidFinishLaunching();
        QTRY_VERIFY(m_app->isLoggedIn());
        QTRY_VERIFY(!m_portal.session.isEmpty() && !m_portal.bound.isEmpty());
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
        overlay()->setPosition(120, 90); // where the user last moved it
        press(GlobalHotkeys::Action::ToggleOverlay);
        QTRY_VERIFY(overlay()->isVisible());
        QTRY_VERIFY(overlayWindow()["sticky"].toBool());
        const auto placed = [this] {
            const QJsonObject rect = overlayWindow()["rect"].toObject();
            return QPoint(rect["x"].toInt(), rect["y"].toInt());
        };
        QTRY_COMPARE(placed(), QPoint(120, 90));
        QCOMPARE(overlayWindow()["type"].toString(), QStringLiteral("floating_con"));
        QTRY_COMPARE(focusedAppId(), QStringLiteral("other"));
        type("kept\n");
        QTRY_COMPARE(typedIntoOther(), QByteArray("kept\n"));
        QVERIFY(chat().messages().isEmpty());
    }

    void typingModeTakesAndGivesBackTheKeyboard() {
        m_provider.enqueue(streamedReply({"A tiling", " compositor."}));
        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(focusedAppId(), QStringLiteral("X11"));
        type("What is sway?\n");
        QTRY_COMPARE(chat().messages().size(), qsizetype(2));
        QCOMPARE(chat().messages().first().content, QStringLiteral("What is sway?"));
        QTRY_COMPARE(chat().messages().last().content, QStringLiteral("A tiling compositor."));
        QTRY_COMPARE(focusedAppId(), QStringLiteral("other")); // sending gives it back
        QTest::qWait(200); // Qt takes a moment to see the window lose the keyboard
        snapshot("answered");

        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(focusedAppId(), QStringLiteral("X11"));
        press(GlobalHotkeys::Action::ToggleTypingMode);
        QTRY_COMPARE(focusedAppId(), QStringLiteral("other"));
        type("again\n");
        QTRY_COMPARE(typedIntoOther(), QByteArray("kept\nagain\n"));
    }

    // The portal's picture, not XWayland's black root window, goes to the model; its file goes.
    void askAboutTheScreen() {
        const QString picture = m_dir.filePath("Screenshot.png");
        QImage screen(1440, 900, QImage::Format_RGB32);
        screen.fill(QColor(0x3c, 0x6e, 0x9f));
        QVERIFY(screen.save(picture));
        m_portal.screenshotUri = QUrl::fromLocalFile(picture).toString();
        m_provider.enqueue(streamedReply({"A blue screen."}));
        const qsizetype before = m_provider.requests().size();

        press(GlobalHotkeys::Action::CaptureScreen);
        QTRY_VERIFY(m_provider.requests().size() > before);
        const QByteArray body = m_provider.requests().at(before).body;
        const qsizetype start = body.indexOf("base64,") + 7;
        const QImage sent = QImage::fromData(
            QByteArray::fromBase64(body.mid(start, body.indexOf('"', start) - start)), "JPEG");
        QVERIFY(!sent.isNull());
        QVERIFY(qAbs(sent.pixelColor(sent.rect().center()).blue() - 0x9f) < 8);
        QVERIFY(!QFile::exists(picture));
        QTRY_VERIFY(overlay()->isVisible());
        QTRY_VERIFY(!chat().isLoading());
        QTRY_COMPARE(focusedAppId(), QStringLiteral("other"));
    }
};

PINDLE_APP_TEST_MAIN(WaylandTest)

#include "tst_wayland.moc"
