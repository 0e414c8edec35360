#include "platform/desktop/KdeShortcuts.h"

#include "core/AppId.h"
#include "platform/desktop/PortalGlobalHotkeys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStandardPaths>

#include <QCoroDBusPendingCall>

namespace {

const QString service = QStringLiteral("org.kde.kglobalaccel");

QCoro::Task<QDBusMessage> call(QString path, QString interface, QString method) {
    const QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    co_return co_await QDBusConnection::sessionBus().asyncCall(message);
}

// a(ssssssaiai): unique name, friendly name, component unique and friendly names, context unique
// and friendly names, keys, default keys.
QList<KdeShortcuts::Entry> readInfos(const QDBusArgument &argument) {
    QList<KdeShortcuts::Entry> entries;
    argument.beginArray();
    while (!argument.atEnd()) {
        QString uniqueName, friendlyName, componentUnique, componentFriendly, context, contextName;
        QList<int> keys, defaults;
        argument.beginStructure();
        argument >> uniqueName >> friendlyName >> componentUnique >> componentFriendly >> context >>
            contextName >> keys >> defaults;
        argument.endStructure();
        // Pindle's own, bound through the desktop portal (named by its session, as "token_" and
        // its session where the portal does not know the application, or by the application id),
        // hold nothing against Pindle.
        if (componentUnique == PortalGlobalHotkeys::sessionToken ||
            componentUnique == QStringLiteral("token_") + PortalGlobalHotkeys::sessionToken ||
            componentUnique == pindleAppId)
            continue;
        entries.append(
            {componentFriendly, friendlyName.isEmpty() ? uniqueName : friendlyName, keys});
    }
    argument.endArray();
    return entries;
}

} // namespace

KdeShortcuts::KdeShortcuts(QObject *parent)
    : DesktopShortcuts(parent) {
    // The file is replaced on every save, so its folder is what changes; other programs'
    // settings live there too.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString saved = folder + u"/kglobalshortcutsrc";
    m_saved = QFileInfo(saved).lastModified();
    m_config.addPath(folder);
    connect(&m_config, &QFileSystemWatcher::directoryChanged, this, [this, saved] {
        const QDateTime modified = QFileInfo(saved).lastModified();
        if (modified == m_saved)
            return;
        m_saved = modified;
        Q_EMIT changed();
    });
}

QCoro::Task<QList<DesktopShortcuts::Binding>> KdeShortcuts::bindings() {
    const QDBusMessage components =
        co_await call(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                      QStringLiteral("allComponents"));
    if (components.type() != QDBusMessage::ReplyMessage || components.arguments().isEmpty())
        co_return {}; // no kglobalaccel in this session
    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(components.arguments().constFirst());
    QList<Entry> entries;
    for (const QDBusObjectPath &path : paths) {
        const QDBusMessage infos =
            co_await call(path.path(), QStringLiteral("org.kde.kglobalaccel.Component"),
                          QStringLiteral("allShortcutInfos"));
        if (infos.type() == QDBusMessage::ReplyMessage && !infos.arguments().isEmpty())
            entries += readInfos(infos.arguments().constFirst().value<QDBusArgument>());
    }
    co_return toBindings(entries);
}

QList<DesktopShortcuts::Binding> KdeShortcuts::toBindings(const QList<Entry> &entries) {
    QList<Binding> found;
    for (const Entry &entry : entries)
        for (const int key : entry.keys)
            if (const std::optional<KeyCombination> combination =
                    KeyCombination::fromQtKeyCode(key))
                found.append({*combination, entry.component, entry.action});
    return found;
}
