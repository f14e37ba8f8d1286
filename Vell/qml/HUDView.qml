import QtQuick

// Everything the user sees of a session, stacked against the bottom of the panel.
Item {
    id: view
    width: 800
    height: 340

    readonly property string phase: hud.phase
    readonly property bool live: phase === "live"

    Column {
        id: stack
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 10

        Glass {
            id: previewCard
            objectName: "previewCard"
            anchors.horizontalCenter: parent.horizontalCenter
            radius: 18
            // Shown at once, faded in; kept while it fades out.
            visible: hud.previewVisible || opacity > 0
            opacity: hud.previewVisible ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 180; easing.type: Easing.OutQuad } }
            width: previewColumn.implicitWidth + 24
            height: previewColumn.implicitHeight + 24
            Column {
                id: previewColumn
                x: 12
                y: 12
                spacing: 6
                Image {
                    objectName: "previewImage"
                    visible: hud.previewShot
                    source: hud.previewImage
                    width: hud.previewImageSize.width
                    height: hud.previewImageSize.height
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                }
                Label {
                    objectName: "previewText"
                    visible: !hud.previewShot
                    width: 340
                    text: hud.previewText
                    size: 11
                    font.family: "monospace"
                    textFormat: Text.PlainText
                }
                Label {
                    objectName: "previewCaption"
                    width: Math.min(implicitWidth, 340)
                    text: hud.previewCaption
                    size: 11
                    color: theme.secondary
                    elide: Text.ElideRight
                }
            }
        }

        // The chooser or the key hint, over the pill.
        Column {
            id: group
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 8

            ChatChooser {
                objectName: "chooser"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: hud.chooserVisible
            }

            Glass {
                id: keyHint
                objectName: "keyHint"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: hud.hintVisible
                radius: height / 2
                width: hintRow.implicitWidth + 24
                height: 30
                Row {
                    id: hintRow
                    x: 12
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 6
                    Key { objectName: "triggerKey"; label: hud.triggerSymbol; anchors.verticalCenter: parent.verticalCenter }
                    Label { text: "send"; size: 11.5; color: theme.secondary; anchors.verticalCenter: parent.verticalCenter }
                    Item { width: 6; height: 1 }
                    Key { label: "esc"; anchors.verticalCenter: parent.verticalCenter }
                    Label { text: "cancel"; size: 11.5; color: theme.secondary; anchors.verticalCenter: parent.verticalCenter }
                    Item { width: 6; height: 1 }
                    Label {
                        objectName: "addWindow"
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Add window"
                        size: 11.5
                        font.weight: Font.Medium
                        color: theme.secondary
                        MouseArea { anchors.fill: parent; anchors.margins: -4; onClicked: hud.add() }
                    }
                }
            }

            Pill {
                id: pill
                objectName: "pill"
                anchors.horizontalCenter: parent.horizontalCenter
            }

            HoverHandler {
                onHoveredChanged: hud.setPillHover(hovered)
            }
        }
    }
}
