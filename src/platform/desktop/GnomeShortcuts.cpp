#include "platform/desktop/GnomeShortcuts.h"

#include <QCoreApplication>
#include <QFileInfo>
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

// The strings of a GVariant value in its text form: ['<Alt>space', '<Super>s'], '<Alt>F2', or
// "Bob's term" (double quotes around a string that holds a single one).
QStringList quotedStrings(QStringView value) {
    static const QRegularExpression quoted(
        QStringLiteral(R"re('((?:[^'\\]|\\.)*)'|"((?:[^"\\]|\\.)*)")re"));
    static const QRegularExpression escape(QStringLiteral(R"(\\(.))"));
    QStringList strings;
    for (const QRegularExpressionMatch &match : quoted.globalMatch(value.toString())) {
        QString text = match.captured(1).isNull() ? match.captured(2) : match.captured(1);
        strings.append(text.replace(escape, QStringLiteral("\\1")));
    }
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

// A string in GVariant's text form, as gsettings reads its values.
QString quoted(QString text) {
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + text + u'\'';
}

// Where Pindle's own custom shortcut with this id lives.
QString pindlePath(const QString &id) {
    return QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                          "pindle-%1/")
        .arg(id);
}

// Runs gsettings; throws with what it said when it fails.
QCoro::Task<QByteArray> gsettings(QStringList arguments) {
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("gsettings"), arguments);
    if (!co_await qCoro(process.get()).waitForStarted())
        throw PlatformError(
            //: gsettings is a program's name; %1 is the system's explanation
            QCoreApplication::translate("GnomeShortcuts", "gsettings could not be started: %1")
                .arg(process->errorString()));
    if (!co_await qCoro(process.get()).waitForFinished() || process->exitCode() != 0)
        throw PlatformError(
            //: gsettings is a program's name; %1 is what it printed (untranslated)
            QCoreApplication::translate("GnomeShortcuts", "gsettings failed: %1")
                .arg(QString::fromLocal8Bit(process->readAllStandardError()).trimmed()));
    co_return process->readAllStandardOutput();
}

} // namespace

QCoro::Task<> GnomeShortcuts::addCustomShortcuts(QList<CustomShortcut> shortcuts) {
    // (Argument lists are built before each co_await: GCC 12 miscompiles braced lists in one.)
    const QString listKey = QStringLiteral("custom-keybindings");
    QStringList arguments{QStringLiteral("get"), mediaKeys, listKey};
    QStringList paths = quotedStrings(QString::fromUtf8(co_await gsettings(arguments)));
    for (const CustomShortcut &shortcut : shortcuts) {
        const QString path = pindlePath(shortcut.id);
        const QString schema = customSchema + u':' + path;
        const std::pair<QString, QString> values[] = {
            {QStringLiteral("name"), shortcut.name},
            {QStringLiteral("command"), shortcut.command},
            {QStringLiteral("binding"), shortcut.combination.toAccelerator()}};
        for (const auto &[key, value] : values) {
            arguments = QStringList{QStringLiteral("set"), schema, key, quoted(value)};
            co_await gsettings(arguments);
        }
        if (!paths.contains(path))
            paths.append(path);
    }
    QStringList list;
    for (const QString &path : std::as_const(paths))
        list.append(quoted(path));
    // Listed last, once each shortcut is complete, so GNOME never sees half of one.
    arguments = QStringList{QStringLiteral("set"), mediaKeys, listKey,
                            u'[' + list.join(QStringLiteral(", ")) + u']'};
    co_await gsettings(arguments);
}

GnomeShortcuts::GnomeShortcuts(QObject *parent)
    : DesktopShortcuts(parent) {
    // dconf replaces its database file on every write, so the folder is what changes.
    const QString dconf =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/dconf";
    if (QFileInfo(dconf).isDir())
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
    const QString ours = pindlePath(QString()).chopped(1); // ".../pindle-"
    for (const QString &path : custom) {
        QList<Binding> bindings =
            parseCustomShortcut(co_await listRecursively(customSchema + u':' + path));
        if (path.startsWith(ours) && path.endsWith(u'/'))
            for (Binding &binding : bindings)
                binding.pindleId = path.sliced(ours.size(), path.size() - ours.size() - 1);
        found += bindings;
    }
    co_return found;
}

namespace {

// "schema key value" lines, as gsettings lists them.
template <typename Visit> void forEachSetting(const QByteArray &listing, Visit visit) {
    for (const QString &line : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype keyStart = line.indexOf(u' ') + 1;
        const qsizetype valueStart = line.indexOf(u' ', keyStart) + 1;
        if (keyStart > 0 && valueStart > keyStart)
            visit(QStringView(line).mid(keyStart, valueStart - keyStart - 1),
                  QStringView(line).mid(valueStart));
    }
}

void addBindings(QList<DesktopShortcuts::Binding> &found, const QStringList &accelerators,
                 const QString &action) {
    for (const QString &accelerator : accelerators)
        if (const std::optional<KeyCombination> combination =
                KeyCombination::fromAccelerator(accelerator))
            found.append({*combination, QStringLiteral("GNOME"), action});
}

} // namespace

QList<DesktopShortcuts::Binding> GnomeShortcuts::parseListing(const QByteArray &listing) {
    QList<Binding> found;
    forEachSetting(listing, [&found](QStringView key, QStringView value) {
        addBindings(found, quotedStrings(value), readable(key));
    });
    return found;
}

QList<DesktopShortcuts::Binding> GnomeShortcuts::parseCustomShortcut(const QByteArray &listing) {
    QStringList accelerators;
    QString name;
    forEachSetting(listing, [&](QStringView key, QStringView value) {
        if (key == u"binding")
            accelerators = quotedStrings(value);
        else if (key == u"name")
            name = quotedStrings(value).value(0);
    });
    QList<Binding> found;
    addBindings(found, accelerators, name);
    return found;
}

QStringList GnomeShortcuts::customShortcutPaths(const QByteArray &listing) {
    for (const QString &line : QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts))
        if (line.startsWith(mediaKeys + u" custom-keybindings "))
            return quotedStrings(line);
    return {};
}
