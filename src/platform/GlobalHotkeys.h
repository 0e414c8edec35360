#pragma once

#include "platform/KeyCombination.h"
#include "platform/ShortcutActions.h"

#include <QList>
#include <QObject>

#include <utility>

/// Keyboard shortcuts that work from any application. Each press is reported once, after the key
/// event has been handled, and never reaches the application that has the focus.
class GlobalHotkeys : public QObject {
    Q_OBJECT

public:
    using Action = ShortcutAction;
    using Binding = std::pair<Action, KeyCombination>;

    using QObject::QObject;

    /// Takes exactly these combinations, in place of any taken before (Caps Lock and Num Lock
    /// may be on; no other modifier may be added). Returns the actions whose combination another
    /// program holds already: those are not taken, the others work.
    virtual QList<Action> registerAll(const QList<Binding> &bindings) = 0;
    virtual void unregisterAll() = 0;
    /// Why this session has no global shortcuts at all, in words a user understands; empty where
    /// they work.
    [[nodiscard]] virtual QString unavailableReason() const = 0;
    /// What the desktop asks the user before it lets the keys work, said beforehand so the
    /// question is expected; empty where it asks nothing.
    [[nodiscard]] virtual QString confirmationNote() const { return {}; }
    /// Whether the desktop has yet to take the combinations last registered (it is being asked,
    /// or asked again after a failure): until it has, they do nothing.
    [[nodiscard]] virtual bool pending() const { return false; }
    /// The user has just chosen the action's combination in Pindle. Where the desktop owns the
    /// keys, the next registration asks it for that combination even if the desktop's key stood
    /// for the action before (the user may be choosing again what the desktop did not take).
    virtual void chosen(Action action) { Q_UNUSED(action) }
    /// How the desktop names the key it gave `action`, where the desktop rather than Pindle
    /// owns the keys (through its portal); empty where Pindle's own combination is the key.
    [[nodiscard]] virtual QString triggerDescription(Action action) const {
        Q_UNUSED(action)
        return {};
    }
    /// The keysym the key at `keycode` types unshifted in the current layout, which names a
    /// combination recorded from it; 0 when unknown.
    [[nodiscard]] virtual quint32 keysymAt(quint32 keycode) const {
        Q_UNUSED(keycode)
        return 0;
    }

Q_SIGNALS:
    /// `userTime` is the display server's time of the key press (0 when unknown), which window
    /// managers ask for before they let a window take the keyboard.
    void activated(GlobalHotkeys::Action action, quint32 userTime);
    /// The desktop changed the keys, or answered that it has none for applications:
    /// triggerDescription() and unavailableReason() may say something new.
    void desktopAnswered();
};
