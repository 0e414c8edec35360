#pragma once

#include <QQuickView>

/// The floating overlay window: frameless, translucent, above normal windows, on every desktop,
/// absent from taskbars and pagers. In stealth mode it never takes the keyboard focus, whether
/// shown or clicked; in typing mode it can become active so its field receives keys. The mode
/// switches in place, without hiding the window.
class OverlayPanel final : public QQuickView {
    Q_OBJECT
    Q_PROPERTY(
        bool stealthMode READ stealthMode WRITE setStealthMode NOTIFY stealthModeChanged FINAL)

public:
    static constexpr QSize defaultSize{420, 600};
    static constexpr QSize minimumContentSize{360, 400};
    /// Transparent border around the card, where its shadow is drawn.
    static constexpr int margin = 8;

    explicit OverlayPanel(QQmlEngine *engine, QWindow *parent = nullptr);

    /// Loads the overlay's view with its required properties (see OverlayContentView.qml).
    void setContent(const QVariantMap &properties);

    [[nodiscard]] bool stealthMode() const { return m_stealthMode; }
    void setStealthMode(bool stealth);

    /// Whether this desktop can keep the window out of other programs' screen captures. X11
    /// cannot, so the overlay must not claim it.
    [[nodiscard]] static bool hiddenFromCapture() { return false; }
    /// Whether the compositor blurs what lies behind the window.
    [[nodiscard]] static bool blurBehindAvailable();

Q_SIGNALS:
    void stealthModeChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool m_stealthMode = true;
};
