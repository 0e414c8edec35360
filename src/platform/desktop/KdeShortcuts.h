#pragma once

#include "platform/DesktopShortcuts.h"

#include <QDateTime>
#include <QFileSystemWatcher>

/// KDE's global shortcuts (KWin's, Plasma's and every program's that registered one), read from
/// kglobalaccel over D-Bus. kglobalaccel announces no change, but it saves every one into
/// kglobalshortcutsrc, which is watched.
class KdeShortcuts final : public DesktopShortcuts {
    Q_OBJECT

public:
    /// One shortcut as kglobalaccel describes it.
    struct Entry {
        QString component; // "KWin"
        QString action;    // "Window Operations Menu"
        QList<int> keys;   // Qt key codes
    };

    explicit KdeShortcuts(QObject *parent = nullptr);

    QCoro::Task<QList<Binding>> bindings() override;

    [[nodiscard]] static QList<Binding> toBindings(const QList<Entry> &entries);

private:
    QFileSystemWatcher m_config;
    QDateTime m_saved;
};
