#pragma once

#include "X11Input.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuickTest/quicktest.h>

// Finding and clicking the items of a Qt Quick window on the virtual display.

/// The item called `name` among what `in` draws, popups and delegates included (they are not
/// always its QObject children).
inline QQuickItem *findItem(QQuickItem *in, const QString &name) {
    if (in->objectName() == name)
        return in;
    for (QQuickItem *child : in->childItems())
        if (QQuickItem *found = findItem(child, name))
            return found;
    return nullptr;
}

/// Clicks the middle of the item called `name` in `window` through the X server.
inline void clickItem(QQuickWindow *window, const QString &name) {
    QQuickItem *target = findItem(window->contentItem(), name);
    QVERIFY2(target, qPrintable(name));
    // A change just made (a row shown, a text longer) moves the item at the next polish: aim
    // where it will be when the click arrives.
    QVERIFY(QQuickTest::qWaitForPolish(window));
    const QPoint at = window->mapToGlobal(
        target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}
