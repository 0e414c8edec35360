import QtQuick
import Pindle
import QtQuick.Layouts

// Capture, microphone, system audio, the question field and send.
Item {
    id: area

    required property ChatViewModel viewModel
    required property RecordingControls recording
    required property ShortcutController shortcuts

    implicitHeight: row.implicitHeight + 24

    // The window becomes active only in typing mode, and then the keys belong to the field.
    readonly property bool windowActive: Window.active
    onWindowActiveChanged: if (windowActive) field.forceActiveFocus()

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 12
        anchors.bottomMargin: 12
        spacing: 10

        IconButton {
            objectName: "captureButton"
            glyph: "capture"
            size: 16
            busy: area.viewModel.isCapturing
            //: Tooltip; %1 is the key combination that does the same, e.g. Alt+S
            toolTip: area.shortcuts.captureScreen.length > 0
                     ? qsTr("Capture screen (%1)").arg(area.shortcuts.captureScreen) : qsTr("Capture screen")
            enabled: area.viewModel.canCapture
            onClicked: area.viewModel.captureAndAnalyze()
        }
        IconButton {
            objectName: "microphoneButton"
            readonly property bool recording: area.recording.microphoneRecording
            glyph: recording ? "micStop" : "mic"
            size: 20
            color: recording ? Theme.red : Theme.alpha(Theme.white, 0.7)
            //: Tooltips of the microphone button
            toolTip: recording ? qsTr("Stop Recording") : qsTr("Record Audio")
            enabled: area.recording.microphoneEnabled
            onClicked: area.recording.toggleMicrophone()
        }
        IconButton {
            objectName: "systemAudioButton"
            readonly property bool recording: area.recording.systemAudioRecording
            glyph: recording ? "systemAudioStop" : "systemAudio"
            size: 20
            color: recording ? Theme.orange : Theme.alpha(Theme.white, 0.7)
            toolTip: recording ? qsTr("Stop System Audio Recording") : qsTr("Record System Audio")
            enabled: area.recording.systemAudioEnabled
            onClicked: area.recording.toggleSystemAudio()
        }
        TextLine {
            id: field
            objectName: "inputField"
            Layout.fillWidth: true
            // A click takes no focus while the keys go elsewhere: no caret without a keyboard.
            activeFocusOnPress: area.windowActive
            text: area.viewModel.inputText
            onTextChanged: area.viewModel.inputText = text
            onAccepted: area.viewModel.sendMessage()
            //: Placeholder of the question field
            placeholderText: qsTr("Ask anything…")
            Accessible.name: placeholderText
            placeholderTextColor: Theme.alpha(Theme.white, 0.7)
            color: Theme.white
            selectionColor: Theme.alpha(Theme.blue, 0.6)
            selectedTextColor: Theme.white
            font.pixelSize: Theme.textPx(13)
            leftPadding: 12
            rightPadding: 12
            topPadding: 8
            bottomPadding: 8
            radius: 10
            backgroundColor: Theme.alpha(Theme.white, 0.08)
        }
        IconButton {
            objectName: "sendButton"
            glyph: "send"
            size: 22
            busy: area.viewModel.isLoading
            spinnerScale: 0.6
            color: area.viewModel.inputText.length === 0 ? Theme.alpha(Theme.white, 0.3) : Theme.blue
            enabled: !area.viewModel.isLoading
            //: Read by screen readers: name of the button that sends the question, next to the question field
            Accessible.name: qsTr("Send")
            onClicked: area.viewModel.sendMessage()
        }
    }
}
