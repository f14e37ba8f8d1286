// Turns what the user copies during a session into attachments. The clipboard
// is polled for changes for the life of the application, so it is always
// known when it last changed; content is read only on a change while live.
#pragma once

#include "Clipboard.h"
#include "ControllerPorts.h"
#include "Pasteboard.h"
#include "Scheduler.h"
#include "ScreenCapture.h"

#include <functional>
#include <optional>

class ClipboardWatch final : public ClipboardInput {
public:
    using Source = ScreenCapture::Source;

    static constexpr Scheduler::Duration pollInterval{250};
    // A copy seen less than this long before `begin` is taken in.
    static constexpr Scheduler::Duration recentWindow{20000};

    // `frontSource` names the application and window in front when content is
    // read, taken as where it was copied from.
    ClipboardWatch(Clipboard& clipboard, Scheduler& scheduler,
                   std::function<std::optional<Source>()> frontSource = {});
    ~ClipboardWatch() override;
    ClipboardWatch(const ClipboardWatch&) = delete;
    ClipboardWatch& operator=(const ClipboardWatch&) = delete;

    // ClipboardInput
    void begin(bool includeRecent) override;
    void setLive(bool live) override { live_ = live; }
    bool live() const override { return live_; }
    void setAllOwn(const QString& text, const QList<QByteArray>& images) override;

    // The last change count seen.
    qint64 lastCount() const { return lastCount_; }
    // When the last change was seen; none stands for the distant past.
    std::optional<Scheduler::TimePoint> lastChange() const { return lastChange_; }

    // The current content as an item: text before an image; none for concealed
    // or transient content, blank text without an image, or an unreadable image.
    std::optional<Item> read() const;

    // True when the copying application marked the content as a secret.
    static bool isConcealed(const Clipboard& clipboard);

    Pasteboard& pasteboard() { return pasteboard_; }

private:
    void tick();
    void scheduleTick();

    Clipboard& clipboard_;
    Scheduler& scheduler_;
    std::function<std::optional<Source>()> frontSource_;
    Pasteboard pasteboard_;
    qint64 lastCount_;
    std::optional<Scheduler::TimePoint> lastChange_;
    JobHandle timer_;
    bool live_ = false;
};
