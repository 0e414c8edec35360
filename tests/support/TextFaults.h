#pragma once

#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

// What a window's texts get wrong in a language longer than English.

namespace TextFaults {

struct Shown {
    QQuickItem *item;
    QString text;
    QRectF painted; // in the window
};

inline void collect(QQuickItem *item, QList<Shown> &out) {
    if (!item->isVisible() || item->opacity() <= 0)
        return;
    const QString text = item->property("text").toString();
    if (item->inherits("QQuickText") && !text.trimmed().isEmpty()) {
        // Where the glyphs are drawn: the text's own size, placed as it is aligned in its box.
        const qreal width = item->property("contentWidth").toReal();
        const qreal height = item->property("contentHeight").toReal();
        const int align = item->property("effectiveHorizontalAlignment").toInt();
        const int valign = item->property("verticalAlignment").toInt();
        const qreal x = align & Qt::AlignRight     ? item->width() - width
                        : align & Qt::AlignHCenter ? (item->width() - width) / 2
                                                   : 0;
        const qreal y = valign & Qt::AlignBottom    ? item->height() - height
                        : valign & Qt::AlignVCenter ? (item->height() - height) / 2
                                                    : 0;
        out.append({item, text, item->mapRectToScene(QRectF(x, y, width, height))});
    }
    for (QQuickItem *child : item->childItems())
        collect(child, out);
}

inline QString describe(const Shown &shown) {
    const QString name = shown.item->objectName().isEmpty()
                             ? QString::fromLatin1(shown.item->metaObject()->className())
                             : shown.item->objectName();
    return QStringLiteral("%1 \"%2\"").arg(name, shown.text.left(60));
}

/// The faults of what `window` shows: a text cut short or wider than its box, one running past
/// the window's sides, two drawn over each other, and (with `marked`) a sentence that did not go
/// through the translator (made-up translations wrap every text in brackets). Texts whose
/// object name is in `data` are the user's or the server's, not the program's.
inline QStringList of(QQuickWindow *window, bool marked, const QStringList &data = {}) {
    QList<Shown> shown;
    collect(window->contentItem(), shown);
    QStringList faults;
    for (const Shown &one : std::as_const(shown)) {
        if (one.item->property("truncated").toBool())
            faults << describe(one) + QStringLiteral(" is cut short");
        else if (one.item->property("wrapMode").toInt() == 0 &&
                 one.painted.width() > one.item->width() + 1)
            faults << describe(one) + QStringLiteral(" is wider than its place");
        if (one.painted.left() < -1 || one.painted.right() > window->width() + 1)
            faults << describe(one) + QStringLiteral(" runs past the window's side");
        if (marked && !data.contains(one.item->objectName()) && one.text.contains(u' ') &&
            !one.text.contains(u'['))
            faults << describe(one) + QStringLiteral(" is not translated");
    }
    for (qsizetype i = 0; i < shown.size(); ++i)
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            const QRectF both = shown[i].painted.intersected(shown[j].painted);
            if (both.width() > 1 && both.height() > 1)
                faults << describe(shown[i]) + QStringLiteral(" overlaps ") + describe(shown[j]);
        }
    return faults;
}

} // namespace TextFaults
