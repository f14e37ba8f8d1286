#include "Deliverer.h"

#include "Automation.h"
#include "Log.h"

#include <QTextBoundaryFinder>

using namespace std::chrono_literals;

// MARK: Page scripts

namespace JS {

QString helpers()
{
    return QStringLiteral(
        R"JS(var __composers = ['div.ProseMirror[contenteditable="true"]', '#prompt-textarea', 'rich-textarea .ql-editor',
  'div[contenteditable="true"][role="textbox"]', 'textarea'];
var __sends = ['button[aria-label="Send message"]', 'button[aria-label="Send Message"]', 'button[data-testid="send-button"]',
  '#composer-submit-button', 'button[aria-label="Send prompt"]', 'button.send-button', 'button[aria-label*="Send" i]'];
var find = () => { for (const s of __composers) { const e = document.querySelector(s); if (e) return e } return null };
var textOf = (e) => ((e.value !== undefined ? e.value : e.innerText) || '').replace(/\s+/g, ' ');
)JS");
}

QString composerCheck()
{
    return QStringLiteral("find() ? 'yes' : 'no'");
}

QString reset()
{
    return QStringLiteral("window.__vell = {imgs: []}; 'ok'");
}

QString imagePiece(int index, const QString& base64Piece)
{
    // Base64 has no quote or backslash, so the piece sits inside the quotes as it is.
    const QString i = QString::number(index);
    return QStringLiteral("window.__vell.imgs[") + i + QStringLiteral("] = (window.__vell.imgs[") + i +
           QStringLiteral("] || '') + '") + base64Piece + QStringLiteral("'; 'ok'");
}

QString insert(const QString& text)
{
    // Without the state `reset` left, this is not the delivery's tab: its tab
    // closed and the finder fell back to another chat of the site.
    QString script = QStringLiteral(R"JS((() => {
  if (!window.__vell) return 'err:tab closed';
  const ed = find(); if (!ed) return 'no message box';
  ed.focus();
  const T = {{TEXT}};
  if (T) {
    const probe = T.replace(/\s+/g, ' ').trim().slice(0, 24);
    const dt = new DataTransfer(); dt.setData('text/plain', T);
    ed.dispatchEvent(new ClipboardEvent('paste', {clipboardData: dt, bubbles: true, cancelable: true}));
    if (!textOf(ed).includes(probe)) {
      if (ed.tagName === 'TEXTAREA') {
        Object.getOwnPropertyDescriptor(HTMLTextAreaElement.prototype, 'value').set.call(ed, T);
        ed.dispatchEvent(new Event('input', {bubbles: true}));
      } else { document.execCommand('insertText', false, T); }
    }
    if (!textOf(ed).includes(probe)) return 'could not type into the message box';
  }
  const imgs = (window.__vell && window.__vell.imgs) || [];
  if (imgs.length) {
    const dt = new DataTransfer();
    imgs.forEach((b64, i) => {
      const bin = atob(b64), u = new Uint8Array(bin.length);
      for (let k = 0; k < bin.length; k++) u[k] = bin.charCodeAt(k);
      dt.items.add(new File([u], 'screenshot-' + (i + 1) + '.jpg', {type: 'image/jpeg'}));
    });
    const input = [...document.querySelectorAll('input[type=file]')]
      .find(x => !x.disabled && (!x.accept || /image|\*/.test(x.accept)));
    if (input) { input.files = dt.files; input.dispatchEvent(new Event('change', {bubbles: true})); }
    else { ed.dispatchEvent(new ClipboardEvent('paste', {clipboardData: dt, bubbles: true, cancelable: true})); }
    window.__vell.imgs = [];
  }
  window.__vell.t0 = Date.now();
  window.__vell.misses = 0;
  return 'ok';
})())JS");
    return script.replace(QStringLiteral("{{TEXT}}"), BrowserTab::lit(text));
}

QString send()
{
    return QStringLiteral(R"JS((() => {
  if (!window.__vell) return 'err:tab closed';
  const N = window.__vell;
  if (Date.now() - (N.t0 || 0) < 700) return 'wait';
  const ed = find(); if (!ed) return 'message box disappeared';
  const scope = ed.closest('form') || ed.closest('fieldset') || document;
  if (scope.querySelector('[role="progressbar"], [aria-busy="true"]')) return 'wait';
  for (const s of __sends) {
    const b = document.querySelector(s);
    if (b) {
      if (b.disabled || b.getAttribute('aria-disabled') === 'true') return 'wait';
      b.click(); return 'sent';
    }
  }
  N.misses = (N.misses || 0) + 1;
  if (N.misses > 8) {
    ed.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', code: 'Enter', keyCode: 13, which: 13, bubbles: true}));
    return 'sent';
  }
  return 'wait';
})())JS");
}

QString stillHas(const QString& probe)
{
    QString script = QStringLiteral(
        R"JS((() => { const ed = find(); return ed && {{PROBE}} && textOf(ed).includes({{PROBE}}.replace(/\s+/g, ' ').trim()) ? 'yes' : 'no' })())JS");
    QString flat = probe;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return script.replace(QStringLiteral("{{PROBE}}"), BrowserTab::lit(flat));
}

} // namespace JS

// MARK: Delivery

namespace {

constexpr auto firstComposerWait = 8s;
constexpr auto firstComposerPause = 300ms;
constexpr auto newChatComposerWait = 15s;
constexpr auto newChatComposerPause = 400ms;
constexpr auto sendWait = 30s;
constexpr auto sendPause = 300ms;
constexpr auto confirmWait = 4s;
constexpr auto confirmPause = 300ms;

struct PollOutcome {
    bool arrived = false;
    QString last;
};

// Runs `script` until it answers `awaited`, pausing between runs, and gives up
// once a pause ends at or after the deadline.
QCoro::Task<PollOutcome> poll(BrowserTab tab, Scheduler& scheduler, QString script, QString awaited,
                              std::chrono::milliseconds within, std::chrono::milliseconds pause)
{
    const Scheduler::TimePoint deadline = scheduler.now() + within;
    for (;;) {
        const QString answer = co_await tab.js(script);
        if (answer == awaited) co_return PollOutcome{true, answer};
        co_await scheduler.sleep(pause);
        if (scheduler.now() >= deadline) co_return PollOutcome{false, answer};
    }
}

} // namespace

namespace Deliverer {

QString probeText(const QString& text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int n = 0; n < 24; ++n) {
        const qsizetype next = graphemes.toNextBoundary();
        if (next < 0) break;
        end = next;
    }
    return text.left(end);
}

QCoro::Task<void> run(Delivery delivery, BrowserDriver driver, AutomationBackend& automation)
{
    const Browser browser = delivery.browser;
    const Destination& destination = delivery.destination;
    Scheduler& scheduler = driver.scheduler;

    const AutomationAccess access = co_await Automation::access(automation, browser, true);
    if (access == AutomationAccess::denied || access == AutomationAccess::notAsked)
        throw DeliveryError::automationDenied(browser);

    const BrowserTab tab(driver, browser, destination.host,
                         delivery.target ? delivery.target->url : QString());
    co_await tab.ensure(destination.newURL, delivery.target);

    const QString composerCheck = JS::helpers() + JS::composerCheck();
    const QString yes = QStringLiteral("yes");
    PollOutcome composer =
        co_await poll(tab, scheduler, composerCheck, yes, firstComposerWait, firstComposerPause);
    if (!composer.arrived) {
        Log::write(QStringLiteral("deliver: no composer, opening ") + destination.newURL);
        co_await tab.navigate(destination.newURL);
        composer =
            co_await poll(tab, scheduler, composerCheck, yes, newChatComposerWait, newChatComposerPause);
        if (!composer.arrived) throw DeliveryError::noComposer();
    }

    co_await tab.js(JS::reset());
    for (int i = 0; i < delivery.images.size(); ++i) {
        const QString base64 = QString::fromLatin1(delivery.images.at(i).toBase64());
        for (const QString& piece : BrowserTab::chunked(base64, imagePieceSize))
            co_await tab.js(JS::imagePiece(i, piece));
    }

    const QString inserted = co_await tab.js(JS::helpers() + JS::insert(delivery.text));
    if (inserted != QLatin1String("ok")) throw DeliveryError::page(inserted);

    const PollOutcome sent = co_await poll(tab, scheduler, JS::helpers() + JS::send(), QStringLiteral("sent"),
                                           sendWait, sendPause);
    if (!sent.arrived)
        throw DeliveryError::page(
            sent.last == QLatin1String("wait") ? QStringLiteral("still uploading after 30s") : sent.last);

    // A probe of white space alone would be found in any box, sent or not, so
    // it counts as no probe: the page answers "no" at once.
    QString probe = probeText(delivery.text);
    if (probe.trimmed().isEmpty()) probe.clear();
    const PollOutcome left = co_await poll(tab, scheduler, JS::helpers() + JS::stillHas(probe),
                                           QStringLiteral("no"), confirmWait, confirmPause);
    if (!left.arrived && !probe.isEmpty()) throw DeliveryError::notSent();

    Log::write(QStringLiteral("deliver: sent to ") + destination.host + QStringLiteral(" via ") +
               Browsers::displayName(browser) + QStringLiteral(", ") +
               QString::number(delivery.images.size()) + QStringLiteral(" image(s)"));
}

} // namespace Deliverer
