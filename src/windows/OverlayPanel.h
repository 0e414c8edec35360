#pragma once

#include "models/OverlayController.h"

#include <QQuickView>
#include <QTimer>

#include <memory>
#include <optional>

class OverlayWindowing;

/// The floating overlay window: frameless, translucent, above normal windows, on every desktop,
/// absent from taskbars and pagers. In stealth mode it never takes the keyboard focus, whether
/// shown or clicked; in typing mode it can become active so its field receives keys. The mode is
/// its controller's: the panel follows it, in place without hiding the window, and reports it
/// when the window manager moves the keyboard (a click elsewhere, a refused or late activation).
///
/// Without a compositing manager transparency shows as black, so the view is then told to draw
/// an opaque, square card that fills the window.
class OverlayPanel final : public QQuickView, public OverlayController::Window {
    Q_OBJECT

public:
    static constexpr QSize defaultSize{420, 600};
    static constexpr QSize minimumContentSize{360, 400};
    /// Transparent border around the card, where its shadow is drawn.
    static constexpr int margin = 8;

    OverlayPanel(QQmlEngine *engine, OverlayController &controller,
                 std::unique_ptr<OverlayWindowing> windowing, QWindow *parent = nullptr);
    ~OverlayPanel() override;

    /// The overlay's view with its required properties (see OverlayContentView.qml); what the
    /// desktop does for the window is handed to it as "windowing". The view, and with it the
    /// Controls style, is made when the window is first shown: a Pindle left in the tray never
    /// pays for them.
    void setContent(QVariantMap properties);

    [[nodiscard]] bool isOnScreen() const override { return isVisible(); }
    void showOnScreen() override { show(); }
    void hideFromScreen() override { hide(); }
    void raiseOnScreen() override { raise(); }
    void takeKeyboard(quint32 userTime) override;

    /// Whether a compositing manager draws the window's transparent parts as transparent.
    [[nodiscard]] bool composited() const;
    /// Whether the compositor blurs what lies behind the window.
    [[nodiscard]] bool blurBehind() const;

    /// Whether this desktop can keep the window out of other programs' screen captures. X11
    /// cannot, so the overlay must not claim it.
    [[nodiscard]] static bool hiddenFromCapture() { return false; }

protected:
    void showEvent(QShowEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    [[nodiscard]] bool stealth() const;
    void followMode();
    void activateNow();
    void requestKeyboard(quint32 userTime);
    void loadContent();

    OverlayController &m_controller;
    std::unique_ptr<OverlayWindowing> m_windowing;
    std::optional<QVariantMap> m_content;
    bool m_confirmOnceShown = false;
    // The user time of a typing-mode request still waiting for the window to be on screen.
    std::optional<quint32> m_pendingActivation;
    QTimer m_activationDeadline;
};
