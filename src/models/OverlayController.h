#pragma once

#include <QObject>

#include <QCoroTask>

#include <functional>
#include <memory>

class ChatViewModel;
class FocusHandoff;

/// The overlay's one owner: makes its window when first needed, keeps its mode and runs what the
/// shortcuts, the menu and the command line ask of it.
///
/// In stealth mode the overlay never takes the keyboard, whether shown or clicked; in typing mode
/// it may, so its field receives keys. Sending a question, Escape or Alt+T again hand the keyboard
/// back to the application that had it, and the overlay stays on screen in stealth mode.
class OverlayController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool stealthMode READ stealthMode NOTIFY stealthModeChanged FINAL)

public:
    /// What the controller needs of the overlay's window.
    class Window {
    public:
        virtual ~Window() = default;
        [[nodiscard]] virtual bool isOnScreen() const = 0;
        /// Shows the window in the current mode: in stealth mode it refuses the keyboard.
        virtual void showOnScreen() = 0;
        virtual void hideFromScreen() = 0;
        virtual void raiseOnScreen() = 0;
        /// Shows the window if needed and asks for the keyboard on behalf of the user action at
        /// `userTime` (the X time of the key press; 0 from a menu of ours). A window manager that
        /// refuses leaves the overlay in stealth mode.
        virtual void takeKeyboard(quint32 userTime) = 0;
    };
    using WindowFactory = std::function<std::unique_ptr<Window>(OverlayController &)>;

    OverlayController(ChatViewModel &conversation, FocusHandoff &focus, WindowFactory makeWindow,
                      QObject *parent = nullptr);
    ~OverlayController() override;

    [[nodiscard]] bool stealthMode() const { return m_stealthMode; }
    /// Also what the window reports when the window manager moves the keyboard (a click
    /// elsewhere, a refused or late activation).
    void setStealthMode(bool stealth);

    /// The window, made now if it was not yet.
    [[nodiscard]] Window &window();
    [[nodiscard]] bool isShown() const { return m_window && m_window->isOnScreen(); }

    /// Shows the overlay in stealth mode, or hides it.
    void toggle();
    /// Shows the overlay in stealth mode, or raises it where it is.
    void show();
    void hide();
    /// Asks about the screen. The screenshot leaves the overlay out; once it is taken (or failed,
    /// or was refused because an answer is on its way) the overlay is on screen in stealth mode.
    QCoro::Task<> captureScreen();
    /// Typing mode, or back to stealth mode when the overlay is already typing on screen.
    /// `userTime`: the X time of the key press that asked, 0 from a menu.
    void toggleTypingMode(quint32 userTime = 0);
    /// Hands the keyboard back; the overlay stays on screen in stealth mode.
    Q_INVOKABLE void leaveTypingMode();

Q_SIGNALS:
    void stealthModeChanged();

private:
    void showInStealthMode();

    ChatViewModel &m_conversation;
    FocusHandoff &m_focus;
    WindowFactory m_makeWindow;
    std::unique_ptr<Window> m_window;
    bool m_stealthMode = true;
};
