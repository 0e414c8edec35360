#include "platform/desktop/PortalScreenshot.h"

#include "platform/ScreenGrabber.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrl>

#include <QCoroDBusPendingCall>
#include <QCoroSignal>

#include <optional>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

const QString allowHint =
    QStringLiteral("Allow Pindle to take screenshots in your desktop's privacy settings (GNOME: "
                   "Settings, Apps, Pindle; KDE: System Settings, Application Permissions) and "
                   "try again.");

[[noreturn]] void fail(const QString &why) {
    throw ScreenGrabber::Unavailable(why);
}

// Where the portal answers a request made with `token` (the Request interface's documented
// path), so its Response can be listened for before the request is made.
QString requestPath(const QDBusConnection &bus, const QString &token) {
    QString sender = bus.baseService().mid(1); // ":1.42" -> "1_42"
    sender.replace(u'.', u'_');
    return portalPath + QStringLiteral("/request/") + sender + u'/' + token;
}

// A file the portal wrote for this request in the user's own folders (KDE: ~/Pictures, GNOME:
// ~/Pictures/Screenshots, wlroots: a fixed file in /tmp) is ours to remove once read.
bool leftForUs(const QString &file) {
    const QString canonical = QFileInfo(file).canonicalFilePath();
    const auto within = [&canonical](const QString &folder) {
        const QString root = QDir(folder).canonicalPath();
        return !root.isEmpty() && canonical.startsWith(root + u'/');
    };
    return within(QDir::homePath()) || within(QDir::tempPath());
}

} // namespace

PortalScreenshot::PortalScreenshot(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

void PortalScreenshot::onResponse(uint response, const QVariantMap &results) {
    Q_EMIT answered(response, results);
}

QCoro::Task<QImage> PortalScreenshot::take() {
    if (!m_bus.isConnected())
        fail(QStringLiteral("There is no D-Bus session, through which Wayland desktops offer "
                            "screenshots."));
    const QString token =
        QStringLiteral("pindle%1_%2").arg(++m_requests).arg(QRandomGenerator::global()->generate());
    QString path = requestPath(m_bus, token);
    // Listening first: the answer may come before the call returns.
    m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));
    std::optional<std::pair<uint, QVariantMap>> answer;
    const auto conn = connect(this, &PortalScreenshot::answered, this,
                              [&answer](uint response, const QVariantMap &results) {
                                  answer.emplace(response, results);
                              });
    struct Cleanup {
        QPointer<PortalScreenshot> self;
        QMetaObject::Connection conn;
        QString *path;
        ~Cleanup() {
            if (!self)
                return;
            QObject::disconnect(conn);
            self->m_bus.disconnect(portalService, *path, requestInterface,
                                   QStringLiteral("Response"), self,
                                   SLOT(onResponse(uint, QVariantMap)));
        }
    } cleanup{this, conn, &path};

    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.portal.Screenshot"),
        QStringLiteral("Screenshot"));
    call << QString() // no parent window: ours are out of the way
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), false}};
    QPointer self(this);
    const QDBusMessage reply = co_await m_bus.asyncCall(call);
    if (!self)
        co_return QImage();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            fail(QStringLiteral("No desktop portal is running. Install xdg-desktop-portal with "
                                "the backend for your desktop (-gnome, -kde or -wlr)."));
        if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"))
            fail(QStringLiteral("This desktop's portal does not offer screenshots."));
        fail(QStringLiteral("The desktop portal refused: %1").arg(reply.errorMessage()));
    }
    // Older portals name another request path: follow theirs.
    const QString named = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!named.isEmpty() && named != path && !answer) {
        m_bus.disconnect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
        path = named;
        m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(onResponse(uint, QVariantMap)));
    }
    if (!answer) {
        co_await qCoro(this, &PortalScreenshot::answered, answerTimeout);
        if (!self)
            co_return QImage();
    }
    if (!answer)
        fail(QStringLiteral("The desktop portal did not answer within a minute."));
    const auto &[response, results] = *answer;
    if (response == 1)
        fail(QStringLiteral("The screenshot was cancelled."));
    if (response != 0)
        fail(QStringLiteral("The desktop refused to take a screenshot. ") + allowHint);

    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    const QString file = uri.toLocalFile();
    QImage image(file);
    if (!file.isEmpty() && leftForUs(file))
        QFile::remove(file);
    if (image.isNull())
        fail(
            QStringLiteral("The desktop's screenshot could not be read (%1).").arg(uri.toString()));
    co_return image;
}
