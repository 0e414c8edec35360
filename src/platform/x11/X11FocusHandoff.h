#pragma once

#include "platform/FocusHandoff.h"

/// Gives the keyboard back on X11 when one of this application's windows holds it: asks the
/// window manager to activate the topmost normal window of another client on the current desktop.
/// With none, the focus is dropped so this application's windows stay on screen without it.
class X11FocusHandoff final : public FocusHandoff {
public:
    void returnFocusToPreviousApp() override;
};
