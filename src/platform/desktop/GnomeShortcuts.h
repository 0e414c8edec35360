#pragma once

#include "platform/DesktopShortcuts.h"

#include <QFileSystemWatcher>

/// GNOME's own shortcuts: the window manager's, the shell's and the settings daemon's key
/// bindings and the user's custom shortcuts, read through `gsettings`. GNOME Shell grabs its keys
/// in a way X11 does not report, so this is the only way to learn that Alt+Space is its window
/// menu. Changes are noticed in the dconf database, where GNOME keeps the user's settings (from
/// the first start of a session that has one).
class GnomeShortcuts final : public DesktopShortcuts {
    Q_OBJECT

public:
    explicit GnomeShortcuts(QObject *parent = nullptr);

    QCoro::Task<QList<Binding>> bindings() override;
    [[nodiscard]] bool canAddCustomShortcuts() const override { return true; }
    /// Writes them as custom shortcuts under the settings daemon's media keys, as GNOME's
    /// Settings does, each at a path named after its id.
    QCoro::Task<> addCustomShortcuts(QList<CustomShortcut> shortcuts) override;

    /// Reads `gsettings list-recursively SCHEMA` output: every value that is a key binding (or a
    /// list of them) becomes a binding named after its key.
    [[nodiscard]] static QList<Binding> parseListing(const QByteArray &listing);
    /// Reads the listing of one custom shortcut (`SCHEMA:PATH`): its binding, by its name.
    [[nodiscard]] static QList<Binding> parseCustomShortcut(const QByteArray &listing);
    /// The paths of the user's custom shortcuts, from the settings daemon's listing.
    [[nodiscard]] static QStringList customShortcutPaths(const QByteArray &listing);

private:
    QFileSystemWatcher m_dconf;
};
