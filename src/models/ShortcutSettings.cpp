#include "models/ShortcutSettings.h"

#include "services/SettingsManager.h"

ShortcutSettings::ShortcutSettings(SettingsManager &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings) {
    connect(&settings, &SettingsManager::shortcutsChanged, this, &ShortcutSettings::changed);
}

namespace {

QString storedName(ShortcutAction action) {
    return shortcutAction(action).storedName;
}

KeyCombination defaultCombination(ShortcutAction action) {
    return shortcutAction(action).defaultCombination();
}

} // namespace

KeyCombination ShortcutSettings::combination(Action action) const {
    // A choice edited by hand into something that is no shortcut falls back to the default.
    const std::optional<KeyCombination> chosen =
        KeyCombination::parse(m_settings.shortcut(storedName(action)));
    return chosen && chosen->hasCommandModifier() ? *chosen : defaultCombination(action);
}

bool ShortcutSettings::isDefault(Action action) const {
    return combination(action) == defaultCombination(action);
}

void ShortcutSettings::setCombination(Action action, const KeyCombination &combination) {
    m_settings.setShortcut(storedName(action), combination == defaultCombination(action)
                                                   ? QString()
                                                   : combination.toString());
}

QList<GlobalHotkeys::Binding> ShortcutSettings::bindings() const {
    QList<GlobalHotkeys::Binding> bindings;
    for (const ShortcutActionRow &row : shortcutActions)
        bindings.append({row.action, combination(row.action)});
    return bindings;
}

bool ShortcutSettings::noticeShown(const QString &id) const {
    return m_settings.noticeShown(id);
}

void ShortcutSettings::setNoticeShown(const QString &id) {
    m_settings.setNoticeShown(id);
}
