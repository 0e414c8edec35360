#include "platform/ScreenGrabbers.h"

#include "platform/x11/X11ScreenGrabber.h"

#include <QGuiApplication>

namespace {

/// Stands in where the session offers no way to read the screen, and says why.
class UnavailableScreenGrabber final : public ScreenGrabber {
public:
    explicit UnavailableScreenGrabber(QString reason)
        : m_reason(std::move(reason)) {}
    QCoro::Task<Grab> grabPrimaryScreen() override {
        throw Unavailable(m_reason);
        co_return Grab{};
    }

private:
    QString m_reason;
};

} // namespace

std::unique_ptr<ScreenGrabber> createScreenGrabber() {
    const QString platform = QGuiApplication::platformName();
    // Under XWayland the root window shows only X clients: a grab would be mostly black.
    if (platform == u"wayland" || qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return std::make_unique<UnavailableScreenGrabber>(
            QStringLiteral("This Wayland session does not let Pindle read the screen. Screen "
                           "capture works in an X11 (Xorg) session."));
    if (platform != u"xcb")
        return std::make_unique<UnavailableScreenGrabber>(
            QStringLiteral("Screen capture needs an X11 session, and Pindle is running on \"%1\".")
                .arg(platform));
    return std::make_unique<X11ScreenGrabber>();
}
