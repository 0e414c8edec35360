#include "platform/x11/X11GlobalHotkeys.h"

#include "platform/x11/X11Support.h"

#include <QCoreApplication>

#include <vector>

namespace {

// Alt, plus each subset of the modifiers a user may hold or have locked alongside it.
std::vector<quint16> modifierCombinations() {
    constexpr quint16 optional[] = {XCB_MOD_MASK_SHIFT, XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_4,
                                    XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2};
    std::vector<quint16> combinations;
    for (unsigned subset = 0; subset < (1u << std::size(optional)); ++subset) {
        quint16 mask = XCB_MOD_MASK_1;
        for (unsigned bit = 0; bit < std::size(optional); ++bit)
            if (subset & (1u << bit))
                mask |= optional[bit];
        combinations.push_back(mask);
    }
    return combinations; // the plain Alt combination first
}

} // namespace

X11GlobalHotkeys::X11GlobalHotkeys(QObject *parent)
    : GlobalHotkeys(parent) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11GlobalHotkeys::~X11GlobalHotkeys() {
    unregisterAll();
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

QStringList X11GlobalHotkeys::registerAll() {
    xcb_connection_t *c = X11Support::connection();
    if (!c)
        return {};
    const xcb_window_t root = X11Support::rootWindow();
    const std::vector<quint16> combinations = modifierCombinations();
    QStringList taken;
    for (const Key &key : m_keys) {
        std::vector<xcb_void_cookie_t> cookies;
        for (const quint16 modifiers : combinations)
            cookies.push_back(xcb_grab_key_checked(c, 0, root, modifiers, key.code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool plainTaken = false;
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            // XCB_ACCESS: another client holds exactly this combination; the rest still work.
            const X11Support::Reply<xcb_generic_error_t> error(xcb_request_check(c, cookies[i]));
            if (error && i == 0)
                plainTaken = true;
        }
        if (plainTaken)
            taken << displayName(key.action);
    }
    m_registered = true;
    return taken;
}

void X11GlobalHotkeys::unregisterAll() {
    xcb_connection_t *c = X11Support::connection();
    if (!c || !m_registered)
        return;
    const xcb_window_t root = X11Support::rootWindow();
    for (const Key &key : m_keys)
        for (const quint16 modifiers : modifierCombinations())
            xcb_ungrab_key(c, key.code, root, modifiers);
    xcb_flush(c);
    m_registered = false;
}

bool X11GlobalHotkeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (!m_registered || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *keyEvent = static_cast<const xcb_key_press_event_t *>(message);
    // Grabbed without owner events, so even with our own window focused they arrive for the root.
    if (keyEvent->event != X11Support::rootWindow())
        return false;
    for (Key &key : m_keys) {
        if (key.code != keyEvent->detail)
            continue;
        // Releases match by key alone: Alt may be let go first.
        if (type == XCB_KEY_RELEASE) {
            key.lastRelease = keyEvent->time;
            return true;
        }
        // Auto-repeat sends a release and a press with the same time.
        if (keyEvent->time == key.lastRelease || !(keyEvent->state & XCB_MOD_MASK_1))
            return true;
        const Action action = key.action;
        QMetaObject::invokeMethod(
            this, [this, action] { Q_EMIT activated(action); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}
