#pragma once

#include "platform/FocusHandoff.h"
#include "platform/GlobalHotkeys.h"
#include "platform/ScreenGrabber.h"

#include <memory>

// The realisations this session supports: X11's, or ones that say why a service is missing.
// They need a QGuiApplication.

[[nodiscard]] std::unique_ptr<ScreenGrabber> createScreenGrabber();
[[nodiscard]] std::unique_ptr<GlobalHotkeys> createGlobalHotkeys();
[[nodiscard]] std::unique_ptr<FocusHandoff> createFocusHandoff();
