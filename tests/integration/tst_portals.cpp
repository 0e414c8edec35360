// The desktop portal's clients against a fake portal on a private session bus
// (dbus-run-session): a screenshot read and its file removed, global shortcuts bound in both the
// documented way and KDE 5.27's, their presses and changes followed, and each failure told in
// words a user can act on.

#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalGlobalHotkeys.h"
#include "platform/desktop/PortalScreenshot.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "Await.h"

namespace {

struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// Answers as xdg-desktop-portal does: a method returns its request's path at once, and the
// result follows as that request's Response signal.
class FakePortal final : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus)
        : m_bus(std::move(bus)) {}

    bool kde = false;          // KDE 5.27: shortcuts taken from CreateSession
    bool withShortcuts = true; // GlobalShortcuts offered at all
    uint screenshotResponse = 0;
    QString screenshotUri;
    QVariantMap lastOptions; // of the latest call
    QList<Shortcut> bound;   // with the triggers the desktop chose
    QString session;
    QString registeredId; // told by the host registry

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override {
        const QString method = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (method == u"Register") {
            registeredId = arguments.value(0).toString();
            m_bus.send(message.createReply());
            return true;
        }
        if (message.interface() == shortcutsInterface && !withShortcuts) {
            m_bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error."
                                                               "UnknownMethod"),
                                                QStringLiteral("No such interface")));
            return true;
        }
        const QVariantMap options =
            arguments.isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(arguments.last());
        lastOptions = options;
        QVariantMap results;
        if (method == u"Screenshot") {
            if (screenshotResponse == 0)
                results.insert(QStringLiteral("uri"), screenshotUri);
            return answer(message, options, screenshotResponse, results);
        }
        if (method == u"CreateSession") {
            session = desktopPath + QStringLiteral("/session/") + sender(message) + u'/' +
                      options.value(QStringLiteral("session_handle_token")).toString();
            if (kde)
                take(qdbus_cast<QList<Shortcut>>(options.value(QStringLiteral("shortcuts"))));
            results.insert(QStringLiteral("session_handle"),
                           kde ? QVariant(session) : QVariant::fromValue(QDBusObjectPath(session)));
            return answer(message, options, 0, results);
        }
        if (method == u"BindShortcuts") {
            if (!kde) {
                take(qdbus_cast<QList<Shortcut>>(arguments.at(1)));
                results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            }
            return answer(message, options, 0, results); // KDE opens its settings and says no more
        }
        if (method == u"ListShortcuts") {
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            return answer(message, options, 0, results);
        }
        return false;
    }

    void emitSignal(const QString &name, const QList<QVariant> &arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(desktopPath, shortcutsInterface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

private:
    static QString sender(const QDBusMessage &message) {
        return message.service().mid(1).replace(u'.', u'_');
    }

    // The desktop gives each action the key it was asked for, and describes it its own way.
    void take(const QList<Shortcut> &asked) {
        bound.clear();
        for (const Shortcut &shortcut : asked)
            bound.append(Shortcut{
                shortcut.id,
                QVariantMap{{QStringLiteral("trigger_description"),
                             QString(QStringLiteral("Press ") +
                                     shortcut.properties.value(QStringLiteral("preferred_trigger"))
                                         .toString())}}});
    }

    bool answer(const QDBusMessage &message, const QVariantMap &options, uint response,
                const QVariantMap &results) {
        const QString path = desktopPath + QStringLiteral("/request/") + sender(message) + u'/' +
                             options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        QTimer::singleShot(10, [bus = m_bus, path, response, results]() mutable {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            bus.send(signal);
        });
        return true;
    }

    QDBusConnection m_bus;
};

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
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        qputenv("HOME", m_home.path().toLocal8Bit()); // the portal's file lands in "our" folders
        QVERIFY(m_portalBus.registerVirtualObject(desktopPath, &m_portal));
    }

    void init() {
        m_portal.kde = false;
        m_portal.withShortcuts = true;
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
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        QVERIFY(hotkeys.registerAll({}).isEmpty());
        QVERIFY(answered.wait());
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
        m_portal.withShortcuts = true;
        PortalGlobalHotkeys hotkeys;
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        QSignalSpy activated(&hotkeys, &GlobalHotkeys::activated);
        hotkeys.registerAll(
            {{GlobalHotkeys::Action::ToggleOverlay, *KeyCombination::parse(u"Alt+Space")},
             {GlobalHotkeys::Action::CaptureScreen, *KeyCombination::parse(u"Ctrl+Alt+S")}});
        QVERIFY(answered.wait());
        QVERIFY(hotkeys.unavailableReason().isEmpty());
        // The desktop's words for the keys it gave, asked for as the portal writes them.
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleOverlay),
                 "Press ALT+space");
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::CaptureScreen),
                 "Press CTRL+ALT+s");
        QVERIFY(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleTypingMode).isEmpty());

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
        QVERIFY(answered.wait());
        QCOMPARE(hotkeys.triggerDescription(GlobalHotkeys::Action::ToggleOverlay), "Meta+O");
    }

    void noShortcutsInThisPortal() {
        m_portal.withShortcuts = false;
        PortalGlobalHotkeys hotkeys;
        QSignalSpy answered(&hotkeys, &GlobalHotkeys::desktopAnswered);
        hotkeys.registerAll(
            {{GlobalHotkeys::Action::ToggleOverlay, *KeyCombination::parse(u"Alt+Space")}});
        QVERIFY(answered.wait());
        QCOMPARE(hotkeys.unavailableReason(), PortalGlobalHotkeys::commandLineAdvice);
        QCOMPARE(m_portal.registeredId, "com.pindle.app"); // before the first request it ran
    }
};

QTEST_GUILESS_MAIN(PortalsTest)
#include "tst_portals.moc"
