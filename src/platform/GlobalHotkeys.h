#pragma once

#include <QObject>
#include <QStringList>

/// The three keyboard shortcuts that work from any application. Each press is reported once,
/// after the key event has been handled, and never reaches the application that has the focus.
class GlobalHotkeys : public QObject {
    Q_OBJECT

public:
    enum class Action { ToggleOverlay, CaptureScreen, ToggleTypingMode };
    Q_ENUM(Action)

    using QObject::QObject;

    /// Takes the shortcuts. Returns the name of each ("Alt+Space") that another program holds
    /// already; the others work.
    virtual QStringList registerAll() = 0;
    virtual void unregisterAll() = 0;
    /// Why this session has no global shortcuts at all, in words a user understands; empty where
    /// they work.
    [[nodiscard]] virtual QString unavailableReason() const = 0;

    /// How a shortcut is written for the user.
    [[nodiscard]] static QString displayName(Action action) {
        switch (action) {
        case Action::ToggleOverlay:
            return QStringLiteral("Alt+Space");
        case Action::CaptureScreen:
            return QStringLiteral("Alt+S");
        case Action::ToggleTypingMode:
            return QStringLiteral("Alt+T");
        }
        return {};
    }

Q_SIGNALS:
    void activated(GlobalHotkeys::Action action);
};
