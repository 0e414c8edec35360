// A window of another X client: a plain rectangle of one colour, for capture tests, which also
// reports the keys it receives. Usage: x11-colour-window X Y WIDTH HEIGHT RRGGBB [LATE_MS]. Prints
// the window id once it is on screen, then "key KEYCODE STATE" for each key pressed in it, and
// stays until killed. With LATE_MS the server paints no background: the window draws its colour
// itself, LATE_MS after each exposure, as a slow application would.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB [LATE_MS]\n", argv[0]);
        return 2;
    }
    const int late = argc == 7 ? std::atoi(argv[6]) : -1;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const auto x = std::atoi(argv[1]), y = std::atoi(argv[2]);
    const auto width = std::atoi(argv[3]), height = std::atoi(argv[4]);
    const uint32_t colour = std::strtoul(argv[5], nullptr, 16); // TrueColor visual: 0xRRGGBB

    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t events =
        XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_KEY_PRESS;
    const uint32_t values[] = {late < 0 ? colour : uint32_t(XCB_BACK_PIXMAP_NONE), events};
    xcb_create_window(
        c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), uint16_t(width),
        uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
        (late < 0 ? XCB_CW_BACK_PIXEL : XCB_CW_BACK_PIXMAP) | XCB_CW_EVENT_MASK, values);
    const xcb_gcontext_t pen = xcb_generate_id(c);
    xcb_create_gc(c, pen, window, XCB_GC_FOREGROUND, &colour);
    // WM_NORMAL_HINTS with a user-given position and size, so the manager keeps both.
    uint32_t hints[18] = {};
    hints[0] = 1 | 2; // USPosition | USSize
    hints[1] = uint32_t(x);
    hints[2] = uint32_t(y);
    hints[3] = uint32_t(width);
    hints[4] = uint32_t(height);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c, window);
    xcb_flush(c);

    bool announced = false;
    while (xcb_generic_event_t *event = xcb_wait_for_event(c)) {
        const auto *expose = reinterpret_cast<xcb_expose_event_t *>(event);
        if ((event->response_type & 0x7f) == XCB_EXPOSE && late >= 0 && expose->count == 0) {
            usleep(useconds_t(late) * 1000);
            const xcb_rectangle_t all{0, 0, uint16_t(width), uint16_t(height)};
            xcb_poly_fill_rectangle(c, window, pen, 1, &all);
            xcb_flush(c);
        }
        if ((event->response_type & 0x7f) == XCB_EXPOSE && !announced) {
            std::printf("%u\n", window);
            std::fflush(stdout);
            announced = true;
        }
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            const auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
            std::printf("key %u %u\n", key->detail, key->state);
            std::fflush(stdout);
        }
        std::free(event);
    }
    return 0;
}
