#include "services/StartAtLogin.h"

#include "core/AppId.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace {

// The Exec key's quoting, as the desktop entry format defines it: a path with anything but plain
// characters goes in double quotes with the four reserved ones escaped, every backslash is escaped
// once more by the file's string rules, and a percent sign is doubled so that it is not taken for
// a field code. None where the path cannot be written there at all (a line break ends the line).
std::optional<QString> execArgument(const QString &path) {
    if (std::any_of(path.cbegin(), path.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+%");
    QString argument = path;
    if (!std::all_of(path.cbegin(), path.cend(), [](QChar c) { return plain.contains(c); })) {
        for (const QChar reserved : {u'\\', u'"', u'`', u'$'})
            argument.replace(reserved, QString(u'\\') + reserved);
        argument = u'"' + argument.replace(u'\\', QStringLiteral("\\\\")) + u'"';
    }
    return argument.replace(u'%', QStringLiteral("%%"));
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
        //: %1 is the login entry's path, %2 the system's description of the failure
        error = QCoreApplication::translate("StartAtLogin", "Pindle could not remove %1: %2")
                    .arg(entryPath(), entry.errorString());
        return false;
    }
    if (!QDir().mkpath(m_directory)) {
        //: %1 is a folder's path
        error =
            QCoreApplication::translate("StartAtLogin", "Pindle could not create the folder %1.")
                .arg(m_directory);
        return false;
    }
    const std::optional<QString> exec = execArgument(executable);
    if (!exec) {
        //: %1 is the path of Pindle's program file
        error =
            QCoreApplication::translate(
                "StartAtLogin", "Pindle cannot start at login from %1: a login entry cannot hold a "
                                "path with a line break or another control character. Move Pindle "
                                "to another folder.")
                .arg(executable);
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
                        .arg(*exec, pindleAppId)
                        .toUtf8());
        if (entry.commit())
            return true;
    }
    //: %1 is the login entry's path, %2 the system's description of the failure
    error = QCoreApplication::translate("StartAtLogin", "Pindle could not write %1: %2")
                .arg(entryPath(), entry.errorString());
    return false;
}
