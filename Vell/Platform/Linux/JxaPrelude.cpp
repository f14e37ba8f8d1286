#include "JxaPrelude.h"

namespace JxaPrelude {

namespace {

// Qt 6.4's engine: ES2016 with Proxy, but no globalThis, Object.fromEntries or Array.prototype.flat.
const char16_t* const source = uR"JS(
var Application, delay;
(function (host) {
  'use strict';
  var APP_NAMES = ['Google Chrome', 'Chrome', 'Chromium', 'com.google.Chrome'];
  var REF = '__vellReference';
  var NEW_TAB = '__vellNewTab';

  var snapshot = null;
  function windows() {
    if (snapshot === null) snapshot = JSON.parse(host.windows());
    return snapshot;
  }
  function changed() { snapshot = null; }
  function fail(text) { throw new Error(text); }

  function windowById(id) {
    var ws = windows();
    for (var i = 0; i < ws.length; i++) if (ws[i].id === id) return ws[i];
    return fail("Can't get object.");
  }
  function tabById(id) {
    var ws = windows();
    for (var i = 0; i < ws.length; i++)
      for (var k = 0; k < ws[i].tabs.length; k++) if (ws[i].tabs[k].id === id) return ws[i].tabs[k];
    return fail("Can't get object.");
  }
  function activeOf(w) { return w.active >= 0 ? w.tabs[w.active] : null; }
  function deep(value, depth, fn) {
    if (depth === 0) return fn(value);
    if (value === null || value === undefined) return null;
    return value.map(function (v) { return deep(v, depth - 1, fn); });
  }

  // A reference: what it points at (kind), how many "every element" steps it
  // went through (depth: the nesting of the lists it reads), and how to read it.
  var COLLECTION_OF = { windows: 'window', tabs: 'tab' };
  function isCollection(ref) { return COLLECTION_OF.hasOwnProperty(ref.kind); }

  function windowRef(id) {
    return { kind: 'window', depth: 0, id: id, get: function () { return windowById(id); },
             text: 'app.windows.byId(' + id + ')' };
  }
  function tabRef(id) {
    return { kind: 'tab', depth: 0, id: id, get: function () { return tabById(id); },
             text: 'app.windows.tabs.byId(' + JSON.stringify(id) + ')' };
  }
  function missingRef(kind, text) {
    return { kind: kind, depth: 0, get: function () { return fail('Invalid index.'); }, text: text };
  }
  function byId(kind, record) { return kind === 'window' ? windowRef(record.id) : tabRef(record.id); }
  // A single element is pinned to what it is now, so later changes do not move it.
  function pinned(ref) {
    if (isCollection(ref) || ref.kind === 'value' || ref.depth !== 0 || ref.id !== undefined) return ref;
    var record;
    try { record = ref.get(); } catch (e) { return missingRef(ref.kind, ref.text); }
    return record ? byId(ref.kind, record) : missingRef(ref.kind, ref.text);
  }

  var WINDOW_PROPERTIES = {
    tabs: { kind: 'tabs', of: function (w) { return w.tabs; } },
    activeTab: { kind: 'tab', of: activeOf },
    currentTab: { kind: 'tab', of: activeOf },
    activeTabIndex: { kind: 'value', of: function (w) { return w.active + 1; } },
    index: { kind: 'value', of: function (w) {
      var ws = windows();
      for (var i = 0; i < ws.length; i++) if (ws[i].id === w.id) return i + 1;
      return fail("Can't get object.");
    } },
    id: { kind: 'value', of: function (w) { return w.id; } },
    name: { kind: 'value', of: function (w) { var t = activeOf(w); return t ? t.title : ''; } },
    title: { kind: 'value', of: function (w) { var t = activeOf(w); return t ? t.title : ''; } },
    visible: { kind: 'value', of: function () { return true; } },
    mode: { kind: 'value', of: function () { return 'normal'; } }
  };
  var TAB_PROPERTIES = {
    url: { kind: 'value', of: function (t) { return t.url; } },
    title: { kind: 'value', of: function (t) { return t.title; } },
    name: { kind: 'value', of: function (t) { return t.title; } },
    id: { kind: 'value', of: function (t) { return t.id; } },
    loading: { kind: 'value', of: function () { return false; } }
  };
  function propertiesOf(ref) {
    var element = isCollection(ref) ? COLLECTION_OF[ref.kind] : ref.kind;
    if (element === 'window') return WINDOW_PROPERTIES;
    if (element === 'tab') return TAB_PROPERTIES;
    return null;
  }

  function property(ref, key, p) {
    var depth = ref.depth + (isCollection({ kind: p.kind }) ? 1 : 0);
    var owner = ref.kind === 'window' && ref.depth === 0 ? ref.id : undefined;
    return pinned({
      kind: p.kind, depth: depth, owner: owner, text: ref.text + '.' + key,
      get: function () {
        return deep(ref.get(), ref.depth, function (record) { return record === null ? null : p.of(record); });
      }
    });
  }
  function element(ref, index) {
    return pinned({
      kind: COLLECTION_OF[ref.kind], depth: ref.depth - 1, text: ref.text + '[' + index + ']',
      get: function () {
        return deep(ref.get(), ref.depth - 1, function (list) {
          if (list === null) return null;
          var i = index < 0 ? list.length + index : index;
          return i >= 0 && i < list.length ? list[i] : fail('Invalid index.');
        });
      }
    });
  }
  function read(ref) {
    if (ref.kind === 'value') return ref.get();
    if (isCollection(ref)) {
      var kind = COLLECTION_OF[ref.kind];
      return deep(ref.get(), ref.depth - 1, function (list) {
        return list === null ? null : list.map(function (r) { return specifier(byId(kind, r)); });
      });
    }
    return deep(ref.get(), ref.depth, function (r) { return r === null ? null : specifier(byId(ref.kind, r)); });
  }

  function execute(ref, options) {
    var code = options && options.javascript;
    if (typeof code !== 'string') fail('execute needs {javascript: text}.');
    var out = host.evaluate(ref.get().id, code);
    return out === '' ? null : JSON.parse(out).v;
  }

  function push(ref, made) {
    if (ref.kind !== 'tabs' || ref.owner === undefined) fail("Can't make a new element here.");
    if (!made || made[NEW_TAB] !== true) fail("Can't make a new element of that kind.");
    var target = windowById(ref.owner);
    var front = windows()[0];
    if (front.id === target.id) {
      host.openTab(made.url);
    } else {
      // New tabs land in the front window: bring the target forward for the
      // moment, then give the front back.
      host.activate(activeOf(target).id);
      host.openTab(made.url);
      host.activate(activeOf(front).id);
    }
    changed();
  }

  function setActiveTabIndex(ref, value) {
    var w = ref.get();
    var n = Number(value);
    var tab = w.tabs[n - 1];
    if (!tab || n !== Math.floor(n)) fail('Invalid index.');
    if (w.active === n - 1) return;
    var front = windows()[0];
    host.activate(tab.id);
    if (front.id !== w.id) host.activate(activeOf(front).id);
    changed();
  }

  function setIndex(ref, value) {
    var w = ref.get();
    if (Number(value) !== 1) fail("Can't set index to " + value + '.');
    if (windows()[0].id !== w.id) {
      host.activate(activeOf(w).id);
      changed();
    }
  }

  function specifier(ref) {
    var target = function () {};
    return new Proxy(target, {
      apply: function () { return read(ref); },
      get: function (t, key) {
        if (key === REF) return ref;
        if (typeof key === 'symbol') {
          if (key === Symbol.iterator && isCollection(ref))
            return function () { return read(ref)[Symbol.iterator](); };
          return undefined;
        }
        if (key === 'toString') return function () { return 'Application("Google Chrome").' + ref.text; };
        if (isCollection(ref)) {
          if (/^-?\d+$/.test(key)) return specifier(element(ref, Number(key)));
          if (key === 'length')
            return deep(ref.get(), ref.depth - 1, function (list) { return list === null ? 0 : list.length; });
          if (key === 'push') return function (made) { push(ref, made); };
        }
        if (ref.kind === 'tab' && ref.depth === 0 && key === 'execute')
          return function (options) { return execute(ref, options); };
        var table = propertiesOf(ref);
        if (!table || !table.hasOwnProperty(key)) return undefined;
        return specifier(property(ref, key, table[key]));
      },
      set: function (t, key, value) {
        if (ref.depth === 0 && ref.kind === 'tab' && key === 'url') {
          host.navigate(ref.get().id, String(value));
          changed();
        } else if (ref.depth === 0 && ref.kind === 'window' && key === 'activeTabIndex') {
          setActiveTabIndex(ref, value);
        } else if (ref.depth === 0 && ref.kind === 'window' && key === 'index') {
          setIndex(ref, value);
        } else {
          fail("Can't set " + String(key) + '.');
        }
        return true;
      }
    });
  }

  var windowsRef = { kind: 'windows', depth: 1, text: 'windows', get: windows };
  var app = {
    windows: specifier(windowsRef),
    name: specifier({ kind: 'value', depth: 0, text: 'name', get: function () { return 'Google Chrome'; } }),
    running: function () { return true; },
    includeStandardAdditions: false,
    activate: function () {
      var ws = windows();
      if (ws.length && activeOf(ws[0])) host.activate(activeOf(ws[0]).id);
      changed();
    },
    Tab: function (properties) {
      var made = { url: properties && properties.url !== undefined ? String(properties.url) : 'about:blank' };
      made[NEW_TAB] = true;
      return made;
    },
    doJavaScript: function (code, options) {
      var tab = options && options['in'];
      var ref = tab && tab[REF];
      if (!ref || ref.kind !== 'tab' || ref.depth !== 0) fail('doJavaScript needs {in: tab}.');
      return execute(ref, { javascript: code });
    },
    toString: function () { return 'Application("Google Chrome")'; }
  };

  Application = function (name) {
    if (APP_NAMES.indexOf(String(name)) < 0) fail("Application can't be found.");
    return app;
  };
  delay = function (seconds) { host.delay(Number(seconds) || 0); };
})(__host);
)JS";

} // namespace

QString text()
{
    return QString::fromUtf16(source);
}

} // namespace JxaPrelude
