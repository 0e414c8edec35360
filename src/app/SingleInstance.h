#pragma once

#include "platform/ShortcutActions.h"

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>
#include <optional>

/// Keeps Pindle to one running copy per user. A second launch (from the application menu, say)
/// asks the first to show its overlay, or to run one action (`pindle --capture-screen`, bound to
/// a key in the desktop's own shortcut settings where Pindle cannot take keys itself), and then
/// ends.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    using Action = ShortcutAction;

    explicit SingleInstance(QObject *parent = nullptr);

    /// True when this process is the one that runs; otherwise the running one has been asked to
    /// run `action`, or to show its overlay (when it could be reached), and this one should end.
    [[nodiscard]] bool claim(std::optional<Action> action = std::nullopt);

Q_SIGNALS:
    /// Another launch asked for the overlay.
    void showRequested();
    /// Another launch asked for an action.
    void actionRequested(SingleInstance::Action action);

private:
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
