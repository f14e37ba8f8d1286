#include "BrowserTab.h"

#include "Log.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace std::chrono_literals;

namespace {

constexpr auto programLimit = 30s;
constexpr auto listLimit = 10s;
constexpr auto readyPause = 300ms;
constexpr int readyChecks = 40;

const QString pickTemplate = QStringLiteral(R"JS(function pick() {
  let urls, act;
  try { urls = app.windows.tabs.url(); act = app.windows.{{TAB}}.url() } catch (e) { return pickSlow() }
  const tab = (wi, ti) => app.windows[wi].tabs[ti];
  if (PREFER) for (let wi = 0; wi < urls.length; wi++) for (let ti = 0; ti < (urls[wi] || []).length; ti++)
    if ((urls[wi][ti] || '').startsWith(PREFER)) return tab(wi, ti);
  let visible = -1;
  for (let wi = 0; wi < act.length; wi++) if ((act[wi] || '').includes(HOST)) { if (wi === 0) return app.windows[0].{{TAB}}; if (visible < 0) visible = wi }
  if (visible >= 0) return app.windows[visible].{{TAB}};
  for (let wi = 0; wi < urls.length; wi++) for (let ti = 0; ti < (urls[wi] || []).length; ti++)
    if ((urls[wi][ti] || '').includes(HOST)) return tab(wi, ti);
  return null;
}
function pickSlow() {
  const ws = app.windows(); let visible = null, any = null;
  if (PREFER) for (const w of ws) { let tabs; try { tabs = w.tabs() } catch (e) { continue }
    for (const t of tabs) { let u = ''; try { u = t.url() || '' } catch (e) {} if (u.startsWith(PREFER)) return t } }
  for (let wi = 0; wi < ws.length; wi++) {
    const w = ws[wi]; let tabs; try { tabs = w.tabs() } catch (e) { continue }
    try { const a = w.{{TAB}}(); if ((a.url() || '').includes(HOST)) { if (wi === 0) return a; if (!visible) visible = a } } catch (e) {}
    if (!any) for (const t of tabs) { let u = ''; try { u = t.url() || '' } catch (e) {} if (u.includes(HOST)) { any = t; break } }
  }
  return visible || any;
}
)JS");

const QString ensureTemplate = QStringLiteral(R"JS(function needsNav(url, dest) {
  const bare = (u) => u.split('#')[0].split('?')[0].replace(/\/+$/, '');
  return bare(url) !== bare(dest);
}
const t = pick();
if (t) { if (needsNav(t.url() || '', DEST)) { t.url = DEST; delay(1.5); return 'found, moved' } return 'found' }
if (app.windows().length === 0) return 'nowindow';
const w = app.windows[0];
{{SAVE}}
w.tabs.push(app.Tab({url: DEST}));
{{RESTORE}}
return 'opened';)JS");

const QString listTemplate = QStringLiteral(R"JS(const out = [];
for (const w of app.windows()) { let tabs; try { tabs = w.tabs() } catch (e) { continue }
  for (const t of tabs) { let u = '', n = ''; try { u = t.url() || ''; n = {{TITLE}} || '' } catch (e) {}
    if (u.includes(HOST) && u.includes(PATH)) out.push(['t', n.replace(/\s*[-|–]\s*(Claude|ChatGPT)\s*$/, ''), u]) } }
const t = pick();
if (t) { try { for (const x of JSON.parse({{RUNPAGE}})) out.push(['r', x[0], x[1]]) } catch (e) {} }
return JSON.stringify(out);)JS");

const QString chatLinksTemplate = QStringLiteral(
    R"JS(JSON.stringify([...document.querySelectorAll('a[href*="PATH"]')].map(a => [((a.innerText || a.textContent || '').trim().split('\n')[0]), a.href]).filter(x => x[0]).slice(0, 80)))JS");

void appendEscape(QString& out, char16_t unit)
{
    static const char hex[] = "0123456789abcdef";
    out += QLatin1String("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QLatin1Char(hex[(unit >> shift) & 0xF]);
}

// A JSON list of lists of strings, or no rows at all.
QList<QStringList> decodeRows(const QString& output)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(output.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return {};
    QList<QStringList> rows;
    for (const QJsonValue& rowValue : doc.array()) {
        if (!rowValue.isArray()) return {};
        QStringList row;
        for (const QJsonValue& cell : rowValue.toArray()) {
            if (!cell.isString()) return {};
            row << cell.toString();
        }
        rows << row;
    }
    return rows;
}

// One named constant. Built outside the coroutines: GCC 12 rejects string
// literal temporaries inside braced initialisers there.
ScriptConstants constantOf(const char* name, const QString& value)
{
    return {{QString::fromLatin1(name), value}};
}

} // namespace

BrowserTab::BrowserTab(const BrowserDriver& driver, Browser browser, QString host, QString prefer)
    : driver_(driver), browser_(browser), host_(std::move(host)), prefer_(std::move(prefer))
{
}

QString BrowserTab::applicationName(Browser browser)
{
    return browser == Browser::chrome ? QStringLiteral("Google Chrome") : QStringLiteral("Safari");
}

QString BrowserTab::tabAccessor(Browser browser)
{
    return browser == Browser::chrome ? QStringLiteral("activeTab") : QStringLiteral("currentTab");
}

QString BrowserTab::titleExpression(Browser browser)
{
    return browser == Browser::chrome ? QStringLiteral("t.title()") : QStringLiteral("t.name()");
}

QString BrowserTab::pageCall(Browser browser)
{
    return browser == Browser::chrome ? QStringLiteral("t.execute({javascript: CODE})")
                                      : QStringLiteral("app.doJavaScript(CODE, {in: t})");
}

// Written by hand rather than through QJsonDocument: that one would turn an
// unpaired surrogate into U+FFFD and leaves U+2028/U+2029 raw. Nothing here can
// fail, so the empty literal is never needed as a fallback.
QString BrowserTab::lit(const QString& value)
{
    QString out;
    out.reserve(value.size() + value.size() / 8 + 2);
    out += QLatin1Char('"');
    const QChar* data = value.constData();
    const qsizetype n = value.size();
    qsizetype plainFrom = 0; // start of the run of characters copied as they are
    const auto flush = [&](qsizetype upTo) { out.append(data + plainFrom, upTo - plainFrom); };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i].unicode();
        const char* escape = nullptr;
        bool unicodeEscape = false;
        switch (c) {
        case u'"':
            escape = "\\\"";
            break;
        case u'\\':
            escape = "\\\\";
            break;
        case u'\n':
            escape = "\\n";
            break;
        case u'\r':
            escape = "\\r";
            break;
        case u'\t':
            escape = "\\t";
            break;
        case u'\b':
            escape = "\\b";
            break;
        case u'\f':
            escape = "\\f";
            break;
        case u'<':
        case u'>':
        case u'\u2028':
        case u'\u2029':
            unicodeEscape = true;
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                unicodeEscape = true;
            } else if (QChar::isHighSurrogate(c)) {
                if (i + 1 < n && data[i + 1].isLowSurrogate())
                    ++i; // a whole pair stays as it is
                else
                    unicodeEscape = true;
            } else if (QChar::isLowSurrogate(c)) {
                unicodeEscape = true;
            }
        }
        if (!escape && !unicodeEscape) continue;
        flush(i);
        if (escape)
            out += QLatin1String(escape);
        else
            appendEscape(out, c);
        plainFrom = i + 1;
    }
    flush(n);
    out += QLatin1Char('"');
    return out;
}

QString BrowserTab::program(const QString& body, const ScriptConstants& extra) const
{
    QString text = QStringLiteral("function run() {\n");
    text +=
        QStringLiteral("const app = Application(") + lit(applicationName(browser_)) + QStringLiteral(");\n");
    text += QStringLiteral("const HOST = ") + lit(host_) + QStringLiteral(";\n");
    text += QStringLiteral("const PREFER = ") + lit(prefer_) + QStringLiteral(";\n");
    for (const ScriptConstant& constant : extra)
        text += QStringLiteral("const ") + constant.name + QStringLiteral(" = ") + lit(constant.value) +
                QStringLiteral(";\n");
    text += body;
    text += QStringLiteral("\n}");
    return text;
}

QString BrowserTab::pickJS() const
{
    QString text = pickTemplate;
    return text.replace(QStringLiteral("{{TAB}}"), tabAccessor(browser_));
}

QStringList BrowserTab::chunked(const QString& text, qsizetype size)
{
    QStringList pieces;
    if (size <= 0) return pieces;
    pieces.reserve((text.size() + size - 1) / size);
    for (qsizetype at = 0; at < text.size(); at += size)
        pieces << text.mid(at, size);
    return pieces;
}

QString BrowserTab::ensureBody() const
{
    const bool chrome = browser_ == Browser::chrome;
    QString body = ensureTemplate;
    body.replace(QStringLiteral("{{SAVE}}"),
                 chrome ? QStringLiteral("const prev = w.activeTabIndex();") : QString());
    body.replace(QStringLiteral("{{RESTORE}}"),
                 chrome ? QStringLiteral("w.activeTabIndex = prev;") : QString());
    return pickJS() + body;
}

QString BrowserTab::readyBody() const
{
    return pickJS() + QStringLiteral("return pick() ? 'yes' : 'no';");
}

QString BrowserTab::navigateBody() const
{
    return pickJS() + QStringLiteral("const t = pick(); if (!t) return 'none'; t.url = NEWURL; return 'ok';");
}

QString BrowserTab::listBody() const
{
    QString body = listTemplate;
    body.replace(QStringLiteral("{{TITLE}}"), titleExpression(browser_));
    body.replace(QStringLiteral("{{RUNPAGE}}"), pageCall(browser_));
    return pickJS() + body;
}

QString BrowserTab::jsBody() const
{
    return pickJS() +
           QStringLiteral("const t = pick();\n"
                          "if (!t) return 'err:tab closed';\n"
                          "const r = ") +
           pageCall(browser_) + QStringLiteral(";\nreturn r == null ? '' : String(r);");
}

QString BrowserTab::chatLinksScript(const QString& chatPath)
{
    QString script = chatLinksTemplate;
    return script.replace(QStringLiteral("PATH"), chatPath);
}

// MARK: Operations

QCoro::Task<QString> BrowserTab::run(const QString& body, const ScriptConstants& extra,
                                     std::chrono::milliseconds timeout) const
{
    return runIn(*this, body, extra, timeout);
}

QCoro::Task<QString> BrowserTab::runIn(BrowserTab tab, QString body, ScriptConstants extra,
                                       std::chrono::milliseconds timeout)
{
    const QString output = co_await tab.driver_.runner.run(tab.program(body, extra), tab.browser_, timeout);
    co_return output.trimmed();
}

QCoro::Task<QString> BrowserTab::js(const QString& pageScript) const
{
    return runIn(*this, jsBody(), constantOf("CODE", pageScript), programLimit);
}

QCoro::Task<void> BrowserTab::navigate(const QString& url) const
{
    return navigateIn(*this, url);
}

QCoro::Task<void> BrowserTab::navigateIn(BrowserTab tab, QString url)
{
    // The answer ("ok", or "none" without a tab) leaves nothing to do.
    co_await runIn(tab, tab.navigateBody(), constantOf("NEWURL", url), programLimit);
}

QCoro::Task<void> BrowserTab::ensure(const QString& newURL, const std::optional<ChatTarget>& target) const
{
    return ensureIn(*this, newURL, target);
}

QCoro::Task<void> BrowserTab::ensureIn(BrowserTab tab, QString newURL, std::optional<ChatTarget> target)
{
    const QString dest = target ? target->url : newURL;
    BrowserApps& apps = tab.driver_.apps;
    if (apps.isRunning(tab.browser_)) {
        const QString answer = co_await runIn(tab, tab.ensureBody(), constantOf("DEST", dest), programLimit);
        Log::write(QStringLiteral("deliver: tab ") + answer + QStringLiteral(" for ") + tab.host_);
        if (answer != QLatin1String("nowindow")) co_return;
    }

    const QString name = Browsers::displayName(tab.browser_);
    apps.launchInBackground(tab.browser_, dest);
    Log::write(QStringLiteral("deliver: launched ") + name + QStringLiteral(" in background for ") +
               tab.host_);

    for (int misses = 0;;) {
        co_await tab.driver_.scheduler.sleep(readyPause);
        bool ready = false;
        if (apps.isRunning(tab.browser_)) {
            try {
                ready = co_await runIn(tab, tab.readyBody(), {}, programLimit) == QLatin1String("yes");
            } catch (...) {
                // A browser still starting up often fails a check; the budget absorbs it.
            }
        }
        if (ready) co_return;
        if (++misses >= readyChecks)
            throw DeliveryError::page(name + QStringLiteral(" didn't open ") + tab.host_);
    }
}

QCoro::Task<ChatList> BrowserTab::listChats(const QString& chatPath) const
{
    return listIn(*this, chatPath);
}

QCoro::Task<ChatList> BrowserTab::listIn(BrowserTab tab, QString chatPath)
{
    if (!tab.driver_.apps.isRunning(tab.browser_)) co_return ChatList::fromRows({});
    ScriptConstants extra = constantOf("CODE", chatLinksScript(chatPath));
    extra += constantOf("PATH", chatPath);
    QString output;
    try {
        output = co_await runIn(tab, tab.listBody(), extra, listLimit);
    } catch (...) {
        co_return ChatList::fromRows({});
    }
    co_return ChatList::fromRows(decodeRows(output));
}
