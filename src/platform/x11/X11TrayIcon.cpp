#include "platform/x11/X11TrayIcon.h"

#include "platform/x11/X11Support.h"
#include "platform/x11/X11TrayBalloon.h"
#include "platform/x11/X11TrayMenu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

using X11Support::Reply;

// From the XEmbed and system tray specifications.
constexpr quint32 xembedMapped = 1;
constexpr quint32 xembedEmbeddedNotify = 0;
constexpr quint32 systemTrayRequestDock = 0;

// The screen the display names by default (":0.1" is screen 1): its tray takes our icon.
int defaultScreenNumber() {
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        return 0;
    std::free(host);
    return screen;
}

const xcb_screen_t *defaultScreen() {
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(X11Support::connection()));
    for (int skip = defaultScreenNumber(); skip > 0 && roots.rem > 1; --skip)
        xcb_screen_next(&roots);
    return roots.data;
}

QByteArray traySelection() {
    return "_NET_SYSTEM_TRAY_S" + QByteArray::number(defaultScreenNumber());
}

// The depth of a visual of the screen; 0 when it has no such visual.
quint8 depthOf(const xcb_screen_t *screen, xcb_visualid_t visual) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths))
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals))
            if (visuals.data->visual_id == visual)
                return depths.data->depth;
    return 0;
}

void writeProperty(xcb_window_t window, xcb_atom_t name, xcb_atom_t type, quint8 format,
                   quint32 length, const void *data) {
    xcb_change_property(X11Support::connection(), XCB_PROP_MODE_REPLACE, window, name, type, format,
                        length, data);
}

qreal pixelRatio() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

} // namespace

X11TrayIcon::X11TrayIcon(QObject *parent)
    : QObject(parent)
    , m_tray(traySelection())
    , m_selection(X11Support::atom(traySelection()))
    , m_menu(std::make_unique<X11TrayMenu>()) {
    // A tray taking over from another is seen by the old one's window going.
    connect(&m_tray, &X11SelectionWatcher::ownerChanged, this, [this](bool owned) {
        if (owned)
            dock();
        else
            undock();
    });
    connect(m_menu.get(), &X11TrayMenu::triggered, this, [this](int index) {
        if (onTriggered)
            onTriggered(index);
    });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11TrayIcon::~X11TrayIcon() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    onVisibilityChanged = nullptr; // the owner is going too
    undock();
}

void X11TrayIcon::show(const QString &iconName, const QIcon &icon, const QString &toolTip) {
    m_icon = QIcon::fromTheme(iconName, icon);
    m_toolTip = toolTip;
    m_shown = true;
    if (m_window != XCB_WINDOW_NONE)
        draw();
    else
        dock();
}

void X11TrayIcon::setMenu(const QList<Item> &items) {
    m_menu->setItems(items);
}

void X11TrayIcon::dock() {
    xcb_connection_t *c = X11Support::connection();
    if (!c || !m_shown || m_window != XCB_WINDOW_NONE)
        return;
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE)
        return;
    // Its window's end is the tray's end, whoever takes the selection next.
    const quint32 trayEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (const Reply<xcb_generic_error_t> gone(xcb_request_check(
            c,
            xcb_change_window_attributes_checked(c, owner->owner, XCB_CW_EVENT_MASK, &trayEvents)));
        gone)
        return;
    m_manager = owner->owner;
    m_size = QSize(22, 22) * pixelRatio();

    // A tray that composites names the visual its icons should have: with an alpha channel they
    // are drawn over the panel by the tray itself.
    const xcb_screen_t *screen = defaultScreen();
    xcb_visualid_t visual = screen->root_visual;
    m_depth = screen->root_depth;
    const Reply<xcb_get_property_reply_t> wanted(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, m_manager, X11Support::atom("_NET_SYSTEM_TRAY_VISUAL"),
                         XCB_ATOM_VISUALID, 0, 1),
        nullptr));
    if (wanted && wanted->format == 32 && xcb_get_property_value_length(wanted.get()) >= 4) {
        const auto id = *static_cast<const xcb_visualid_t *>(xcb_get_property_value(wanted.get()));
        if (const quint8 depth = depthOf(screen, id)) {
            visual = id;
            m_depth = depth;
        }
    }
    // In value-mask order: background, border, events, colormap.
    std::vector<quint32> values;
    quint32 mask = XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK;
    if (m_depth == 32) {
        mask |= XCB_CW_BACK_PIXEL;
        values.push_back(0);
    } else {
        // The panel shows through wherever the icon does not cover it.
        mask |= XCB_CW_BACK_PIXMAP;
        values.push_back(XCB_BACK_PIXMAP_PARENT_RELATIVE);
    }
    values.push_back(0);
    values.push_back(XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                     XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    if (visual != screen->root_visual) {
        m_colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, m_colormap, screen->root, visual);
        mask |= XCB_CW_COLORMAP;
        values.push_back(m_colormap);
    }
    m_window = xcb_generate_id(c);
    xcb_create_window(c, m_depth, m_window, screen->root, 0, 0, quint16(m_size.width()),
                      quint16(m_size.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, mask,
                      values.data());
    m_gc = xcb_generate_id(c);
    xcb_create_gc(c, m_gc, m_window, 0, nullptr);

    const quint32 xembedInfo[] = {0, xembedMapped};
    writeProperty(m_window, X11Support::atom("_XEMBED_INFO"), X11Support::atom("_XEMBED_INFO"), 32,
                  2, xembedInfo);
    const auto pid = quint32(getpid());
    writeProperty(m_window, X11Support::atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    constexpr char windowClass[] = "pindle\0Pindle"; // instance and class, each ending in NUL
    writeProperty(m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof windowClass, windowClass);
    // The size it asks for: trays that size icons by request (trayer) otherwise make it 1×1.
    constexpr quint32 minimumSize = 1 << 4;
    const std::array<quint32, 18> sizeHints{
        minimumSize, 0, 0, 0, 0, quint32(m_size.width()), quint32(m_size.height())};
    writeProperty(m_window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32,
                  quint32(sizeHints.size()), sizeHints.data());
    const QByteArray name = m_toolTip.toUtf8();
    writeProperty(m_window, XCB_ATOM_WM_NAME, X11Support::atom("UTF8_STRING"), 8,
                  quint32(name.size()), name.constData());

    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = m_manager;
    request.type = X11Support::atom("_NET_SYSTEM_TRAY_OPCODE");
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = systemTrayRequestDock;
    request.data.data32[2] = m_window;
    xcb_send_event(c, 0, m_manager, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&request));
    xcb_flush(c);
    if (onVisibilityChanged)
        onVisibilityChanged();
}

void X11TrayIcon::undock(bool destroyWindow) {
    const bool docked = m_window != XCB_WINDOW_NONE;
    if (xcb_connection_t *c = X11Support::connection()) {
        // The tray's end hands our window back to the root, mapped: it must not stay there.
        if (docked && destroyWindow)
            xcb_destroy_window(c, m_window);
        if (m_gc != XCB_NONE)
            xcb_free_gc(c, m_gc);
        if (m_colormap != XCB_NONE)
            xcb_free_colormap(c, m_colormap);
        xcb_flush(c);
    }
    m_window = m_manager = XCB_WINDOW_NONE;
    m_gc = XCB_NONE;
    m_colormap = XCB_NONE;
    m_embedded = m_balloonWaiting = false;
    if (m_balloon)
        m_balloon->hide();
    if (docked && onVisibilityChanged)
        onVisibilityChanged();
}

void X11TrayIcon::draw() {
    xcb_connection_t *c = X11Support::connection();
    if (!c || m_window == XCB_WINDOW_NONE)
        return;
    const int width = m_size.width();
    const int height = m_size.height();
    QImage image;
    if (m_depth == 32) {
        image = QImage(m_size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        // The server paints the panel's background into the window, then we draw over it.
        xcb_clear_area(c, 0, m_window, 0, 0, 0, 0);
        xcb_generic_error_t *error = nullptr;
        const Reply<xcb_get_image_reply_t> background(
            xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, 0, 0,
                                              quint16(width), quint16(height), ~0u),
                                &error));
        const Reply<xcb_generic_error_t> unmapped(error);
        if (!background || xcb_get_image_data_length(background.get()) != width * height * 4)
            return; // not on screen, or not 32 bits a pixel: nothing to draw over
        image = QImage(xcb_get_image_data(background.get()), width, height, QImage::Format_RGB32)
                    .copy();
    }
    // As sharp as the display: the tray's size in its pixels, whatever the scale.
    const qreal ratio = pixelRatio();
    const int side = std::min(width, height);
    QPixmap pixmap = m_icon.pixmap(QSize(side, side) / ratio, ratio);
    pixmap.setDevicePixelRatio(1);
    QPainter(&image).drawPixmap((width - pixmap.width()) / 2, (height - pixmap.height()) / 2,
                                pixmap);

    const quint32 maxBytes = xcb_get_maximum_request_length(c) * 4 - 64;
    const int rows = std::max(1, int(maxBytes / quint32(image.bytesPerLine())));
    for (int y = 0; y < height; y += rows) {
        const int band = std::min(rows, height - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, quint16(width), quint16(band),
                      0, qint16(y), 0, m_depth, quint32(band * image.bytesPerLine()),
                      image.constScanLine(y));
    }
    xcb_flush(c);
}

QRect X11TrayIcon::geometry() const {
    xcb_connection_t *c = X11Support::connection();
    if (!c || !m_embedded)
        return {};
    const Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, m_window, defaultScreen()->root, 0, 0), nullptr));
    if (!place)
        return {};
    const qreal ratio = pixelRatio();
    return {QPoint(place->dst_x, place->dst_y) / ratio, m_size / ratio};
}

bool X11TrayIcon::showMessage(const QString &title, const QString &message) {
    if (m_window == XCB_WINDOW_NONE)
        return false;
    m_balloonTitle = title;
    m_balloonMessage = message;
    // Until the tray has placed the icon, the balloon waits for it to be drawn there.
    m_balloonWaiting = true;
    if (m_embedded)
        showBalloon();
    return true;
}

void X11TrayIcon::showBalloon() {
    m_balloonWaiting = false;
    if (!m_balloon) {
        m_balloon = std::make_unique<X11TrayBalloon>();
        connect(m_balloon.get(), &X11TrayBalloon::clicked, this, [this] {
            if (onMessageClicked)
                onMessageClicked();
        });
    }
    m_balloon->showAt(geometry(), m_balloonTitle, m_balloonMessage);
}

bool X11TrayIcon::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t" || m_window == XCB_WINDOW_NONE)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_EXPOSE: {
        const auto *expose = static_cast<const xcb_expose_event_t *>(message);
        if (expose->window != m_window)
            return false;
        if (expose->count == 0)
            draw();
        if (m_embedded && m_balloonWaiting)
            showBalloon();
        return true;
    }
    case XCB_BUTTON_PRESS: {
        const auto *press = static_cast<const xcb_button_press_event_t *>(message);
        if (press->event != m_window)
            return false;
        // Left and right both open the menu; another click on the icon closes it.
        if (press->detail == XCB_BUTTON_INDEX_1 || press->detail == XCB_BUTTON_INDEX_3)
            m_menu->toggle(QCursor::pos());
        return true;
    }
    case XCB_BUTTON_RELEASE:
        return static_cast<const xcb_button_release_event_t *>(message)->event == m_window;
    case XCB_CONFIGURE_NOTIFY: {
        const auto *configure = static_cast<const xcb_configure_notify_event_t *>(message);
        if (configure->window != m_window)
            return false;
        if (const QSize size(configure->width, configure->height); size != m_size) {
            m_size = size;
            draw();
        }
        return true;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto *reparent = static_cast<const xcb_reparent_notify_event_t *>(message);
        if (reparent->window != m_window)
            return false;
        // Back at the root: the tray has gone, and maybe another has come.
        if (reparent->parent == defaultScreen()->root) {
            undock();
            dock();
        } else {
            m_embedded = true;
        }
        return true;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *destroy = static_cast<const xcb_destroy_notify_event_t *>(message);
        if (destroy->window != m_window && destroy->window != m_manager)
            return false;
        undock(destroy->window != m_window); // ours may have gone with the tray's window
        dock();                              // a tray that took over meanwhile
        return false;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        if (client->window != m_window)
            return false;
        if (client->type == X11Support::atom("_XEMBED") &&
            client->data.data32[1] == xembedEmbeddedNotify)
            m_embedded = true;
        return true;
    }
    default:
        return false;
    }
}
