#pragma once

#include "platform/GlobalHotkeys.h"
#include "platform/KeyCombination.h"

#include <QObject>

#include <array>

class SettingsManager;

/// The combinations of the three global shortcuts, the user's choice or the default, kept in the
/// settings file.
class ShortcutSettings final : public QObject {
    Q_OBJECT

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

    /// Whether the user has seen the notice `id` (in this or an earlier session).
    [[nodiscard]] bool noticeShown(const QString &id) const;
    void setNoticeShown(const QString &id);

Q_SIGNALS:
    void changed();

private:
    SettingsManager &m_settings;
};
