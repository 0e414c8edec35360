import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The whole overlay: header, conversation, error banner and input row on a translucent, rounded
// card with a shadow inside the window's margin.
Item {
    id: root

    required property var viewModel
    required property var settings
    required property var messages
    required property var recording
    required property var shortcuts
    required property var appMenu
    // The window: whether a compositor draws transparency, and blurs what lies behind.
    required property var panel
    // Whether the desktop keeps this window out of other programs' screen captures.
    required property bool hiddenFromCapture

    // Escape while the overlay has the keyboard.
    signal leaveTypingRequested

    // Without a compositor transparency shows black: an opaque, square card fills the window.
    readonly property bool composited: panel.composited
    readonly property int radius: composited ? 16 : 0

    implicitWidth: 420
    implicitHeight: 600
    palette.toolTipBase: "#2c2c32"
    palette.toolTipText: Theme.alpha(Theme.white, 0.9)

    // Shadow: rings fading outwards through the margin, weighted downwards; nothing under the card,
    // so a fully transparent background stays transparent.
    Repeater {
        model: root.composited ? 8 : 0
        Rectangle {
            required property int index
            x: 7 - index
            y: 7 - index + Math.min(index, 4) * 0.5
            width: root.width - 14 + 2 * index
            height: root.height - 14 + 2 * index
            radius: 17 + index
            color: "transparent"
            border.width: 1
            border.color: Theme.alpha(Theme.black, 0.3 * (1 - index / 8))
        }
    }

    Item {
        id: card
        anchors.fill: parent
        anchors.margins: root.composited ? 8 : 0

        Rectangle {
            objectName: "background"
            anchors.fill: parent
            radius: root.radius
            opacity: root.composited ? root.settings.overlayOpacity : 1
            color: Qt.rgba(0.11, 0.11, 0.13, !root.composited ? 1 : root.panel.blurBehind ? 0.55 : 0.88)
        }

        // The background moves the window: presses that no control or text takes land here.
        MouseArea {
            objectName: "dragArea"
            anchors.fill: parent
            onPressed: root.Window.window.startSystemMove()
        }

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            // Bars take the card's rounded corners: their tint is a rounded rectangle cut straight
            // on the inner side.
            Item {
                Layout.fillWidth: true
                implicitHeight: header.implicitHeight
                clip: true
                Rectangle {
                    width: parent.width
                    height: parent.height + 16
                    radius: root.radius
                    color: Theme.alpha(Theme.black, 0.2)
                }
                HeaderBar {
                    id: header
                    anchors.fill: parent
                    stealthMode: root.viewModel.stealthMode
                    typeModeShortcut: root.shortcuts.typeMode
                    appMenu: root.appMenu
                    onClearRequested: root.viewModel.clearChat()
                }
            }

            Item {
                Layout.fillWidth: true
                Layout.fillHeight: true

                ListView {
                    id: list
                    objectName: "messageList"
                    anchors.fill: parent
                    model: root.messages
                    spacing: 12
                    // Header and footer rather than margins: positioning at the end counts them.
                    header: Item { height: 16 }
                    footer: Item { height: 16 }
                    leftMargin: 16
                    rightMargin: 16
                    clip: true
                    boundsBehavior: Flickable.StopAtBounds
                    ScrollBar.vertical: ScrollBar {
                        policy: ScrollBar.AsNeeded
                        // Dragging the bar is the user scrolling too.
                        onPressedChanged: if (pressed) list.following = false
                    }
                    delegate: MessageBubble {
                        width: list.width - 32
                    }

                    // A new message glides into view and a growing last message stays pinned
                    // to the bottom; rows settle their heights after layout, so the list keeps
                    // following the end until the user scrolls.
                    property int seenCount: 0
                    property bool following: false
                    property bool glidePending: false
                    NumberAnimation {
                        id: glide
                        target: list
                        property: "contentY"
                        duration: 200
                        easing.type: Easing.OutCubic
                        // Rows may have grown while it ran.
                        onFinished: if (list.following) list.positionViewAtEnd()
                    }
                    function endY() {
                        const keep = contentY
                        positionViewAtEnd()
                        const end = contentY
                        contentY = keep
                        return end
                    }
                    function settle() {
                        if (count === 0)
                            return
                        following = true
                        if (glidePending) {
                            glidePending = false
                            glide.stop()
                            glide.from = contentY
                            glide.to = endY()
                            glide.start()
                        } else if (!glide.running) {
                            positionViewAtEnd()
                        }
                    }
                    onCountChanged: {
                        const grew = count !== seenCount
                        seenCount = count
                        if (count === 0) {
                            following = false
                            glidePending = false
                        } else if (grew) {
                            glidePending = true
                            Qt.callLater(settle)
                        }
                    }
                    onContentHeightChanged: if (following) Qt.callLater(settle)
                    onHeightChanged: if (following) Qt.callLater(settle)
                    onMovementStarted: following = false
                    Connections {
                        target: root.messages
                        function onDataChanged(from, to) {
                            if (to.row === list.count - 1)
                                Qt.callLater(list.settle)
                        }
                    }
                }

                EmptyState {
                    objectName: "emptyState"
                    visible: list.count === 0
                    anchors.centerIn: parent
                    width: parent.width - 32
                    hiddenFromCapture: root.hiddenFromCapture
                    shortcuts: root.shortcuts
                }
            }

            ErrorBanner {
                objectName: "errorBanner"
                Layout.fillWidth: true
                visible: root.viewModel.errorMessage.length > 0
                message: root.viewModel.errorMessage
                onDismissed: root.viewModel.dismissError()
            }

            Item {
                Layout.fillWidth: true
                implicitHeight: input.implicitHeight
                clip: true
                Rectangle {
                    y: -16
                    width: parent.width
                    height: parent.height + 16
                    radius: root.radius
                    color: Theme.alpha(Theme.black, 0.15)
                }
                InputArea {
                    id: input
                    anchors.fill: parent
                    viewModel: root.viewModel
                    recording: root.recording
                    shortcuts: root.shortcuts
                }
            }
        }

        Rectangle {
            objectName: "border"
            anchors.fill: parent
            radius: root.radius
            color: "transparent"
            border.width: 1
            border.color: Theme.alpha(Theme.white, 0.15)
        }
    }

    // Wherever the keyboard is in the overlay (the field, a selected answer), Escape gives it back.
    Shortcut {
        sequence: "Escape"
        enabled: !root.viewModel.stealthMode
        onActivated: root.leaveTypingRequested()
    }

    Dialog {
        id: systemAudioAlert
        objectName: "systemAudioAlert"
        anchors.centerIn: parent
        width: parent.width - 64
        modal: true
        title: "System Audio Device Not Found"
        standardButtons: Dialog.Ok
        contentItem: Label {
            wrapMode: Text.Wrap
            text: "To record system audio, Pindle records the monitor source of your output device. "
                  + "Please make sure your sound server (PipeWire or PulseAudio) has an output device "
                  + "with a monitor source, and set it as your output device in your sound settings."
        }
    }
    Connections {
        target: root.recording
        function onSystemAudioDeviceMissing() {
            systemAudioAlert.open()
        }
    }
}
