#pragma once

#include "platform/KeyCombination.h"

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
    };

    using QObject::QObject;

    /// The desktop's bindings now; empty when it publishes none or cannot be reached.
    virtual QCoro::Task<QList<Binding>> bindings() = 0;

Q_SIGNALS:
    /// The desktop's bindings may have changed.
    void changed();
};
