#include "ScriptedBrowser.h"

#include "BrowserTab.h"

#include <QJSEngine>
#include <QObject>

#include <stdexcept>

namespace {

// What the JavaScript object model calls; the windows stay in C++ so every
// change a program makes is visible to the test at once.
class Bridge : public QObject {
    Q_OBJECT
public:
    explicit Bridge(ScriptedBrowser& browser) : browser_(browser) {}

    Q_INVOKABLE int windowCount() const { return int(browser_.windows.size()); }
    Q_INVOKABLE bool readable(int wi) const
    {
        const auto* w = window(wi);
        return w && !w->unreadable;
    }
    Q_INVOKABLE bool bulkReadsFail() const
    {
        if (browser_.bulkReadsFail) return true;
        for (const auto& w : browser_.windows)
            if (w.unreadable) return true;
        return false;
    }
    Q_INVOKABLE int tabCount(int wi) const
    {
        const auto* w = window(wi);
        return w ? int(w->tabs.size()) : 0;
    }
    Q_INVOKABLE QString url(int wi, int ti) const
    {
        const auto* t = tab(wi, ti);
        return t ? t->url : QString();
    }
    Q_INVOKABLE void setUrl(int wi, int ti, const QString& url)
    {
        if (auto* t = tab(wi, ti)) t->url = url;
    }
    Q_INVOKABLE QString title(int wi, int ti) const
    {
        const auto* t = tab(wi, ti);
        return t ? t->title : QString();
    }
    Q_INVOKABLE int current(int wi) const
    {
        const auto* w = window(wi);
        return w ? w->current : 0;
    }
    Q_INVOKABLE void setCurrent(int wi, int index)
    {
        if (auto* w = window(wi)) w->current = index;
    }
    // A new tab becomes the window's current one, as in the real browser.
    Q_INVOKABLE void push(int wi, const QString& url)
    {
        if (auto* w = window(wi)) {
            w->tabs.append({url, {}});
            w->current = int(w->tabs.size()) - 1;
        }
    }
    Q_INVOKABLE QVariant page(int wi, int ti, const QString& code)
    {
        const auto* t = tab(wi, ti);
        return t && browser_.page ? browser_.page(*t, code) : QVariant();
    }
    Q_INVOKABLE void delay(double seconds) { browser_.delays << seconds; }

private:
    // Out-of-range addresses become script errors, as a vanished window or tab would.
    ScriptedBrowser::Window* window(int wi) const
    {
        if (wi >= 0 && wi < browser_.windows.size()) return &browser_.windows[wi];
        qjsEngine(this)->throwError(QStringLiteral("no window %1").arg(wi));
        return nullptr;
    }
    ScriptedBrowser::Tab* tab(int wi, int ti) const
    {
        auto* w = window(wi);
        if (!w) return nullptr;
        if (ti >= 0 && ti < w->tabs.size()) return &w->tabs[ti];
        qjsEngine(this)->throwError(QStringLiteral("no tab %1 in window %2").arg(ti).arg(wi));
        return nullptr;
    }

    ScriptedBrowser& browser_;
};

// Builds `app` over the bridge. Only the browser's own terms exist, so a
// program using the other browser's words fails here as it would for real.
const char* const objectModel = R"JS((function (b, chrome) {
  const TAB = chrome ? 'activeTab' : 'currentTab';
  const fail = (what) => { throw new Error(what); };
  const tab = (wi, ti) => {
    const t = function () { return t; };
    Object.defineProperty(t, 'url', { get: () => () => b.url(wi, ti), set: (v) => b.setUrl(wi, ti, String(v)) });
    Object.defineProperty(t, chrome ? 'title' : 'name', { value: () => b.title(wi, ti) });
    if (chrome) t.execute = (o) => b.page(wi, ti, o.javascript);
    t.at = [wi, ti];
    return t;
  };
  const win = (wi) => {
    const w = function () { return w; };
    const tabs = function () {
      if (!b.readable(wi)) fail('window ' + wi + ' cannot be read');
      const out = []; for (let i = 0; i < b.tabCount(wi); i++) out.push(tab(wi, i)); return out;
    };
    for (let i = 0; i < b.tabCount(wi); i++) tabs[i] = tab(wi, i);
    tabs.push = (tab) => b.push(wi, tab.url);
    w.tabs = tabs;
    Object.defineProperty(w, TAB, { get: () => { if (!b.readable(wi)) fail('window ' + wi + ' cannot be read'); return tab(wi, b.current(wi)); } });
    if (chrome) Object.defineProperty(w, 'activeTabIndex', { get: () => () => b.current(wi) + 1, set: (v) => b.setCurrent(wi, v - 1) });
    return w;
  };
  const windows = function () { const out = []; for (let i = 0; i < b.windowCount(); i++) out.push(win(i)); return out; };
  for (let i = 0; i < b.windowCount(); i++) windows[i] = win(i);
  Object.defineProperty(windows, 'length', { value: b.windowCount() });
  const bulk = (read) => () => {
    if (b.bulkReadsFail()) fail('bulk read failed');
    const out = []; for (let wi = 0; wi < b.windowCount(); wi++) out.push(read(wi)); return out;
  };
  windows.tabs = { url: bulk((wi) => { const u = []; for (let i = 0; i < b.tabCount(wi); i++) u.push(b.url(wi, i)); return u; }) };
  windows[TAB] = { url: bulk((wi) => b.tabCount(wi) ? b.url(wi, b.current(wi)) : null) };
  const app = { windows: windows, Tab: (props) => ({ url: props.url }) };
  if (!chrome) app.doJavaScript = (code, opts) => b.page(opts.in.at[0], opts.in.at[1], code);
  return app;
}))JS";

[[noreturn]] void fail(const QJSValue& error)
{
    throw std::runtime_error((error.toString() + QStringLiteral(" (line ") +
                              error.property(QStringLiteral("lineNumber")).toString() + QLatin1Char(')'))
                                 .toStdString());
}

} // namespace

QString ScriptedBrowser::run(const QString& program)
{
    QJSEngine engine;
    Bridge bridge(*this);
    QJSValue host = engine.newQObject(&bridge);
    QJSEngine::setObjectOwnership(&bridge, QJSEngine::CppOwnership);

    const bool chrome = browser == Browser::chrome;
    const QJSValue app = engine.evaluate(QString::fromUtf8(objectModel)).call({host, chrome});
    if (app.isError()) fail(app);
    const QString appName = BrowserTab::applicationName(browser);
    QJSValue global = engine.globalObject();
    global.setProperty(QStringLiteral("__app"), app);
    global.setProperty(QStringLiteral("__host"), host);
    global.setProperty(QStringLiteral("__appName"), appName);
    const QJSValue setup =
        engine.evaluate(QStringLiteral("function Application(name) { if (name !== __appName) throw new "
                                       "Error('no application ' + name); return __app }\n"
                                       "function delay(seconds) { __host.delay(seconds) }"));
    if (setup.isError()) fail(setup);

    const QJSValue defined = engine.evaluate(program, QStringLiteral("program.js"));
    if (defined.isError()) fail(defined);
    const QJSValue result = global.property(QStringLiteral("run")).call();
    if (result.isError()) fail(result);
    return result.isUndefined() ? QString() : result.toString();
}

#include "ScriptedBrowser.moc"
