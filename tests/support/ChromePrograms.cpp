#include "ChromePrograms.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ChromePrograms {

QString lit(const QString& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    // ["..."] -> "..."
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString assemble(const QString& body, const QString& host, const QString& prefer, const Constants& extra)
{
    QString text = QStringLiteral("function run() {\n");
    text += QStringLiteral("const app = Application(") + lit(QStringLiteral("Google Chrome")) +
            QStringLiteral(");\n");
    text += QStringLiteral("const HOST = ") + lit(host) + QStringLiteral(";\n");
    text += QStringLiteral("const PREFER = ") + lit(prefer) + QStringLiteral(";\n");
    for (const auto& [name, value] : extra)
        text += QStringLiteral("const ") + name + QStringLiteral(" = ") + lit(value) + QStringLiteral(";\n");
    text += body;
    text += QStringLiteral("\n}");
    return text;
}

QString pickJS()
{
    return QStringLiteral(R"JS(function pick() {
  let urls, act;
  try { urls = app.windows.tabs.url(); act = app.windows.activeTab.url() } catch (e) { return pickSlow() }
  const tab = (wi, ti) => app.windows[wi].tabs[ti];
  if (PREFER) for (let wi = 0; wi < urls.length; wi++) for (let ti = 0; ti < (urls[wi] || []).length; ti++)
    if ((urls[wi][ti] || '').startsWith(PREFER)) return tab(wi, ti);
  let visible = -1;
  for (let wi = 0; wi < act.length; wi++) if ((act[wi] || '').includes(HOST)) { if (wi === 0) return app.windows[0].activeTab; if (visible < 0) visible = wi }
  if (visible >= 0) return app.windows[visible].activeTab;
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
    try { const a = w.activeTab(); if ((a.url() || '').includes(HOST)) { if (wi === 0) return a; if (!visible) visible = a } } catch (e) {}
    if (!any) for (const t of tabs) { let u = ''; try { u = t.url() || '' } catch (e) {} if (u.includes(HOST)) { any = t; break } }
  }
  return visible || any;
}
)JS");
}

QString jsBody()
{
    return pickJS() + QStringLiteral(R"JS(const t = pick();
if (!t) return 'err:tab closed';
const r = t.execute({javascript: CODE});
return r == null ? '' : String(r);)JS");
}

QString ensureBody()
{
    return pickJS() + QStringLiteral(R"JS(function needsNav(url, dest) {
  const bare = (u) => u.split('#')[0].split('?')[0].replace(/\/+$/, '');
  return bare(url) !== bare(dest);
}
const t = pick();
if (t) { if (needsNav(t.url() || '', DEST)) { t.url = DEST; delay(1.5); return 'found, moved' } return 'found' }
if (app.windows().length === 0) return 'nowindow';
const w = app.windows[0];
const prev = w.activeTabIndex();
w.tabs.push(app.Tab({url: DEST}));
w.activeTabIndex = prev;
return 'opened';)JS");
}

QString listChatsBody()
{
    return pickJS() + QStringLiteral(R"JS(const out = [];
for (const w of app.windows()) { let tabs; try { tabs = w.tabs() } catch (e) { continue }
  for (const t of tabs) { let u = '', n = ''; try { u = t.url() || ''; n = t.title() || '' } catch (e) {}
    if (u.includes(HOST) && u.includes(PATH)) out.push(['t', n.replace(/\s*[-|–]\s*(Claude|ChatGPT)\s*$/, ''), u]) } }
const t = pick();
if (t) { try { for (const x of JSON.parse(t.execute({javascript: CODE}))) out.push(['r', x[0], x[1]]) } catch (e) {} }
return JSON.stringify(out);)JS");
}

QString listChatsPageScript(const QString& chatPath)
{
    QString script = QStringLiteral(
        R"JS(JSON.stringify([...document.querySelectorAll('a[href*="PATH"]')].map(a => [((a.innerText || a.textContent || '').trim().split('\n')[0]), a.href]).filter(x => x[0]).slice(0, 80)))JS");
    return script.replace(QStringLiteral("PATH"), chatPath);
}

QString probeBody()
{
    return pickJS() + QStringLiteral(R"JS(if (app.windows.length === 0) return 'nowindow';
const t = pick();
if (!t) return 'notab';
return String(t.execute({javascript: '1+1'}));)JS");
}

QString frontWindowBody()
{
    return QStringLiteral(R"JS(for (const w of app.windows()) {
  let tabs; try { tabs = w.tabs() } catch (e) { continue }
  for (const t of tabs) { let u = ''; try { u = t.url() || '' } catch (e) {} if (u.includes(HOST)) { w.index = 1; return 'ok' } }
}
return 'none';)JS");
}

} // namespace ChromePrograms
