#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

/// Base of every failure the client reports: carries the one line shown to the user.
class PindleError : public std::exception {
public:
    explicit PindleError(QString message);

    [[nodiscard]] const QString &message() const noexcept { return m_message; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

/// A transfer that failed below HTTP (refused connection, reset, timeout, TLS), described in the
/// network stack's own words.
class NetworkError final : public PindleError {
public:
    using PindleError::PindleError;
};

/// A file that could not be read, described by the file system.
class FileError final : public PindleError {
public:
    using PindleError::PindleError;
};

/// A reply body that is not the JSON it should be, described by the JSON reader.
class DecodingError final : public PindleError {
public:
    using PindleError::PindleError;
};
