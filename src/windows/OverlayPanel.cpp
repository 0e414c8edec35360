#include "windows/OverlayPanel.h"

#include "platform/OverlayWindowing.h"

#include <QQmlEngine>

#include <utility>

using namespace std::chrono_literals;

namespace {

// A manager that has not handed over the keyboard by then refused it.
constexpr auto activationTimeout = 2s;
constexpr auto activationRetry = 300ms;

} // namespace

OverlayPanel::OverlayPanel(QQmlEngine *engine, OverlayController &controller,
                           std::unique_ptr<OverlayWindowing> windowing, QWindow *parent)
    : QQuickView(engine, parent)
    , m_controller(controller)
    , m_windowing(std::move(windowing)) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QSurfaceFormat surface = format();
    surface.setAlphaBufferSize(8);
    setFormat(surface);
    setColor(Qt::transparent);
    setTitle(QStringLiteral("Pindle"));
    setResizeMode(QQuickView::SizeRootObjectToView);
    resize(defaultSize);
    setMinimumSize(minimumContentSize + QSize(2 * margin, 2 * margin));

    m_windowing->attach(*this);
    followMode();
    connect(&controller, &OverlayController::stealthModeChanged, this, &OverlayPanel::followMode);

    m_activationDeadline.setSingleShot(true);
    m_activationDeadline.setInterval(activationTimeout);
    connect(&m_activationDeadline, &QTimer::timeout, this, [this] {
        if (!isActive() && !stealth())
            m_controller.setStealthMode(true);
    });
    connect(this, &QWindow::activeChanged, this, [this] {
        if (!isActive()) {
            // In typing mode a click elsewhere took the keyboard: stealth mode again.
            if (!stealth() && !m_pendingActivation)
                m_controller.setStealthMode(true);
            return;
        }
        m_activationDeadline.stop();
        // A window manager that granted the keyboard after all (later than the deadline, or
        // despite the hint): the overlay has it, so it is in typing mode.
        m_controller.setStealthMode(false);
    });
}

OverlayPanel::~OverlayPanel() {
    // The view reads the window hints object, which goes before the view would.
    setSource({});
}

void OverlayPanel::setContent(QVariantMap properties) {
    properties.insert(QStringLiteral("windowing"), QVariant::fromValue(m_windowing.get()));
    m_content = std::move(properties);
}

void OverlayPanel::loadContent() {
    if (!m_content)
        return;
    setInitialProperties(*std::exchange(m_content, std::nullopt));
    setSource(QUrl(QStringLiteral("qrc:/Pindle/OverlayContentView.qml")));
    for (const QQmlError &error : errors())
        qWarning("Overlay view: %s", qPrintable(error.toString()));
}

bool OverlayPanel::stealth() const {
    return m_controller.stealthMode();
}

void OverlayPanel::followMode() {
    if (stealth())
        m_pendingActivation.reset();
    else
        m_activationDeadline.stop();
    // Changed on the visible window: the focus hint updates at once, no hide and show needed.
    setFlag(Qt::WindowDoesNotAcceptFocus, stealth());
    m_windowing->followMode(*this, !stealth());
}

void OverlayPanel::takeKeyboard(quint32 userTime) {
    m_controller.setStealthMode(false);
    m_pendingActivation = userTime;
    if (!isVisible())
        show();
    raise();
    // A window just shown is asked once it is on screen.
    if (isExposed())
        activateNow();
}

void OverlayPanel::activateNow() {
    const quint32 userTime = *m_pendingActivation;
    m_pendingActivation.reset();
    m_activationDeadline.start();
    requestKeyboard(userTime);
    // GNOME Shell sometimes passes over a request for a window it has just mapped (about one
    // time in six, a moment after the overlay was hidden): asked once more, without a time,
    // which it reads as "now".
    QTimer::singleShot(activationRetry, this, [this, userTime] {
        if (!isActive() && !stealth() && m_activationDeadline.isActive() && userTime != 0)
            m_windowing->activateForUser(*this, 0);
    });
}

void OverlayPanel::requestKeyboard(quint32 userTime) {
    // Qt's own request carries the time of the last event Qt saw, which is the user's when the
    // request came from one of our windows but not when it came from a grabbed key.
    if ((userTime == 0 && !m_windowing->decidesFocus()) ||
        !m_windowing->activateForUser(*this, userTime))
        requestActivate();
}

bool OverlayPanel::composited() const {
    return m_windowing->composited();
}

bool OverlayPanel::blurBehind() const {
    return m_windowing->blurBehind();
}

void OverlayPanel::showEvent(QShowEvent *event) {
    loadContent();
    m_windowing->prepareShow(*this);
    m_confirmOnceShown = true;
    QQuickView::showEvent(event);
}

void OverlayPanel::exposeEvent(QExposeEvent *event) {
    QQuickView::exposeEvent(event);
    if (isExposed() && std::exchange(m_confirmOnceShown, false))
        m_windowing->shown(*this);
    if (isExposed() && m_pendingActivation)
        activateNow();
}

void OverlayPanel::resizeEvent(QResizeEvent *event) {
    QQuickView::resizeEvent(event);
    // Blur only the card, not the shadow's margin.
    m_windowing->setBlurArea(*this,
                             QRect(QPoint(), size()).adjusted(margin, margin, -margin, -margin));
}
