#include "models/MessageListModel.h"

#include "models/ChatViewModel.h"

MessageListModel::MessageListModel(ChatViewModel &conversation, QObject *parent)
    : QAbstractListModel(parent)
    , m_conversation(conversation)
    , m_count(int(conversation.messages().size())) {
    connect(&conversation, &ChatViewModel::messageAppended, this, &MessageListModel::insert);
    connect(&conversation, &ChatViewModel::messageRemoved, this, &MessageListModel::remove);
    connect(&conversation, &ChatViewModel::messagesCleared, this, &MessageListModel::reset);
    connect(&conversation, &ChatViewModel::messageContentChanged, this, [this](qsizetype row) {
        if (row >= 0 && row < m_count) {
            const QModelIndex changed = index(int(row));
            Q_EMIT dataChanged(changed, changed, {ContentRole});
        }
    });
}

int MessageListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_count;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const {
    const QList<ChatMessage> &messages = m_conversation.messages();
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        index.row() >= messages.size())
        return {};
    const ChatMessage &message = messages.at(index.row());
    switch (role) {
    case IdRole:
        return message.id.toString(QUuid::WithoutBraces);
    case MessageRole:
        return ChatMessage::roleName(message.role);
    case Qt::DisplayRole:
    case ContentRole:
        return message.content;
    case HasImageRole:
        return message.image != nullptr;
    case FromUserRole:
        return message.role == ChatMessage::Role::User;
    case FromAssistantRole:
        return message.role == ChatMessage::Role::Assistant;
    default:
        return {};
    }
}

QHash<int, QByteArray> MessageListModel::roleNames() const {
    return {{IdRole, "messageId"},      {MessageRole, "messageRole"},
            {ContentRole, "content"},   {HasImageRole, "hasImage"},
            {FromUserRole, "fromUser"}, {FromAssistantRole, "fromAssistant"}};
}

void MessageListModel::insert(qsizetype row) {
    // The controller only ever appends, but take the position it reports.
    const int at = int(qBound(qsizetype(0), row, qsizetype(m_count)));
    beginInsertRows({}, at, at);
    ++m_count;
    endInsertRows();
    Q_EMIT countChanged();
}

void MessageListModel::remove(qsizetype row) {
    if (row < 0 || row >= m_count)
        return;
    beginRemoveRows({}, int(row), int(row));
    --m_count;
    endRemoveRows();
    Q_EMIT countChanged();
}

void MessageListModel::reset() {
    beginResetModel();
    m_count = int(m_conversation.messages().size());
    endResetModel();
    Q_EMIT countChanged();
}
