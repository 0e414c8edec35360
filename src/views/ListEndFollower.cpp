#include "views/ListEndFollower.h"

ListEndFollower::ListEndFollower(QObject *parent)
    : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(0);
    connect(&m_settle, &QTimer::timeout, this, &ListEndFollower::settle);
}

void ListEndFollower::setModel(MessageListModel *model) {
    if (m_model == model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (model) {
        const auto recount = [this] { setCount(m_model ? m_model->rowCount() : 0); };
        connect(model, &QAbstractItemModel::rowsInserted, this, recount);
        connect(model, &QAbstractItemModel::rowsRemoved, this, recount);
        connect(model, &QAbstractItemModel::modelReset, this, recount);
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &, const QModelIndex &last) { rowChanged(last.row()); });
    }
    setCount(model ? model->rowCount() : 0);
    Q_EMIT modelChanged();
}

void ListEndFollower::setCount(int count) {
    if (m_count == count)
        return;
    m_count = count;
    Q_EMIT countChanged();
    if (count == 0) {
        setFollowing(false);
        m_glidePending = false;
        m_settle.stop();
    } else {
        m_glidePending = true;
        m_settle.start();
    }
}

void ListEndFollower::userScrolled() {
    setFollowing(false);
}

void ListEndFollower::layoutChanged() {
    if (m_following)
        m_settle.start();
}

void ListEndFollower::rowChanged(int row) {
    if (row == m_count - 1)
        m_settle.start();
}

void ListEndFollower::glideFinished() {
    m_gliding = false;
    if (m_following)
        Q_EMIT jumpToEnd();
}

void ListEndFollower::setFollowing(bool following) {
    if (m_following == following)
        return;
    m_following = following;
    Q_EMIT followingChanged();
}

void ListEndFollower::settle() {
    if (m_count == 0)
        return;
    setFollowing(true);
    if (std::exchange(m_glidePending, false)) {
        m_gliding = true;
        Q_EMIT glideToEnd();
    } else if (!m_gliding) {
        Q_EMIT jumpToEnd();
    }
}
