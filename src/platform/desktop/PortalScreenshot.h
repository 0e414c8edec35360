#pragma once

#include "platform/desktop/PortalRequest.h"

#include <QDBusConnection>
#include <QImage>

#include <QCoroTask>

#include <chrono>

/// A picture of the whole screen from the desktop portal's Screenshot interface, the one way a
/// Wayland session lets an application read the screen. The compositor takes it without asking
/// the user each time (`interactive` false); the first time it may ask for permission. The PNG
/// the portal leaves in the user's folders is read and removed.
class PortalScreenshot final {
public:
    /// The longest wait for the portal, which may be showing the user a permission dialog.
    static constexpr std::chrono::seconds answerTimeout{60};

    explicit PortalScreenshot(QDBusConnection bus = portalBus())
        : m_bus(std::move(bus)) {}

    /// Throws ScreenGrabber::Unavailable saying why there is no picture and, where the user can
    /// change that, how.
    QCoro::Task<QImage> take();

private:
    QDBusConnection m_bus;
};
