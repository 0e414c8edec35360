#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

/// Says a short message to a screen reader without moving its focus: a finished answer, an error.
///
/// Qt 6.8 and later send it as an announcement on the accessibility bus, polite or assertive.
/// Earlier Qt has no announcements and drops alert events on their way to the bus; there the
/// message becomes `fallbackText`, which the view shows as the name of an alert item, and screen
/// readers read an alert's new name.
class Announcer : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString fallbackText READ fallbackText NOTIFY fallbackTextChanged FINAL)

public:
    explicit Announcer(QObject *parent = nullptr);

    [[nodiscard]] QString fallbackText() const { return m_fallbackText; }

    /// Announces `message` from `source`; an assertive message interrupts what is being read.
    Q_INVOKABLE void announce(QObject *source, const QString &message, bool assertive);

Q_SIGNALS:
    void fallbackTextChanged();

private:
    QString m_fallbackText;
};
