#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>

/// The application's icon in the desktop's tray, with its one menu. Left and right clicks both
/// open the menu. The owner hears back through the callbacks, on the main thread.
class TrayIcon {
public:
    struct Item {
        QString text; ///< empty for a separator
        bool separator = false;
        QKeySequence shortcut; ///< shown beside the text where the tray can
    };

    virtual ~TrayIcon() = default;

    /// Puts the icon in the tray, or keeps it there once a tray appears. `iconName` is looked up
    /// in the icon theme where the tray does the drawing; `icon` stands in where the theme lacks
    /// it and where Pindle draws.
    virtual void show(const QString &iconName, const QIcon &icon, const QString &toolTip) = 0;
    /// The menu's items, replacing those before.
    virtual void setMenu(const QList<Item> &items) = 0;
    /// Whether a tray shows the icon now.
    [[nodiscard]] virtual bool isVisible() const = 0;
    /// Where the icon is on screen, where the tray says; empty where it does not.
    [[nodiscard]] virtual QRect geometry() const { return {}; }
    /// A balloon pointing at the icon, where the tray has them; false where it has none.
    virtual bool showMessage(const QString &title, const QString &message) {
        Q_UNUSED(title);
        Q_UNUSED(message);
        return false;
    }

    /// The menu item at this index of `setMenu`'s list was chosen.
    std::function<void(int index)> onTriggered;
    /// `isVisible()` may have changed.
    std::function<void()> onVisibilityChanged;
    /// The last balloon was clicked.
    std::function<void()> onMessageClicked;
};
