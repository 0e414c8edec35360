#include "platform/desktop/WaylandStepAsideGrabber.h"

#include <QCoroTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <vector>

namespace {

/// This application's visible windows, hidden while it lives and shown again when it goes, so a
/// grab abandoned halfway never leaves them hidden.
class HiddenWindows {
public:
    HiddenWindows() {
        for (QWindow *window : QGuiApplication::topLevelWindows())
            if (window->isVisible() && window->type() != Qt::ToolTip) {
                m_windows.push_back({window, window->position()});
                window->hide();
            }
    }
    HiddenWindows(const HiddenWindows &) = delete;
    HiddenWindows &operator=(const HiddenWindows &) = delete;
    ~HiddenWindows() {
        for (const Hidden &hidden : m_windows)
            if (hidden.window) {
                hidden.window->setPosition(hidden.position);
                hidden.window->setVisible(true);
            }
    }

    [[nodiscard]] bool empty() const { return m_windows.empty(); }

private:
    struct Hidden {
        QPointer<QWindow> window;
        QPoint position;
    };
    std::vector<Hidden> m_windows;
};

} // namespace

WaylandStepAsideGrabber::WaylandStepAsideGrabber(std::chrono::milliseconds settleDelay,
                                                 PictureSource source, QObject *parent)
    : QObject(parent)
    , m_settleDelay(settleDelay)
    , m_source(std::move(source)) {}

QCoro::Task<ScreenGrabber::Grab> WaylandStepAsideGrabber::grabPrimaryScreen() {
    QPointer self(this);
    const std::optional<GrabTurns::Turn> turn = co_await m_turns.next();
    if (!turn || !self)
        co_return Grab{};

    QPointer<QScreen> screen = QGuiApplication::primaryScreen();
    if (!screen)
        co_return Grab{};
    Grab grab;
    {
        HiddenWindows hidden;
        // Hiding destroys the surfaces; the compositor draws its next frame without them.
        if (!hidden.empty())
            co_await QCoro::sleepFor(m_settleDelay);
        if (!self || !screen)
            co_return Grab{};
        grab.logicalSize = screen->size();
        grab.image = co_await m_source();
        if (!self)
            co_return Grab{};
    }
    if (grab.image.isNull())
        throw PlatformError(
            tr("The desktop did not hand over the picture of the screen. Try again."));
    co_return grab;
}
