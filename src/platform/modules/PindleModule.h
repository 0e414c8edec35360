#pragma once

#include <QFunctionPointer>
#include <QString>

/// Pindle's own modules: code whose libraries are mapped only once a feature needs them. A
/// module is looked for beside the executable (a build tree), then in the library folder of the
/// installation the executable belongs to, then at a fallback path. A loaded module stays loaded.
struct PindleModule {
    /// The function `entryPoint` exported by module `fileName`. Null when it is not installed, or
    /// with `problem` telling why it could not be loaded.
    static QFunctionPointer resolve(const char *fileName, const char *entryPoint,
                                    const QString &fallbackPath, QString &problem);
    /// Where the build put `fileName`, for programs of that build only: an installed Pindle never
    /// loads code from a folder someone else may write to. Empty elsewhere.
    static QString buildTreePath(const char *fileName);
};
