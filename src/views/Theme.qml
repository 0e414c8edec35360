pragma Singleton
import QtQuick

// The overlay's named colours and the icons it uses: a freedesktop theme name first, the bundled
// drawing when the theme has none.
QtObject {
    readonly property color white: "#ffffff"
    readonly property color black: "#000000"
    readonly property color orange: "#ff9f0a"
    readonly property color green: "#30d158"
    readonly property color blue: "#0a84ff"
    readonly property color red: "#ff453a"
    // Orange as a text on the error banner's orange tint.
    readonly property color paleOrange: "#ffdca8"
    // The ground of what opens over the overlay: the menu, tool tips, alerts.
    readonly property color popupBase: "#2c2c32"

    // The overlay's texts must stay readable (WCAG's 4.5:1) over any desktop, a white one too,
    // through the translucent card. So the opacity setting spans the card's alpha from a floor,
    // where the dimmest text (white at 0.7) still reads over white, up to `base` at full opacity;
    // stored opacities outside the slider's range draw as its nearest end.
    readonly property real leastOverlayOpacity: 0.3
    readonly property real cardAlphaFloor: 0.76

    function cardAlpha(opacity, base) {
        const clamped = opacity >= leastOverlayOpacity ? Math.min(opacity, 1) : leastOverlayOpacity
        const along = (clamped - leastOverlayOpacity) / (1 - leastOverlayOpacity)
        return cardAlphaFloor + (Math.max(base, cardAlphaFloor) - cardAlphaFloor) * along
    }

    // The sizes below are the design's for a 10-point desktop font; a larger desktop font (a larger
    // text setting, a large-print theme) draws every text larger by the same factor.
    readonly property real textScale: {
        const font = Qt.application.font
        const points = font.pointSize > 0 ? font.pointSize : font.pixelSize * 0.75
        return Math.min(2.5, Math.max(1, points / 10))
    }

    function textPx(size) {
        return Math.round(size * textScale)
    }

    function alpha(colour, opacity) {
        return Qt.rgba(colour.r, colour.g, colour.b, opacity)
    }

    readonly property var icons: ({
        "capture": ["camera-photo-symbolic", "icons/capture.svg"],
        "mic": ["audio-input-microphone-symbolic", "icons/mic.svg"],
        "micStop": ["media-playback-stop-symbolic", "icons/mic-stop.svg"],
        "systemAudio": ["audio-speakers-symbolic", "icons/system-audio.svg"],
        "systemAudioStop": ["media-playback-stop-symbolic", "icons/system-audio-stop.svg"],
        "send": ["go-up-symbolic", "icons/send.svg"],
        "trash": ["user-trash-symbolic", "icons/trash.svg"],
        "menu": ["open-menu-symbolic", "icons/menu.svg"],
        "hidden": ["view-conceal-symbolic", "icons/hidden.svg"],
        "warning": ["dialog-warning-symbolic", "icons/warning.svg"]
    })
}
