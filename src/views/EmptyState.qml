import QtQuick
import Pindle

// What an empty conversation shows. On a desktop that cannot keep the window out of other
// programs' screen captures, the help text says how to keep it out of a shared screen instead.
Column {
    id: empty

    required property bool hiddenFromCapture
    required property ShortcutController shortcuts

    spacing: 12
    topPadding: 40
    bottomPadding: 40

    Icon {
        anchors.horizontalCenter: parent.horizontalCenter
        glyph: "hidden"
        size: 40
        color: Theme.alpha(Theme.white, 0.2)
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: "Invisible AI Assistant"
        color: Theme.alpha(Theme.white, 0.4)
        font.pixelSize: 16
        font.weight: Font.Medium
    }
    Text {
        objectName: "helpText"
        width: empty.width
        horizontalAlignment: Text.AlignHCenter
        textFormat: Text.PlainText
        color: Theme.alpha(Theme.white, 0.25)
        font.pixelSize: 12
        // Names only the shortcuts that work.
        text: {
            const keys = [[empty.shortcuts.captureScreen, "Screenshot"],
                          [empty.shortcuts.typeMode, "Type"],
                          [empty.shortcuts.toggleOverlay, "Toggle"]]
                .filter(pair => pair[0].length > 0).map(pair => pair[0] + " = " + pair[1])
            const hide = empty.shortcuts.toggleOverlay.length > 0
                ? "Hide it with " + empty.shortcuts.toggleOverlay + " before you share."
                : "Hide it before you share."
            return (empty.hiddenFromCapture
                    ? "Ask anything — this window is hidden\nfrom screen recordings & video calls."
                    : "Ask anything — this window never takes focus.\n" + hide)
                   + (keys.length > 0 ? "\n\n" + keys.join("  ·  ") : "")
        }
    }
}
