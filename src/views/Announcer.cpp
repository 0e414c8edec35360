#include "views/Announcer.h"

#include <QAccessible>
#include <QtGlobal>

Announcer::Announcer(QObject *parent)
    : QObject(parent) {}

void Announcer::announce(QObject *source, const QString &message, bool assertive) {
    if (message.isEmpty())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (source && QAccessible::isActive()) {
        QAccessibleAnnouncementEvent event(source, message);
        event.setPoliteness(assertive ? QAccessible::AnnouncementPoliteness::Assertive
                                      : QAccessible::AnnouncementPoliteness::Polite);
        QAccessible::updateAccessibility(&event);
    }
#else
    Q_UNUSED(source)
    Q_UNUSED(assertive)
    // The same message twice is a change of name twice: cleared first, it is read again.
    if (m_fallbackText == message) {
        m_fallbackText.clear();
        Q_EMIT fallbackTextChanged();
    }
    m_fallbackText = message;
    Q_EMIT fallbackTextChanged();
#endif
}
