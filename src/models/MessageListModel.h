#pragma once

#include <QAbstractListModel>

class ChatViewModel;

/// The conversation as a list model for the overlay's message list. It follows the controller's
/// list change by change: an appended message is one inserted row, a streamed token a change of
/// that row's content alone, a cleared conversation a reset. The controller reports each change
/// after making it, so the model counts its own rows and never reads past what it has announced.
class MessageListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged FINAL)

public:
    enum Role {
        /// The message id as text, stable for the life of the message.
        IdRole = Qt::UserRole + 1,
        /// "user", "assistant" or "system".
        MessageRole,
        /// The text shown in the bubble, verbatim.
        ContentRole,
        /// Whether a screenshot is shown above the text.
        HasImageRole,
        /// Whether the user wrote it: shown on the right.
        FromUserRole,
        /// Whether the assistant wrote it (a system message is neither).
        FromAssistantRole,
    };
    Q_ENUM(Role)

    explicit MessageListModel(ChatViewModel &conversation, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;
    [[nodiscard]] int count() const { return m_count; }

Q_SIGNALS:
    void countChanged();

private:
    void insert(qsizetype row);
    void remove(qsizetype row);
    void reset();

    ChatViewModel &m_conversation;
    int m_count = 0;
};
