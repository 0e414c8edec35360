#pragma once

#include "platform/TrayIcon.h"
#include "platform/x11/X11SelectionWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSize>

#include <xcb/xcb.h>

#include <memory>

class X11TrayBalloon;
class X11TrayMenu;

/// The tray icon in an XEmbed system tray (trayer, stalonetray, Plasma 5's and older panels): a
/// window of its own that the tray takes in, drawn and followed with xcb, with a menu and balloons
/// drawn by Pindle, so the application needs no Qt Widgets. It docks again whenever a tray comes
/// back. Needs Qt's X11 platform.
class X11TrayIcon final : public QObject, public TrayIcon, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit X11TrayIcon(QObject *parent = nullptr);
    ~X11TrayIcon() override;

    void show(const QString &iconName, const QIcon &icon, const QString &toolTip) override;
    void setMenu(const QList<Item> &items) override;
    /// Docked in a running tray, or asked to be: the tray shows the icon a moment later.
    [[nodiscard]] bool isVisible() const override { return m_window != XCB_WINDOW_NONE; }
    [[nodiscard]] QRect geometry() const override;
    bool showMessage(const QString &title, const QString &message) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void dock();
    void undock(bool destroyWindow = true);
    void draw();
    void showBalloon();

    X11SelectionWatcher m_tray;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    xcb_window_t m_manager = XCB_WINDOW_NONE;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_colormap_t m_colormap = XCB_NONE;
    xcb_gcontext_t m_gc = XCB_NONE;
    quint8 m_depth = 0;
    QSize m_size{22, 22}; // in the display's pixels
    bool m_shown = false;
    bool m_embedded = false; // taken in, so its place is known
    bool m_balloonWaiting = false;
    QString m_balloonTitle;
    QString m_balloonMessage;
    QIcon m_icon;
    QString m_toolTip;
    std::unique_ptr<X11TrayMenu> m_menu;
    std::unique_ptr<X11TrayBalloon> m_balloon;
};
