import QtQuick

// A key cap.
Rectangle {
    property alias label: caption.text
    implicitWidth: Math.max(20, caption.implicitWidth + 12)
    implicitHeight: 19
    radius: 5
    color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.08)
    border.width: 0.5
    border.color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.18)
    Label {
        id: caption
        anchors.centerIn: parent
        size: 11
        font.weight: Font.DemiBold
        color: theme.secondary
    }
}
