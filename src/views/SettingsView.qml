import QtQuick
import Pindle
import QtQuick.Controls
import QtQuick.Layouts

// The settings window: account, model, overlay opacity, assistant category, system prompt and
// the shortcuts. Every change goes straight into the settings store.
WindowPane {
    id: view

    required property SettingsManager settings
    required property SettingsController controller
    required property ShortcutController shortcuts

    implicitWidth: 450
    implicitHeight: 480
    padding: 0
    // The keyboard starts in the window, so that Tab reaches the first control and Escape closes
    // it; the shortcut being recorded takes Escape first.
    Component.onCompleted: forceActiveFocus()
    Keys.onEscapePressed: Window.window.close()

    // A control that takes the keyboard scrolls into view.
    function revealFocus() {
        const flick = scroll.contentItem as Flickable
        const item = Window.activeFocusItem
        let ancestor = item
        while (ancestor && ancestor !== flick.contentItem)
            ancestor = ancestor.parent
        if (!ancestor)
            return
        const top = item.mapToItem(flick.contentItem, 0, 0).y - 8
        const bottom = top + item.height + 16
        if (top < flick.contentY)
            flick.contentY = Math.max(0, top)
        else if (bottom > flick.contentY + flick.height)
            flick.contentY = Math.min(flick.contentHeight - flick.height, bottom - flick.height)
    }
    Connections {
        target: view.Window.window
        function onActiveFocusItemChanged() {
            view.revealFocus()
        }
    }

    // Scrolls to the shortcuts, which close the window's content, once it is laid out.
    property bool shortcutsWanted: false
    function revealShortcuts() {
        shortcutsWanted = true
        scrollToShortcuts()
    }
    function scrollToShortcuts() {
        if (!shortcutsWanted || scroll.contentHeight <= scroll.height)
            return
        shortcutsWanted = false
        scroll.ScrollBar.vertical.position = 1 - scroll.ScrollBar.vertical.size
    }

    Dialog {
        id: confirmation
        objectName: "addToDesktopConfirmation"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(view.width - 40, 380)
        modal: true
        //: Dialog title
        title: qsTr("Add Pindle's shortcuts to GNOME?")
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAccepted: view.shortcuts.addToDesktop()
        Label {
            width: parent.width
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            font.pixelSize: Theme.textPx(11)
            // The list of shortcuts follows the explanation.
            text: qsTr("GNOME's keyboard settings get a custom shortcut for each of these, but for "
                       + "combinations GNOME already uses. You can change or remove them there later.")
                  + "\n\n" + view.shortcuts.commandList
        }
    }

    component SectionTitle: Label {
        font.bold: true
        font.pixelSize: Theme.textPx(13)
    }
    component Secondary: Label {
        opacity: 0.65
    }
    component Section: Frame {
        Layout.fillWidth: true
        default property alias content: column.data
        property alias rowSpacing: column.spacing
        ColumnLayout {
            id: column
            anchors.fill: parent
            spacing: 8
        }
    }

    ScrollView {
        id: scroll
        anchors.fill: parent
        contentWidth: availableWidth
        onContentHeightChanged: view.scrollToShortcuts()

        ColumnLayout {
            width: scroll.availableWidth - 32
            x: 16
            spacing: 12

            Item { implicitHeight: 4 }

            // Settings that cannot be saved would be gone at the next start: say so first.
            Frame {
                objectName: "storageError"
                Layout.fillWidth: true
                visible: view.settings.storageError.length > 0
                background: Rectangle {
                    radius: 4
                    color: Qt.rgba(0.94, 0.55, 0, 0.15)
                    border.color: "#f08c00"
                }
                Label {
                    objectName: "storageErrorText"
                    anchors.fill: parent
                    text: view.settings.storageError
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                }
            }

            Section {
                //: Section title
                SectionTitle { text: qsTr("Account") }
                RowLayout {
                    //: Label before the signed-in e-mail address
                    Secondary { text: qsTr("Email:") }
                    Label {
                        objectName: "accountEmail"
                        text: view.controller.userEmail
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                }
                RowLayout {
                    //: Label before the subscription state
                    Secondary { text: qsTr("Subscription:") }
                    Label {
                        objectName: "accountStatus"
                        text: view.controller.subscriptionStatus
                        textFormat: Text.PlainText
                        color: view.controller.subscriptionActive ? view.positiveText : view.warningText
                    }
                }
                // Older servers do not tell the balance: no row then.
                RowLayout {
                    visible: view.controller.tokensLeft.length > 0
                    //: Label before the number of tokens the account has left
                    Secondary { text: qsTr("Tokens left:") }
                    Label {
                        objectName: "accountTokensLeft"
                        text: view.controller.tokensLeft
                        textFormat: Text.PlainText
                    }
                }
            }

            Section {
                //: Section title and name of the picker: the AI model that answers
                SectionTitle { text: qsTr("Model") }
                ComboBox {
                    objectName: "modelPicker"
                    Layout.fillWidth: true
                    model: view.controller.modelOptions
                    textRole: "name"
                    valueRole: "id"
                    Accessible.name: qsTr("Model")
                    currentIndex: count > 0 ? indexOfValue(view.settings.model) : -1
                    // A new list (the server's) resets the index: find the choice again in it.
                    onModelChanged: currentIndex = Qt.binding(
                                        () => count > 0 ? indexOfValue(view.settings.model) : -1)
                    onActivated: view.settings.model = currentValue
                }
                Secondary {
                    text: view.settings.model
                    font.family: "monospace"
                    font.pixelSize: Theme.textPx(11)
                }
                Secondary {
                    objectName: "modelSummary"
                    Layout.fillWidth: true
                    text: view.settings.selectedModelSummary
                    font.pixelSize: Theme.textPx(11)
                    wrapMode: Text.Wrap
                }
            }

            Section {
                Switch {
                    objectName: "startAtLogin"
                    text: qsTr("Start Pindle at login")
                    font.pixelSize: Theme.textPx(12)
                    leftPadding: 0
                    // A screen reader's click is the first action, Qt's Toggle: it must write
                    // the entry as a click does.
                    function click() {
                        toggle()
                        toggled()
                    }
                    Accessible.onPressAction: click()
                    Accessible.onToggleAction: click()
                    checked: view.controller.startAtLogin
                    // Follows the entry again, also when writing it was refused.
                    onToggled: {
                        view.controller.startAtLogin = checked
                        checked = Qt.binding(() => view.controller.startAtLogin)
                    }
                }
                Label {
                    objectName: "startAtLoginError"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: view.controller.startAtLoginError
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: text
                    color: view.errorText
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
            }

            Section {
                //: Section title
                SectionTitle { text: qsTr("Overlay Opacity") }
                RowLayout {
                    Slider {
                        objectName: "opacitySlider"
                        Layout.fillWidth: true
                        from: Theme.leastOverlayOpacity
                        to: 1.0
                        stepSize: 0.05
                        snapMode: Slider.SnapAlways
                        value: view.settings.overlayOpacity
                        // Also a value set by an assistive tool, which moves no handle. A stored
                        // value beyond the ends is shown at the end, and kept until moved.
                        onValueChanged: if (value !== Math.min(Math.max(view.settings.overlayOpacity, from), to))
                                            view.settings.overlayOpacity = value
                        Accessible.name: qsTr("Overlay Opacity")
                    }
                    Secondary {
                        objectName: "opacityPercent"
                        Layout.preferredWidth: Math.max(40, implicitWidth)
                        text: view.controller.opacityPercent
                    }
                }
            }

            Section {
                //: Section title
                SectionTitle { text: qsTr("Assistant Category") }
                ComboBox {
                    objectName: "categoryPicker"
                    Layout.fillWidth: true
                    model: view.controller.categoryOptions
                    textRole: "name"
                    valueRole: "id"
                    Accessible.name: qsTr("Assistant Category")
                    currentIndex: count > 0 ? indexOfValue(view.settings.selectedCategory) : -1
                    onActivated: view.settings.selectedCategory = currentValue
                }
                Secondary {
                    Layout.fillWidth: true
                    Layout.topMargin: 2
                    visible: text.length > 0
                    text: view.controller.categoryDescription
                    font.pixelSize: Theme.textPx(11)
                    wrapMode: Text.Wrap
                }
            }

            Section {
                //: Section title: the user's own instruction sent to the AI
                SectionTitle { text: qsTr("System Prompt") }
                ScrollView {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 80
                    contentWidth: availableWidth
                    TextArea {
                        objectName: "systemPrompt"
                        text: view.settings.systemPrompt
                        onTextChanged: if (text !== view.settings.systemPrompt) view.settings.systemPrompt = text
                        font.family: "monospace"
                        wrapMode: TextEdit.Wrap
                        Accessible.name: qsTr("System Prompt")
                        // Tab moves on, as in a form: a prompt has no use for tab characters.
                        Keys.onTabPressed: nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
                        Keys.onBacktabPressed: nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)
                        background: Rectangle {
                            color: view.palette.base
                            border.width: 1
                            border.color: Qt.rgba(0.5, 0.5, 0.5, 0.3)
                        }
                    }
                }
                Secondary {
                    Layout.fillWidth: true
                    text: qsTr("Sent with every question, after the server's instruction for the category.")
                    font.pixelSize: Theme.textPx(11)
                    wrapMode: Text.Wrap
                }
            }

            Section {
                rowSpacing: 4
                //: Section title
                SectionTitle { text: qsTr("Keyboard Shortcuts") }
                // A fixed count keeps each row (and the keyboard focus in it) while its texts change.
                Repeater {
                    model: 3
                    delegate: ColumnLayout {
                        id: shortcut
                        required property int index
                        // qmllint disable unqualified
                        // (Qt 6.4's linter does not see the window's id from a delegate.)
                        readonly property ShortcutController shortcuts: view.shortcuts
                        readonly property color warningText: view.warningText
                        // qmllint enable unqualified
                        readonly property var row: shortcuts.rows[index]
                        Layout.fillWidth: true
                        spacing: 2
                        RowLayout {
                            spacing: 6
                            Button {
                                id: combination
                                objectName: "shortcutButton" + shortcut.index
                                //: On the shortcut button while it waits for the new key combination; keep it short
                                text: shortcut.row.recording ? qsTr("Press keys…") : shortcut.row.combination
                                font.pixelSize: Theme.textPx(11)
                                Layout.preferredWidth: 120
                                // The action first: the key combination alone does not say what it does.
                                Accessible.name: text.length > 0
                                                 //: Read by screen readers on a shortcut button in the settings: %1 is
                                                 //: the action, e.g. Toggle overlay visibility, %2 its key combination
                                                 //: (e.g. Alt+H) or "Press keys…" while it waits for one
                                                 ? qsTr("%1: %2").arg(shortcut.row.description).arg(text)
                                                 : shortcut.row.description
                                Accessible.description: qsTr("Click, then press the new shortcut")
                                onClicked: {
                                    if (shortcut.row.recording) {
                                        shortcut.shortcuts.cancelRecording()
                                    } else {
                                        shortcut.shortcuts.startRecording(shortcut.row.action)
                                        forceActiveFocus()
                                    }
                                }
                                // Clicking elsewhere gives up, so the shortcuts are taken again.
                                onActiveFocusChanged: if (!activeFocus && shortcut.row.recording)
                                                          shortcut.shortcuts.cancelRecording()
                                Keys.onPressed: event => {
                                    if (shortcut.row.recording)
                                        event.accepted = shortcut.shortcuts.recordKey(
                                            event.key, event.modifiers, event.nativeScanCode)
                                }
                                Keys.onReturnPressed: clicked()
                                Keys.onEnterPressed: clicked()
                                Accessible.onPressAction: clicked()
                            }
                            Secondary {
                                text: "— " + shortcut.row.description
                                font.pixelSize: Theme.textPx(11)
                                Layout.fillWidth: true
                                elide: Text.ElideRight
                            }
                            Button {
                                objectName: "shortcutReset" + shortcut.index
                                //: Button that restores a shortcut's default key combination
                                text: qsTr("Reset")
                                flat: true
                                font.pixelSize: Theme.textPx(11)
                                visible: !shortcut.row.isDefault
                                // Says which of the Reset buttons this is.
                                Accessible.description: shortcut.row.description
                                onClicked: shortcut.shortcuts.resetToDefault(shortcut.row.action)
                                Keys.onReturnPressed: clicked()
                                Accessible.onPressAction: clicked()
                            }
                        }
                        Label {
                            objectName: "shortcutProblem" + shortcut.index
                            Layout.fillWidth: true
                            // What holds for all of them is said once, below.
                            visible: text.length > 0
                                     && text !== shortcut.shortcuts.unavailableReason
                            text: shortcut.row.problem
                            textFormat: Text.PlainText
                            color: shortcut.warningText
                            font.pixelSize: Theme.textPx(10)
                            wrapMode: Text.Wrap
                        }
                    }
                }
                Label {
                    objectName: "shortcutError"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: view.shortcuts.recordingError
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: text
                    color: view.errorText
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
                Label {
                    objectName: "shortcutsUnavailable"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: view.shortcuts.unavailableReason
                    textFormat: Text.PlainText
                    color: view.warningText
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
                Secondary {
                    objectName: "confirmationNote"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: view.shortcuts.confirmationNote
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
                Secondary {
                    Layout.fillWidth: true
                    text: qsTr("Click a shortcut, then press the keys you want (Escape cancels).")
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
                // Where Pindle cannot take keys itself, GNOME's own settings can run it.
                Button {
                    objectName: "addToDesktop"
                    visible: view.shortcuts.canAddToDesktop
                    //: Button
                    text: qsTr("Add to GNOME's Keyboard Shortcuts…")
                    font.pixelSize: Theme.textPx(11)
                    onClicked: confirmation.open()
                    Keys.onReturnPressed: clicked()
                    Accessible.onPressAction: clicked()
                }
                Label {
                    objectName: "desktopNote"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    text: view.shortcuts.desktopNote
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.textPx(10)
                    wrapMode: Text.Wrap
                }
            }

            Item { implicitHeight: 4 }
        }
    }
}
