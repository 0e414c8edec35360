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
        //: Headline of the empty conversation
        text: qsTr("Invisible AI Assistant")
        color: Theme.alpha(Theme.white, 0.8)
        font.pixelSize: Theme.textPx(16)
        font.weight: Font.Medium
    }
    Text {
        objectName: "helpText"
        width: empty.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        color: Theme.alpha(Theme.white, 0.7)
        font.pixelSize: Theme.textPx(12)
        // Names only the shortcuts that work.
        text: {
            // The action names follow their key combination, as in "Alt+S = Screenshot": keep them
            // short: a longer line wraps.
            const keys = [[empty.shortcuts.captureScreen,
                           //: Short name of the action that captures the screen
                           qsTr("Screenshot")],
                          [empty.shortcuts.typeMode,
                           //: Short name of the action that switches to typing mode
                           qsTr("Type")],
                          [empty.shortcuts.toggleOverlay,
                           //: Short name of the action that shows or hides the overlay
                           qsTr("Toggle")]]
                .filter(pair => pair[0].length > 0).map(pair => pair[0] + " = " + pair[1])
            const hide = empty.shortcuts.toggleOverlay.length > 0
                //: %1 is the key combination that hides the overlay, e.g. Alt+H
                ? qsTr("Hide it with %1 before you share.").arg(empty.shortcuts.toggleOverlay)
                : qsTr("Hide it before you share.")
            return (empty.hiddenFromCapture
                    ? qsTr("Ask anything — this window is hidden\nfrom screen recordings & video calls.")
                    : qsTr("Ask anything — this window never takes focus.") + "\n" + hide)
                   + (keys.length > 0 ? "\n\n" + keys.join("  ·  ") : "")
        }
    }
}
