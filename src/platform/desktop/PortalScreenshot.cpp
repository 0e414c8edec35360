#include "platform/desktop/PortalScreenshot.h"

#include "platform/ScreenGrabber.h"
#include "platform/desktop/PortalRequest.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

[[noreturn]] void fail(const QString &why) {
    throw ScreenGrabber::Unavailable(why);
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

QCoro::Task<QImage> PortalScreenshot::take() {
    const QString token = newPortalToken();
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalObject, QStringLiteral("org.freedesktop.portal.Screenshot"),
        QStringLiteral("Screenshot"));
    call << QString() // no parent window: ours are out of the way
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), false}};
    PortalAnswer answer;
    try {
        answer = co_await askPortal(m_bus, call, token, answerTimeout);
    } catch (const PortalError &error) {
        if (error.kind() == PortalError::Kind::NoInterface)
            fail(QCoreApplication::translate("PortalScreenshot",
                                             "This desktop's portal does not offer screenshots."));
        fail(error.message());
    }
    if (answer.response == 1)
        fail(QCoreApplication::translate("PortalScreenshot", "The screenshot was cancelled."));
    if (answer.response != 0)
        //: The parts after "GNOME:" and "KDE:" name pages of those desktops' settings
        fail(QCoreApplication::translate(
            "PortalScreenshot",
            "The desktop refused to take a screenshot. Allow Pindle to take screenshots in your "
            "desktop's privacy settings (GNOME: Settings, Apps, Pindle; KDE: System Settings, "
            "Application Permissions) and try again."));

    const QUrl uri(answer.results.value(QStringLiteral("uri")).toString());
    const QString file = uri.toLocalFile();
    QImage image(file);
    if (!file.isEmpty() && leftForUs(file))
        QFile::remove(file);
    if (image.isNull())
        //: %1 is the address of the picture the desktop saved
        fail(QCoreApplication::translate("PortalScreenshot",
                                         "The desktop's screenshot could not be read (%1).")
                 .arg(uri.toString()));
    co_return image;
}
