#pragma once

#include "platform/GlobalHotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QHash>

#include <xcb/xcb.h>

#include <vector>

/// Global shortcuts on X11: passive key grabs on the root window. Each combination is grabbed
/// with its lock-key variants only (Caps Lock, Num Lock), since a grab takes the key from every
/// other program: Ctrl+Alt+T stays the desktop's when Alt+T is ours. A key is found by the symbol
/// it types unshifted in the current layout, else by its place on a US keyboard (as recorded from
/// a key whose symbol no shortcut uses). The grabbed keys are swallowed; auto-repeat is ignored.
class X11GlobalHotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit X11GlobalHotkeys(QObject *parent = nullptr);
    ~X11GlobalHotkeys() override;

    QList<Action> registerAll(const QList<Binding> &bindings) override;
    void unregisterAll() override;
    [[nodiscard]] QString unavailableReason() const override { return {}; }
    [[nodiscard]] quint32 keysymAt(quint32 keycode) const override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    struct Grab {
        Action action;
        quint16 modifiers;
        std::vector<xcb_keycode_t> keycodes;
    };
    std::vector<Grab> m_grabs;
    // Auto-repeat sends a release and a press with the same time.
    QHash<xcb_keycode_t, xcb_timestamp_t> m_lastRelease;
};
