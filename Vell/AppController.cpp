#include "AppController.h"

#include "Log.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

bool isIn(const Phase& phase, std::initializer_list<Phase::Kind> kinds)
{
    return std::find(kinds.begin(), kinds.end(), phase.kind) != kinds.end();
}

// Characters as the user sees them (grapheme clusters), for the clip log line.
qsizetype visibleLength(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

bool isFixable(const DeliveryError& error)
{
    using K = DeliveryError::Kind;
    return error.kind() == K::jsOff || error.kind() == K::automationDenied || error.kind() == K::timedOut;
}

} // namespace

AppController::AppController(Prefs& prefs, Scheduler& scheduler, Parts parts, QStringList arguments,
                             QObject* parent)
    : QObject(parent), prefs_(prefs), scheduler_(scheduler), parts_(parts), arguments_(std::move(arguments)),
      model_(std::make_unique<SessionModel>(prefs.destination(), Browsers::fromPreference(prefs.browserID())))
{
}

AppController::~AppController() = default;

HudSurface& AppController::hud()
{
    if (!hud_) {
        HUDActions actions;
        actions.remove = weakly([](AppController* c, const QUuid& id) { c->removeItem(id); });
        actions.add = weakly([](AppController* c) { c->captureShot(false); });
        actions.fix = weakly([](AppController* c) { c->fixDelivery(); });
        actions.pick = weakly([](AppController* c, const std::optional<ChatTarget>& t) { c->pickTarget(t); });
        hud_ = &parts_.shell.hud(*model_, actions);
    }
    return *hud_;
}

// MARK: Session transitions

void AppController::tap()
{
    Log::write(QStringLiteral("tap in ") + model_->phase().rendered());
    switch (model_->phase().kind) {
    case Phase::Kind::idle:
    case Phase::Kind::sent:
    case Phase::Kind::failed:
        open();
        break;
    case Phase::Kind::live:
        beginSending();
        break;
    case Phase::Kind::sending:
    case Phase::Kind::delivering:
        break;
    }
}

void AppController::escape()
{
    Log::write(QStringLiteral("esc in ") + model_->phase().rendered());
    if (model_->phase().is(Phase::Kind::sending))
        resume();
    else if (model_->phase().is(Phase::Kind::live))
        discard();
}

void AppController::open()
{
    if (pending_) pending_->cancel();
    model_->reset();
    model_->setFixable(false);
    model_->setDestination(prefs_.destination());
    model_->setBrowser(Browsers::fromPreference(prefs_.browserID()));
    model_->setTarget(prefs_.stickyChat(model_->destination()));
    lastIntent_.reset();
    loadChats();
    consumed_ = 0;
    model_->setPhase(Phase::live());
    parts_.speech.start(QString());
    hud().show();
    parts_.clipboard.begin(prefs_.includeRecentCopy());
    if (prefs_.autoScreenshot()) captureShot(true);
}

void AppController::heard(const QString& text)
{
    if (!model_->phase().is(Phase::Kind::live)) return;
    model_->setTranscript(text);
    if (commandCheck_) commandCheck_->cancel();
    commandCheck_ =
        scheduler_.schedule(commandDebounce, weakly([](AppController* c) { c->checkCommands(); }));
}

void AppController::checkCommands()
{
    if (!model_->phase().is(Phase::Kind::live)) return;
    const QString norm = Compose::normalize(model_->transcript());
    const QList<Compose::Mention> mentions = Compose::chatMentions(model_->transcript());
    if (!mentions.isEmpty()) {
        const ChatIntent intent = mentions.last().intent;
        if (!lastIntent_ || !(*lastIntent_ == intent)) {
            lastIntent_ = intent;
            aim(intent);
        }
    }
    const QString tail = norm.size() > consumed_ ? norm.right(norm.size() - consumed_) : QString();
    if (tail.endsWith(QLatin1String("send it"))) {
        consumed_ = int(norm.size());
        beginSending();
    } else if (tail.endsWith(QLatin1String("cancel"))) {
        discard();
    } else if (tail.endsWith(QLatin1String("add this")) || tail.endsWith(QLatin1String("this one too"))) {
        consumed_ = int(norm.size());
        captureShot(false);
    }
}

void AppController::beginSending()
{
    model_->setPhase(Phase::sending());
    parts_.clipboard.setLive(false);
    // Replacing `pending` does not cancel what it held before; only open,
    // resume and fixDelivery cancel it.
    const auto pause = prefs_.pauseBeforeSend() ? pauseBeforeSending : pauseWhenTurnedOff;
    pending_ = scheduler_.schedule(pause, weakly([](AppController* c) { c->deliver(); }));
    finishTranscript();
}

QCoro::Task<void> AppController::finishTranscript()
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    const QString text = co_await parts_.speech.finish();
    if (!self || !model_->phase().is(Phase::Kind::sending)) co_return;
    model_->setTranscript(text);
}

void AppController::deliver()
{
    if (model_->practice()) {
        finish(Phase::sent());
        return;
    }
    const QString text = Compose::message(model_->transcript(), model_->items());
    if (model_->items().isEmpty() && Compose::clean(model_->transcript()).isEmpty()) {
        finish(Phase::failed(QStringLiteral("Nothing to send")));
        return;
    }
    model_->setPhase(Phase::delivering());
    const int id = ++deliveryID_;
    scheduler_.schedule(deliveryWatchdog,
                        weakly([id, text](AppController* c) { c->watchdogFired(id, text); }));
    Delivery delivery{text, model_->images(), model_->destination(), model_->browser(), model_->target()};
    runDelivery(std::move(delivery), id);
}

void AppController::watchdogFired(int id, const QString& text)
{
    if (!model_->phase().is(Phase::Kind::delivering) || deliveryID_ != id) return;
    Log::write(QStringLiteral("deliver: gave up after 75s"));
    putOnClipboard(text, model_->images());
    model_->setFixable(true);
    finish(Phase::failed(Browsers::displayName(model_->browser()) +
                         QStringLiteral(" took too long to respond")));
}

QCoro::Task<void> AppController::runDelivery(Delivery delivery, int id)
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    std::optional<DeliveryError> deliveryError;
    QString otherError;
    bool failed = false;
    try {
        co_await parts_.browser.deliver(delivery);
    } catch (const DeliveryError& e) {
        failed = true;
        deliveryError = e;
    } catch (const std::exception& e) {
        failed = true;
        otherError = QString::fromUtf8(e.what());
    } catch (...) {
        failed = true;
        otherError = QStringLiteral("unknown error");
    }
    // A newer delivery started, the watchdog fired or the session was left: drop the result.
    if (!self || deliveryID_ != id || !model_->phase().is(Phase::Kind::delivering)) co_return;

    if (!failed) {
        prefs_.setStickyChat(delivery.target, delivery.destination);
        finish(Phase::sent());
        co_return;
    }
    Log::write(QStringLiteral("deliver failed: ") + (deliveryError ? deliveryError->rendered() : otherError));
    putOnClipboard(delivery.text, delivery.images);
    const QString message =
        deliveryError ? deliveryError->errorDescription() : QStringLiteral("Couldn't send");
    model_->setFixable(deliveryError && isFixable(*deliveryError));
    finish(Phase::failed(message));
}

void AppController::putOnClipboard(const QString& text, const QList<QByteArray>& images)
{
    // The watcher treats this change as its own, so it does not come back as a clip.
    parts_.clipboard.setAllOwn(text, images);
}

void AppController::finish(const Phase& phase)
{
    model_->setPhase(phase);
    const auto delay = phase.is(Phase::Kind::sent) ? sentDisplay
                       : model_->fixable()         ? fixableFailureDisplay
                                                   : failureDisplay;
    pending_ = scheduler_.schedule(delay, weakly([phase](AppController* c) {
                                       if (!(c->model_->phase() == phase)) return;
                                       c->model_->setPhase(Phase::idle());
                                       c->hud().hide();
                                   }));
}

void AppController::discard()
{
    parts_.speech.teardown();
    parts_.clipboard.setLive(false);
    model_->reset();
    model_->setPhase(Phase::idle());
    hud().hide();
}

void AppController::resume()
{
    if (pending_) pending_->cancel();
    model_->setPhase(Phase::live());
    parts_.clipboard.setLive(true);
    parts_.speech.start(model_->transcript());
}

void AppController::fixDelivery()
{
    if (pending_) pending_->cancel();
    model_->setPhase(Phase::idle());
    hud().hide();
    prefs_.setOnboardingStep(3);
    showOnboarding(false, 3);
}

// MARK: Chat target

bool AppController::chatsApply() const
{
    return isIn(model_->phase(), {Phase::Kind::live, Phase::Kind::sending});
}

void AppController::aim(const ChatIntent& intent)
{
    switch (intent.kind) {
    case ChatIntent::Kind::newChat:
        Log::write(QStringLiteral("chat target: new chat (said)"));
        setTarget(std::nullopt);
        break;
    case ChatIntent::Kind::recent:
        if (const auto sticky = prefs_.stickyChat(model_->destination())) {
            Log::write(QStringLiteral("chat target: same chat -> ") + sticky->title);
            setTarget(sticky);
        } else {
            resolve(intent, [](const ChatList& list) -> std::optional<ChatTarget> {
                if (!list.recents().isEmpty()) return list.recents().first();
                if (!list.tabs().isEmpty()) return list.tabs().first();
                return std::nullopt;
            });
        }
        break;
    case ChatIntent::Kind::named:
        resolve(intent, [name = intent.name](const ChatList& list) {
            return Compose::closestChat(name, list.all());
        });
        break;
    }
}

QCoro::Task<void> AppController::resolve(ChatIntent intent, Chooser choose)
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    const Destination destination = model_->destination();
    ChatList list;
    try {
        list = co_await parts_.browser.listChats(model_->browser(), destination.host, destination.chatPath);
    } catch (const std::exception& e) {
        // A listing that fails finds nothing; the session goes on.
        Log::write(QStringLiteral("chat target: listing failed: ") + QString::fromUtf8(e.what()));
    }
    if (!self) co_return;
    const std::optional<ChatTarget> pick = choose(list);
    Log::write(QStringLiteral("chat target: ") + intent.rendered() + QStringLiteral(" -> ") +
               (pick ? pick->title : QStringLiteral("no match, new chat")) + QStringLiteral(" (") +
               QString::number(list.all().size()) + QStringLiteral(" chats)"));
    // A later spoken intent wins.
    if (!lastIntent_ || !(*lastIntent_ == intent) || !chatsApply()) co_return;
    if (!list.all().isEmpty()) model_->setChats(list);
    setTarget(pick);
}

void AppController::setTarget(const std::optional<ChatTarget>& target)
{
    if (target == model_->target()) return;
    model_->setTarget(target);
    model_->setTargetPulse(model_->targetPulse() + 1);
}

void AppController::pickTarget(const std::optional<ChatTarget>& target)
{
    if (!chatsApply()) return;
    Log::write(QStringLiteral("chat target: picked ") +
               (target ? target->title : QStringLiteral("new chat")));
    setTarget(target);
}

void AppController::loadChats()
{
    model_->setChats(std::nullopt);
    if (chatsCancelled_) *chatsCancelled_ = true;
    chatsCancelled_ = std::make_shared<bool>(false);
    loadChatsTask(chatsCancelled_, model_->destination(), model_->browser());
}

QCoro::Task<void> AppController::loadChatsTask(std::shared_ptr<bool> cancelled, Destination destination,
                                               Browser browser)
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self || *cancelled) co_return;
    ChatList list;
    try {
        // Never prompts: a session must not raise a permission dialog by itself.
        const AutomationAccess access = co_await parts_.browser.access(browser, false);
        if (!self || *cancelled) co_return;
        if (access == AutomationAccess::granted)
            list = co_await parts_.browser.listChats(browser, destination.host, destination.chatPath);
    } catch (const std::exception& e) {
        if (self) Log::write(QStringLiteral("chat target: listing failed: ") + QString::fromUtf8(e.what()));
    }
    if (!self || *cancelled) co_return;
    // Set even when empty, so the HUD can tell a finished empty listing from one still loading.
    if (chatsApply()) model_->setChats(list);
}

// MARK: Attachments

void AppController::addClip(const Item& item)
{
    if (!model_->phase().is(Phase::Kind::live)) return;
    QList<Item> items = model_->items();
    if (item.isClip()) {
        const bool duplicate = std::any_of(items.begin(), items.end(), [&](const Item& existing) {
            return existing.isClip() && existing.text == item.text;
        });
        if (duplicate) return;
        // A copy replaces the automatic screenshot.
        const auto removed = items.removeIf([](const Item& existing) { return existing.automatic; });
        if (removed > 0) model_->setItems(items);
    }
    model_->appendItem(item);
    Log::write(QStringLiteral("clip: ") + QString::number(item.isClip() ? visibleLength(item.text) : 0) +
               QStringLiteral(" chars from ") + item.app);
}

void AppController::removeItem(const QUuid& id)
{
    QList<Item> items = model_->items();
    items.removeIf([&](const Item& item) { return item.id == id; });
    model_->setItems(items);
}

QCoro::Task<void> AppController::captureShot(bool automatic)
{
    QPointer<AppController> self(this);
    co_await scheduler_.sleep(Scheduler::Duration(0));
    if (!self) co_return;
    std::optional<Item> shot = co_await parts_.capture.frontWindow();
    if (!self) co_return;
    if (!shot) {
        Log::write(
            QStringLiteral("capture: no window (screen recording granted: ") +
            (parts_.capture.screenCaptureAllowed() ? QStringLiteral("true") : QStringLiteral("false")) +
            QLatin1Char(')'));
        co_return;
    }
    if (!model_->phase().is(Phase::Kind::live)) co_return;
    const QList<Item>& items = model_->items();
    const auto lastShot =
        std::find_if(items.rbegin(), items.rend(), [](const Item& i) { return i.isShot(); });
    // The window has not changed since the last screenshot.
    if (lastShot != items.rend() && lastShot->jpeg == shot->jpeg) co_return;
    const bool hasClip = std::any_of(items.begin(), items.end(), [](const Item& i) { return i.isClip(); });
    if (automatic && hasClip) co_return;
    shot->automatic = automatic;
    parts_.capture.click();
    model_->appendItem(*shot);
}
