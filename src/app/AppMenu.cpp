#include "app/AppMenu.h"

#include <QVariantMap>

AppMenu::AppMenu(QObject *parent)
    : QObject(parent) {
    connect(&m_model, &MenuModel::triggered, this, &AppMenu::trigger);
}

QAction *AppMenu::addItem(Title title, std::function<void()> action) {
    QAction *item = m_menu.addAction(title());
    connect(item, &QAction::triggered, this, std::move(action));
    m_items.push_back({std::move(title), item});
    publish();
    return item;
}

void AppMenu::addSeparator() {
    m_items.push_back({{}, m_menu.addSeparator()});
    publish();
}

void AppMenu::retitle() {
    for (const Item &item : m_items)
        if (item.title)
            item.action->setText(item.title());
    publish();
}

void AppMenu::publish() {
    QVariantList items;
    for (const Item &item : m_items)
        items.append(QVariantMap{{QStringLiteral("text"), item.action->text()},
                                 {QStringLiteral("separator"), item.action->isSeparator()}});
    m_model.setItems(items);
}

void AppMenu::trigger(int index) {
    if (index >= 0 && index < int(m_items.size()) &&
        !m_items[std::size_t(index)].action->isSeparator())
        m_items[std::size_t(index)].action->trigger();
}
