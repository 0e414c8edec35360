#pragma once

#include "platform/TrayIcon.h"

#include <QRasterWindow>

/// The tray icon's menu where Pindle draws it: a popup window of plain Qt Gui with the items, their
/// shortcuts at the right and separators, in the application's font and palette. It takes the
/// pointer and keyboard while open and works as desktop menus do: arrows move between items
/// (none is current at first), Return, Enter or Space chooses, Escape or a click elsewhere closes.
class X11TrayMenu final : public QRasterWindow {
    Q_OBJECT

public:
    X11TrayMenu();
    ~X11TrayMenu() override;

    void setItems(const QList<TrayIcon::Item> &items);
    [[nodiscard]] const QList<TrayIcon::Item> &items() const { return m_items; }
    /// Opens at `pointer` (on the screen there, inside what panels leave of it), or closes an
    /// open menu.
    void toggle(const QPoint &pointer);
    /// The item the keys or the pointer are on; -1 for none.
    [[nodiscard]] int current() const { return m_current; }
    /// Chooses the item at `index`, as a click on it does.
    void choose(int index);
    /// Where the item at `index` is in the window.
    [[nodiscard]] QRect itemRect(int index) const;

Q_SIGNALS:
    /// The item at this index of the list was chosen; the menu has closed.
    void triggered(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    [[nodiscard]] QSize fittingSize() const;
    [[nodiscard]] int itemAt(const QPoint &position) const;
    void setCurrent(int index);
    void step(int direction);
    void grabInput();
    void dismiss();

    QList<TrayIcon::Item> m_items;
    int m_current = -1;
    int m_grabAttempts = 0;
    bool m_keyboardGrabbed = false;
    bool m_pointerGrabbed = false;
    bool m_armed = false; // the pointer has moved or pressed since opening
};
