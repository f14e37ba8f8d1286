import QtQuick

// Text sized in points (logical pixels); fractional sizes such as 13.5 are kept.
Text {
    property real size: 13
    font.pointSize: size * 0.75
    color: theme.primary
}
