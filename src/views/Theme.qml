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
