#pragma once

#include <QString>

/// Whether Pindle starts when the user logs in: an XDG autostart entry, which every desktop's
/// session reads ($XDG_CONFIG_HOME/autostart/com.pindle.app.desktop). Nothing is cached: what it
/// says is what the file says now, however the file changed.
class StartAtLogin {
public:
    /// `directory` holds the entry; by default the user's autostart folder.
    explicit StartAtLogin(QString directory = defaultDirectory());

    [[nodiscard]] static QString defaultDirectory();
    [[nodiscard]] QString entryPath() const;

    /// An entry that is there and not turned off (Hidden, or GNOME's own switch).
    [[nodiscard]] bool isEnabled() const;
    /// Writes an entry that starts `executable`, or removes it. On failure nothing changes and
    /// the message says why.
    bool setEnabled(bool enabled, const QString &executable, QString &error);

private:
    QString m_directory;
};
