#pragma once

#include <QColor>
#include <QJSValue>
#include <QLineF>
#include <QQmlListReference>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

#include <algorithm>
#include <cmath>

// What a window's texts get wrong: in a language longer than English, and in their colours.

namespace TextFaults {

struct Shown {
    QQuickItem *item;
    QString text;
    QRectF painted; // in the window
};

inline bool editable(const QQuickItem *item) {
    return item->inherits("QQuickTextInput") || item->inherits("QQuickTextEdit");
}

// The texts drawn (with `withEditable`, also what fields and text areas hold).
inline void collect(QQuickItem *item, QList<Shown> &out, bool withEditable = false) {
    if (!item->isVisible() || item->opacity() <= 0)
        return;
    const QString text = item->property("text").toString();
    if ((item->inherits("QQuickText") || (withEditable && editable(item))) &&
        !text.trimmed().isEmpty()) {
        // Where the glyphs are drawn: the text's own size, placed as it is aligned in its box
        // inside the padding.
        const qreal left = item->property("leftPadding").toReal();
        const qreal top = item->property("topPadding").toReal();
        const qreal roomX = item->width() - left - item->property("rightPadding").toReal();
        const qreal roomY = item->height() - top - item->property("bottomPadding").toReal();
        const qreal width = item->property("contentWidth").toReal();
        const qreal height = item->property("contentHeight").toReal();
        const int align = item->property("effectiveHorizontalAlignment").toInt();
        const int valign = item->property("verticalAlignment").toInt();
        const qreal x = align & Qt::AlignRight     ? roomX - width
                        : align & Qt::AlignHCenter ? (roomX - width) / 2
                                                   : 0;
        const qreal y = valign & Qt::AlignBottom    ? roomY - height
                        : valign & Qt::AlignVCenter ? (roomY - height) / 2
                                                    : 0;
        out.append({item, text, item->mapRectToScene(QRectF(left + x, top + y, width, height))});
    }
    for (QQuickItem *child : item->childItems())
        collect(child, out, withEditable);
}

inline QString describe(const Shown &shown) {
    const QString name = shown.item->objectName().isEmpty()
                             ? QString::fromLatin1(shown.item->metaObject()->className())
                             : shown.item->objectName();
    return QStringLiteral("%1 \"%2\"").arg(name, shown.text.left(60));
}

/// WCAG 2's contrast ratio of two opaque colours, from 1 to 21.
inline double contrast(const QColor &one, const QColor &other) {
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// `colour` at `opacity` drawn over `beneath`, blended as the scene graph blends.
inline QColor over(const QColor &beneath, const QColor &colour, qreal opacity) {
    const double a = colour.alphaF() * opacity;
    const auto mix = [a](double top, double bottom) { return top * a + bottom * (1 - a); };
    return QColor::fromRgbF(float(mix(colour.redF(), beneath.redF())),
                            float(mix(colour.greenF(), beneath.greenF())),
                            float(mix(colour.blueF(), beneath.blueF())));
}

// What a Rectangle paints at `at` (its own coordinates): its gradient or colour, nothing outside
// its rounded corners. (Borders are left out: no text is read on its box's edge.)
inline QColor rectangleColour(const QQuickItem *rectangle, QPointF at) {
    const qreal w = rectangle->width();
    const qreal h = rectangle->height();
    const qreal radius = std::min({rectangle->property("radius").toReal(), w / 2, h / 2});
    const QPointF corner(std::clamp(at.x(), radius, w - radius),
                         std::clamp(at.y(), radius, h - radius));
    if (QLineF(corner, at).length() > radius)
        return Qt::transparent;
    if (QObject *gradient = rectangle->property("gradient").value<QJSValue>().toQObject()) {
        const bool across = gradient->property("orientation").toInt() == Qt::Horizontal;
        const qreal t = across ? at.x() / w : at.y() / h;
        QList<std::pair<qreal, QColor>> stops;
        const QQmlListReference list(gradient, "stops");
        for (qsizetype i = 0; i < list.count(); ++i)
            stops.append({list.at(i)->property("position").toReal(),
                          list.at(i)->property("color").value<QColor>()});
        std::sort(stops.begin(), stops.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        if (!stops.isEmpty()) {
            if (t <= stops.first().first)
                return stops.first().second;
            for (qsizetype i = 1; i < stops.size(); ++i)
                if (t <= stops[i].first) {
                    const auto [from, start] = stops[i - 1];
                    const auto [to, end] = stops[i];
                    const qreal f = to > from ? (t - from) / (to - from) : 1;
                    const auto mix = [f](float a, float b) { return a + (b - a) * float(f); };
                    return QColor::fromRgbF(
                        mix(start.redF(), end.redF()), mix(start.greenF(), end.greenF()),
                        mix(start.blueF(), end.blueF()), mix(start.alphaF(), end.alphaF()));
                }
            return stops.last().second;
        }
    }
    return rectangle->property("color").value<QColor>();
}

// Paints onto `seen` what `item` and the items in it draw at `at` (window coordinates), in the
// scene graph's order (children below zero under their parent, the rest by z above it), until
// `text` is reached: true then. What paints there that is neither a Rectangle nor a text
// (an image, a shape) goes into `unknown`, as the check cannot tell its colour.
inline bool paintBeneath(QQuickItem *item, QPointF at, qreal opacity, const QQuickItem *text,
                         QColor &seen, QStringList &unknown) {
    opacity *= item->opacity();
    if (!item->isVisible() || opacity <= 0)
        return false;
    const QPointF local = item->mapFromScene(at);
    const bool inside = item->boundingRect().contains(local);
    if (item->clip() && !inside)
        return false;
    QList<QQuickItem *> children = item->childItems();
    std::stable_sort(children.begin(), children.end(),
                     [](const QQuickItem *a, const QQuickItem *b) { return a->z() < b->z(); });
    auto child = children.cbegin();
    for (; child != children.cend() && (*child)->z() < 0; ++child)
        if (paintBeneath(*child, at, opacity, text, seen, unknown))
            return true;
    if (item == text)
        return true;
    if (inside && item->inherits("QQuickRectangle"))
        seen = over(seen, rectangleColour(item, local), opacity);
    else if (inside && item->flags().testFlag(QQuickItem::ItemHasContents) &&
             !item->inherits("QQuickText") && !editable(item))
        unknown << QString::fromLatin1(item->metaObject()->className());
    for (; child != children.cend(); ++child)
        if (paintBeneath(*child, at, opacity, text, seen, unknown))
            return true;
    return false;
}

/// The texts of `window` that do not reach WCAG's 4.5:1 against what is drawn behind them, with
/// the window over `backdrop` (what a translucent window shows through). Each text is read at
/// three points along its middle, where it is not clipped away. Texts of disabled controls are
/// left out, as WCAG leaves them.
inline QStringList unreadable(QQuickWindow *window, const QColor &backdrop) {
    QList<Shown> shown;
    collect(window->contentItem(), shown, true);
    QStringList faults;
    for (const Shown &one : std::as_const(shown)) {
        if (!one.item->isEnabled())
            continue;
        qreal opacity = 1;
        for (const QQuickItem *item = one.item; item; item = item->parentItem())
            opacity *= item->opacity();
        const QColor colour = one.item->property("color").value<QColor>();
        for (const qreal along : {0.25, 0.5, 0.75}) {
            const QPointF at(one.painted.left() + one.painted.width() * along,
                             one.painted.center().y());
            bool hidden = !QRectF(QPointF(), window->size()).contains(at);
            for (const QQuickItem *item = one.item->parentItem(); item && !hidden;
                 item = item->parentItem())
                hidden = item->clip() && !item->boundingRect().contains(item->mapFromScene(at));
            if (hidden)
                continue;
            QColor seen = over(backdrop, window->color(), 1);
            QStringList unknown;
            paintBeneath(window->contentItem(), at, 1, one.item, seen, unknown);
            const double ratio = contrast(over(seen, colour, opacity), seen);
            if (!unknown.isEmpty())
                faults << describe(one) + QStringLiteral(" is drawn over ") + unknown.join(u", ");
            else if (ratio < 4.5)
                faults << describe(one) + QStringLiteral(" reads at %1:1 (%2 at %3 on %4 over %5)")
                                              .arg(ratio, 0, 'f', 2)
                                              .arg(colour.name(QColor::HexArgb))
                                              .arg(opacity)
                                              .arg(seen.name(), backdrop.name());
            if (!unknown.isEmpty() || ratio < 4.5)
                break;
        }
    }
    return faults;
}

/// The faults of what `window` shows: a text cut short or wider than its box, one running past
/// the window's sides, two drawn over each other, one that does not read over a white or a black
/// desktop (`unreadable`), and (with `marked`) a sentence that did not go through the translator
/// (made-up translations wrap every text in brackets). Texts whose object name is in `data` are
/// the user's or the server's, not the program's.
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
    for (const QColor backdrop : {QColor(Qt::white), QColor(Qt::black)})
        faults << unreadable(window, backdrop);
    return faults;
}

} // namespace TextFaults
