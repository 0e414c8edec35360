#pragma once

#include "platform/x11/X11Support.h"

#include <QProcess>
#include <QTest>

// Who has the keyboard, and real input through the X server, for tests on the virtual display.

/// The window X gives key presses to now (under XWayland, also where Qt itself is a Wayland
/// client).
inline xcb_window_t inputFocus() {
    static xcb_connection_t *const own =
        X11Support::connection() ? nullptr : xcb_connect(nullptr, nullptr);
    xcb_connection_t *c = own ? own : X11Support::connection();
    const X11Support::Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return focus ? focus->focus : xcb_window_t(XCB_WINDOW_NONE);
}

/// Runs xdotool while the event loop goes on, so events arrive as a user's would.
inline void xdotool(const QStringList &arguments) {
    QProcess process;
    process.start("xdotool", arguments);
    QTRY_COMPARE(process.state(), QProcess::NotRunning);
    QCOMPARE(process.exitCode(), 0);
}

/// Starts an xterm standing for the user's work and returns its window once it is on screen.
inline xcb_window_t startXterm(QProcess &xterm, const QString &geometry) {
    xterm.start("xterm", {"-geometry", geometry});
    QProcess search;
    search.start("xdotool", {"search", "--sync", "--class", "xterm"});
    if (!search.waitForFinished(10000))
        return XCB_WINDOW_NONE;
    return search.readAllStandardOutput().trimmed().split('\n').last().toUInt();
}
