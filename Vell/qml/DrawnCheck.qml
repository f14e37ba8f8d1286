import QtQuick

// A check mark, optionally drawn stroke by stroke.
Canvas {
    id: check
    property color color: theme.ok
    property real size: 13
    property bool animated: false
    property real progress: animated ? 0 : 1

    width: size
    height: size
    onProgressChanged: requestPaint()
    onColorChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        const pts = [[0.18, 0.55], [0.42, 0.78], [0.84, 0.24]];
        const seg = (i) => Math.hypot((pts[i + 1][0] - pts[i][0]) * size, (pts[i + 1][1] - pts[i][1]) * size);
        let left = progress * (seg(0) + seg(1));
        ctx.strokeStyle = color;
        ctx.lineWidth = Math.max(size / 6, 1.6);
        ctx.lineCap = "round";
        ctx.lineJoin = "round";
        ctx.beginPath();
        ctx.moveTo(pts[0][0] * size, pts[0][1] * size);
        for (let i = 0; i < 2 && left > 0; ++i) {
            const f = Math.min(left / seg(i), 1);
            ctx.lineTo((pts[i][0] + (pts[i + 1][0] - pts[i][0]) * f) * size,
                       (pts[i][1] + (pts[i + 1][1] - pts[i][1]) * f) * size);
            left -= seg(i);
        }
        ctx.stroke();
    }
    SequentialAnimation {
        id: draw
        PauseAnimation { duration: 50 }
        NumberAnimation { target: check; property: "progress"; from: 0; to: 1; duration: 350; easing.type: Easing.OutQuad }
    }
    onVisibleChanged: if (visible && animated) draw.restart()
    Component.onCompleted: if (visible && animated) draw.restart()
}
