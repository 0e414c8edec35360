#pragma once

#include "platform/GlobalHotkeys.h"

#include <QAbstractNativeEventFilter>

#include <xcb/xcb.h>

#include <array>

/// Global shortcuts on X11: passive key grabs on the root window, by physical key position, for
/// Alt with every combination of the other modifiers (so Caps Lock, Num Lock or an extra Ctrl
/// never stop them). The grabbed keys are swallowed; auto-repeat is ignored.
class X11GlobalHotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit X11GlobalHotkeys(QObject *parent = nullptr);
    ~X11GlobalHotkeys() override;

    QStringList registerAll() override;
    void unregisterAll() override;
    [[nodiscard]] QString unavailableReason() const override { return {}; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    struct Key {
        Action action;
        xcb_keycode_t code; // physical position (evdev keycodes: Space, S, T)
        xcb_timestamp_t lastRelease = 0;
    };
    std::array<Key, 3> m_keys{
        {{Action::ToggleOverlay, 65}, {Action::CaptureScreen, 39}, {Action::ToggleTypingMode, 28}}};
    bool m_registered = false;
};
