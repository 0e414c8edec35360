#pragma once

#include "platform/GlobalHotkeys.h"
#include "platform/KeyCombination.h"

#include <QObject>

class SettingsManager;

/// The combinations of the global shortcuts, the user's choice or the default, kept in the
/// settings file.
class ShortcutSettings final : public QObject {
    Q_OBJECT

public:
    using Action = GlobalHotkeys::Action;
    explicit ShortcutSettings(SettingsManager &settings, QObject *parent = nullptr);

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
