import QtQuick
import Pindle
import QtQuick.Controls

// The root of the sign-in and settings windows: the style's light palette, or a dark one where
// the desktop prefers dark, with the desktop's accent where it names one. Unset colours fall
// back to the style's own.
Pane {
    required property DesktopAppearance appearance

    // The desktop's font, also when it changes while the window is open. (Qt 6.4's linter does not
    // know the application's font.)
    // qmllint disable
    font: Qt.application.font
    // qmllint enable

    readonly property bool dark: appearance.dark
    readonly property string accent: appearance.accent

    // Texts that say how something went, each at WCAG's 4.5:1 or more on the window's colour.
    readonly property color positiveText: dark ? "#4cc76a" : "#1c7431"
    readonly property color warningText: dark ? "#f08c00" : "#985400"
    readonly property color errorText: dark ? "#ff7b72" : "#c42b22"
    // A softer blue than the style's pure one, still at 4.5:1 on the window.
    readonly property color linkText: dark ? "#6ea8ff" : "#1a62c4"

    // A colour bound to undefined is reset to the style's own, which the linter cannot tell.
    // qmllint disable
    palette.window: dark ? "#2b2b2e" : undefined
    palette.windowText: dark ? "#e8e8ea" : undefined
    palette.base: dark ? "#1f1f22" : undefined
    palette.alternateBase: dark ? "#2f2f33" : undefined
    palette.text: dark ? "#e8e8ea" : undefined
    palette.button: dark ? "#38383c" : undefined
    palette.buttonText: dark ? "#e8e8ea" : undefined
    palette.brightText: dark ? "#ffffff" : undefined
    palette.light: dark ? "#4a4a4f" : undefined
    palette.midlight: dark ? "#3f3f44" : undefined
    palette.mid: dark ? "#505055" : undefined
    palette.dark: dark ? "#19191b" : undefined
    palette.shadow: dark ? "#000000" : undefined
    // The style's placeholder (black at half opacity) reads too faintly on the fields.
    palette.placeholderText: dark ? "#8e8e93" : "#6d6d6d"
    palette.link: linkText
    palette.toolTipBase: dark ? "#3a3a3e" : undefined
    palette.toolTipText: dark ? "#e8e8ea" : undefined
    palette.highlight: accent !== "" ? accent : dark ? "#3d7fd6" : undefined
    palette.highlightedText: accent !== "" || dark ? "#ffffff" : undefined
    palette.disabled.windowText: dark ? "#77777c" : undefined
    palette.disabled.text: dark ? "#77777c" : undefined
    palette.disabled.buttonText: dark ? "#77777c" : undefined
    // qmllint enable
}
