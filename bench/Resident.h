#pragma once

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cctype>

/// This process's resident memory in MiB, as the kernel counts it.
inline double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

/// The resident MiB of this process's mappings of files whose path contains any of `parts`
/// (libraries, plugins), from /proc/self/smaps: what a module costs beyond its heap.
inline double residentInFilesMiB(const QStringList &parts) {
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return 0;
    double kib = 0;
    bool counted = false;
    for (const QByteArray &line : smaps.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        if (line.startsWith("Rss:")) {
            if (counted)
                kib += line.mid(4).trimmed().split(' ').first().toDouble();
        } else if (!std::isupper(static_cast<unsigned char>(line.at(0)))) {
            // A mapping's header, "start-end perms offset dev inode [path]"; fields are "Name:
            // ...".
            const qsizetype slash = line.indexOf('/');
            const QString path = slash < 0 ? QString() : QString::fromUtf8(line.mid(slash));
            counted = !path.isEmpty() && std::ranges::any_of(parts, [&](const QString &part) {
                return path.contains(part);
            });
        }
    }
    return kib / 1024;
}
