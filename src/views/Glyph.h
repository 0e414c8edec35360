#pragma once

#include <QColor>
#include <QIcon>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

/// A monochrome icon: the icon theme's `name`, else the drawing at `source`, tinted with `color`
/// unless it is transparent, and drawn sharp at the window's pixel ratio. A few lines of C++
/// instead of Qt Quick Controls' IconImage, whose module brings the whole of Controls with it.
class Glyph : public QQuickPaintedItem { // not final: QML derives from what it makes
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged FINAL)
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged FINAL)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged FINAL)

public:
    explicit Glyph(QQuickItem *parent = nullptr);

    [[nodiscard]] QString name() const { return m_name; }
    void setName(const QString &name);
    [[nodiscard]] QUrl source() const { return m_source; }
    void setSource(const QUrl &source);
    [[nodiscard]] QColor color() const { return m_color; }
    void setColor(const QColor &color);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void nameChanged();
    void sourceChanged();
    void colorChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData &data) override;

private:
    void reload();

    QString m_name;
    QUrl m_source;
    QColor m_color = Qt::transparent;
    QIcon m_icon;
};
