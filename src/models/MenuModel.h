#pragma once

#include <QObject>
#include <QVariantList>

/// The application's menu as the overlay's header offers it where no tray shows it.
class MenuModel : public QObject {
    Q_OBJECT
    /// [{text, separator}] in menu order.
    Q_PROPERTY(QVariantList items READ items NOTIFY itemsChanged FINAL)
    /// Whether the header carries the menu, because no tray shows it.
    Q_PROPERTY(bool inHeader READ inHeader NOTIFY inHeaderChanged FINAL)

public:
    using QObject::QObject;

    [[nodiscard]] QVariantList items() const { return m_items; }
    void setItems(const QVariantList &items);
    [[nodiscard]] bool inHeader() const { return m_inHeader; }
    void setInHeader(bool inHeader);

    /// Runs the item at `index` of `items`.
    Q_INVOKABLE void trigger(int index) { Q_EMIT triggered(index); }
    /// The item a key press moves to from `from` by `by` (1 down, -1 up), over the separators
    /// and round the ends; from -1 (none) to the first or the last. -1 when none can be chosen.
    [[nodiscard]] Q_INVOKABLE int step(int from, int by) const;

Q_SIGNALS:
    void itemsChanged();
    void inHeaderChanged();
    void triggered(int index);

private:
    QVariantList m_items;
    bool m_inHeader = false;
};
