#include "ClipboardWatch.h"

#include "Jpeg.h"

#include <utility>

ClipboardWatch::ClipboardWatch(Clipboard& clipboard, Scheduler& scheduler,
                               std::function<std::optional<Source>()> frontSource)
    : clipboard_(clipboard), scheduler_(scheduler), frontSource_(std::move(frontSource)),
      pasteboard_(clipboard), lastCount_(clipboard.changeCount())
{
    scheduleTick();
}

ClipboardWatch::~ClipboardWatch()
{
    if (timer_) timer_->cancel();
}

void ClipboardWatch::scheduleTick()
{
    timer_ = scheduler_.schedule(pollInterval, [this] {
        scheduleTick();
        tick();
    });
}

void ClipboardWatch::tick()
{
    // One counter read while nothing changes: the poll costs nothing more.
    const qint64 count = clipboard_.changeCount();
    if (count == lastCount_) return;
    lastCount_ = count;
    lastChange_ = scheduler_.now();
    if (!live_) return;
    if (const std::optional<Item> item = read(); item && onClip) onClip(*item);
}

void ClipboardWatch::begin(bool includeRecent)
{
    live_ = true;
    if (!includeRecent || !lastChange_) return;
    if (scheduler_.now() - *lastChange_ >= recentWindow) return;
    if (const std::optional<Item> item = read(); item && onClip) onClip(*item);
}

void ClipboardWatch::setAllOwn(const QString& text, const QList<QByteArray>& images)
{
    pasteboard_.setAll(text, images);
    lastCount_ = clipboard_.changeCount();
    lastChange_.reset();
}

bool ClipboardWatch::isConcealed(const Clipboard& clipboard)
{
    static const QString concealed = QStringLiteral("org.nspasteboard.ConcealedType");
    static const QString transient = QStringLiteral("org.nspasteboard.TransientType");
    static const QString kdeHint = QStringLiteral("x-kde-passwordManagerHint");
    const QStringList types = clipboard.types();
    if (types.contains(concealed) || types.contains(transient)) return true;
    return types.contains(kdeHint) && clipboard.data(kdeHint).trimmed() == "secret";
}

std::optional<Item> ClipboardWatch::read() const
{
    if (isConcealed(clipboard_)) return std::nullopt;
    const std::optional<Source> source = frontSource_ ? frontSource_() : std::nullopt;
    const QString app = source ? source->app : QString();
    const QString title = source ? source->title : QString();

    const QString text = clipboard_.text();
    if (!text.trimmed().isEmpty()) return Item::clip(text, app, title);

    const QImage image = clipboard_.image();
    if (image.isNull()) return std::nullopt;
    const QByteArray jpeg = Jpeg::encode(Jpeg::reduced(image));
    if (jpeg.isEmpty()) return std::nullopt;
    return Item::shot(image, jpeg, app, title);
}
