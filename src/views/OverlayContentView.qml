import QtQuick
import Pindle
import QtQuick.Layouts

// The whole overlay: header, conversation, error banner and input row on a translucent, rounded
// card with a shadow inside the window's margin.
Item {
    id: root

    required property ChatViewModel viewModel
    // The overlay's mode, and the way back to the application that had the keyboard.
    required property OverlayController overlay
    required property SettingsManager settings
    required property MessageListModel messages
    required property RecordingControls recording
    required property ShortcutController shortcuts
    required property MenuModel appMenu
    // The window: whether a compositor draws transparency, and blurs what lies behind.
    required property OverlayWindowing windowing
    // Whether the desktop keeps this window out of other programs' screen captures.
    required property bool hiddenFromCapture

    // Without a compositor transparency shows black: an opaque, square card fills the window.
    readonly property bool composited: windowing.composited
    readonly property int radius: composited ? 16 : 0

    implicitWidth: 420
    implicitHeight: 600

    // A finished answer and each new error are said to a screen reader, wherever its focus is.
    Announcer {
        id: announcer
    }
    Connections {
        target: root.viewModel
        function onAnswerFinished(text: string) {
            announcer.announce(list, text, false)
        }
        function onErrorMessageChanged() {
            announcer.announce(banner, root.viewModel.errorMessage, true)
        }
    }
    Item {
        objectName: "announcement"
        Accessible.role: Accessible.AlertMessage
        Accessible.name: announcer.fallbackText
        Accessible.ignored: announcer.fallbackText.length === 0
    }

    // Shadow: rings fading outwards through the margin, weighted downwards; nothing under the card,
    // so a fully transparent background stays transparent.
    Repeater {
        model: root.composited ? 8 : 0
        Rectangle {
            required property int index
            x: 7 - index
            y: 7 - index + Math.min(index, 4) * 0.5
            width: parent.width - 14 + 2 * index
            height: parent.height - 14 + 2 * index
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
            // Blur behind smooths a busy desktop but does not darken a white one: a lighter top,
            // the same floor.
            color: Qt.rgba(0.11, 0.11, 0.13, !root.composited ? 1
                           : Theme.cardAlpha(root.settings.overlayOpacity, root.windowing.blurBehind ? 0.8 : 0.88))
        }

        // The background moves the window: presses that no control or text takes land here.
        MouseArea {
            objectName: "dragArea"
            anchors.fill: parent
            onPressed: mouse => {
                if (!root.windowing.beginMove(root.Window.window, mapToItem(null, mouse.x, mouse.y)))
                    root.Window.window.startSystemMove()
            }
            onPositionChanged: mouse => root.windowing.moveTo(root.Window.window, mapToItem(null, mouse.x, mouse.y))
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
                    stealthMode: root.overlay.stealthMode
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
                    Accessible.role: Accessible.List
                    //: Read by screen readers: name of the overlay's list of questions and answers
                    Accessible.name: qsTr("Conversation")
                    delegate: MessageBubble {
                        width: ListView.view.width - 32
                    }

                    ListEndFollower {
                        id: follower
                        objectName: "follower"
                        model: root.messages
                        onGlideToEnd: {
                            glide.stop()
                            glide.from = list.contentY
                            list.positionViewAtEnd()
                            glide.to = list.contentY
                            list.contentY = glide.from
                            glide.start()
                        }
                        onJumpToEnd: list.positionViewAtEnd()
                    }
                    NumberAnimation {
                        id: glide
                        target: list
                        property: "contentY"
                        duration: 200
                        easing.type: Easing.OutCubic
                        onFinished: follower.glideFinished()
                    }
                    onContentHeightChanged: follower.layoutChanged()
                    onHeightChanged: follower.layoutChanged()
                    onMovementStarted: follower.userScrolled()
                }

                ListScrollBar {
                    objectName: "scrollBar"
                    view: list
                    // Dragging the bar is the user scrolling too.
                    onPressedChanged: if (pressed) follower.userScrolled()
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
                id: banner
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

        AlertPanel {
            id: systemAudioAlert
            objectName: "systemAudioAlert"
            radius: root.radius
            //: Dialog title
            title: qsTr("System Audio Device Not Found")
            text: qsTr("To record system audio, Pindle records the monitor source of your output device. "
                       + "Please make sure your sound server (PipeWire or PulseAudio) has an output device "
                       + "with a monitor source, and set it as your output device in your sound settings.")
        }
    }

    // Wherever the keyboard is in the overlay (the field, a selected answer), Escape gives it back.
    Shortcut {
        sequence: "Escape"
        enabled: !root.overlay.stealthMode
        onActivated: root.overlay.leaveTypingMode()
    }

    Connections {
        target: root.recording
        function onSystemAudioDeviceMissing() {
            systemAudioAlert.open()
        }
    }
}
