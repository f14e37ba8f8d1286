import QtQuick

// Five bars that rise with the voice level.
Item {
    id: bars
    property real level: 0
    property bool on: false
    property color color: theme.accent
    property real barsHeight: 16
    readonly property real v: on ? Math.min(Math.sqrt(Math.max(level, 0)) * 3.2, 1) : 0

    implicitWidth: 5 * 2.5 + 4 * 2.5
    implicitHeight: barsHeight
    Row {
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2.5
        Repeater {
            model: [0.4, 0.7, 1.0, 0.7, 0.4]
            Rectangle {
                objectName: "voiceBar"
                anchors.verticalCenter: parent.verticalCenter
                width: 2.5
                radius: 1.25
                height: 3 + (bars.barsHeight - 3) * bars.v * modelData
                color: bars.on ? bars.color : theme.tertiary
                Behavior on height { NumberAnimation { duration: 90; easing.type: Easing.OutQuad } }
            }
        }
    }
}
