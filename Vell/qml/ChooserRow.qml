import QtQuick

// One line of the chat chooser; the whole row is the click target.
Item {
    id: row
    property string glyph
    property string title
    property bool on: false
    signal activated

    implicitHeight: 26
    Rectangle {
        anchors.fill: parent
        radius: 8
        color: hover.containsMouse ? Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.08) : "transparent"
    }
    Label {
        id: glyphText
        x: 10
        width: 10
        anchors.verticalCenter: parent.verticalCenter
        text: row.glyph
        size: 11
        font.weight: Font.DemiBold
        color: theme.tertiary
    }
    Label {
        objectName: "rowTitle"
        anchors.left: glyphText.right
        anchors.leftMargin: 7
        anchors.right: mark.visible ? mark.left : parent.right
        anchors.rightMargin: mark.visible ? 7 : 10
        anchors.verticalCenter: parent.verticalCenter
        text: row.title
        size: 12.5
        font.weight: row.on ? Font.DemiBold : Font.Normal
        elide: Text.ElideRight
        maximumLineCount: 1
    }
    Label {
        id: mark
        objectName: "rowCheck"
        visible: row.on
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        text: "✓"
        size: 10
        font.weight: Font.Bold
        color: theme.accent
    }
    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        onClicked: row.activated()
    }
}
