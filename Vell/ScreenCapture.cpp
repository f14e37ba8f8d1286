#include "ScreenCapture.h"

#include "Jpeg.h"
#include "Log.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

struct Candidate {
    quint32 number;
    QRectF frame;
    QString title;
};

// Vendor identifiers, compared case-sensitively as prefixes.
const QStringList& excludedPrefixes()
{
    static const QStringList prefixes{
        QStringLiteral("com.1password"),
        QStringLiteral("com.agilebits"),
        QStringLiteral("com.apple.keychainaccess"),
        QStringLiteral("com.apple.Passwords"),
        QStringLiteral("com.bitwarden"),
        QStringLiteral("com.lastpass"),
        QStringLiteral("com.dashlane"),
    };
    return prefixes;
}

// Linux window classes come in many spellings ("KeePassXC", "1Password",
// "org.gnome.seahorse.Application", "com.bitwarden.desktop"): any word of
// the class, case-insensitively, names the program.
bool namesPasswordManager(const QString& windowClass)
{
    static const QSet<QString> names{
        QStringLiteral("keepassxc"), QStringLiteral("1password"), QStringLiteral("bitwarden"),
        QStringLiteral("lastpass"),  QStringLiteral("dashlane"),  QStringLiteral("seahorse"),
    };
    static const QRegularExpression separators(QStringLiteral("[^A-Za-z0-9]+"));
    const QStringList words = windowClass.toLower().split(separators, Qt::SkipEmptyParts);
    for (const QString& word : words)
        if (names.contains(word)) return true;
    return false;
}

bool fitsOnAScreen(const QRectF& frame, const QList<QRectF>& screens)
{
    for (const QRectF& screen : screens)
        if (screen.width() >= frame.width() - ScreenCapture::screenSlack &&
            screen.height() >= frame.height() - ScreenCapture::screenSlack)
            return true;
    return false;
}

bool matchesFocus(const QRectF& frame, const QRectF& focused)
{
    const auto near = [](double a, double b) { return std::abs(a - b) < ScreenCapture::focusTolerance; };
    return near(frame.x(), focused.x()) && near(frame.y(), focused.y()) &&
           near(frame.width(), focused.width()) && near(frame.height(), focused.height());
}

QString rendered(const std::optional<QRectF>& frame)
{
    if (!frame) return QStringLiteral("none");
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(frame->x())
        .arg(frame->y())
        .arg(frame->width())
        .arg(frame->height());
}

} // namespace

ScreenCapture::ScreenCapture(WindowSystem& system, Shutter& shutter) : system_(system), shutter_(shutter) {}

bool ScreenCapture::isExcluded(const FrontApp& app)
{
    for (const QString& prefix : excludedPrefixes())
        if (app.bundleID.startsWith(prefix, Qt::CaseSensitive)) return true;
    return namesPasswordManager(app.bundleID) || namesPasswordManager(app.instanceName);
}

std::optional<ScreenCapture::Choice> ScreenCapture::choose() const
{
    const std::optional<FrontApp> front = system_.frontmostApp();
    if (!front || isExcluded(*front)) return std::nullopt;
    const QString app = front->name.isEmpty() ? front->bundleID : front->name;

    const QList<QRectF> screens = system_.screens();
    QList<Candidate> candidates;
    for (const WindowInfo& w : system_.onScreenWindows()) {
        if (!w.ownerPid || *w.ownerPid != front->pid) continue;
        if (!w.layer || *w.layer != 0) continue;
        if (w.alpha && *w.alpha <= 0.01) continue;
        if (!w.number) continue;
        if (!w.bounds || !(w.bounds->height() > minimumHeight)) continue;
        if (!fitsOnAScreen(*w.bounds, screens)) continue;
        candidates.append({*w.number, *w.bounds, w.name.value_or(QString())});
    }

    const std::optional<QRectF> focused = system_.focusedFrame(*front);
    const auto chosen = [&](const Candidate& c) { return Choice{{app, c.title, c.number}, c.frame}; };
    if (focused)
        for (const Candidate& c : candidates)
            if (matchesFocus(c.frame, *focused)) return chosen(c);
    if (!candidates.isEmpty()) return chosen(candidates.first());

    Log::write(QStringLiteral("capture: no usable window for ") + app + QStringLiteral("; focused=") +
               rendered(focused) + QStringLiteral(" candidates=0"));
    return Choice{{app, {}, std::nullopt}, {}};
}

std::optional<ScreenCapture::Source> ScreenCapture::frontSource() const
{
    const std::optional<Choice> choice = choose();
    if (!choice) return std::nullopt;
    return choice->source;
}

QCoro::Task<std::optional<Item>> ScreenCapture::frontWindow()
{
    const std::optional<Choice> choice = choose();
    if (!choice || !choice->source.windowID) co_return std::nullopt;

    const WindowGrab grab = system_.grab(*choice->source.windowID);
    if (grab.kind == WindowGrab::Kind::missing) co_return std::nullopt;
    if (grab.kind == WindowGrab::Kind::failed || grab.image.isNull()) {
        Log::write(QStringLiteral("capture failed: ") +
                   (grab.error.isEmpty() ? QStringLiteral("empty image") : grab.error));
        co_return std::nullopt;
    }

    const QImage image = Jpeg::reduced(grab.image);
    const QByteArray jpeg = Jpeg::encode(image);
    if (jpeg.isEmpty()) co_return std::nullopt;

    // Concatenated, not arg()-chained: an application name may itself contain "%1".
    const auto size = [](double w, double h) {
        return QString::number(static_cast<int>(w)) + QLatin1Char('x') + QString::number(static_cast<int>(h));
    };
    Log::write(QStringLiteral("capture: ") + choice->source.app + QStringLiteral(" window ") +
               size(choice->frame.width(), choice->frame.height()) + QStringLiteral(" → ") +
               size(image.width(), image.height()));
    co_return Item::shot(image, jpeg, choice->source.app, choice->source.title);
}

bool ScreenCapture::screenCaptureAllowed() const
{
    return system_.captureAllowed();
}

void ScreenCapture::click()
{
    shutter_.click();
}
