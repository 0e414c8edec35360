#pragma once

#include "platform/KeyCombination.h"
#include "platform/PlatformError.h"

#include <QList>
#include <QObject>
#include <QString>

#include <QCoroTask>

/// The key combinations the desktop binds for itself, read where it publishes them. Window
/// managers and desktop shells may grab keys in ways X11 does not report to other programs, so
/// only this list tells Pindle which combinations would take something from the desktop.
class DesktopShortcuts : public QObject {
    Q_OBJECT

public:
    struct Binding {
        KeyCombination combination;
        /// Who holds it, as users know them ("GNOME", "KDE", "Xfce").
        QString owner;
        /// What it does there, in the desktop's words when it has them.
        QString action;
        /// The id of Pindle's own shortcut (CustomShortcut::id) where Pindle added it to the
        /// desktop's settings; empty for the desktop's and the user's.
        QString pindleId = {};
    };

    /// A shortcut in the desktop's own settings that runs a command.
    struct CustomShortcut {
        /// Names it among the desktop's settings; the same id updates the same shortcut.
        QString id;
        QString name;
        QString command;
        /// A null combination leaves the shortcut without keys.
        KeyCombination combination;
    };

    using QObject::QObject;

    /// The desktop's bindings now; empty when it publishes none or cannot be reached.
    virtual QCoro::Task<QList<Binding>> bindings() = 0;

    /// Whether addCustomShortcuts() can write this desktop's settings.
    [[nodiscard]] virtual bool canAddCustomShortcuts() const { return false; }
    /// Adds these to the desktop's own shortcuts, or updates those added before with the same
    /// ids. Throws PlatformError saying what failed.
    virtual QCoro::Task<> addCustomShortcuts(QList<CustomShortcut> shortcuts) {
        Q_UNUSED(shortcuts)
        throw PlatformError(tr("This desktop's shortcuts cannot be set from Pindle."));
        co_return;
    }

Q_SIGNALS:
    /// The desktop's bindings may have changed.
    void changed();
};
