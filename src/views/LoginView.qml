import QtQuick
import Pindle
import QtQuick.Controls
import QtQuick.Layouts

// The sign-in window: e-mail and password, the service's error in red, and the way to sign up.
WindowPane {
    id: view

    required property LoginController controller

    implicitWidth: 360
    implicitHeight: 420
    padding: 0
    // Escape closes the window, as it does a dialog.
    Keys.onEscapePressed: Window.window.close()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item {
            Layout.fillHeight: true
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 32
            spacing: 12
            Icon {
                Layout.alignment: Qt.AlignHCenter
                glyph: "hidden"
                size: 48
                color: Theme.blue
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: "Pindle"
                font.pixelSize: Theme.textPx(28)
                font.bold: true
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Sign in to your account")
                opacity: 0.7
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 280
            Layout.maximumWidth: 280
            spacing: 16

            TextField {
                id: email
                objectName: "emailField"
                Layout.fillWidth: true
                //: Placeholder of the e-mail address field
                placeholderText: qsTr("Email")
                Accessible.name: placeholderText
                inputMethodHints: Qt.ImhEmailCharactersOnly | Qt.ImhNoAutoUppercase
                text: view.controller.email
                onTextChanged: view.controller.email = text
                KeyNavigation.tab: password
                onAccepted: password.forceActiveFocus(Qt.TabFocusReason)
                Component.onCompleted: forceActiveFocus()
            }
            TextField {
                id: password
                objectName: "passwordField"
                Layout.fillWidth: true
                placeholderText: qsTr("Password")
                Accessible.name: placeholderText
                echoMode: TextInput.Password
                inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
                text: view.controller.password
                onTextChanged: view.controller.password = text
                onAccepted: view.controller.signIn()
            }
            Label {
                objectName: "errorText"
                Layout.fillWidth: true
                visible: view.controller.errorMessage.length > 0
                text: view.controller.errorMessage
                textFormat: Text.PlainText
                color: view.errorText
                font.pixelSize: Theme.textPx(11)
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
            Button {
                id: signIn
                objectName: "signInButton"
                Layout.fillWidth: true
                Layout.preferredHeight: 36
                highlighted: true
                enabled: view.controller.canSignIn
                onClicked: view.controller.signIn()
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                Accessible.onPressAction: if (enabled) clicked()
                // The label is drawn by hand below: the button's own text stays empty.
                Accessible.name: qsTr("Sign In")
                contentItem: Item {
                    Label {
                        objectName: "signInLabel"
                        anchors.centerIn: parent
                        visible: !view.controller.isLoading
                        //: Button
                        text: qsTr("Sign In")
                        font.weight: Font.DemiBold
                        // Greyed while there is nothing to sign in with. The style tints a
                        // highlighted button only lightly: its text stays the button text.
                        color: !signIn.enabled ? signIn.palette.disabled.buttonText : signIn.palette.buttonText
                    }
                    BusyIndicator {
                        anchors.centerIn: parent
                        visible: view.controller.isLoading
                        running: visible
                        width: 32
                        height: 32
                        scale: 0.7
                    }
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 20
            spacing: 4
            Label {
                Layout.alignment: Qt.AlignHCenter
                //: Above the sign-up link
                text: qsTr("Don't have an account?")
                font.pixelSize: Theme.textPx(11)
                opacity: 0.7
            }
            Label {
                objectName: "signUpLink"
                Layout.alignment: Qt.AlignHCenter
                text: view.controller.signUpText
                font.pixelSize: Theme.textPx(11)
                // The pane's colour, not its palette's: bound to the palette, Qt 6.4 reports a
                // binding loop on the label's colour.
                color: view.linkText
                font.underline: activeFocus || linkArea.containsMouse
                activeFocusOnTab: true
                Keys.onReturnPressed: follow()
                Keys.onEnterPressed: follow()
                Keys.onSpacePressed: follow()
                Accessible.role: Accessible.Link
                Accessible.name: text
                Accessible.onPressAction: follow()

                function follow() {
                    if (String(view.controller.signUpUrl).length > 0)
                        Qt.openUrlExternally(view.controller.signUpUrl)
                }
                MouseArea {
                    id: linkArea
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: parent.follow()
                }
            }
        }
    }
}
