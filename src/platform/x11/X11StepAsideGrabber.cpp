#include "platform/x11/X11StepAsideGrabber.h"

#include "platform/x11/X11RepaintWatch.h"
#include "platform/x11/X11Support.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <QCoroSignal>
#include <QCoroTimer>

#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A grab of the root window through MIT-SHM: the X server writes the pixels into memory we share
// instead of sending them through the socket (about 1 ms for 1440x900 instead of 9), and the
// picture keeps that memory, so nothing is copied and our windows are off the screen for less
// time. The memory is made ready before our windows go: the server's first write into new shared
// memory takes its pages in, which costs more than the grab itself (16 ms for 1440x900 here). The
// grab is sent then and read later: requests sent in between (showing our windows again) reach the
// server after it, so they are not in the picture.
class SharedMemoryGrab {
public:
    // None where the server cannot (a display on another machine) or the screen is not 24-bit.
    static std::optional<SharedMemoryGrab> prepare(const QScreen &screen) {
        xcb_connection_t *c = X11Support::connection();
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_shm_id);
        const xcb_screen_t *root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!extension || !extension->present || !root || root->root_depth != 24)
            return std::nullopt;
        const qreal ratio = screen.devicePixelRatio();
        const QRect area(screen.geometry().topLeft() * ratio, screen.geometry().size() * ratio);
        const int id =
            shmget(IPC_PRIVATE, size_t(area.width()) * size_t(area.height()) * 4, IPC_CREAT | 0600);
        if (id < 0)
            return std::nullopt;
        void *memory = shmat(id, nullptr, SHM_RDONLY);
        // Gone once the last mapping goes: ours, which the picture keeps, and the server's.
        if (memory == reinterpret_cast<void *>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return std::nullopt;
        }
        std::optional<SharedMemoryGrab> grab(std::in_place);
        grab->m_memory = memory;
        grab->m_id = id;
        grab->m_area = area;
        grab->m_segment = xcb_generate_id(c);
        xcb_shm_attach(c, grab->m_segment, uint32_t(id), 0);
        // A refused attachment shows as this picture's error.
        grab->send();
        if (!X11Support::Reply<xcb_shm_get_image_reply_t>(
                xcb_shm_get_image_reply(c, grab->m_image, nullptr)))
            return std::nullopt;
        return grab;
    }

    SharedMemoryGrab() = default; // for std::optional's in-place making only
    SharedMemoryGrab(SharedMemoryGrab &&other) noexcept
        : m_memory(std::exchange(other.m_memory, nullptr))
        , m_id(other.m_id)
        , m_area(other.m_area)
        , m_segment(other.m_segment)
        , m_image(other.m_image) {}
    SharedMemoryGrab &operator=(SharedMemoryGrab &&) = delete;
    // A grab given up before it was read: its memory goes.
    ~SharedMemoryGrab() {
        if (!m_memory)
            return;
        if (xcb_connection_t *c = X11Support::connection())
            xcb_shm_detach(c, m_segment);
        shmctl(m_id, IPC_RMID, nullptr);
        shmdt(m_memory);
    }

    void send() {
        xcb_connection_t *c = X11Support::connection();
        const xcb_screen_t *root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        m_image = xcb_shm_get_image(c, root->root, int16_t(m_area.x()), int16_t(m_area.y()),
                                    uint16_t(m_area.width()), uint16_t(m_area.height()), ~0u,
                                    XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0);
        xcb_flush(c);
    }

    // Waits for the server; null when it refused.
    QImage receive() {
        xcb_connection_t *c = X11Support::connection();
        const X11Support::Reply<xcb_shm_get_image_reply_t> reply(
            xcb_shm_get_image_reply(c, m_image, nullptr));
        xcb_shm_detach(c, m_segment);
        shmctl(m_id, IPC_RMID, nullptr);
        void *memory = std::exchange(m_memory, nullptr);
        if (!reply || reply->depth != 24) {
            shmdt(memory);
            return {};
        }
        return QImage(
            static_cast<const uchar *>(memory), m_area.width(), m_area.height(), m_area.width() * 4,
            QImage::Format_RGB32, [](void *mapped) { shmdt(mapped); }, memory);
    }

private:
    void *m_memory = nullptr;
    int m_id = -1;
    QRect m_area;
    xcb_shm_seg_t m_segment = 0;
    xcb_shm_get_image_cookie_t m_image{};
};

// Longest wait for the window manager to take our frames off the screen and for what lay beneath
// to be drawn.
constexpr auto unmapTimeout = 300ms;
constexpr auto unmapPoll = 2ms;

struct HiddenWindow {
    QPointer<QWindow> window;
    xcb_window_t frame = XCB_WINDOW_NONE;
    QPoint position;
    std::optional<quint32> desktop;
    bool active = false;
};

xcb_window_t inputFocus() {
    xcb_connection_t *c = X11Support::connection();
    const X11Support::Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return focus ? focus->focus : xcb_window_t(XCB_WINDOW_NONE);
}

bool takesPartInGrab(const QWindow &window) {
    if (!window.isVisible())
        return false;
    // Menus and tooltips close by themselves; windows that bypass the manager (an icon embedded
    // in a tray) belong to another client's area and must stay where they are.
    switch (window.type()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
    case Qt::ForeignWindow:
        return false;
    default:
        return !window.flags().testFlag(Qt::BypassWindowManagerHint);
    }
}

/// Hides this application's windows and shows them again when restored or destroyed, so a grab
/// abandoned halfway never leaves them hidden.
class HiddenWindows {
public:
    /// Finds the windows; hide() hides them.
    HiddenWindows() {
        const xcb_window_t focus = inputFocus();
        for (QWindow *window : QGuiApplication::topLevelWindows()) {
            if (!takesPartInGrab(*window))
                continue;
            const auto id = xcb_window_t(window->winId());
            m_windows.push_back({window, X11Support::topLevelAncestor(id), window->position(),
                                 X11Support::desktopOf(id), window->isActive() || focus == id});
        }
        const std::vector<xcb_window_t> order = X11Support::stackingOrder();
        const auto rank = [&](const HiddenWindow &hidden) {
            return std::find(order.begin(), order.end(), hidden.frame) - order.begin();
        };
        std::ranges::sort(m_windows, {}, rank);
    }

    void hide() {
        for (const HiddenWindow &hidden : m_windows)
            hidden.window->hide();
        xcb_flush(X11Support::connection());
    }

    HiddenWindows(const HiddenWindows &) = delete;
    HiddenWindows &operator=(const HiddenWindows &) = delete;
    ~HiddenWindows() { restore(); }

    [[nodiscard]] bool empty() const { return m_windows.empty(); }

    [[nodiscard]] std::vector<X11RepaintWatch::TopLevel> topLevels() const {
        std::vector<X11RepaintWatch::TopLevel> result;
        for (const HiddenWindow &hidden : m_windows)
            result.push_back({hidden.frame, xcb_window_t(hidden.window->winId())});
        return result;
    }

    [[nodiscard]] bool anyOnScreen() const {
        return std::ranges::any_of(m_windows, [](const HiddenWindow &hidden) {
            return hidden.window && (X11Support::isViewable(hidden.frame) ||
                                     X11Support::isViewable(xcb_window_t(hidden.window->winId())));
        });
    }

    void restore() {
        for (const HiddenWindow &hidden : m_windows) {
            QWindow *window = hidden.window;
            if (!window)
                continue;
            if (hidden.desktop)
                X11Support::setDesktop(*window, *hidden.desktop);
            // An explicit position asks the manager to keep it instead of placing the window anew.
            window->setPosition(hidden.position);
            // Showing must not steal the focus from the application the user is in.
            const QVariant quiet = window->property("_q_showWithoutActivating");
            window->setProperty("_q_showWithoutActivating", !hidden.active);
            window->setVisible(true);
            window->setProperty("_q_showWithoutActivating", quiet);
            if (hidden.active)
                window->requestActivate();
        }
        m_windows.clear();
        if (xcb_connection_t *c = X11Support::connection())
            xcb_flush(c);
    }

private:
    std::vector<HiddenWindow> m_windows;
};

} // namespace

X11StepAsideGrabber::X11StepAsideGrabber(std::chrono::milliseconds settleDelay,
                                         PictureSource source, QObject *parent)
    : QObject(parent)
    , m_settleDelay(settleDelay)
    , m_source(std::move(source)) {}

QCoro::Task<ScreenGrabber::Grab> X11StepAsideGrabber::grabPrimaryScreen() {
    QPointer self(this);
    const std::optional<GrabTurns::Turn> turn = co_await m_turns.next();
    if (!turn || !self)
        co_return Grab{};

    QPointer<QScreen> screen = QGuiApplication::primaryScreen();
    if (!screen || !X11Support::connection())
        co_return Grab{};

    Grab grab;
    // A display that has answered shared-memory grabs gets our windows back before its answer. If
    // it refuses this one all the same (its screen changing size, say), the picture is taken once
    // more the ordinary way, with our windows out of it again.
    for (bool retry = false;; retry = true) {
        std::optional<SharedMemoryGrab> picture =
            m_source ? std::nullopt : SharedMemoryGrab::prepare(*screen);
        QElapsedTimer hiddenFor;
        hiddenFor.start();
        HiddenWindows hidden;
        const bool hidAny = !hidden.empty();
        // Asks for the reports before the windows go, so none is missed.
        std::optional<X11RepaintWatch> watch;
        if (hidAny && !m_source)
            watch.emplace(hidden.topLevels());
        hidden.hide();
        if (watch && watch->available()) {
            // Until the screen shows what lay beneath, drawn anew; a window there that never
            // repaints costs the timeout, and the picture shows its area as the server left it.
            for (;;) {
                const auto left = watch->remaining();
                const auto timeLeft = unmapTimeout - std::chrono::milliseconds(hiddenFor.elapsed());
                if ((left && *left <= 0ms) || timeLeft <= 0ms)
                    break;
                watch->wakeWithin(left ? std::min(*left, timeLeft) : timeLeft);
                co_await qCoro(&*watch, &X11RepaintWatch::progressed);
                if (!self || !screen)
                    co_return Grab{}; // the windows come back as `hidden` goes
            }
        } else if (hidAny) {
            // Without damage reports (or with the picture from elsewhere): until the manager has
            // taken our frames away, then a moment for what lay beneath to repaint.
            QElapsedTimer waited;
            waited.start();
            while (hidden.anyOnScreen() && waited.elapsed() < unmapTimeout.count())
                co_await QCoro::sleepFor(unmapPoll);
            const std::chrono::milliseconds settle = m_settleDelay;
            co_await QCoro::sleepFor(settle);
            if (!self || !screen)
                co_return Grab{}; // the windows come back as `hidden` goes
        }

        watch.reset(); // the screen is ready: no more reports of it
        bool shown = false;
        bool shownBeforeAnswer = false;
        const auto showAgain = [&] {
            if (std::exchange(shown, true))
                return;
            hidden.restore();
            m_lastHiddenFor =
                std::chrono::microseconds(hidAny ? hiddenFor.nsecsElapsed() / 1000 : 0);
        };
        grab.logicalSize = screen->size();
        if (m_source) {
            grab.image = co_await m_source(); // a failure shows our windows again as `hidden` goes
            if (!self)
                co_return Grab{};
        } else {
            // The display answered the grab that made the memory ready, so our windows come back
            // before this one's answer.
            shownBeforeAnswer = picture.has_value();
            if (picture) {
                picture->send();
                showAgain(); // after the picture, in the server's order
                grab.image = picture->receive();
            }
            if (grab.image.isNull() && !shown)
                grab.image = screen->grabWindow(0).toImage();
        }
        showAgain();
        if (!grab.image.isNull() || !shownBeforeAnswer || retry)
            break;
    }
    if (grab.image.isNull())
        throw PlatformError(
            tr("The display did not hand over the picture of the screen. Try again."));
    co_return grab;
}
