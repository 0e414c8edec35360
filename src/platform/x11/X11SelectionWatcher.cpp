#include "platform/x11/X11SelectionWatcher.h"

#include "platform/x11/X11Support.h"

#include <QCoreApplication>

#include <xcb/xfixes.h>

X11SelectionWatcher::X11SelectionWatcher(const QByteArray &selection, QObject *parent)
    : QObject(parent) {
    xcb_connection_t *c = X11Support::connection();
    if (!c)
        return;
    m_selection = X11Support::atom(selection);
    // Qt has already agreed an XFixes version on this connection. Changes are asked for before
    // the owner, so none falls between the two.
    const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes && xfixes->present) {
        m_xfixesEvent = xfixes->first_event;
        xcb_xfixes_select_selection_input(
            c, X11Support::rootWindow(), m_selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    const X11Support::Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    m_owned = owner && owner->owner != XCB_WINDOW_NONE;
}

X11SelectionWatcher::~X11SelectionWatcher() {
    if (m_xfixesEvent)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11SelectionWatcher::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != m_xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto *notify = static_cast<const xcb_xfixes_selection_notify_event_t *>(message);
    if (notify->selection != m_selection)
        return false;
    const bool owned = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                       notify->owner != XCB_WINDOW_NONE;
    if (owned != m_owned) {
        m_owned = owned;
        Q_EMIT ownerChanged(owned);
    }
    return false; // Qt follows some selections too
}
