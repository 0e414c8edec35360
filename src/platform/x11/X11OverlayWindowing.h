#pragma once

#include "platform/OverlayWindowing.h"
#include "platform/x11/X11SelectionWatcher.h"

/// The overlay's window hints on X11: EWMH desktop and state hints, KWin's blur region, and
/// activation carrying the user's own X time.
class X11OverlayWindowing final : public OverlayWindowing {
    Q_OBJECT

public:
    explicit X11OverlayWindowing(QObject *parent = nullptr);

    [[nodiscard]] bool composited() const override;
    [[nodiscard]] bool blurBehind() const override;
    void prepareShow(QWindow &window) override;
    void shown(QWindow &window) override;
    void setBlurArea(QWindow &window, const QRect &area) override;
    bool activateForUser(QWindow &window, quint32 userTime) override;

private:
    X11SelectionWatcher m_compositor{"_NET_WM_CM_S0"};
};
