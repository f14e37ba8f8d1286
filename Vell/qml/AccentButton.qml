import QtQuick

Rectangle {
    id: button
    property alias text: caption.text
    property bool small: false
    signal clicked

    implicitWidth: caption.implicitWidth + 2 * (small ? 12 : 18)
    implicitHeight: small ? 26 : 34
    radius: height / 2
    color: theme.accent
    scale: press.pressed ? 0.97 : 1
    Label {
        id: caption
        anchors.centerIn: parent
        size: button.small ? 12 : 13.5
        font.weight: Font.DemiBold
        color: theme.onAccent
    }
    MouseArea {
        id: press
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
