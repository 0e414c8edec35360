#pragma once

#include "platform/GlobalHotkeys.h"
#include "platform/KeyCombination.h"

#include <QObject>

#include <array>

class SettingsManager;

/// The combinations of the three global shortcuts, the user's choice or the default, kept in the
/// settings file. Every place that names a shortcut (the menus, the overlay's hints, the settings
/// window) reads it here.
class ShortcutSettings final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString toggleOverlay READ toggleOverlay NOTIFY changed FINAL)
    Q_PROPERTY(QString captureScreen READ captureScreen NOTIFY changed FINAL)
    Q_PROPERTY(QString typeMode READ typeMode NOTIFY changed FINAL)

public:
    using Action = GlobalHotkeys::Action;
    static constexpr std::array<Action, 3> actions{Action::ToggleOverlay, Action::CaptureScreen,
                                                   Action::ToggleTypingMode};

    explicit ShortcutSettings(SettingsManager &settings, QObject *parent = nullptr);

    /// Alt+Space, Alt+S and Alt+T.
    [[nodiscard]] static KeyCombination defaultCombination(Action action);
    /// The action's name in the settings file ("toggle_overlay").
    [[nodiscard]] static QString storedName(Action action);

    /// The user's choice when it can be read, else the default.
    [[nodiscard]] KeyCombination combination(Action action) const;
    [[nodiscard]] QString text(Action action) const { return combination(action).toString(); }
    [[nodiscard]] bool isDefault(Action action) const;
    /// Stores the choice; the default is stored as no choice at all.
    void setCombination(Action action, const KeyCombination &combination);
    [[nodiscard]] QList<GlobalHotkeys::Binding> bindings() const;

    [[nodiscard]] QString toggleOverlay() const { return text(Action::ToggleOverlay); }
    [[nodiscard]] QString captureScreen() const { return text(Action::CaptureScreen); }
    [[nodiscard]] QString typeMode() const { return text(Action::ToggleTypingMode); }

Q_SIGNALS:
    void changed();

private:
    SettingsManager &m_settings;
};
