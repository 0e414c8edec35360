#include "models/OverlayController.h"

#include "models/ChatViewModel.h"
#include "platform/FocusHandoff.h"

#include <QPointer>

#include <utility>

OverlayController::OverlayController(ChatViewModel &conversation, FocusHandoff &focus,
                                     WindowFactory makeWindow, QObject *parent)
    : QObject(parent)
    , m_conversation(conversation)
    , m_focus(focus)
    , m_makeWindow(std::move(makeWindow)) {
    connect(&conversation, &ChatViewModel::questionSent, this, &OverlayController::leaveTypingMode);
}

OverlayController::~OverlayController() = default;

void OverlayController::setStealthMode(bool stealth) {
    if (m_stealthMode == stealth)
        return;
    m_stealthMode = stealth;
    Q_EMIT stealthModeChanged();
}

OverlayController::Window &OverlayController::window() {
    if (!m_window)
        m_window = m_makeWindow(*this);
    return *m_window;
}

void OverlayController::toggle() {
    if (isShown())
        m_window->hideFromScreen();
    else
        showInStealthMode();
}

void OverlayController::show() {
    if (isShown())
        m_window->raiseOnScreen();
    else
        showInStealthMode();
}

void OverlayController::hide() {
    if (m_window)
        m_window->hideFromScreen();
}

QCoro::Task<> OverlayController::captureScreen() {
    QPointer self(this);
    co_await m_conversation.askAboutScreen();
    if (!self)
        co_return;
    if (isShown() && !m_stealthMode)
        leaveTypingMode();
    else
        showInStealthMode();
}

void OverlayController::toggleTypingMode(quint32 userTime) {
    // Leaving typing mode only makes sense on screen; hidden, Alt+T brings it back for typing.
    if (!m_stealthMode && isShown()) {
        leaveTypingMode();
        return;
    }
    setStealthMode(false);
    window().takeKeyboard(userTime);
}

void OverlayController::leaveTypingMode() {
    setStealthMode(true);
    m_focus.returnFocusToPreviousApp();
}

void OverlayController::showInStealthMode() {
    setStealthMode(true);
    window().showOnScreen();
}
