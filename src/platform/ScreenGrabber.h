#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <QCoroTask>

#include <exception>

/// Takes a raw picture of the first screen with every visible window of this application out of
/// the way. Scaling and encoding are the caller's business.
class ScreenGrabber {
public:
    struct Grab {
        /// In device pixels; null when the picture could not be taken.
        QImage image;
        /// The screen's size in device-independent pixels; empty when there is no screen.
        QSize logicalSize;
    };

    /// The session does not let this application read the screen at all; `message` says why, in
    /// words a user understands.
    class Unavailable final : public std::exception {
    public:
        explicit Unavailable(QString message)
            : m_message(std::move(message))
            , m_utf8(m_message.toUtf8()) {}
        [[nodiscard]] const QString &message() const noexcept { return m_message; }
        [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }

    private:
        QString m_message;
        QByteArray m_utf8;
    };

    virtual ~ScreenGrabber() = default;
    /// Throws Unavailable when the session offers no way to grab the screen.
    virtual QCoro::Task<Grab> grabPrimaryScreen() = 0;
};
