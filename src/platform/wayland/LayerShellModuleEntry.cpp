// What pindle-layershell.so exports: whether the session's compositor offers layer-shell surfaces,
// asked before Qt chooses its platform, and the overlay's windowing on such a compositor.
#include "platform/wayland/LayerShellOverlayWindowing.h"

#include <wayland-client.h>

#include <cstring>
#include <memory>

namespace {

void announced(void *data, wl_registry *, uint32_t, const char *interface, uint32_t) {
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0)
        *static_cast<bool *>(data) = true;
}

void removed(void *, wl_registry *, uint32_t) {}

} // namespace

extern "C" Q_DECL_EXPORT bool pindleCompositorHasLayerShell() {
    const std::unique_ptr<wl_display, decltype(&wl_display_disconnect)> display(
        wl_display_connect(nullptr), &wl_display_disconnect);
    if (!display)
        return false;
    const std::unique_ptr<wl_registry, decltype(&wl_registry_destroy)> registry(
        wl_display_get_registry(display.get()), &wl_registry_destroy);
    static const wl_registry_listener listener{announced, removed};
    bool found = false;
    wl_registry_add_listener(registry.get(), &listener, &found);
    return wl_display_roundtrip(display.get()) >= 0 && found;
}

extern "C" Q_DECL_EXPORT OverlayWindowing *pindleCreateLayerShellWindowing() {
    LayerShellOverlayWindowing::Compositor compositor;
    if (qEnvironmentVariableIsSet("SWAYSOCK"))
        compositor.dragInPressFrame = true;
    else if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"KDE", Qt::CaseInsensitive))
        compositor.keepsKeyboardUntilRemapped = true;
    return new LayerShellOverlayWindowing(compositor);
}
