// The desktop portal's Screenshot against a fake portal on a private session bus
// (dbus-run-session): the request and its answer, the picture read and its file removed, and
// each way it can fail told in words a user can act on.

#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalScreenshot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "Await.h"

namespace {

// Answers Screenshot as xdg-desktop-portal does: at once with the request's path, then with a
// Response signal from that path.
class FakeScreenshotPortal final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")

public:
    explicit FakeScreenshotPortal(QDBusConnection bus)
        : m_bus(std::move(bus)) {}

    uint response = 0;
    QString uri;
    QVariantMap options;

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString &, const QVariantMap &asked,
                               const QDBusMessage &message) {
        options = asked;
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") +
                             message.service().mid(1).replace(u'.', u'_') + u'/' +
                             asked.value(QStringLiteral("handle_token")).toString();
        QTimer::singleShot(10, this, [this, path] {
            QDBusMessage answer = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            answer << response << QVariantMap{{QStringLiteral("uri"), uri}};
            m_bus.send(answer);
        });
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_bus;
};

// What take() ended with: the picture, or the message of its failure.
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

class PortalScreenshotTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QDBusConnection m_portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    FakeScreenshotPortal m_portal{m_portalBus};

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run through dbus-run-session");
        qputenv("HOME", m_home.path().toLocal8Bit()); // the portal's file lands in "our" folders
        QVERIFY(m_portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                           &m_portal, QDBusConnection::ExportAllSlots));
    }

    void withoutAPortal() {
        PortalScreenshot portal;
        QVERIFY(take(portal).failure.startsWith("No desktop portal is running."));
    }

    void answers_data() {
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

    void answers() {
        QFETCH(uint, response);
        QFETCH(QString, file);
        QFETCH(QString, failure);
        QVERIFY(m_portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        const QString path = file.isEmpty() ? QStringLiteral("/nonexistent/Screenshot.png")
                                            : QDir(m_home.path()).filePath(file);
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(path).path());
            QImage picture(64, 40, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            QVERIFY(picture.save(path));
        }
        m_portal.response = response;
        m_portal.uri = QUrl::fromLocalFile(path).toString();

        PortalScreenshot portal;
        const Outcome outcome = take(portal);
        QCOMPARE(outcome.failure, failure);
        QCOMPARE(m_portal.options.value("interactive"), QVariant(false));
        if (failure.isEmpty()) {
            QCOMPARE(outcome.image.size(), QSize(64, 40));
            QCOMPARE(outcome.image.pixelColor(5, 5), QColor(Qt::darkCyan));
            QVERIFY(!QFile::exists(path)); // the portal's copy is not left behind
        }
        m_portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
};

QTEST_GUILESS_MAIN(PortalScreenshotTest)
#include "tst_portalscreenshot.moc"
