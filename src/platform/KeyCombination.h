#pragma once

#include <QString>
#include <QStringView>
#include <Qt>

#include <optional>

/// A keyboard shortcut: modifiers and one key, written the way people read it ("Ctrl+Alt+T").
///
/// The keys are those of a US keyboard that a shortcut can use (letters, digits, punctuation,
/// F1–F12, Space and the editing and arrow keys). The desktops publish their own shortcuts as
/// GTK accelerators ("<Primary><Alt>t") or Qt key codes; both read into this one form so they
/// can be compared.
class KeyCombination final {
public:
    enum Modifier : quint8 { Ctrl = 1, Alt = 2, Shift = 4, Super = 8 };

    KeyCombination() = default;
    /// `modifiers` is a set of Modifier values; `key` one of the keys a shortcut can use.
    KeyCombination(quint8 modifiers, Qt::Key key);

    /// "Ctrl+Alt+T", "alt+space", "Super+Shift+F1"; "Control", "Meta" and "Win" are understood.
    [[nodiscard]] static std::optional<KeyCombination> parse(QStringView text);
    /// A GTK accelerator as GNOME and Xfce store them: "<Primary><Alt>t", "<Super>Page_Up".
    [[nodiscard]] static std::optional<KeyCombination> fromAccelerator(QStringView accelerator);
    /// A key code as KDE stores it: a Qt::Key or'ed with Qt::KeyboardModifier values. Shifted
    /// symbols ("Shift+!") mean their key ("Shift+1").
    [[nodiscard]] static std::optional<KeyCombination> fromQtKeyCode(int code);
    /// A pressed key: Qt's key and modifiers, the X key code, and the keysym the key types
    /// unshifted in the current layout (0 when unknown). A key the layout gives a symbol no
    /// shortcut uses ("ö") is named by its place on a US keyboard (";"). Keypad keys are refused.
    [[nodiscard]] static std::optional<KeyCombination> fromKeyPress(int qtKey,
                                                                    Qt::KeyboardModifiers modifiers,
                                                                    quint32 nativeScanCode,
                                                                    quint32 baseKeysym = 0);

    [[nodiscard]] bool isNull() const { return m_key == Qt::Key(0); }
    [[nodiscard]] quint8 modifiers() const { return m_modifiers; }
    [[nodiscard]] Qt::Key key() const { return m_key; }
    /// Holds a modifier other than Shift, as a shortcut that works from anywhere must.
    [[nodiscard]] bool hasCommandModifier() const { return m_modifiers & (Ctrl | Alt | Super); }
    /// "Ctrl+Alt+T": modifiers in the order Ctrl, Alt, Shift, Super, then the key.
    [[nodiscard]] QString toString() const;

    /// As a GTK accelerator, the form GNOME stores: "<Alt>space", "<Control><Shift>t".
    [[nodiscard]] QString toAccelerator() const;
    /// As the desktop portal's shortcuts are written: "ALT+space", "CTRL+SHIFT+t", "LOGO+F1".
    [[nodiscard]] QString toPortalTrigger() const;

    /// The X keysym of the key, unshifted ("t" is 0x74).
    [[nodiscard]] quint32 keysym() const;
    /// The X key code of the key's place on a US keyboard, for layouts that lack its keysym.
    [[nodiscard]] quint8 usKeycode() const;

    friend bool operator==(const KeyCombination &, const KeyCombination &) = default;

private:
    quint8 m_modifiers = 0;
    Qt::Key m_key = Qt::Key(0);
};
