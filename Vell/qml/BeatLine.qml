import QtQuick

// Fills once over 0.9 s: the pause before sending.
Item {
    id: line
    property real p: 0
    implicitHeight: 2
    Rectangle {
        anchors.fill: parent
        radius: 1
        color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.1)
    }
    Rectangle {
        width: line.p * line.width
        height: parent.height
        radius: 1
        color: theme.accent
    }
    NumberAnimation on p { id: fill; from: 0; to: 1; duration: 900; running: false }
    onVisibleChanged: if (visible) fill.restart()
    Component.onCompleted: if (visible) fill.restart()
}
