import QtQuick

// The attachments, in model order; hovering one previews it and offers removal.
ListView {
    id: list
    orientation: ListView.Horizontal
    spacing: 4
    interactive: false
    width: contentWidth
    height: 24
    model: hud.items

    add: Transition {
        NumberAnimation { properties: "scale"; from: 0.4; to: 1; duration: 320; easing.type: Easing.OutBack }
        NumberAnimation { properties: "opacity"; from: 0; to: 1; duration: 200 }
    }
    remove: Transition {
        NumberAnimation { properties: "scale"; to: 0.4; duration: 200 }
        NumberAnimation { properties: "opacity"; to: 0; duration: 200 }
    }
    displaced: Transition { NumberAnimation { properties: "x"; duration: 320; easing.type: Easing.OutQuad } }

    delegate: Item {
        id: thumb
        objectName: "thumbnail"
        required property string itemId
        required property bool shot
        required property string sizeLabel
        required property string imageSource
        width: 32
        height: 24

        Rectangle {
            anchors.fill: parent
            radius: 6
            visible: !thumb.shot
            color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.08)
            Label {
                objectName: "sizeLabel"
                anchors.centerIn: parent
                text: thumb.sizeLabel
                size: 8.5
                font.weight: Font.DemiBold
                color: theme.secondary
            }
        }
        Image {
            anchors.fill: parent
            visible: thumb.shot
            source: thumb.imageSource
            sourceSize: Qt.size(64, 48)
            fillMode: Image.PreserveAspectCrop
            clip: true
        }
        Rectangle {
            anchors.fill: parent
            radius: 6
            color: "transparent"
            border.width: 0.5
            border.color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.2)
        }
        // The hover area reaches over the badge, so moving onto it keeps the hover.
        MouseArea {
            x: 0
            y: -5
            width: parent.width + 5
            height: parent.height + 5
            hoverEnabled: true
            onContainsMouseChanged: containsMouse ? hud.enterItem(thumb.itemId) : hud.leaveItem(thumb.itemId)
        }
        Rectangle {
            objectName: "removeBadge"
            visible: hud.hovered === thumb.itemId
            width: 16
            height: 16
            radius: 8
            x: parent.width - width + 5
            y: -5
            z: 2
            color: Qt.rgba(0, 0, 0, 0.75)
            Label {
                anchors.centerIn: parent
                text: "\u00d7"
                size: 11
                font.weight: Font.Bold
                color: "white"
            }
            MouseArea { anchors.fill: parent; onClicked: hud.remove(thumb.itemId) }
        }
    }
}
