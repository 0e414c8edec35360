#pragma once

#include "models/MenuModel.h"

#include <QKeySequence>
#include <QMenu>
#include <QObject>

#include <functional>
#include <vector>

/// The application's one menu. The tray icon shows it; where no tray can, the overlay's header
/// offers the same items through `model()`. Titles may change (they name the current shortcuts):
/// `retitle()`.
class AppMenu final : public QObject {
    Q_OBJECT

public:
    using Title = std::function<QString()>;

    explicit AppMenu(QObject *parent = nullptr);

    QAction *addItem(Title title, std::function<void()> action);
    void addSeparator();
    /// Asks every title again.
    void retitle();

    [[nodiscard]] QMenu &menu() { return m_menu; }
    [[nodiscard]] MenuModel &model() { return m_model; }
    [[nodiscard]] bool inHeader() const { return m_model.inHeader(); }
    void setInHeader(bool inHeader) { m_model.setInHeader(inHeader); }

    /// Runs the item at `index` of the model's items.
    void trigger(int index);

private:
    void publish();

    struct Item {
        Title title; // none for a separator
        QAction *action;
    };
    QMenu m_menu;
    std::vector<Item> m_items;
    MenuModel m_model;
};
