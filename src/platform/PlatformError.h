#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

/// A failure reported by a desktop service, with its reason in words a user understands. (The
/// services layer turns it into its own errors; platform code cannot depend on those.)
class PlatformError : public std::exception {
public:
    explicit PlatformError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8()) {}
    [[nodiscard]] const QString &message() const noexcept { return m_message; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
