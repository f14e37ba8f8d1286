import QtQuick

// The new chat and up to five known chats; the marked one gets the message.
Glass {
    id: chooser
    radius: 16
    width: 280
    height: column.implicitHeight + 16

    Column {
        id: column
        x: 8
        y: 8
        width: parent.width - 16
        Label {
            text: "Send to"
            size: 11
            font.weight: Font.Medium
            color: theme.tertiary
            leftPadding: 10
            rightPadding: 10
            bottomPadding: 3
        }
        ChooserRow {
            objectName: "newChatRow"
            width: parent.width
            glyph: "+"
            title: hud.newChatTitle
            on: hud.newChatOn
            onActivated: hud.pick(-1)
        }
        Repeater {
            model: hud.chooserRows
            ChooserRow {
                objectName: "chooserRow"
                width: column.width
                glyph: "→"
                title: modelData.title
                on: modelData.on
                onActivated: hud.pick(index)
            }
        }
        Label {
            objectName: "chooserFooter"
            visible: text !== ""
            width: parent.width
            text: hud.chooserFooter
            size: 11.5
            color: theme.tertiary
            wrapMode: Text.WordWrap
            leftPadding: 10
            rightPadding: 10
            topPadding: 3
        }
    }
    HoverHandler {
        onHoveredChanged: hud.setListHover(hovered)
    }
}
