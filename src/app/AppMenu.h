#pragma once

#include "models/MenuModel.h"
#include "platform/TrayIcon.h"

#include <QKeySequence>
#include <QObject>

#include <functional>
#include <vector>

/// The application's one menu. The tray icon shows it (`trayItems()`); where no tray can, the
/// overlay's header offers the same items through `model()`. Titles may change (they name the
/// current shortcuts): `retitle()`.
class AppMenu final : public QObject {
    Q_OBJECT

public:
    using Title = std::function<QString()>;

    explicit AppMenu(QObject *parent = nullptr);

    void addItem(Title title, std::function<void()> action, QKeySequence shortcut = {});
    void addSeparator();
    /// Asks every title again, and tells the tray and the header.
    void retitle();

    [[nodiscard]] const QList<TrayIcon::Item> &trayItems() const { return m_published; }
    [[nodiscard]] MenuModel &model() { return m_model; }
    [[nodiscard]] bool inHeader() const { return m_model.inHeader(); }
    void setInHeader(bool inHeader) { m_model.setInHeader(inHeader); }

    /// Runs the item at `index` of the items.
    void trigger(int index);

Q_SIGNALS:
    /// The items or their titles changed.
    void changed();
    /// The item at `index` was run.
    void triggered(int index);

private:
    struct Item {
        Title title; // none for a separator
        std::function<void()> action;
        QKeySequence shortcut;
    };
    std::vector<Item> m_items;
    QList<TrayIcon::Item> m_published;
    MenuModel m_model;
};
