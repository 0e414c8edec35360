#include "app/QuickBackend.h"

#include <QDir>
#include <QQuickWindow>

void chooseQuickBackend() {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") ||
        qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return;
    // No GPU render node means OpenGL would be Mesa's CPU rasteriser. Asking OpenGL itself would
    // load that rasteriser (some 50 MiB) only to learn it is not wanted.
    const QStringList renderNodes =
        QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System);
    if (renderNodes.isEmpty())
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}
