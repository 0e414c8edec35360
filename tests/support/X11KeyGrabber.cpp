// Another program holding a shortcut: grabs Alt plus the key at KEYCODE on the root window,
// prints "ready" and stays until killed. Usage: x11-key-grabber KEYCODE
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto keycode = xcb_keycode_t(std::atoi(argv[1]));
    xcb_generic_error_t *error =
        xcb_request_check(c, xcb_grab_key_checked(c, 1, root, XCB_MOD_MASK_1, keycode,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (error)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *event = xcb_wait_for_event(c))
        std::free(event);
    return 0;
}
