#pragma once

#include "platform/KeyCombination.h"

#include <QCoreApplication>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

/// What a global shortcut runs. Each action is also a tray menu item, a row in the settings
/// window, a command-line option, an entry in the desktop's shortcut settings and a desktop entry
/// action.
enum class ShortcutAction { ToggleOverlay, CaptureScreen, ToggleTypingMode };

/// Everything that names or binds one action. Every place reads its row in `shortcutActions`, so
/// an action is added by adding a row (and what it does, in the overlay).
struct ShortcutActionRow {
    ShortcutAction action;
    /// Its name outside Pindle: the id in the desktop's shortcut settings and the desktop
    /// entry's action ("capture-screen").
    QLatin1String id;
    /// Runs it in the Pindle already running ("--capture-screen").
    QLatin1String option;
    /// Its key in the settings file ("capture_screen").
    QLatin1String storedName;
    quint8 defaultModifiers;
    Qt::Key defaultKey;
    /// As the tray menu names it ("Capture Screen").
    QLatin1String menuTitle;
    /// What it does: in the settings window, the desktop's shortcut settings, `--help` and the
    /// desktop entry ("Screenshot & analyze").
    QLatin1String description;

    /// `menuTitle` and `description` in the user's language.
    [[nodiscard]] QString shownMenuTitle() const {
        return QCoreApplication::translate("ShortcutActions", menuTitle.data());
    }
    [[nodiscard]] QString shownDescription() const {
        return QCoreApplication::translate("ShortcutActions", description.data());
    }

    /// Alt+Space, Alt+S, Alt+T.
    [[nodiscard]] KeyCombination defaultCombination() const {
        return {defaultModifiers, defaultKey};
    }
};

inline constexpr std::array shortcutActions{
    ShortcutActionRow{
        ShortcutAction::ToggleOverlay, QLatin1String("toggle-overlay"),
        QLatin1String("--toggle-overlay"), QLatin1String("toggle_overlay"), KeyCombination::Alt,
        Qt::Key_Space,
        //: Tray menu item
        QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Toggle Overlay")),
        //: What the shortcut does, in settings and the desktop's shortcut list
        QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Toggle overlay visibility"))},
    ShortcutActionRow{ShortcutAction::CaptureScreen, QLatin1String("capture-screen"),
                      QLatin1String("--capture-screen"), QLatin1String("capture_screen"),
                      KeyCombination::Alt, Qt::Key_S,
                      //: Tray menu item
                      QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Capture Screen")),
                      //: What the shortcut does, in settings and the desktop's shortcut list
                      QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Screenshot & analyze"))},
    ShortcutActionRow{ShortcutAction::ToggleTypingMode, QLatin1String("type-mode"),
                      QLatin1String("--type-mode"), QLatin1String("type_mode"), KeyCombination::Alt,
                      Qt::Key_T,
                      //: Tray menu item
                      QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Type Mode")),
                      //: What the shortcut does, in settings and the desktop's shortcut list
                      QLatin1String(QT_TRANSLATE_NOOP("ShortcutActions", "Toggle typing mode"))},
};

[[nodiscard]] constexpr const ShortcutActionRow &shortcutAction(ShortcutAction action) {
    return shortcutActions[std::size_t(action)];
}

/// The action named `id` outside Pindle ("capture-screen").
[[nodiscard]] inline std::optional<ShortcutAction> shortcutActionWithId(QStringView id) {
    for (const ShortcutActionRow &row : shortcutActions)
        if (id == row.id)
            return row.action;
    return std::nullopt;
}

/// The action a command-line option asks for ("--capture-screen").
[[nodiscard]] inline std::optional<ShortcutAction> shortcutActionWithOption(QStringView option) {
    for (const ShortcutActionRow &row : shortcutActions)
        if (option == row.option)
            return row.action;
    return std::nullopt;
}
