import QtQuick

// One HUD surface. Where a compositor blends the window it is translucent
// with a soft shadow; otherwise opaque, and the window is shaped to it.
Item {
    id: glass
    property real radius: 0
    // The panel collects the items marked like this into its window shape.
    readonly property bool vellGlass: true

    Repeater {
        model: hud.translucent ? 4 : 0
        Rectangle {
            readonly property real spread: (index + 1) * 4
            x: -spread
            y: 6 - spread
            width: glass.width + 2 * spread
            height: glass.height + 2 * spread
            radius: glass.radius + spread
            color: Qt.rgba(0, 0, 0, 0.06)
        }
    }
    Rectangle {
        anchors.fill: parent
        radius: glass.radius
        color: Qt.rgba(theme.windowBackground.r, theme.windowBackground.g, theme.windowBackground.b,
                       hud.translucent ? 0.8 : 1)
        border.width: 0.5
        border.color: Qt.rgba(theme.primary.r, theme.primary.g, theme.primary.b, 0.14)
    }
}
