// Global shortcuts without the desktop: how combinations are read from each desktop's own format,
// which ones are taken or left alone, what the user is told, and choosing one in the settings.

#include "Await.h"
#include "FakeDesktopServices.h"
#include "app/Translations.h"
#include "models/ShortcutController.h"
#include "platform/desktop/GnomeShortcuts.h"
#include "platform/desktop/KdeShortcuts.h"
#include "platform/desktop/XfceShortcuts.h"
#include "services/SettingsManager.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Action = GlobalHotkeys::Action;
using Binding = DesktopShortcuts::Binding;

namespace {

QString text(const std::optional<KeyCombination> &combination) {
    return combination ? combination->toString() : QStringLiteral("-");
}

QStringList texts(const QList<Binding> &bindings) {
    QStringList shown;
    for (const Binding &binding : bindings)
        shown.append(binding.combination.toString() + u' ' + binding.owner + u": " +
                     binding.action);
    return shown;
}

} // namespace

class ShortcutsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;
    std::unique_ptr<ShortcutSettings> m_shortcuts;
    std::optional<FakeHotkeys> m_hotkeys;
    std::optional<FakeDesktop> m_desktop;
    std::unique_ptr<ShortcutController> m_controller;

    QJsonObject storedShortcuts() const {
        QFile file(m_dir.filePath("settings.json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll())["pindle_shortcuts"].toObject();
    }

    QString problem(Action action) const {
        return m_controller->rows().at(int(action)).toMap().value("problem").toString();
    }

private Q_SLOTS:
    // English has a catalogue of its own, for its plural forms.
    void initTestCase() { installTranslations(QLocale(QLocale::English)); }

    void init() {
        m_controller.reset();
        QFile::remove(m_dir.filePath("settings.json"));
        m_settings = std::make_unique<SettingsManager>(m_dir.filePath("settings.json"));
        m_shortcuts = std::make_unique<ShortcutSettings>(*m_settings);
        m_hotkeys.emplace();
        m_desktop.emplace();
        m_controller = std::make_unique<ShortcutController>(*m_shortcuts, *m_hotkeys, *m_desktop);
    }

    // Users, GTK, Qt and the keyboard each write a combination their own way.
    void readingCombinations_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *kind, QVariant input, const char *out) {
            QTest::newRow(name) << QString(kind) << input << QString(out);
        };
        row("typed, any case", "text", "control+shift+t", "Ctrl+Shift+T");
        row("typed, Meta is Super", "text", "Meta+Alt+s", "Alt+Super+S");
        row("typed, punctuation key", "text", "Ctrl+-", "Ctrl+-");
        row("typed, Enter", "text", "Alt+Enter", "Alt+Return");
        row("typed, unknown modifier", "text", "Hyper+S", "-");
        row("typed, no key", "text", "Alt+", "-");
        row("GTK", "accelerator", "<Primary><Alt>t", "Ctrl+Alt+T");
        row("GTK, keysym name", "accelerator", "<Alt>space", "Alt+Space");
        row("GTK, Mutter's key names", "accelerator", "<Shift><Super>Above_Tab", "Shift+Super+`");
        row("GTK, page keys", "accelerator", "<Super>Page_Up", "Super+PgUp");
        row("GTK, a key no shortcut uses", "accelerator", "XF86AudioMute", "-");
        row("KDE", "qt", int(Qt::AltModifier) | Qt::Key_F3, "Alt+F3");
        row("KDE, shifted symbol", "qt", int(Qt::ShiftModifier | Qt::MetaModifier) | Qt::Key_Exclam,
            "Shift+Super+1");
        row("KDE, keypad", "qt", int(Qt::KeypadModifier | Qt::ControlModifier) | Qt::Key_1, "-");
        // Pressed keys: Qt's key and modifiers, the X key code, what the key types unshifted.
        const int alt = int(Qt::AltModifier), shift = int(Qt::ShiftModifier);
        // German ö is the key of ; on a US keyboard (X key code 47).
        row("pressed, German ö", "press", QVariantList{0xd6, alt, 47, 0xf6}, "Alt+;");
        // German Shift+7 types "/": named by its key.
        row("pressed, German Shift+7", "press", QVariantList{'/', alt | shift, 16, '7'},
            "Alt+Shift+7");
        // French & is the 1 key; no Shift is held.
        row("pressed, French &", "press", QVariantList{'&', alt, 10, '&'}, "Alt+1");
        row("pressed, keymap unknown", "press", QVariantList{'!', alt | shift, 0, 0},
            "Alt+Shift+1");
        row("pressed, Backtab", "press", QVariantList{int(Qt::Key_Backtab), shift, 23, int(0xff09)},
            "Shift+Tab");
        row("pressed, keypad", "press",
            QVariantList{int(Qt::Key_1), alt | int(Qt::KeypadModifier), 87, int(0xffb1)}, "-");
    }
    void readingCombinations() {
        QFETCH(QString, kind);
        QFETCH(QVariant, input);
        QFETCH(QString, expected);
        std::optional<KeyCombination> read;
        if (kind == "text")
            read = KeyCombination::parse(input.toString());
        else if (kind == "accelerator")
            read = KeyCombination::fromAccelerator(input.toString());
        else if (kind == "qt")
            read = KeyCombination::fromQtKeyCode(input.toInt());
        else
            read = KeyCombination::fromKeyPress(
                input.toList()[0].toInt(), Qt::KeyboardModifiers(input.toList()[1].toInt()),
                input.toList()[2].toUInt(), input.toList()[3].toUInt());
        QCOMPARE(text(read), expected);
        if (read) // what is written reads back the same
            QCOMPARE(text(KeyCombination::parse(read->toString())), expected);
    }

    // Each desktop's own record of its shortcuts, as it hands it out.
    void desktopRecords() {
        const QByteArray gnome =
            "org.gnome.desktop.wm.keybindings activate-window-menu ['<Alt>space']\n"
            "org.gnome.desktop.wm.keybindings switch-input-source ['<Super>space', "
            "'XF86Keyboard']\n"
            "org.gnome.desktop.wm.keybindings minimize @as []\n"
            "org.gnome.settings-daemon.plugins.media-keys custom-keybindings "
            "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']\n"
            "org.gnome.settings-daemon.plugins.media-keys volume-step 6\n";
        QCOMPARE(texts(GnomeShortcuts::parseListing(gnome)),
                 QStringList({"Alt+Space GNOME: Activate window menu",
                              "Super+Space GNOME: Switch input source"}));
        QCOMPARE(GnomeShortcuts::customShortcutPaths(gnome),
                 QStringList{"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                             "custom0/"});
        // As gsettings lists one custom shortcut: under the schema alone, its name quoted
        // twice over when it holds an apostrophe.
        const QByteArray custom =
            "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding binding '<Super>e'\n"
            "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding command 'xterm'\n"
            "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding name "
            "\"Bob's \\\"term\\\"\"\n";
        QCOMPARE(texts(GnomeShortcuts::parseCustomShortcut(custom)),
                 QStringList{"Super+E GNOME: Bob's \"term\""});

        // Xfce: the user's own set of a provider replaces its defaults when it is in force.
        QVariantMap xfce{{"/commands/default/<Primary><Alt>t", "exo-open TerminalEmulator"},
                         {"/commands/default/<Alt>F2", "xfce4-appfinder"},
                         {"/commands/default/<Alt>F2/startup-notify", true},
                         {"/commands/custom/override", true},
                         {"/commands/custom/<Alt><Super>s", "orca"},
                         {"/xfwm4/default/<Alt>space", "popup_menu_key"},
                         {"/xfwm4/custom/<Alt>F7", "move_window_key"}};
        QCOMPARE(texts(XfceShortcuts::fromProperties(xfce)),
                 QStringList({"Alt+Super+S Xfce: orca", "Alt+F7 Xfce: move window"}));
        xfce["/commands/custom/override"] = false;
        xfce["/xfwm4/custom/override"] = false;
        QCOMPARE(texts(XfceShortcuts::fromProperties(xfce)),
                 QStringList({"Alt+F2 Xfce: xfce4-appfinder",
                              "Ctrl+Alt+T Xfce: exo-open TerminalEmulator",
                              "Alt+Space Xfce: popup menu"}));

        const QList<KdeShortcuts::Entry> kde{
            {"KWin", "Window Operations Menu", {int(Qt::AltModifier) | Qt::Key_F3}},
            {"KWin", "Window Pack Left", {}},
            {"Plasma", "Activate Application Launcher", {int(Qt::AltModifier) | Qt::Key_F1, 0}}};
        QCOMPARE(texts(KdeShortcuts::toBindings(kde)),
                 QStringList({"Alt+F3 KWin: Window Operations Menu",
                              "Alt+F1 Plasma: Activate Application Launcher"}));
    }

    // A combination the desktop binds, or another program holds, is left alone and told once.
    void conflictsAreLeftAloneAndToldOnce() {
        m_desktop->held = {{{KeyCombination::Alt, Qt::Key_Space}, "GNOME", "Activate window menu"}};
        m_hotkeys->heldElsewhere = {"Alt+T"};
        QSignalSpy notices(m_controller.get(), &ShortcutController::notice);
        m_controller->start();
        QCOMPARE(m_hotkeys->taken, QStringList{"Alt+S"});
        QCOMPARE(notices.count(), 1);
        const QStringList told = notices[0][0].toStringList();
        QCOMPARE(notices[0][1].toString(), QStringLiteral("Shortcuts unavailable"));
        QCOMPARE(notices[0][2].toString(),
                 QStringLiteral("Alt+Space is already used by GNOME for “Activate window menu”, so "
                                "Toggle Overlay has no shortcut.\n"
                                "Alt+T is already used by another program, so Type Mode has no "
                                "shortcut.\n"
                                "Choose another under Keyboard Shortcuts in Pindle's Settings."));
        QCOMPARE(problem(Action::ToggleOverlay),
                 QStringLiteral("Already used by GNOME for “Activate window menu”."));
        QCOMPARE(problem(Action::CaptureScreen), QString());
        // Hints and menus name only what works.
        QCOMPARE(m_controller->toggleOverlay(), QString());
        QCOMPARE(m_controller->captureScreen(), QStringLiteral("Alt+S"));

        // The desktop changes: what is still held is not told again; what it freed is taken.
        m_hotkeys->heldElsewhere.clear();
        m_desktop->held.clear();
        Q_EMIT m_desktop->changed();
        QTRY_COMPARE(m_hotkeys->taken, QStringList({"Alt+Space", "Alt+S", "Alt+T"}));
        QCOMPARE(notices.count(), 1);
        QCOMPARE(problem(Action::ToggleOverlay), QString());

        // What the user has seen is not told at the next start either.
        for (const QString &id : told)
            m_shortcuts->setNoticeShown(id);
        m_desktop->held = {{{KeyCombination::Alt, Qt::Key_Space}, "GNOME", "Activate window menu"}};
        ShortcutController nextStart(*m_shortcuts, *m_hotkeys, *m_desktop);
        QSignalSpy nextNotices(&nextStart, &ShortcutController::notice);
        nextStart.start();
        QCOMPARE(nextStart.toggleOverlay(), QString());
        QCOMPARE(nextNotices.count(), 0);

        // One shortcut is told in the singular.
        m_desktop->held.clear();
        m_hotkeys->heldElsewhere = {"Alt+S"};
        ShortcutController third(*m_shortcuts, *m_hotkeys, *m_desktop);
        QSignalSpy thirdNotices(&third, &ShortcutController::notice);
        third.start();
        QCOMPARE(thirdNotices.count(), 1);
        QCOMPARE(thirdNotices[0][1].toString(), QStringLiteral("Shortcut unavailable"));
    }

    // Nothing is claimed before the desktop has answered, and an answer that comes after the
    // user started choosing a shortcut takes nothing.
    void slowDesktop() {
        m_desktop->delay = std::chrono::milliseconds(200);
        m_controller->start();
        QCOMPARE(m_controller->toggleOverlay(), QString());
        m_controller->startRecording(int(Action::CaptureScreen));
        QTest::qWait(400);
        QVERIFY(m_hotkeys->taken.isEmpty());
        m_controller->cancelRecording();
        QTRY_COMPARE(m_hotkeys->taken, QStringList({"Alt+Space", "Alt+S", "Alt+T"}));
        QCOMPARE(m_controller->toggleOverlay(), QStringLiteral("Alt+Space"));
        m_controller->cancelRecording();
        m_controller.reset(); // with a read pending
        QTest::qWait(300);
    }

    // A settings file edited by hand may give two actions one combination: the first keeps it.
    void oneCombinationForTwoActions() {
        m_settings->setShortcut("type_mode", "Alt+S");
        m_controller->start();
        QCOMPARE(m_hotkeys->taken, QStringList({"Alt+Space", "Alt+S"}));
        QCOMPARE(problem(Action::ToggleTypingMode),
                 QStringLiteral("Already used by Pindle for “Capture Screen”."));
    }

    void noGlobalShortcutsHere() {
        m_hotkeys->reason = "Global hotkeys need an X11 session.";
        QSignalSpy notices(m_controller.get(), &ShortcutController::notice);
        m_controller->start();
        m_controller->start();
        QCOMPARE(notices.count(), 1);
        QCOMPARE(problem(Action::CaptureScreen), m_hotkeys->reason);
    }

    // Where Pindle cannot take keys, GNOME's own settings get its commands, but for the
    // combinations GNOME or the user have there; adding again rewrites Pindle's own.
    void addingToTheDesktop() {
        m_hotkeys->reason = "Take the keys elsewhere.";
        m_controller->start();
        QVERIFY(!m_controller->canAddToDesktop());
        m_desktop->canAdd = true;
        QVERIFY(m_controller->canAddToDesktop());
        m_desktop->held = {{*KeyCombination::parse(u"Alt+Space"), "GNOME", "Activate window menu"},
                           {*KeyCombination::parse(u"Super+E"), "GNOME", "xterm"}};
        const auto addAgain = [this] { // (the fake desktop answers at once)
            m_desktop->added.clear();
            m_controller->addToDesktop();
            return m_controller->desktopNote();
        };
        const QString overlayNotAdded =
            "\nAlt+Space is already used by GNOME for “Activate window menu”, so Toggle Overlay "
            "has no shortcut there: choose another combination above, then add again.";
        QCOMPARE(addAgain(),
                 "Added to the desktop's keyboard shortcuts: Alt+S, Alt+T." + overlayNotAdded);
        QCOMPARE(m_desktop->added.size(), 2);
        QCOMPARE(m_desktop->added[0].id, "capture-screen");
        QCOMPARE(m_desktop->added[0].name, "Pindle: Capture Screen");
        QVERIFY(m_desktop->added[0].command.endsWith(" --capture-screen"));

        // Two swapped, by way of a third: Pindle's own hold nothing against it, neither while
        // choosing nor when adding again.
        QSignalSpy checked(m_controller.get(), &ShortcutController::changed);
        Q_EMIT m_desktop->changed(); // as GNOME's settings database tells
        QVERIFY(checked.wait());
        for (const auto &[action, key] : {std::pair(Action::CaptureScreen, Qt::Key_1),
                                          std::pair(Action::ToggleTypingMode, Qt::Key_S),
                                          std::pair(Action::CaptureScreen, Qt::Key_T)}) {
            m_controller->startRecording(int(action));
            m_controller->recordKey(key, Qt::AltModifier, 0);
            QCOMPARE(m_controller->recordingError(), QString());
        }
        QCOMPARE(addAgain(),
                 "Added to the desktop's keyboard shortcuts: Alt+T, Alt+S." + overlayNotAdded);

        // The user's own shortcut stays theirs, and the action that wanted its combination keeps
        // none there that is another action's by now.
        m_settings->setShortcut("capture_screen", "Super+E");
        m_settings->setShortcut("type_mode", "Alt+T");
        const QString note = addAgain();
        QCOMPARE(note, "Added to the desktop's keyboard shortcuts: Alt+T." + overlayNotAdded +
                           "\nSuper+E is already used by GNOME for “xterm”, so Capture Screen has "
                           "no shortcut there: choose another combination above, then add again.");
        QCOMPARE(texts(m_desktop->held),
                 QStringList({"Alt+Space GNOME: Activate window menu", "Super+E GNOME: xterm",
                              "Alt+T GNOME: Pindle: Type Mode"}));

        m_desktop->addFailure = "gsettings failed: No such schema";
        QVERIFY(addAgain().startsWith("The shortcuts could not be added: gsettings failed"));
    }

    // GNOME's custom shortcuts as its Settings writes them, read back as GNOME's own; adding again
    // updates them in place. (gsettings on a key file of its own: the user's are not touched.)
    void gnomeCustomShortcuts() {
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
        QProcess::execute("gsettings", {"set", "org.gnome.settings-daemon.plugins.media-keys",
                                        "custom-keybindings", "['/elsewhere/custom0/']"});
        GnomeShortcuts gnome;
        const auto add = [&](const char *keys) {
            await(gnome.addCustomShortcuts(
                {{"capture-screen", "Pindle: Capture Screen", "pindle --capture-screen",
                  KeyCombination::parse(QString::fromLatin1(keys)).value_or(KeyCombination())}}));
        };
        add("Alt+S");
        add("Ctrl+Alt+S");
        QProcess list;
        list.start("gsettings",
                   {"get", "org.gnome.settings-daemon.plugins.media-keys", "custom-keybindings"});
        QVERIFY(list.waitForFinished());
        QCOMPARE(list.readAllStandardOutput().trimmed(),
                 "['/elsewhere/custom0/', '/org/gnome/settings-daemon/plugins/media-keys/"
                 "custom-keybindings/pindle-capture-screen/']");
        const auto ours = [&] {
            QStringList found;
            for (const DesktopShortcuts::Binding &binding : await(gnome.bindings()))
                if (!binding.pindleId.isEmpty())
                    found.append(binding.pindleId + u' ' + binding.combination.toString() + u' ' +
                                 binding.action);
            return found;
        };
        QCOMPARE(ours(), QStringList{"capture-screen Ctrl+Alt+S Pindle: Capture Screen"});
        add(""); // without keys
        QCOMPARE(ours(), QStringList());
        qunsetenv("GSETTINGS_BACKEND");
    }

    // The settings window waits for a combination, refuses what cannot work, and keeps the rest.
    void choosingAShortcut() {
        m_desktop->held = {{{quint8(KeyCombination::Ctrl | KeyCombination::Alt), Qt::Key_T},
                            "Xfce",
                            "exo-open TerminalEmulator"}};
        m_controller->start();

        QVERIFY(!m_controller->recordKey(Qt::Key_O, Qt::AltModifier, 0)); // not recording
        QSignalSpy presses(m_controller.get(), &ShortcutController::activated);
        m_controller->startRecording(int(Action::ToggleOverlay));
        QVERIFY(m_hotkeys->taken.isEmpty()); // the keys reach the window meanwhile
        Q_EMIT m_hotkeys->activated(Action::CaptureScreen, 1); // reported late: it does nothing
        QVERIFY(m_controller->recordKey(Qt::Key_Control, Qt::ControlModifier, 0));
        QVERIFY(m_controller->rows()[0].toMap()["recording"].toBool());

        const auto refused = [this](int key, Qt::KeyboardModifiers modifiers) {
            m_controller->recordKey(key, modifiers, 0);
            return m_controller->recordingError();
        };
        QCOMPARE(refused(Qt::Key_O, Qt::NoModifier),
                 QStringLiteral("A shortcut needs Ctrl, Alt or Super."));
        QCOMPARE(refused(Qt::Key_O, Qt::ShiftModifier),
                 QStringLiteral("A shortcut needs Ctrl, Alt or Super."));
        QCOMPARE(refused(Qt::Key_S, Qt::AltModifier),
                 QStringLiteral("Alt+S is already the shortcut for Capture Screen."));
        QCOMPARE(refused(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier),
                 QStringLiteral("Ctrl+Alt+T is used by Xfce for “exo-open TerminalEmulator”."));
        QCOMPARE(refused(Qt::Key_MediaPlay, Qt::AltModifier),
                 QStringLiteral("That key cannot be part of a shortcut."));

        QVERIFY(m_controller->recordKey(Qt::Key_O, Qt::ControlModifier | Qt::AltModifier, 0));
        QCOMPARE(m_controller->recordingError(), QString());
        QCOMPARE(m_controller->toggleOverlay(), QStringLiteral("Ctrl+Alt+O"));
        QCOMPARE(storedShortcuts(), QJsonObject({{"toggle_overlay", "Ctrl+Alt+O"}}));
        QCOMPARE(m_hotkeys->taken, QStringList({"Ctrl+Alt+O", "Alt+S", "Alt+T"}));
        QCOMPARE(SettingsManager(m_dir.filePath("settings.json")).shortcut("toggle_overlay"),
                 QStringLiteral("Ctrl+Alt+O"));
        Q_EMIT m_hotkeys->activated(Action::CaptureScreen, 2);
        QCOMPARE(presses.size(), 1);
        QCOMPARE(presses[0][1].toUInt(), 2u);

        // Escape gives up; the shortcuts are taken again as they were.
        m_controller->startRecording(int(Action::CaptureScreen));
        QVERIFY(m_controller->recordKey(Qt::Key_Escape, Qt::NoModifier, 0));
        QVERIFY(!m_controller->rows()[1].toMap()["recording"].toBool());
        QCOMPARE(m_hotkeys->taken, QStringList({"Ctrl+Alt+O", "Alt+S", "Alt+T"}));

        // Back to the default, which the file then no longer names; a recording stops.
        m_controller->startRecording(int(Action::CaptureScreen));
        m_controller->resetToDefault(int(Action::ToggleOverlay));
        QVERIFY(!m_controller->rows()[1].toMap()["recording"].toBool());
        QCOMPARE(storedShortcuts(), QJsonObject());
        QCOMPARE(m_hotkeys->taken, QStringList({"Alt+Space", "Alt+S", "Alt+T"}));
        QVERIFY(m_controller->recordingError().isEmpty());
    }

    // What lives outside the program names each action as the table does: the desktop entry's
    // actions (the dock's and the application menu's) and `pindle --help`.
    void actionsOutsidePindle() {
        QFile file(QStringLiteral(PINDLE_SOURCE_DIR "/data/com.pindle.app.desktop"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QString> entry; // "group/key" to value
        QString group;
        for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.startsWith('['))
                group = line.mid(1).chopped(1);
            else if (const qsizetype equals = line.indexOf('='); equals > 0)
                entry.insert(group + '/' + line.left(equals), line.mid(equals + 1));
        }
        QStringList ids;
        for (const ShortcutActionRow &row : shortcutActions)
            ids.append(row.id);
        QCOMPARE(entry.value("Desktop Entry/Actions"), ids.join(';') + ';');

        QProcess help;
        help.start(QStringLiteral(PINDLE_PATH), {"--help"});
        QVERIFY(help.waitForFinished());
        const QString usage = help.readAllStandardOutput();
        for (const ShortcutActionRow &row : shortcutActions) {
            const QString action = QStringLiteral("Desktop Action ") + row.id;
            QCOMPARE(entry.value(action + "/Name"), QString(row.description));
            QCOMPARE(entry.value(action + "/Exec"), QStringLiteral("pindle ") + row.option);
            const QRegularExpression listed(QStringLiteral("\\n  %1 +%2\\n")
                                                .arg(QRegularExpression::escape(row.option),
                                                     QRegularExpression::escape(row.description)));
            QVERIFY2(usage.contains(listed), qPrintable(usage));
        }
    }

    // A choice edited by hand into something that is no shortcut is not used.
    void unreadableChoiceFallsBack() {
        m_settings->setShortcut("capture_screen", "S");
        m_settings->setShortcut("type_mode", "Alt+Nothing");
        QCOMPARE(m_shortcuts->text(Action::CaptureScreen), QStringLiteral("Alt+S"));
        QCOMPARE(m_shortcuts->text(Action::ToggleTypingMode), QStringLiteral("Alt+T"));
    }
};

QTEST_GUILESS_MAIN(ShortcutsTest)
#include "tst_shortcuts.moc"
