import QtQuick

// Names the chat the message goes to; glows when the target changes.
Rectangle {
    id: chip
    property string glyph
    property string title
    property string tooltip
    property bool expanded: false
    property bool natural: true
    property bool flash: false
    signal hoverReported(bool on)
    signal clicked

    readonly property real titleLimit: expanded ? 260 : 96
    implicitWidth: content.implicitWidth + 18
    implicitHeight: 24
    radius: height / 2
    color: flash ? Qt.rgba(theme.accent.r, theme.accent.g, theme.accent.b, 0.16)
                 : Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.07)
    border.width: 1
    border.color: Qt.rgba(theme.accent.r, theme.accent.g, theme.accent.b, flash ? 0.6 : 0)
    Behavior on color { ColorAnimation { duration: 250; easing.type: Easing.OutQuad } }
    Behavior on implicitWidth { NumberAnimation { duration: 350; easing.type: Easing.OutBack; easing.overshoot: 0.6 } }

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 4
        Label {
            objectName: "chipGlyph"
            anchors.verticalCenter: parent.verticalCenter
            text: chip.glyph
            size: 11
            font.weight: Font.DemiBold
            color: chip.flash ? theme.accent : theme.tertiary
        }
        Label {
            id: titleText
            objectName: "chipTitle"
            anchors.verticalCenter: parent.verticalCenter
            text: chip.title
            size: 11.5
            font.weight: Font.Medium
            color: chip.expanded ? theme.primary : theme.secondary
            elide: Text.ElideRight
            maximumLineCount: 1
            // implicitWidth is the natural width; a long title is cut to the limit.
            width: chip.natural ? implicitWidth : Math.min(implicitWidth, chip.titleLimit)
        }
    }
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onContainsMouseChanged: chip.hoverReported(containsMouse)
        onClicked: chip.clicked()
    }
    Rectangle {
        // The tooltip sits above the chip, inside the panel's shape.
        objectName: "chipTooltip"
        property alias text: tip.text
        readonly property bool vellGlass: true
        property real radius: 5
        visible: tipTimer.shown
        anchors.bottom: parent.top
        anchors.bottomMargin: 6
        anchors.right: parent.right
        width: tip.implicitWidth + 12
        height: tip.implicitHeight + 6
        color: theme.windowBackground
        border.width: 0.5
        border.color: theme.tertiary
        Label { id: tip; anchors.centerIn: parent; size: 11; text: chip.tooltip }
    }
    Timer {
        id: tipTimer
        property bool shown: false
        interval: 800
        onTriggered: shown = true
    }
    onHoverReported: (on) => { tipTimer.shown = false; if (on) tipTimer.restart(); else tipTimer.stop(); }
}
