#include "platform/x11/X11Support.h"

#include <QGuiApplication>
#include <QHash>
#include <QRect>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace X11Support {

xcb_connection_t *connection() {
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow() {
    xcb_connection_t *c = connection();
    if (!c)
        return XCB_WINDOW_NONE;
    // Qt opens the default screen of the display, which is the first one on every modern setup.
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t atom(const QByteArray &name) {
    static QHash<QByteArray, xcb_atom_t> interned;
    if (const auto found = interned.constFind(name); found != interned.cend())
        return *found;
    xcb_connection_t *c = connection();
    if (!c)
        return XCB_ATOM_NONE;
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr));
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    interned.insert(name, value);
    return value;
}

std::optional<quint32> desktopOf(xcb_window_t window) {
    xcb_connection_t *c = connection();
    if (!c)
        return std::nullopt;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
}

namespace {

// An EWMH client message about `window`, sent to the root window where the manager reads it.
void askManager(xcb_connection_t *c, xcb_window_t window, xcb_atom_t type,
                std::initializer_list<quint32> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(c, 0, rootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
}

} // namespace

void setDesktop(QWindow &window, quint32 desktop) {
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t desktopAtom = atom("_NET_WM_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktopAtom, XCB_ATOM_CARDINAL, 32, 1,
                        &desktop);
    if (window.isVisible()) {
        // Source 2: a pager-like request, honoured by every EWMH manager.
        askManager(c, id, desktopAtom, {desktop, 2});
    }
    xcb_flush(c);
}

namespace {

std::optional<quint32> windowProperty(xcb_window_t window, const QByteArray &name) {
    xcb_connection_t *c = connection();
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom(name), XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
}

} // namespace

void activateWindow(QWindow &window, quint32 userTime) {
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const auto id = xcb_window_t(window.winId());
    // The user's time goes where the manager reads it: Qt keeps it on a window of its own.
    if (userTime != XCB_CURRENT_TIME) {
        const xcb_window_t timeWindow = windowProperty(id, "_NET_WM_USER_TIME_WINDOW").value_or(id);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, timeWindow, atom("_NET_WM_USER_TIME"),
                            XCB_ATOM_CARDINAL, 32, 1, &userTime);
    }
    const xcb_window_t root = rootWindow();
    if (!windowProperty(root, "_NET_SUPPORTING_WM_CHECK")) {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, userTime);
        xcb_flush(c);
        return;
    }
    // An application's request, judged by its time; none of ours is active.
    askManager(c, id, atom("_NET_ACTIVE_WINDOW"), {1, userTime, XCB_WINDOW_NONE});
    xcb_flush(c);
}

void addNetWmStates(QWindow &window, std::initializer_list<QByteArray> states) {
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t stateAtom = atom("_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, stateAtom, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto *existing = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        atoms.assign(existing, existing + xcb_get_property_value_length(reply.get()) / 4);
    }
    std::vector<xcb_atom_t> missing;
    for (const QByteArray &state : states) {
        const xcb_atom_t value = atom(state);
        if (std::find(atoms.begin(), atoms.end(), value) == atoms.end())
            missing.push_back(value);
    }
    if (missing.empty())
        return;
    // A window the manager has taken in (ICCCM's WM_STATE says normal) has its states asked of
    // the manager, which owns the property then; before that the property is read when the
    // manager takes the window in, and a request would disturb it (xfwm4 loses the focus it is
    // about to give).
    const xcb_atom_t wmStateAtom = atom("WM_STATE");
    const Reply<xcb_get_property_reply_t> wmState(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, wmStateAtom, wmStateAtom, 0, 1), nullptr));
    constexpr quint32 normalState = 1;
    const bool managed =
        wmState && wmState->format == 32 && xcb_get_property_value_length(wmState.get()) >= 4 &&
        *static_cast<const quint32 *>(xcb_get_property_value(wmState.get())) == normalState;
    if (!managed) {
        // Kept with what is there: Qt merges its own states into the property the same way.
        atoms.insert(atoms.end(), missing.begin(), missing.end());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, stateAtom, XCB_ATOM_ATOM, 32,
                            quint32(atoms.size()), atoms.data());
        return;
    }
    for (std::size_t i = 0; i < missing.size(); i += 2) {
        // _NET_WM_STATE_ADD, up to two states, from an application.
        askManager(c, id, stateAtom,
                   {1, missing[i], i + 1 < missing.size() ? missing[i + 1] : 0, 1});
    }
    xcb_flush(c);
}

QRect keptInside(QRect frame, const QRect &area) {
    frame.moveLeft(std::clamp(frame.left(), area.left(),
                              std::max(area.left(), area.right() - frame.width() + 1)));
    frame.moveTop(std::clamp(frame.top(), area.top(),
                             std::max(area.top(), area.bottom() - frame.height() + 1)));
    return frame;
}

void setBlurBehind(QWindow &window, const QRect &area) {
    xcb_connection_t *c = connection();
    if (!c)
        return;
    const quint32 region[] = {quint32(area.x()), quint32(area.y()), quint32(area.width()),
                              quint32(area.height())};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
                        atom("_KDE_NET_WM_BLUR_BEHIND_REGION"), XCB_ATOM_CARDINAL, 32, 4, region);
    xcb_flush(c);
}

bool compositorBlurAvailable() {
    xcb_connection_t *c = connection();
    if (!c)
        return false;
    // KWin's blur effect announces itself with this property on the root window.
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, rootWindow(), atom("_KDE_NET_WM_BLUR_BEHIND_REGION"),
                         XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<xcb_window_t> stackingOrder() {
    xcb_connection_t *c = connection();
    if (!c)
        return {};
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, rootWindow()), nullptr));
    if (!tree)
        return {};
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

xcb_window_t topLevelAncestor(xcb_window_t window) {
    xcb_connection_t *c = connection();
    if (!c)
        return window;
    const xcb_window_t root = rootWindow();
    xcb_window_t current = window;
    for (int depth = 0; depth < 8; ++depth) {
        xcb_generic_error_t *error = nullptr;
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, current), &error));
        const Reply<xcb_generic_error_t> dropped(error);
        if (!tree || tree->parent == root || tree->parent == XCB_WINDOW_NONE)
            return current;
        current = tree->parent;
    }
    return current;
}

bool isViewable(xcb_window_t window) {
    xcb_connection_t *c = connection();
    if (!c)
        return false;
    // A window the manager has destroyed meanwhile answers with an error, which is not viewable.
    xcb_generic_error_t *error = nullptr;
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error));
    const Reply<xcb_generic_error_t> dropped(error);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace X11Support
