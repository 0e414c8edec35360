#pragma once

#include "models/ShortcutSettings.h"
#include "platform/DesktopShortcuts.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QVariantList>

#include <QCoroTask>

/// Takes the global shortcuts without taking anything from the desktop or another program, and
/// lets the user choose them in the settings window.
///
/// A combination the desktop binds (as it publishes them) is not grabbed, nor one that another
/// program holds; the user is told once of each, with the way to choose another. The check runs
/// again when the desktop's bindings change and whenever a shortcut changes. Shortcuts that Pindle
/// itself added to the desktop's settings are never in the way: adding again rewrites them.
///
/// Every place that names a shortcut (the menus, the overlay's hints, the settings window) reads
/// it here, so none names one that does nothing.
class ShortcutController final : public QObject {
    Q_OBJECT
    /// The shortcut of each action as it works now ("Alt+Space"); empty when it has none.
    Q_PROPERTY(QString toggleOverlay READ toggleOverlay NOTIFY changed FINAL)
    Q_PROPERTY(QString captureScreen READ captureScreen NOTIFY changed FINAL)
    Q_PROPERTY(QString typeMode READ typeMode NOTIFY changed FINAL)
    /// One entry per shortcut, in menu order: {action, combination, description, problem,
    /// isDefault, recording}. `problem` says why the combination does nothing; empty when it
    /// works.
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed FINAL)
    /// Why the combination just pressed was not taken; empty when there is nothing to say.
    Q_PROPERTY(QString recordingError READ recordingError NOTIFY changed FINAL)
    /// Where Pindle cannot take keys but may write the desktop's own shortcuts (GNOME): the
    /// settings window offers to add the three commands there.
    Q_PROPERTY(bool canAddToDesktop READ canAddToDesktop NOTIFY changed FINAL)
    /// Why no shortcut can work in this session, once for all of them; empty where they can.
    Q_PROPERTY(QString unavailableReason READ unavailableReason NOTIFY changed FINAL)
    Q_PROPERTY(QString confirmationNote READ confirmationNote NOTIFY changed FINAL)
    /// Each combination with the command it would run there, a line each.
    Q_PROPERTY(QString commandList READ commandList NOTIFY changed FINAL)
    /// What adding them to the desktop did; empty before.
    Q_PROPERTY(QString desktopNote READ desktopNote NOTIFY changed FINAL)

public:
    using Action = GlobalHotkeys::Action;

    ShortcutController(ShortcutSettings &settings, GlobalHotkeys &hotkeys,
                       DesktopShortcuts &desktop, QObject *parent = nullptr);

    /// Takes the shortcuts, and again whenever something they depend on changes.
    void start();
    /// Gives every shortcut back.
    void stop();

    /// Why the action's combination does nothing (the desktop may have given the action
    /// another key); empty when it works.
    [[nodiscard]] QString problem(Action action) const;
    /// The action's combination while it works, else nothing.
    [[nodiscard]] QString working(Action action) const;
    [[nodiscard]] QString toggleOverlay() const { return working(Action::ToggleOverlay); }
    [[nodiscard]] QString captureScreen() const { return working(Action::CaptureScreen); }
    [[nodiscard]] QString typeMode() const { return working(Action::ToggleTypingMode); }
    [[nodiscard]] QVariantList rows() const;
    [[nodiscard]] QString recordingError() const { return m_recordingError; }
    [[nodiscard]] bool canAddToDesktop() const;
    [[nodiscard]] QString unavailableReason() const { return m_hotkeys.unavailableReason(); }
    /// What the desktop will ask before the shortcuts work (GNOME 48 on).
    [[nodiscard]] QString confirmationNote() const { return m_hotkeys.confirmationNote(); }
    [[nodiscard]] QString desktopNote() const { return m_desktopNote; }
    [[nodiscard]] QString commandList() const;
    /// The command that runs `action` in the running Pindle ("pindle --capture-screen").
    [[nodiscard]] static QString command(Action action);

    /// Waits for a combination for `action`; the shortcuts are given back meanwhile, so that
    /// pressing one of them reaches the settings window.
    Q_INVOKABLE void startRecording(int action);
    Q_INVOKABLE void cancelRecording();
    /// A key pressed while recording; true when the press was used. Modifiers alone wait for
    /// the key, Escape cancels.
    Q_INVOKABLE bool recordKey(int key, int modifiers, quint32 nativeScanCode);
    Q_INVOKABLE void resetToDefault(int action);
    /// Adds a desktop shortcut for each action's command with its combination, but for those
    /// the desktop already uses (the user has confirmed).
    Q_INVOKABLE void addToDesktop();

Q_SIGNALS:
    void changed();
    /// A shortcut was pressed; never while a combination is being chosen. `userTime` as for
    /// GlobalHotkeys::activated.
    void activated(GlobalHotkeys::Action action, quint32 userTime);
    /// Something the user should read once, as a desktop notification. Each of `ids` is to be
    /// remembered as told (ShortcutSettings::setNoticeShown) once the user has seen it.
    void notice(const QStringList &ids, const QString &title, const QString &message);

private:
    QCoro::Task<> apply(quint64 generation);
    void reapply();
    void tellNewConflicts();
    void tellUnavailable();
    void tell(const QStringList &lines, const QString &title, const QString &closing = {});
    void setRecordingError(const QString &error);
    QCoro::Task<> writeToDesktop();
    // Why the action has no key at all; empty when it has one.
    [[nodiscard]] QString whyNotWorking(Action action) const;
    [[nodiscard]] const DesktopShortcuts::Binding *desktopHolder(const KeyCombination &) const;
    [[nodiscard]] std::optional<QString> whyNot(Action action, const KeyCombination &) const;

    ShortcutSettings &m_settings;
    GlobalHotkeys &m_hotkeys;
    DesktopShortcuts &m_desktop;
    bool m_started = false;
    // Whether the desktop has been asked once: until then no shortcut is claimed to work.
    bool m_checked = false;
    // Each check supersedes the ones still waiting for the desktop.
    quint64 m_generation = 0;
    QList<DesktopShortcuts::Binding> m_desktopBindings;
    // What holds each action's combination: the desktop's binding, or nothing known.
    QMap<Action, std::optional<DesktopShortcuts::Binding>> m_taken;
    // What was last grabbed, and what X11 refused of it.
    QList<GlobalHotkeys::Binding> m_grabbed;
    QList<Action> m_refused;
    QSet<QString> m_told;
    std::optional<Action> m_recording;
    QString m_recordingError;
    QString m_desktopNote;
    QTimer m_desktopSettled;
};
