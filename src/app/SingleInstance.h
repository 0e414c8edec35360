#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

/// Keeps Pindle to one running copy per user. A second launch (from the application menu, say)
/// asks the first to show its overlay and then ends.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);

    /// True when this process is the one that runs; otherwise the running one has been asked to
    /// show its overlay (when it could be reached) and this one should end.
    [[nodiscard]] bool claim();

Q_SIGNALS:
    /// Another launch asked for the overlay.
    void showRequested();

private:
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
