#include "Demo.h"

#include <QPainter>

namespace {

QString argumentAfter(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size()) return {};
    return arguments.at(at + 1);
}

ChatList demoChats()
{
    const QString host = QStringLiteral("https://") + Destination::claude().host;
    return ChatList::fromRows({
        {QStringLiteral("r"), QStringLiteral("Marlow U CS 229 final prep"),
         host + QStringLiteral("/chat/demo")},
        {QStringLiteral("r"), QStringLiteral("Hinge loss vs ReLU"), host + QStringLiteral("/chat/2")},
        {QStringLiteral("r"), QStringLiteral("Resume bullet points for the internship"),
         host + QStringLiteral("/chat/3")},
        {QStringLiteral("r"), QStringLiteral("Trip to Lisbon in March"), host + QStringLiteral("/chat/4")},
    });
}

} // namespace

namespace Demo {

Phase requestedPhase(const QStringList& arguments)
{
    const QString state = argumentAfter(arguments, QStringLiteral("--state"));
    if (state == QLatin1String("sent")) return Phase::sent();
    if (state == QLatin1String("sending")) return Phase::sending();
    if (state == QLatin1String("failed")) return Phase::failed(QStringLiteral("Safari needs one setting"));
    return Phase::live();
}

std::optional<QString> snapPath(const QStringList& arguments)
{
    const QString path = argumentAfter(arguments, QStringLiteral("--snap"));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

QImage placeholderShot()
{
    // Drawn at twice the size for sharp thumbnails; the device pixel ratio keeps it 160 x 100 points.
    QImage image(320, 200, QImage::Format_RGB32);
    image.setDevicePixelRatio(2.0);
    image.fill(QColor(0xf4, 0xf1, 0xec));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3a, 0x4a, 0x5c));
    // Bars at (12, 60) and (12, 40) from the bottom-left corner, as a chart would stand.
    painter.drawRoundedRect(QRectF(12, 100 - 60 - 10, 110, 10), 3, 3);
    painter.setBrush(QColor(0xdb, 0x54, 0x66));
    painter.drawRoundedRect(QRectF(12, 100 - 40 - 10, 80, 10), 3, 3);
    return image;
}

void stage(SessionModel& model, const Prefs& prefs, const QStringList& arguments)
{
    const Phase phase = requestedPhase(arguments);
    const QString safari = QStringLiteral("Safari");
    Item shot = Item::shot(placeholderShot(), {}, safari, QStringLiteral("Project 2: Hinge Loss"));
    Item clip = Item::clip(QStringLiteral("def hinge(w, X, y):\n    return np.maximum(0, 1 - y * (X @ w))\n"),
                           safari, QStringLiteral("starter.py"));
    const ChatList chats = demoChats();

    model.setDestination(prefs.destination());
    model.setItems({shot, clip});
    model.setTranscript(QStringLiteral(
        "why does the hinge loss clamp at zero here, and is that basically the same thing as a ReLU?"));
    model.setTarget(chats.recents().first());
    model.setChats(chats);
    model.setMic(Mic::listening());
    model.setLevel(0.03f);
    model.setPhase(phase);
    model.setFixable(phase.is(Phase::Kind::failed));
}

} // namespace Demo
