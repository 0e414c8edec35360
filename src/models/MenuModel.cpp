#include "models/MenuModel.h"

void MenuModel::setItems(const QVariantList &items) {
    if (m_items == items)
        return;
    m_items = items;
    Q_EMIT itemsChanged();
}

void MenuModel::setInHeader(bool inHeader) {
    if (m_inHeader == inHeader)
        return;
    m_inHeader = inHeader;
    Q_EMIT inHeaderChanged();
}
