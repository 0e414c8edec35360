// What pindle-widgets.so exports: the application object Qt Widgets needs, and the tray icon
// made with them.
#include "platform/widgets/WidgetsTrayIcon.h"

#include <QApplication>

extern "C" Q_DECL_EXPORT QGuiApplication *pindleCreateWidgetsApplication(int &argc, char **argv) {
    return new QApplication(argc, argv);
}

extern "C" Q_DECL_EXPORT TrayIcon *pindleCreateWidgetsTrayIcon() {
    return new WidgetsTrayIcon;
}
