#include "models/ShortcutController.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QVariantMap>

#include <algorithm>
#include <utility>

using namespace std::chrono_literals;

namespace {

using Action = GlobalHotkeys::Action;

// As the menu names the action ("Toggle Overlay"), in the user's language.
QString title(Action action) {
    return shortcutAction(action).shownMenuTitle();
}

QString holderText(const std::optional<DesktopShortcuts::Binding> &holder) {
    if (!holder)
        //: Who holds a key combination when it is not known ("Alt+S is already used by ...")
        return QCoreApplication::translate("ShortcutController", "another program");
    if (holder->action.isEmpty())
        return holder->owner;
    //: Who holds a key combination: %1 is a program or the desktop, %2 what it does with it
    return QCoreApplication::translate("ShortcutController", "%1 for “%2”")
        .arg(holder->owner, holder->action);
}

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutController::ShortcutController(ShortcutSettings &settings, GlobalHotkeys &hotkeys,
                                       DesktopShortcuts &desktop, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_hotkeys(hotkeys)
    , m_desktop(desktop) {
    // A desktop's settings tool writes one key after another: check once they have settled.
    m_desktopSettled.setSingleShot(true);
    m_desktopSettled.setInterval(300ms);
    connect(&m_desktopSettled, &QTimer::timeout, this, &ShortcutController::reapply);
    connect(&desktop, &DesktopShortcuts::changed, &m_desktopSettled, qOverload<>(&QTimer::start));
    connect(&settings, &ShortcutSettings::changed, this, &ShortcutController::changed);
    // Where the desktop owns the keys (its portal), its answer comes later and may change.
    connect(&hotkeys, &GlobalHotkeys::desktopAnswered, this, [this] {
        if (m_started)
            tellUnavailable();
        Q_EMIT changed();
    });
    // A key pressed while one is being chosen belongs to the settings window.
    connect(&hotkeys, &GlobalHotkeys::activated, this, [this](Action action, quint32 userTime) {
        if (m_started && !m_recording)
            Q_EMIT activated(action, userTime);
    });
}

void ShortcutController::start() {
    m_started = true;
    reapply();
}

bool ShortcutController::canAddToDesktop() const {
    return !m_hotkeys.unavailableReason().isEmpty() && m_desktop.canAddCustomShortcuts();
}

QString ShortcutController::command(Action action) {
    // The copy that runs, by name when that is what the desktop will find.
    const QString self = QCoreApplication::applicationFilePath();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("pindle"));
    QString program = !found.isEmpty() && QFileInfo(found).canonicalFilePath() ==
                                              QFileInfo(self).canonicalFilePath()
                          ? QStringLiteral("pindle")
                          : self;
    if (program.contains(u' '))
        program = u'"' + program + u'"';
    return program + u' ' + shortcutAction(action).option;
}

QString ShortcutController::commandList() const {
    QStringList lines;
    for (const ShortcutActionRow &row : shortcutActions)
        lines.append(m_settings.text(row.action) + QStringLiteral("   ") + command(row.action));
    return lines.join(u'\n');
}

void ShortcutController::addToDesktop() {
    writeToDesktop();
}

QCoro::Task<> ShortcutController::writeToDesktop() {
    QPointer self(this);
    const QList<DesktopShortcuts::Binding> held = co_await m_desktop.bindings();
    if (!self)
        co_return;
    QList<DesktopShortcuts::CustomShortcut> shortcuts;
    QStringList skipped;
    for (const auto &[action, combination] : m_settings.bindings()) {
        const QString id = shortcutAction(action).id;
        // Pindle's own, added before, are rewritten here: they never hold a combination.
        const auto holder = std::find_if(held.cbegin(), held.cend(), [&](const auto &binding) {
            return binding.pindleId.isEmpty() && binding.combination == combination;
        });
        const bool free = holder == held.cend();
        if (!free)
            //: %1 is a key combination, %2 who holds it, %3 the action's name (“Capture Screen”)
            skipped.append(tr("%1 is already used by %2, so %3 has no shortcut there: "
                              "choose another combination above, then add again.")
                               .arg(m_settings.text(action), holderText(*holder), title(action)));
        // One added before is left without keys when skipped: its combination may be another
        // action's by now.
        if (free || std::any_of(held.cbegin(), held.cend(),
                                [&](const auto &binding) { return binding.pindleId == id; }))
            //: Name of a shortcut in the desktop's keyboard settings; %1 is the action's name
            shortcuts.append({id, tr("Pindle: %1").arg(title(action)), command(action),
                              free ? combination : KeyCombination()});
    }
    QString note;
    try {
        if (!shortcuts.isEmpty()) {
            co_await m_desktop.addCustomShortcuts(shortcuts);
            QStringList added;
            for (const auto &shortcut : std::as_const(shortcuts))
                if (!shortcut.combination.isNull())
                    added.append(shortcut.combination.toString());
            if (!added.isEmpty())
                //: %1 lists the key combinations added, separated by commas
                note = tr("Added to the desktop's keyboard shortcuts: %1.")
                           .arg(added.join(QStringLiteral(", ")));
        }
    } catch (const PlatformError &error) {
        //: %1 is why, in the desktop's words
        note = tr("The shortcuts could not be added: %1").arg(error.message());
    }
    if (!self)
        co_return;
    skipped.prepend(note);
    skipped.removeAll(QString());
    m_desktopNote = skipped.join(u'\n');
    Q_EMIT changed();
}

void ShortcutController::stop() {
    m_started = false;
    ++m_generation;
    m_hotkeys.unregisterAll();
    m_grabbed.clear();
}

void ShortcutController::reapply() {
    if (m_started && !m_recording)
        apply(++m_generation);
}

QCoro::Task<> ShortcutController::apply(quint64 generation) {
    QPointer self(this);
    QList<DesktopShortcuts::Binding> desktopBindings = co_await m_desktop.bindings();
    // Superseded meanwhile: by a newer check, a recording or the end.
    if (!self || generation != m_generation)
        co_return;
    m_desktopBindings = std::move(desktopBindings);
    QMap<Action, std::optional<DesktopShortcuts::Binding>> taken;
    QList<GlobalHotkeys::Binding> wanted;
    for (const auto &[action, combination] : m_settings.bindings()) {
        if (const DesktopShortcuts::Binding *holder = desktopHolder(combination)) {
            taken.insert(action, *holder);
            continue;
        }
        // A settings file edited by hand may give two actions one combination: the first has it.
        const auto first = std::find_if(wanted.cbegin(), wanted.cend(), [&](const auto &binding) {
            return binding.second == combination;
        });
        if (first != wanted.cend())
            taken.insert(action, DesktopShortcuts::Binding{combination, QStringLiteral("Pindle"),
                                                           title(first->first)});
        else
            wanted.append({action, combination});
    }
    // The desktop's settings change often for other reasons: grab again only what changed, or
    // what another program may have let go of meanwhile.
    if (!m_checked || wanted != m_grabbed || !m_refused.isEmpty()) {
        m_grabbed = wanted;
        m_refused = m_hotkeys.registerAll(wanted);
    }
    for (const Action refused : std::as_const(m_refused))
        taken.insert(refused, std::nullopt);
    m_taken = std::move(taken);
    m_checked = true;
    // Where none can work, that is all there is to say; the combinations are still handed on,
    // for a desktop that may take them later.
    if (m_hotkeys.unavailableReason().isEmpty())
        tellNewConflicts();
    else
        tellUnavailable();
    Q_EMIT changed();
}

void ShortcutController::tellUnavailable() {
    //: Title of a desktop notification
    const QString heading = tr("No global shortcuts");
    if (const QString reason = m_hotkeys.unavailableReason(); !reason.isEmpty())
        tell({reason}, heading);
}

void ShortcutController::tellNewConflicts() {
    QStringList lines;
    for (auto it = m_taken.cbegin(); it != m_taken.cend(); ++it)
        //: %1 is a key combination, %2 who holds it, %3 the action's name (“Capture Screen”)
        lines.append(tr("%1 is already used by %2, so %3 has no shortcut.")
                         .arg(m_settings.text(it.key()), holderText(it.value()), title(it.key())));
    tell(lines,
         //: Title of a desktop notification with a line for each shortcut; %n is how many
         tr("Shortcut(s) unavailable", nullptr, int(lines.size())),
         tr("Choose another under Keyboard Shortcuts in Pindle's Settings."));
}

void ShortcutController::tell(const QStringList &lines, const QString &title,
                              const QString &closing) {
    // Each line once, in this session and (once shown) in any later one.
    QStringList fresh;
    for (const QString &line : lines)
        if (!m_told.contains(line) && !m_settings.noticeShown(line))
            fresh.append(line);
    if (fresh.isEmpty())
        return;
    for (const QString &line : std::as_const(fresh))
        m_told.insert(line);
    QString message = fresh.join(u'\n');
    if (!closing.isEmpty())
        message += u'\n' + closing;
    Q_EMIT notice(fresh, title, message);
}

const DesktopShortcuts::Binding *
ShortcutController::desktopHolder(const KeyCombination &combination) const {
    for (const DesktopShortcuts::Binding &binding : m_desktopBindings)
        if (binding.pindleId.isEmpty() && binding.combination == combination)
            return &binding;
    return nullptr;
}

QString ShortcutController::whyNotWorking(Action action) const {
    if (const QString reason = m_hotkeys.unavailableReason(); !reason.isEmpty())
        return reason;
    if (m_recording == action)
        return {};
    if (const auto taken = m_taken.constFind(action); taken != m_taken.cend())
        //: Why a shortcut does nothing; %1 is who holds its combination
        return tr("Already used by %1.").arg(holderText(*taken));
    if (m_hotkeys.pending())
        //: Why a shortcut does not work yet, under it in the settings window
        return tr("Waiting for the desktop to take it.");
    return {};
}

QString ShortcutController::problem(Action action) const {
    if (QString why = whyNotWorking(action); !why.isEmpty() || m_recording == action)
        return why;
    // The user may have given it another key in the desktop's own settings, which stands.
    const std::optional<KeyCombination> given =
        KeyCombination::parse(m_hotkeys.triggerDescription(action));
    if (given && *given != m_settings.combination(action))
        //: %1 is the key combination the desktop gave the action
        return tr("The desktop has %1 for it instead: change that in the desktop's "
                  "keyboard settings.")
            .arg(given->toString());
    return {};
}

QString ShortcutController::working(Action action) const {
    // Nothing is claimed before the desktop has been asked; where it owns the keys, they are
    // named as it names them.
    if (!m_checked || !whyNotWorking(action).isEmpty())
        return {};
    const QString trigger = m_hotkeys.triggerDescription(action);
    return trigger.isEmpty() ? m_settings.text(action) : trigger;
}

QVariantList ShortcutController::rows() const {
    QVariantList rows;
    for (const ShortcutActionRow &row : shortcutActions)
        rows.append(QVariantMap{
            {QStringLiteral("action"), int(row.action)},
            {QStringLiteral("combination"), m_settings.text(row.action)},
            {QStringLiteral("description"), row.shownDescription()},
            {QStringLiteral("problem"), problem(row.action)},
            {QStringLiteral("isDefault"), m_settings.isDefault(row.action)},
            {QStringLiteral("recording"), m_recording == row.action},
        });
    return rows;
}

void ShortcutController::startRecording(int action) {
    if (action < 0 || action >= int(shortcutActions.size()))
        return;
    m_recording = Action(action);
    ++m_generation;
    m_hotkeys.unregisterAll();
    m_grabbed.clear();
    setRecordingError({});
    Q_EMIT changed();
}

void ShortcutController::cancelRecording() {
    if (!m_recording)
        return;
    m_recording.reset();
    setRecordingError({});
    Q_EMIT changed();
    reapply();
}

std::optional<QString> ShortcutController::whyNot(Action action,
                                                  const KeyCombination &combination) const {
    if (!combination.hasCommandModifier())
        return tr("A shortcut needs Ctrl, Alt or Super.");
    for (const ShortcutActionRow &other : shortcutActions)
        if (other.action != action && m_settings.combination(other.action) == combination)
            //: %1 is a key combination, %2 the name of the action that has it
            return tr("%1 is already the shortcut for %2.")
                .arg(combination.toString(), title(other.action));
    if (const DesktopShortcuts::Binding *holder = desktopHolder(combination))
        //: %1 is a key combination, %2 who holds it (a program, or the desktop for an action)
        return tr("%1 is used by %2.").arg(combination.toString(), holderText(*holder));
    return std::nullopt;
}

bool ShortcutController::recordKey(int key, int modifiers, quint32 nativeScanCode) {
    if (!m_recording)
        return false;
    if (isModifierKey(key))
        return true;
    if (key == Qt::Key_Escape) {
        cancelRecording();
        return true;
    }
    const std::optional<KeyCombination> combination = KeyCombination::fromKeyPress(
        key, Qt::KeyboardModifiers(modifiers), nativeScanCode, m_hotkeys.keysymAt(nativeScanCode));
    if (!combination) {
        setRecordingError(tr("That key cannot be part of a shortcut."));
        return true;
    }
    if (const std::optional<QString> reason = whyNot(*m_recording, *combination)) {
        setRecordingError(*reason);
        return true;
    }
    const Action action = *m_recording;
    m_recording.reset();
    setRecordingError({});
    m_settings.setCombination(action, *combination);
    m_hotkeys.chosen(action);
    reapply();
    return true;
}

void ShortcutController::resetToDefault(int action) {
    if (action < 0 || action >= int(shortcutActions.size()))
        return;
    cancelRecording();
    const KeyCombination fallback = shortcutAction(Action(action)).defaultCombination();
    for (const ShortcutActionRow &other : shortcutActions)
        if (other.action != Action(action) && m_settings.combination(other.action) == fallback) {
            //: %1 is a key combination, %2 the name of the action that has it
            setRecordingError(tr("%1 is already the shortcut for %2.")
                                  .arg(fallback.toString(), title(other.action)));
            return;
        }
    setRecordingError({});
    m_settings.setCombination(Action(action), fallback);
    m_hotkeys.chosen(Action(action));
    reapply();
}

void ShortcutController::setRecordingError(const QString &error) {
    if (m_recordingError == error)
        return;
    m_recordingError = error;
    Q_EMIT changed();
}
