#pragma once

#include <QObject>
#include <QString>

/// The desktop's light or dark preference and its accent colour, which the sign-in and settings
/// windows follow (the overlay keeps its own dark look). As it stands it is a desktop that tells
/// nothing: light, with the style's own accent.
class DesktopAppearance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY changed FINAL)
    Q_PROPERTY(QString accent READ accent NOTIFY changed FINAL)

public:
    using QObject::QObject;

    [[nodiscard]] bool dark() const { return m_dark; }
    /// "#rrggbb", or empty where the desktop names no accent.
    [[nodiscard]] QString accent() const { return m_accent; }

Q_SIGNALS:
    void changed();

protected:
    void set(bool dark, QString accent) {
        if (dark == m_dark && accent == m_accent)
            return;
        m_dark = dark;
        m_accent = std::move(accent);
        Q_EMIT changed();
    }

private:
    bool m_dark = false;
    QString m_accent;
};
