#include "platform/modules/PindleModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#ifndef PINDLE_MODULE_DIR
#define PINDLE_MODULE_DIR "../lib/pindle"
#endif

namespace {

// Asked of the kernel: modules may be needed before the application object exists.
QString executableDir() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace

QFunctionPointer PindleModule::resolve(const char *fileName, const char *entryPoint,
                                       const QString &fallbackPath, QString &problem) {
    const QString name = QLatin1String(fileName);
    const QDir executable(executableDir());
    QStringList candidates{executable.filePath(name),
                           executable.filePath(QStringLiteral(PINDLE_MODULE_DIR "/") + name)};
    if (!fallbackPath.isEmpty())
        candidates.append(fallbackPath);
    QStringList problems;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!QFileInfo::exists(candidate))
            continue;
        QLibrary library(candidate);
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (const QFunctionPointer entry = library.resolve(entryPoint))
            return entry;
        problems.append(library.errorString());
    }
    problem = problems.join(QStringLiteral("; "));
    return nullptr;
}

QString PindleModule::buildTreePath(const char *fileName) {
#ifdef PINDLE_MODULE_BUILD_DIR
    if (executableDir().startsWith(QStringLiteral(PINDLE_BUILD_TREE "/")))
        return QStringLiteral(PINDLE_MODULE_BUILD_DIR "/") + QLatin1String(fileName);
#else
    Q_UNUSED(fileName);
#endif
    return {};
}
