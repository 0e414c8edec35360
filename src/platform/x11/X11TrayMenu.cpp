#include "platform/x11/X11TrayMenu.h"

#include "platform/x11/X11Support.h"

#include <QAccessibleObject>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int framePadding = 4; // above the first row and below the last
constexpr int sidePadding = 12;
constexpr int shortcutGap = 32;
constexpr int separatorHeight = 9;

QString shortcutText(const TrayIcon::Item &item) {
    return item.shortcut.toString(QKeySequence::NativeText);
}

/// One row of the menu to assistive technologies: a menu item that can be pressed.
class AccessibleMenuItem final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleMenuItem(X11TrayMenu *menu, int index)
        : m_menu(menu)
        , m_index(index) {}

    [[nodiscard]] bool isValid() const override {
        return m_menu && m_index < m_menu->items().size();
    }
    [[nodiscard]] QObject *object() const override { return nullptr; }
    [[nodiscard]] QWindow *window() const override { return m_menu; }
    [[nodiscard]] QAccessibleInterface *parent() const override {
        return QAccessible::queryAccessibleInterface(m_menu);
    }
    [[nodiscard]] QAccessibleInterface *child(int) const override { return nullptr; }
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    [[nodiscard]] QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    [[nodiscard]] QString text(QAccessible::Text kind) const override {
        if (!isValid())
            return {};
        const TrayIcon::Item &item = m_menu->items().at(m_index);
        return kind == QAccessible::Name          ? item.text
               : kind == QAccessible::Accelerator ? shortcutText(item)
                                                  : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    [[nodiscard]] QRect rect() const override {
        return isValid() ? m_menu->itemRect(m_index).translated(m_menu->position()) : QRect();
    }
    [[nodiscard]] QAccessible::Role role() const override {
        return isValid() && m_menu->items().at(m_index).separator ? QAccessible::Separator
                                                                  : QAccessible::MenuItem;
    }
    [[nodiscard]] QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = role() == QAccessible::MenuItem;
        state.focused = state.active = isValid() && m_menu->current() == m_index;
        state.invisible = !m_menu || !m_menu->isVisible();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }
    [[nodiscard]] QStringList actionNames() const override {
        return role() == QAccessible::MenuItem ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString &name) override {
        if (name == pressAction() && isValid())
            m_menu->choose(m_index);
    }
    [[nodiscard]] QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<X11TrayMenu> m_menu;
    int m_index;
};

/// The menu as a popup menu, its rows as children.
class AccessibleMenu final : public QAccessibleObject {
public:
    explicit AccessibleMenu(X11TrayMenu *menu)
        : QAccessibleObject(menu) {}
    ~AccessibleMenu() override {
        for (const QAccessible::Id id : m_rows)
            QAccessible::deleteAccessibleInterface(id);
    }

    [[nodiscard]] X11TrayMenu *menu() const { return static_cast<X11TrayMenu *>(object()); }
    [[nodiscard]] QWindow *window() const override { return menu(); }
    [[nodiscard]] QAccessibleInterface *parent() const override {
        return QAccessible::queryAccessibleInterface(qApp);
    }
    [[nodiscard]] int childCount() const override { return int(menu()->items().size()); }
    [[nodiscard]] QAccessibleInterface *child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        while (int(m_rows.size()) <= index)
            m_rows.push_back(QAccessible::registerAccessibleInterface(
                new AccessibleMenuItem(menu(), int(m_rows.size()))));
        return QAccessible::accessibleInterface(m_rows[std::size_t(index)]);
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface *child) const override {
        const auto found =
            std::find(m_rows.begin(), m_rows.end(),
                      QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child)));
        return found == m_rows.end() ? -1 : int(found - m_rows.begin());
    }
    [[nodiscard]] QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    [[nodiscard]] QString text(QAccessible::Text) const override { return {}; }
    [[nodiscard]] QRect rect() const override { return menu()->geometry(); }
    [[nodiscard]] QAccessible::Role role() const override { return QAccessible::PopupMenu; }
    [[nodiscard]] QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !menu()->isVisible();
        return state;
    }

private:
    mutable std::vector<QAccessible::Id> m_rows;
};

QAccessibleInterface *accessibleMenu(const QString &, QObject *object) {
    auto *menu = qobject_cast<X11TrayMenu *>(object);
    return menu ? new AccessibleMenu(menu) : nullptr;
}

void tellAccessibility(X11TrayMenu *menu, QAccessible::Event type, int child = -1) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(menu, type);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

} // namespace

X11TrayMenu::X11TrayMenu() {
    static const bool accessible = (QAccessible::installFactory(accessibleMenu), true);
    Q_UNUSED(accessible);
    setFlags(Qt::Popup | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("trayMenu"));
}

X11TrayMenu::~X11TrayMenu() {
    dismiss();
}

void X11TrayMenu::setItems(const QList<TrayIcon::Item> &items) {
    m_items = items;
    setCurrent(-1);
    if (isVisible()) {
        resize(fittingSize());
        update();
    }
}

// Measured when shown: the fonts stay unread until the menu is first opened.
QSize X11TrayMenu::fittingSize() const {
    const QFontMetrics metrics(QGuiApplication::font());
    int textWidth = 0;
    int shortcutWidth = 0;
    for (const TrayIcon::Item &item : m_items) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(item.text));
        if (const QString shortcut = shortcutText(item); !shortcut.isEmpty())
            shortcutWidth =
                std::max(shortcutWidth, metrics.horizontalAdvance(shortcut) + shortcutGap);
    }
    const int rows = m_items.isEmpty() ? framePadding : itemRect(int(m_items.size()) - 1).bottom();
    return {std::max(120, textWidth + shortcutWidth + 2 * sidePadding), rows + 1 + framePadding};
}

QRect X11TrayMenu::itemRect(int index) const {
    const int itemHeight = QFontMetrics(QGuiApplication::font()).height() + 10;
    const auto heightOf = [&](int row) {
        return m_items.at(row).separator ? separatorHeight : itemHeight;
    };
    int top = framePadding;
    for (int row = 0; row < index; ++row)
        top += heightOf(row);
    return {1, top, width() - 2, heightOf(index)};
}

void X11TrayMenu::toggle(const QPoint &pointer) {
    if (isVisible()) {
        dismiss();
        return;
    }
    QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    // Below and right of the pointer where it fits, else above or left of it; on the screen.
    QRect frame(pointer, fittingSize());
    if (frame.right() > area.right())
        frame.moveRight(pointer.x());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(pointer.y());
    setScreen(screen);
    setGeometry(X11Support::keptInside(frame, area));
    m_armed = false;
    m_grabAttempts = 0;
    setCurrent(-1);
    // Until the keyboard is ours, keys go to the window that has the focus, and the menu wants
    // them (Qt 6.4 sends none of them to popups by itself).
    qApp->installEventFilter(this);
    show();
    tellAccessibility(this, QAccessible::PopupMenuStart);
}

void X11TrayMenu::exposeEvent(QExposeEvent *event) {
    QRasterWindow::exposeEvent(event);
    // A window takes the pointer and keyboard once it is on screen; a client holding them
    // (a panel's own grab while its click is handled) lets go a moment later.
    if (isExposed() && m_grabAttempts == 0)
        grabInput();
}

void X11TrayMenu::grabInput() {
    ++m_grabAttempts;
    m_keyboardGrabbed = m_keyboardGrabbed || setKeyboardGrabEnabled(true);
    m_pointerGrabbed = m_pointerGrabbed || setMouseGrabEnabled(true);
    if ((m_keyboardGrabbed && m_pointerGrabbed) || m_grabAttempts > 1)
        return;
    QTimer::singleShot(100ms, this, [this] {
        if (isVisible())
            grabInput();
    });
}

void X11TrayMenu::dismiss() {
    if (!isVisible())
        return;
    qApp->removeEventFilter(this);
    if (std::exchange(m_pointerGrabbed, false))
        setMouseGrabEnabled(false);
    if (std::exchange(m_keyboardGrabbed, false))
        setKeyboardGrabEnabled(false);
    hide();
    tellAccessibility(this, QAccessible::PopupMenuEnd);
}

void X11TrayMenu::choose(int index) {
    if (index < 0 || index >= m_items.size() || m_items.at(index).separator)
        return;
    dismiss();
    Q_EMIT triggered(index);
}

int X11TrayMenu::itemAt(const QPoint &position) const {
    for (int index = 0; index < m_items.size(); ++index)
        if (itemRect(index).contains(position))
            return m_items.at(index).separator ? -1 : index;
    return -1;
}

void X11TrayMenu::setCurrent(int index) {
    if (index == m_current)
        return;
    m_current = index;
    update();
    if (index >= 0)
        tellAccessibility(this, QAccessible::Focus, index);
}

void X11TrayMenu::step(int direction) {
    const int count = int(m_items.size());
    int index = m_current;
    for (int tried = 0; tried < count; ++tried) {
        index = index < 0 ? (direction > 0 ? 0 : count - 1) : (index + direction + count) % count;
        if (!m_items.at(index).separator) {
            setCurrent(index);
            return;
        }
    }
}

void X11TrayMenu::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    if (key == Qt::Key_Down || key == Qt::Key_Up)
        step(key == Qt::Key_Down ? 1 : -1);
    else if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        choose(m_current);
    else if (key == Qt::Key_Escape)
        dismiss();
}

void X11TrayMenu::mouseMoveEvent(QMouseEvent *event) {
    m_armed = true;
    if (const int index = itemAt(event->position().toPoint()); index >= 0)
        setCurrent(index);
}

void X11TrayMenu::mousePressEvent(QMouseEvent *event) {
    if (!QRect(QPoint(), size()).contains(event->position().toPoint()))
        dismiss();
    else
        m_armed = true;
}

void X11TrayMenu::mouseReleaseEvent(QMouseEvent *event) {
    // The release of the click that opened the menu chooses nothing.
    if (m_armed)
        choose(itemAt(event->position().toPoint()));
}

bool X11TrayMenu::eventFilter(QObject *watched, QEvent *event) {
    if (!isVisible())
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept(); // the menu's keys, no window's shortcuts
        return true;
    }
    if (watched == this)
        return false;
    if (event->type() == QEvent::KeyPress)
        keyPressEvent(static_cast<QKeyEvent *>(event));
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}

void X11TrayMenu::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setFont(QGuiApplication::font());
    const QPalette palette = QGuiApplication::palette();
    const QRect frame(QPoint(), size());
    painter.fillRect(frame, palette.color(QPalette::Window));
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    for (int index = 0; index < m_items.size(); ++index) {
        const QRect row = itemRect(index);
        const TrayIcon::Item &item = m_items.at(index);
        if (item.separator) {
            painter.setPen(palette.color(QPalette::Mid));
            painter.drawLine(sidePadding / 2, row.center().y(), width() - sidePadding / 2,
                             row.center().y());
            continue;
        }
        QColor text = palette.color(QPalette::WindowText);
        if (index == m_current) {
            painter.fillRect(row, palette.color(QPalette::Highlight));
            text = palette.color(QPalette::HighlightedText);
        }
        const QRect inner = row.adjusted(sidePadding, 0, -sidePadding, 0);
        painter.setPen(text);
        painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, item.text);
        text.setAlphaF(0.7f);
        painter.setPen(text);
        painter.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, shortcutText(item));
    }
}
