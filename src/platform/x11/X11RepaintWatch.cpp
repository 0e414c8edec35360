#include "platform/x11/X11RepaintWatch.h"

#include "platform/x11/X11Support.h"

#include <QCoreApplication>

#include <xcb/damage.h>

#include <algorithm>

namespace {

using X11Support::Reply;

// The server wants a client to agree a version before its first damage request.
bool damageAgreed(xcb_connection_t *c) {
    static const bool agreed = [c] {
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_damage_id);
        if (!extension || !extension->present)
            return false;
        const Reply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
            c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        return version != nullptr;
    }();
    return agreed;
}

xcb_window_t ownerOf(xcb_connection_t *c, const QByteArray &selection) {
    const Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, X11Support::atom(selection)), nullptr));
    return owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
}

// Whether two windows were made by one client: their ids share the client's base.
bool sameClient(xcb_connection_t *c, xcb_window_t one, xcb_window_t other) {
    const quint32 mask = xcb_get_setup(c)->resource_id_mask;
    return one != XCB_WINDOW_NONE && other != XCB_WINDOW_NONE && (one & ~mask) == (other & ~mask);
}

bool hasProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, false, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

// The root's children from `first` up, with where each is on the screen; empty where one is
// not viewable.
std::vector<std::pair<xcb_window_t, QRect>>
viewableFrom(xcb_connection_t *c, const std::vector<xcb_window_t> &children, size_t first) {
    std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> asked;
    for (size_t i = first; i < children.size(); ++i)
        asked.emplace_back(xcb_get_window_attributes(c, children[i]),
                           xcb_get_geometry(c, children[i]));
    std::vector<std::pair<xcb_window_t, QRect>> result;
    for (size_t i = first; i < children.size(); ++i) {
        const auto &[attributesCookie, geometryCookie] = asked[i - first];
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        const Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, geometryCookie, nullptr));
        QRect area;
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            const int border = geometry->border_width;
            area = QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                         geometry->height + 2 * border);
        }
        result.emplace_back(children[i], area);
    }
    return result;
}

} // namespace

X11RepaintWatch::X11RepaintWatch(const std::vector<TopLevel> &topLevels) {
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &X11RepaintWatch::wake);
    xcb_connection_t *c = X11Support::connection();
    if (!c || topLevels.empty() || !damageAgreed(c))
        return;
    const xcb_window_t compositor = ownerOf(c, "_NET_WM_CM_S0");
    m_composited = compositor != XCB_WINDOW_NONE;
    // A compositing manager may draw a frame with our windows in it after the server has
    // unmapped them and before it has taken note: only a frame after it withdraws them counts.
    const bool composingManager = sameClient(c, compositor, ownerOf(c, "WM_S0"));
    m_wmState = X11Support::atom("WM_STATE");

    const std::vector<xcb_window_t> children = X11Support::stackingOrder();
    const auto rank = [&](const TopLevel &top) {
        return size_t(std::ranges::find(children, top.window) - children.begin());
    };
    size_t lowest = children.size();
    for (const TopLevel &top : topLevels)
        lowest = std::min(lowest, rank(top));
    const auto stack = viewableFrom(c, children, lowest);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const QRect everywhere(0, 0, screen->width_in_pixels, screen->height_in_pixels);

    // What each window shows is what other windows above it leave of it: only that part is
    // drawn anew when it goes. A window not in the stack (not the root's child) is not followed.
    for (const TopLevel &top : topLevels) {
        const size_t at = rank(top);
        if (at >= children.size())
            continue;
        QRegion shown = stack[at - lowest].second & everywhere;
        for (size_t above = at + 1; above < children.size(); ++above) {
            const bool ours = std::ranges::any_of(
                topLevels, [&](const TopLevel &other) { return other.window == children[above]; });
            if (!ours)
                shown -= stack[above - lowest].second;
        }
        const bool managed = composingManager && hasProperty(c, top.client, m_wmState);
        m_watched.push_back({top, shown, shown.isEmpty(), !managed, shown.isEmpty()});
        // The manager's frame belongs to another client: ask for its unmapping. Sent before our
        // windows are hidden, so it comes before the manager takes the frame away.
        if (!top.ours() && !shown.isEmpty()) {
            const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, top.window, XCB_CW_EVENT_MASK, &mask);
        }
    }

    m_damageEvent = xcb_get_extension_data(c, &xcb_damage_id)->first_event;
    m_damage = xcb_generate_id(c);
    xcb_damage_create(c, m_damage, X11Support::rootWindow(),
                      XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_lastDrawn.start();
}

X11RepaintWatch::~X11RepaintWatch() {
    if (!m_damage)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    xcb_connection_t *c = X11Support::connection();
    xcb_damage_destroy(c, m_damage);
    for (const Watched &watched : m_watched) {
        if (watched.topLevel.ours() || watched.shown.isEmpty())
            continue;
        // The manager may have destroyed the frame meanwhile: drop that error unseen.
        const quint32 none = XCB_EVENT_MASK_NO_EVENT;
        xcb_discard_reply(c, xcb_change_window_attributes_checked(c, watched.topLevel.window,
                                                                  XCB_CW_EVENT_MASK, &none)
                                 .sequence);
    }
    xcb_flush(c);
}

bool X11RepaintWatch::gone() const {
    return std::ranges::all_of(m_watched, &Watched::gone);
}

std::optional<std::chrono::milliseconds> X11RepaintWatch::remaining() const {
    if (!gone())
        return std::nullopt;
    // The frame drawn before the manager withdrew our windows may have been without them, and
    // then none follows.
    if (!m_waiting.isEmpty() && m_grace.isValid())
        return std::max(std::chrono::milliseconds(0),
                        2 * quietFrame - std::chrono::milliseconds(m_grace.elapsed()));
    if (!m_waiting.isEmpty())
        return std::nullopt;
    if (m_composited)
        return std::chrono::milliseconds(0);
    return std::max(std::chrono::milliseconds(0),
                    quietFrame - std::chrono::milliseconds(m_lastDrawn.elapsed()));
}

void X11RepaintWatch::wakeWithin(std::chrono::milliseconds timeout) {
    m_armed = true;
    m_wake.start(timeout);
}

void X11RepaintWatch::wake() {
    if (!std::exchange(m_armed, false))
        return;
    m_wake.stop();
    Q_EMIT progressed();
}

bool X11RepaintWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
        const auto *notify = static_cast<const xcb_damage_notify_event_t *>(message);
        if (notify->damage != m_damage)
            return false;
        const QRect area(notify->area.x, notify->area.y, notify->area.width, notify->area.height);
        for (Watched &watched : m_watched)
            if (watched.unmapped && !watched.gone)
                watched.drawnUnmapped += watched.shown & area;
        if (m_uncovered.intersects(area)) {
            m_waiting -= area;
            m_lastDrawn.start();
            wake();
        }
        return true;
    }
    // The server sends these before it exposes what lay beneath, so every repaint they cause
    // comes after them. The manager withdraws our window by removing its WM_STATE, or setting it
    // to Withdrawn.
    for (Watched &watched : m_watched) {
        if (watched.gone)
            continue;
        if (type == XCB_UNMAP_NOTIFY &&
            static_cast<const xcb_unmap_notify_event_t *>(message)->window ==
                watched.topLevel.window)
            watched.unmapped = true;
        else if (type == XCB_DESTROY_NOTIFY &&
                 static_cast<const xcb_destroy_notify_event_t *>(message)->window ==
                     watched.topLevel.window)
            watched.unmapped = watched.withdrawn = true;
        else if (type == XCB_PROPERTY_NOTIFY) {
            const auto *notify = static_cast<const xcb_property_notify_event_t *>(message);
            if (notify->window == watched.topLevel.client && notify->atom == m_wmState)
                watched.withdrawn = true;
        }
        if (watched.unmapped && watched.withdrawn)
            leave(watched);
    }
    return false; // Qt follows its own windows
}

void X11RepaintWatch::leave(Watched &watched) {
    watched.gone = true;
    if (!watched.shown.isEmpty() && watched.shown == watched.drawnUnmapped)
        m_grace.start();
    m_uncovered += watched.shown;
    m_waiting += watched.shown;
    m_lastDrawn.start();
    wake();
}
