#include "platform/x11/X11FocusHandoff.h"

#include "platform/x11/X11Support.h"

#include <QGuiApplication>
#include <QSet>
#include <QWindow>

#include <unistd.h>

#include <algorithm>

#include <vector>

namespace {

using X11Support::atom;
using X11Support::Reply;

std::vector<quint32> cardinals(xcb_window_t window, const QByteArray &property, xcb_atom_t type) {
    xcb_connection_t *c = X11Support::connection();
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom(property), type, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto *values = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

bool contains(const std::vector<quint32> &values, xcb_atom_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// A window the user works in: normal or dialog type, not minimised, on the current desktop, and
// not one of ours.
bool takesFocusBack(xcb_window_t window, quint32 desktop, const QSet<xcb_window_t> &ours) {
    if (ours.contains(window))
        return false;
    const std::vector<quint32> pid = cardinals(window, "_NET_WM_PID", XCB_ATOM_CARDINAL);
    if (!pid.empty() && pid.front() == quint32(::getpid()))
        return false;
    const std::vector<quint32> types = cardinals(window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM);
    if (!types.empty() && !contains(types, atom("_NET_WM_WINDOW_TYPE_NORMAL")) &&
        !contains(types, atom("_NET_WM_WINDOW_TYPE_DIALOG")))
        return false;
    if (contains(cardinals(window, "_NET_WM_STATE", XCB_ATOM_ATOM), atom("_NET_WM_STATE_HIDDEN")))
        return false;
    const std::optional<quint32> on = X11Support::desktopOf(window);
    return !on || *on == desktop || *on == X11Support::allDesktops;
}

} // namespace

void X11FocusHandoff::returnFocusToPreviousApp() {
    xcb_connection_t *c = X11Support::connection();
    if (!c)
        return;
    const xcb_window_t root = X11Support::rootWindow();
    QSet<xcb_window_t> ours;
    xcb_window_t active = XCB_WINDOW_NONE;
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (!window->handle())
            continue;
        ours.insert(xcb_window_t(window->winId()));
        if (window->isActive())
            active = xcb_window_t(window->winId());
    }
    // Only give back what we hold: when another program has the keyboard already (the user
    // clicked a button of the overlay in stealth mode), moving it would only disturb them.
    {
        const X11Support::Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (!focus || (!ours.contains(focus->focus) && active == XCB_WINDOW_NONE))
            return;
    }
    const std::vector<quint32> desktop = cardinals(root, "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL);
    const quint32 current = desktop.empty() ? 0 : desktop.front();

    // Bottom to top: the user's last window is the topmost that qualifies.
    const std::vector<quint32> stacking =
        cardinals(root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
        if (!takesFocusBack(*it, current, ours))
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = *it;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2; // a pager-like request: managers honour it without a timestamp
        event.data.data32[1] = XCB_CURRENT_TIME;
        event.data.data32[2] = active;
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        xcb_flush(c);
        return;
    }
    // Nobody to hand it to (or no window manager to ask): let the focus follow the pointer.
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
                        XCB_CURRENT_TIME);
    xcb_flush(c);
}
