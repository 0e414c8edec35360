#include "services/StartAtLogin.h"

#include "core/AppId.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

// The Exec key's quoting: a path with anything but plain characters goes in double quotes, with
// the four reserved ones escaped.
QString execArgument(const QString &path) {
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+");
    if (std::all_of(path.cbegin(), path.cend(), [](QChar c) { return plain.contains(c); }))
        return path;
    QString quoted = path;
    for (const QChar reserved : {u'\\', u'"', u'`', u'$'})
        quoted.replace(reserved, QString(u'\\') + reserved);
    // A backslash in a value is itself escaped once more by the file's string rules.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

StartAtLogin::StartAtLogin(QString directory)
    : m_directory(std::move(directory)) {}

QString StartAtLogin::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString StartAtLogin::entryPath() const {
    return m_directory + u'/' + pindleAppId + QStringLiteral(".desktop");
}

bool StartAtLogin::isEnabled() const {
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inMainGroup = false;
    while (!entry.atEnd()) {
        QString line = QString::fromUtf8(entry.readLine()).remove(u' ').trimmed();
        if (line.startsWith(u'['))
            inMainGroup = line == u"[DesktopEntry]";
        else if (inMainGroup &&
                 (line == u"Hidden=true" || line == u"X-GNOME-Autostart-enabled=false"))
            return false;
    }
    return true;
}

bool StartAtLogin::setEnabled(bool enabled, const QString &executable, QString &error) {
    if (!enabled) {
        QFile entry(entryPath());
        if (!entry.exists() || entry.remove())
            return true;
        error =
            QStringLiteral("Pindle could not remove %1: %2").arg(entryPath(), entry.errorString());
        return false;
    }
    if (!QDir().mkpath(m_directory)) {
        error = QStringLiteral("Pindle could not create the folder %1.").arg(m_directory);
        return false;
    }
    QSaveFile entry(entryPath());
    if (entry.open(QIODevice::WriteOnly | QIODevice::Text)) {
        entry.write(QStringLiteral("[Desktop Entry]\n"
                                   "Type=Application\n"
                                   "Name=Pindle\n"
                                   "Comment=Ask an AI model about what you type, see and hear\n"
                                   "Exec=%1\n"
                                   "Icon=%2\n"
                                   "Terminal=false\n"
                                   "X-GNOME-Autostart-enabled=true\n")
                        .arg(execArgument(executable), pindleAppId)
                        .toUtf8());
        if (entry.commit())
            return true;
    }
    error = QStringLiteral("Pindle could not write %1: %2").arg(entryPath(), entry.errorString());
    return false;
}
