#include "platform/desktop/GnomeShortcuts.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <QCoroProcess>

#include <memory>
#include <vector>

namespace {

const QString mediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString customSchema = mediaKeys + QStringLiteral(".custom-keybinding");

// Where GNOME's window manager, shell and settings daemon keep their bindings.
const QStringList schemas{QStringLiteral("org.gnome.desktop.wm.keybindings"),
                          QStringLiteral("org.gnome.mutter.keybindings"),
                          QStringLiteral("org.gnome.shell.keybindings"), mediaKeys};

// The quoted strings of a GVariant value: ['<Alt>space', '<Super>s'], or '<Alt>F2'.
QStringList quotedStrings(QStringView value) {
    static const QRegularExpression quoted(QStringLiteral("'((?:[^'\\\\]|\\\\.)*)'"));
    QStringList strings;
    for (const QRegularExpressionMatch &match : quoted.globalMatch(value))
        strings.append(match.captured(1));
    return strings;
}

// "activate-window-menu" as "Activate window menu".
QString readable(QStringView key) {
    QString text = key.toString().replace(u'-', u' ');
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QCoro::Task<QByteArray> listRecursively(QString schema) {
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("gsettings"), {QStringLiteral("list-recursively"), schema});
    // A schema this GNOME does not have, or no gsettings at all: nothing to read.
    if (!co_await qCoro(process.get()).waitForStarted() ||
        !co_await qCoro(process.get()).waitForFinished() || process->exitCode() != 0)
        co_return QByteArray();
    co_return process->readAllStandardOutput();
}

} // namespace

GnomeShortcuts::GnomeShortcuts(QObject *parent)
    : DesktopShortcuts(parent) {
    // dconf replaces its database file on every write, so the folder is what changes.
    const QString dconf =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/dconf";
    QDir().mkpath(dconf);
    m_dconf.addPath(dconf);
    connect(&m_dconf, &QFileSystemWatcher::directoryChanged, this, &DesktopShortcuts::changed);
}

QCoro::Task<QList<DesktopShortcuts::Binding>> GnomeShortcuts::bindings() {
    std::vector<QCoro::Task<QByteArray>> listings; // all running at once
    for (const QString &schema : schemas)
        listings.push_back(listRecursively(schema));
    QList<Binding> found;
    QStringList custom;
    for (QCoro::Task<QByteArray> &listing : listings) {
        const QByteArray text = co_await listing;
        found += parseListing(text);
        custom += customShortcutPaths(text);
    }
    for (const QString &path : custom)
        found += parseListing(co_await listRecursively(customSchema + u':' + path));
    co_return found;
}

QList<DesktopShortcuts::Binding> GnomeShortcuts::parseListing(const QByteArray &listing) {
    QList<Binding> found;
    // A custom shortcut is spread over lines: its binding and its name, under one path.
    QHash<QString, std::pair<QStringList, QString>> custom;
    QStringList customOrder;
    for (const QString &line : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u' ');
        if (fields.size() < 3)
            continue;
        const QString &schema = fields[0];
        const QString &key = fields[1];
        const QStringView value = QStringView(line).mid(schema.size() + key.size() + 2);
        if (schema.startsWith(customSchema + u':')) {
            if (!custom.contains(schema))
                customOrder.append(schema);
            if (key == u"binding")
                custom[schema].first = quotedStrings(value);
            else if (key == u"name")
                custom[schema].second = quotedStrings(value).value(0);
            continue;
        }
        for (const QString &accelerator : quotedStrings(value))
            if (const std::optional<KeyCombination> combination =
                    KeyCombination::fromAccelerator(accelerator))
                found.append({*combination, QStringLiteral("GNOME"), readable(key)});
    }
    for (const QString &schema : customOrder) {
        const auto &[accelerators, name] = custom.value(schema);
        for (const QString &accelerator : accelerators)
            if (const std::optional<KeyCombination> combination =
                    KeyCombination::fromAccelerator(accelerator))
                found.append({*combination, QStringLiteral("GNOME"), name});
    }
    return found;
}

QStringList GnomeShortcuts::customShortcutPaths(const QByteArray &listing) {
    for (const QString &line : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts))
        if (line.startsWith(mediaKeys + u" custom-keybindings "))
            return quotedStrings(line);
    return {};
}
