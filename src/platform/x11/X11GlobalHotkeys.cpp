#include "platform/x11/X11GlobalHotkeys.h"

#include "platform/x11/X11Support.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>

namespace {

// Caps Lock and Num Lock (Mod2 on every current keymap) change nothing a user means.
constexpr quint16 lockMasks = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
constexpr std::array<quint16, 4> lockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, lockMasks};
// The modifier bits of a key event's state; the rest are pointer buttons.
constexpr quint16 modifierBits = 0xff;

quint16 modifierMask(const KeyCombination &combination) {
    quint16 mask = 0;
    if (combination.modifiers() & KeyCombination::Ctrl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (combination.modifiers() & KeyCombination::Alt)
        mask |= XCB_MOD_MASK_1;
    if (combination.modifiers() & KeyCombination::Shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (combination.modifiers() & KeyCombination::Super)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// The unshifted symbol of each key in the first layout group.
class Keymap {
public:
    Keymap() {
        xcb_connection_t *c = X11Support::connection();
        if (!c)
            return;
        const xcb_setup_t *setup = xcb_get_setup(c);
        m_first = setup->min_keycode;
        const auto count = quint8(setup->max_keycode - setup->min_keycode + 1);
        const X11Support::Reply<xcb_get_keyboard_mapping_reply_t> mapping(
            xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, m_first, count),
                                           nullptr));
        if (!mapping || mapping->keysyms_per_keycode == 0)
            return;
        const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
        for (int i = 0; i < count; ++i)
            m_unshifted.push_back(symbols[i * mapping->keysyms_per_keycode]);
    }

    [[nodiscard]] xcb_keysym_t unshifted(quint32 keycode) const {
        const quint32 index = keycode - m_first;
        return keycode >= m_first && index < m_unshifted.size() ? m_unshifted[index] : 0;
    }

    // Where the combination's key is typed unshifted; else its place on a US keyboard.
    [[nodiscard]] std::vector<xcb_keycode_t> keycodesFor(const KeyCombination &combination) const {
        std::vector<xcb_keycode_t> keycodes;
        for (std::size_t i = 0; i < m_unshifted.size(); ++i)
            if (m_unshifted[i] == combination.keysym())
                keycodes.push_back(xcb_keycode_t(m_first + i));
        if (keycodes.empty())
            keycodes.push_back(combination.usKeycode());
        return keycodes;
    }

private:
    xcb_keycode_t m_first = 0;
    std::vector<xcb_keysym_t> m_unshifted;
};

} // namespace

X11GlobalHotkeys::X11GlobalHotkeys(QObject *parent)
    : GlobalHotkeys(parent) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11GlobalHotkeys::~X11GlobalHotkeys() {
    unregisterAll();
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

QList<GlobalHotkeys::Action> X11GlobalHotkeys::registerAll(const QList<Binding> &bindings) {
    unregisterAll();
    xcb_connection_t *c = X11Support::connection();
    if (!c)
        return {};
    const xcb_window_t root = X11Support::rootWindow();
    const Keymap keymap;
    QList<Action> taken;
    for (const auto &[action, combination] : bindings) {
        Grab grab{action, modifierMask(combination), keymap.keycodesFor(combination)};
        std::vector<xcb_void_cookie_t> cookies;
        for (const xcb_keycode_t keycode : grab.keycodes)
            for (const quint16 locks : lockVariants)
                cookies.push_back(xcb_grab_key_checked(c, 0, root, grab.modifiers | locks, keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        // XCB_ACCESS: another client holds the combination. Ours would be a partial grab that
        // works only with some lock keys, so it is given up whole.
        bool refused = false;
        for (const xcb_void_cookie_t cookie : cookies)
            refused |=
                X11Support::Reply<xcb_generic_error_t>(xcb_request_check(c, cookie)) != nullptr;
        if (refused) {
            for (const xcb_keycode_t keycode : grab.keycodes)
                for (const quint16 locks : lockVariants)
                    xcb_ungrab_key(c, keycode, root, grab.modifiers | locks);
            taken.append(action);
            continue;
        }
        m_grabs.push_back(std::move(grab));
    }
    xcb_flush(c);
    return taken;
}

quint32 X11GlobalHotkeys::keysymAt(quint32 keycode) const {
    return Keymap().unshifted(keycode);
}

void X11GlobalHotkeys::unregisterAll() {
    xcb_connection_t *c = X11Support::connection();
    if (!c || m_grabs.empty())
        return;
    const xcb_window_t root = X11Support::rootWindow();
    for (const Grab &grab : m_grabs)
        for (const xcb_keycode_t keycode : grab.keycodes)
            for (const quint16 locks : lockVariants)
                xcb_ungrab_key(c, keycode, root, grab.modifiers | locks);
    xcb_flush(c);
    m_grabs.clear();
}

bool X11GlobalHotkeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (m_grabs.empty() || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *keyEvent = static_cast<const xcb_key_press_event_t *>(message);
    // Grabbed without owner events, so even with our own window focused they arrive for the root.
    if (keyEvent->event != X11Support::rootWindow())
        return false;
    const xcb_keycode_t keycode = keyEvent->detail;
    const quint16 modifiers = keyEvent->state & modifierBits & ~lockMasks;
    for (const Grab &grab : m_grabs) {
        if (std::find(grab.keycodes.begin(), grab.keycodes.end(), keycode) == grab.keycodes.end())
            continue;
        // Releases match by key alone: the modifiers may be let go first.
        if (type == XCB_KEY_RELEASE) {
            m_lastRelease.insert(keycode, keyEvent->time);
            return true;
        }
        if (modifiers != grab.modifiers)
            continue;
        if (keyEvent->time == m_lastRelease.value(keycode))
            return true;
        const Action action = grab.action;
        const quint32 time = keyEvent->time;
        QMetaObject::invokeMethod(
            this, [this, action, time] { Q_EMIT activated(action, time); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}
