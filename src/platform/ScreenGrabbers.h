#pragma once

#include "platform/ScreenGrabber.h"

#include <memory>

/// The grabber this session supports: X11's, or one that explains why the screen cannot be
/// captured here. Needs a QGuiApplication.
[[nodiscard]] std::unique_ptr<ScreenGrabber> createScreenGrabber();
