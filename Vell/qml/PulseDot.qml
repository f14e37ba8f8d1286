import QtQuick

Rectangle {
    width: 7
    height: 7
    radius: 3.5
    color: theme.accent
    SequentialAnimation on opacity {
        running: visible
        loops: Animation.Infinite
        NumberAnimation { to: 0.35; duration: 550; easing.type: Easing.InOutQuad }
        NumberAnimation { to: 1; duration: 550; easing.type: Easing.InOutQuad }
    }
}
