#pragma once

/// Gives keyboard focus back to the application the user was working in before.
class FocusHandoff {
public:
    virtual ~FocusHandoff() = default;
    virtual void returnFocusToPreviousApp() = 0;
};
