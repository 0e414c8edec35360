#pragma once

#include "models/MessageListModel.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

/// Keeps a message list at its end until the user scrolls away: a new row glides into view and
/// a growing last row stays pinned to the bottom. Rows settle their heights after layout, so the
/// list is brought to its end again after every change of layout while it follows; changes
/// within one turn of the event loop are settled once.
///
/// It watches the list's model for rows and their text; the view reports layout changes and the
/// user's scrolling, and moves where it is told (`glideToEnd`, `jumpToEnd`).
class ListEndFollower : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(MessageListModel *model READ model WRITE setModel NOTIFY modelChanged FINAL)
    /// The list's row count.
    Q_PROPERTY(int count READ count WRITE setCount NOTIFY countChanged FINAL)
    Q_PROPERTY(bool following READ following NOTIFY followingChanged FINAL)

public:
    explicit ListEndFollower(QObject *parent = nullptr);

    [[nodiscard]] MessageListModel *model() const { return m_model; }
    void setModel(MessageListModel *model);
    [[nodiscard]] int count() const { return m_count; }
    void setCount(int count);
    [[nodiscard]] bool following() const { return m_following; }

    /// The user scrolled, or grabbed the scroll bar: the list stays where they take it.
    Q_INVOKABLE void userScrolled();
    /// The content or the view changed size.
    Q_INVOKABLE void layoutChanged();
    /// The text of `row` changed.
    Q_INVOKABLE void rowChanged(int row);
    /// The glide ended; rows may have grown while it ran.
    Q_INVOKABLE void glideFinished();

Q_SIGNALS:
    void modelChanged();
    void countChanged();
    void followingChanged();
    /// Animate to the end (a new row).
    void glideToEnd();
    /// Be at the end at once, unless a glide is under way.
    void jumpToEnd();

private:
    void setFollowing(bool following);
    void settle();

    QPointer<MessageListModel> m_model;
    int m_count = 0;
    bool m_following = false;
    bool m_glidePending = false;
    bool m_gliding = false;
    QTimer m_settle;
};
