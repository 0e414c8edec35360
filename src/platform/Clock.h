#pragma once

#include <QDateTime>

/// The current time, so that tests can fix it.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};
