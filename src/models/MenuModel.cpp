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

int MenuModel::step(int from, int by) const {
    const auto count = int(m_items.size());
    if (count == 0 || by == 0)
        return -1;
    int at = from >= 0 && from < count ? from : by > 0 ? -1 : count;
    for (int tried = 0; tried < count; ++tried) {
        at = ((at + by) % count + count) % count;
        if (!m_items.at(at).toMap().value(QStringLiteral("separator")).toBool())
            return at;
    }
    return -1;
}
