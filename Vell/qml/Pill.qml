import QtQuick

// The capsule that says what the session is doing, one layout per phase.
Glass {
    id: pill
    readonly property string phase: hud.phase
    readonly property Item content: phase === "live" ? livePill
                                  : phase === "sending" ? sendingPill
                                  : phase === "failed" ? failedPill
                                  : phase === "delivering" || phase === "sent" ? statusPill : null

    visible: content !== null
    radius: height / 2
    width: content ? content.width : 0
    height: phase === "failed" ? 50 : 44
    transformOrigin: Item.Bottom
    scale: visible ? 1 : 0.85
    Behavior on scale { NumberAnimation { duration: 380; easing.type: Easing.OutBack; easing.overshoot: 0.8 } }

    // Live: voice, words, attachments, target. Fills the panel less a margin for the shadow.
    Item {
        id: livePill
        objectName: "livePill"
        visible: pill.content === livePill
        width: 760
        height: parent.height
        readonly property real trailing: hud.hasItems ? 10 : 18
        Row {
            x: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            VoiceBars {
                objectName: "voiceBars"
                anchors.verticalCenter: parent.verticalCenter
                level: hud.level
                on: hud.listening
                color: theme.accent
                barsHeight: 16
            }
            Label {
                objectName: "transcript"
                anchors.verticalCenter: parent.verticalCenter
                width: livePill.width - 16 - livePill.trailing - x - 12 * (thumbs.visible ? 2 : 1)
                       - (thumbs.visible ? thumbs.width : 0) - chip.width
                text: hud.transcriptText
                textFormat: Text.PlainText
                maximumLineCount: 1
                elide: Text.ElideLeft
                size: hud.transcriptStyle === "failure" ? 13 : 13.5
                font.weight: hud.transcriptStyle === "placeholder" ? Font.Medium : Font.Normal
                color: hud.transcriptStyle === "failure" ? theme.bad
                     : hud.transcriptStyle === "placeholder" ? theme.secondary : theme.primary
                Behavior on text {
                    SequentialAnimation {
                        NumberAnimation { target: parent; property: "opacity"; to: 0.6; duration: 60 }
                        PropertyAction {}
                        NumberAnimation { target: parent; property: "opacity"; to: 1; duration: 90 }
                    }
                }
            }
            Thumbnails {
                id: thumbs
                objectName: "thumbnails"
                anchors.verticalCenter: parent.verticalCenter
                visible: hud.hasItems
            }
            TargetChip {
                id: chip
                objectName: "chip"
                anchors.verticalCenter: parent.verticalCenter
                glyph: hud.chipGlyph
                title: hud.chipTitle
                tooltip: hud.chipTooltip
                expanded: hud.chipExpanded
                natural: hud.chipNatural
                flash: hud.flash
                onHoverReported: (on) => hud.setChipHover(on)
                onClicked: hud.toggleChoosing()
            }
        }
    }

    Item {
        id: sendingPill
        objectName: "sendingPill"
        visible: pill.content === sendingPill
        width: sendingRow.implicitWidth + 36
        height: parent.height
        Row {
            id: sendingRow
            x: 18
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            Label {
                objectName: "sendingText"
                anchors.verticalCenter: parent.verticalCenter
                text: hud.sendingText
                size: 13.5
                font.weight: Font.Medium
            }
            Key { objectName: "escKey"; label: "esc"; anchors.verticalCenter: parent.verticalCenter }
        }
        BeatLine {
            objectName: "beatLine"
            visible: sendingPill.visible
            x: 18
            width: parent.width - 36
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 7
        }
    }

    // Delivering and sent: a mark and a sentence.
    Item {
        id: statusPill
        objectName: "statusPill"
        visible: pill.content === statusPill
        width: statusRow.implicitWidth + 36
        height: parent.height
        Row {
            id: statusRow
            x: 18
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            PulseDot {
                objectName: "pulseDot"
                visible: pill.phase === "delivering"
                anchors.verticalCenter: parent.verticalCenter
            }
            DrawnCheck {
                objectName: "drawnCheck"
                visible: pill.phase === "sent"
                anchors.verticalCenter: parent.verticalCenter
                color: theme.ok
                size: 13
                animated: true
            }
            Label {
                objectName: "statusText"
                anchors.verticalCenter: parent.verticalCenter
                text: pill.phase === "sent" ? hud.sentText : hud.sendingText
                size: 13.5
                font.weight: Font.Medium
            }
        }
    }

    Item {
        id: failedPill
        objectName: "failedPill"
        visible: pill.content === failedPill
        width: failedRow.implicitWidth + 18 + (hud.fixable ? 8 : 18)
        height: parent.height
        Row {
            id: failedRow
            x: 18
            anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 7
                height: 7
                radius: 3.5
                color: theme.bad
            }
            Column {
                anchors.verticalCenter: parent.verticalCenter
                Label {
                    objectName: "failureMessage"
                    text: hud.failureMessage
                    size: 13
                    font.weight: Font.DemiBold
                }
                Label {
                    objectName: "failureDetail"
                    visible: text !== ""
                    text: hud.failureDetail
                    size: 11.5
                    color: theme.secondary
                }
            }
            Item {
                visible: hud.fixable
                anchors.verticalCenter: parent.verticalCenter
                width: fixButton.width + 4
                height: fixButton.height
                AccentButton {
                    id: fixButton
                    objectName: "fixButton"
                    x: 4
                    small: true
                    text: "Fix it"
                    onClicked: hud.fix()
                }
            }
        }
    }
}
