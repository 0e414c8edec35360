#pragma once

#include <QKeySequence>
#include <QMenu>
#include <QObject>
#include <QVariantList>

#include <functional>
#include <vector>

/// The application's one menu. The tray icon shows it; where no tray can, the overlay's header
/// offers the same items. Titles may change (they name the current shortcuts): `retitle()`.
class AppMenu final : public QObject {
    Q_OBJECT
    /// [{text, separator}] in menu order, for the overlay's header.
    Q_PROPERTY(QVariantList items READ items NOTIFY itemsChanged FINAL)
    /// Whether the overlay's header carries the menu, because no tray shows it.
    Q_PROPERTY(bool inHeader READ inHeader NOTIFY inHeaderChanged FINAL)

public:
    using Title = std::function<QString()>;

    explicit AppMenu(QObject *parent = nullptr);

    QAction *addItem(Title title, std::function<void()> action);
    void addSeparator();
    /// Asks every title again.
    void retitle();

    [[nodiscard]] QMenu &menu() { return m_menu; }
    [[nodiscard]] QVariantList items() const;
    [[nodiscard]] bool inHeader() const { return m_inHeader; }
    void setInHeader(bool inHeader);

    /// Runs the item at `index` of `items`.
    Q_INVOKABLE void trigger(int index);

Q_SIGNALS:
    void itemsChanged();
    void inHeaderChanged();

private:
    struct Item {
        Title title; // none for a separator
        QAction *action;
    };
    QMenu m_menu;
    std::vector<Item> m_items;
    bool m_inHeader = false;
};
