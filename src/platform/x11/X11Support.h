#pragma once

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

class QRect;
class QWindow;

/// Small helpers over Qt's own xcb connection, shared by the X11 realisations.
namespace X11Support {

struct FreeDeleter {
    void operator()(void *reply) const noexcept { std::free(reply); }
};
/// xcb hands out replies and errors allocated with malloc.
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

/// `_NET_WM_DESKTOP` value meaning "on every desktop".
inline constexpr quint32 allDesktops = 0xFFFFFFFF;

/// Qt's connection, or null when the application does not run on X11.
[[nodiscard]] xcb_connection_t *connection();
[[nodiscard]] xcb_window_t rootWindow();
/// Interned once per name and process.
[[nodiscard]] xcb_atom_t atom(const QByteArray &name);

/// The desktop the window is on as X knows it; nothing when the property is not set.
[[nodiscard]] std::optional<quint32> desktopOf(xcb_window_t window);
/// Puts the window on `desktop` (or every desktop): the property for a window about to be shown
/// and the EWMH request for one already managed. Window managers drop the property when a window
/// is hidden, so call this again before every show.
void setDesktop(QWindow &window, quint32 desktop);

/// Asks the window manager to give `window` the keyboard for a user action at `userTime`, the X
/// time of the key press or click that asked for it (XCB_CURRENT_TIME: now). Managers that
/// prevent focus stealing (KWin, Mutter) grant it only to a request that carries the user's own
/// time.
void activateWindow(QWindow &window, quint32 userTime);

/// Adds EWMH states (`_NET_WM_STATE_...` atom names) that the window lacks: to the property of a
/// window about to be shown, as EWMH requests for one the window manager has taken in.
void addNetWmStates(QWindow &window, std::initializer_list<QByteArray> states);
/// Asks a compositor that blurs (KWin) to blur what lies behind `area` of the window.
void setBlurBehind(QWindow &window, const QRect &area);
/// `frame` moved as little as it takes to lie within `area`; one larger than the area keeps its
/// top left corner there.
[[nodiscard]] QRect keptInside(QRect frame, const QRect &area);
/// Whether the running compositor offers blur behind windows.
[[nodiscard]] bool compositorBlurAvailable();

/// The root's children, bottom to top; empty where the server does not answer.
[[nodiscard]] std::vector<xcb_window_t> stackingOrder();
/// The window manager's frame around `window`, or the window itself when it has none.
[[nodiscard]] xcb_window_t topLevelAncestor(xcb_window_t window);
/// True while `window` exists and is on screen (mapped, and so are its ancestors).
[[nodiscard]] bool isViewable(xcb_window_t window);

} // namespace X11Support
