#pragma once

#include "platform/DesktopShortcuts.h"

/// KDE's global shortcuts (KWin's, Plasma's and every program's that registered one), read from
/// kglobalaccel over D-Bus.
class KdeShortcuts final : public DesktopShortcuts {
    Q_OBJECT

public:
    /// One shortcut as kglobalaccel describes it.
    struct Entry {
        QString component; // "KWin"
        QString action;    // "Window Operations Menu"
        QList<int> keys;   // Qt key codes
    };

    using DesktopShortcuts::DesktopShortcuts;

    QCoro::Task<QList<Binding>> bindings() override;

    [[nodiscard]] static QList<Binding> toBindings(const QList<Entry> &entries);
};
