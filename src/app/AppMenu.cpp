#include "app/AppMenu.h"

#include <QVariantMap>

AppMenu::AppMenu(QObject *parent)
    : QObject(parent) {
    connect(&m_model, &MenuModel::triggered, this, &AppMenu::trigger);
}

void AppMenu::addItem(Title title, std::function<void()> action, QKeySequence shortcut) {
    m_items.push_back({std::move(title), std::move(action), std::move(shortcut)});
    retitle();
}

void AppMenu::addSeparator() {
    m_items.push_back({});
    retitle();
}

void AppMenu::retitle() {
    m_published.clear();
    QVariantList items;
    for (const Item &item : m_items) {
        const QString text = item.title ? item.title() : QString();
        m_published.append({text, !item.title, item.shortcut});
        items.append(QVariantMap{{QStringLiteral("text"), text},
                                 {QStringLiteral("separator"), !item.title}});
    }
    m_model.setItems(items);
    Q_EMIT changed();
}

void AppMenu::trigger(int index) {
    if (index < 0 || index >= int(m_items.size()) || !m_items[std::size_t(index)].title)
        return;
    Q_EMIT triggered(index);
    m_items[std::size_t(index)].action();
}
