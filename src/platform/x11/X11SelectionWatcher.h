#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>

#include <xcb/xcb.h>

/// Follows whether some client owns an X selection, such as a compositing manager's
/// `_NET_WM_CM_S0` or a system tray's `_NET_SYSTEM_TRAY_S0`, as owners come and go. Without X11
/// (or the XFixes extension) it reports no owner and never changes.
class X11SelectionWatcher final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit X11SelectionWatcher(const QByteArray &selection, QObject *parent = nullptr);
    ~X11SelectionWatcher() override;

    [[nodiscard]] bool hasOwner() const { return m_owned; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    void ownerChanged(bool owned);

private:
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    quint8 m_xfixesEvent = 0;
    bool m_owned = false;
};
