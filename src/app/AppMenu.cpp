#include "app/AppMenu.h"

#include <QVariantMap>

AppMenu::AppMenu(QObject *parent)
    : QObject(parent) {}

QAction *AppMenu::addItem(Title title, std::function<void()> action) {
    QAction *item = m_menu.addAction(title());
    connect(item, &QAction::triggered, this, std::move(action));
    m_items.push_back({std::move(title), item});
    return item;
}

void AppMenu::addSeparator() {
    m_items.push_back({{}, m_menu.addSeparator()});
}

void AppMenu::retitle() {
    for (const Item &item : m_items)
        if (item.title)
            item.action->setText(item.title());
    Q_EMIT itemsChanged();
}

QVariantList AppMenu::items() const {
    QVariantList items;
    for (const Item &item : m_items)
        items.append(QVariantMap{{QStringLiteral("text"), item.action->text()},
                                 {QStringLiteral("separator"), item.action->isSeparator()}});
    return items;
}

void AppMenu::setInHeader(bool inHeader) {
    if (m_inHeader == inHeader)
        return;
    m_inHeader = inHeader;
    Q_EMIT inHeaderChanged();
}

void AppMenu::trigger(int index) {
    if (index >= 0 && index < int(m_items.size()) &&
        !m_items[std::size_t(index)].action->isSeparator())
        m_items[std::size_t(index)].action->trigger();
}
