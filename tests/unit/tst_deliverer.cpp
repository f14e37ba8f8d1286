// Message delivery on virtual time against a scripted page (step order,
// failures, deadlines), and the page scripts run against a small fake document.
#include "BrowserPlatformFakes.h"
#include "Deliverer.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>

using namespace std::chrono_literals;

namespace {

const QString chat = QStringLiteral("https://claude.ai/chat/42");

// The assistant's page as the delivery sees it. Each step, told from the
// program's text, answers through a function of how many times it has run.
struct FakePage {
    std::map<QString, std::function<QString(int)>> answers{
        {"composer", [](int) { return QStringLiteral("yes"); }},
        {"insert", [](int) { return QStringLiteral("ok"); }},
        {"send", [](int) { return QStringLiteral("sent"); }},
        {"still", [](int) { return QStringLiteral("no"); }},
        {"ensure", [](int) { return QStringLiteral("found"); }},
    };
    std::map<QString, DeliveryError> failures; // runner failures by step
    QStringList steps;                         // in order, consecutive image pieces as one "pieces"
    std::map<QString, QList<double>> times;    // virtual seconds at each run of a step
    std::map<QString, QString> lastScript;
    QStringList pieces; // "index:base64"

    static QString classify(const QString& program)
    {
        if (FakeScriptRunner::constant(program, QStringLiteral("DEST"))) return QStringLiteral("ensure");
        if (FakeScriptRunner::constant(program, QStringLiteral("NEWURL"))) return QStringLiteral("navigate");
        const QString code = FakeScriptRunner::pageScript(program);
        const QString helpers = JS::helpers();
        if (code == helpers + JS::composerCheck()) return QStringLiteral("composer");
        if (code == JS::reset()) return QStringLiteral("reset");
        if (code.startsWith(QLatin1String("window.__vell.imgs["))) return QStringLiteral("piece");
        if (code == helpers + JS::send()) return QStringLiteral("send");
        if (code.contains(QLatin1String("'no message box'"))) return QStringLiteral("insert");
        if (code.startsWith(helpers)) return QStringLiteral("still");
        return QStringLiteral("other");
    }

    QString answer(const FakeScriptRunner::Call& call)
    {
        const QString step = classify(call.program);
        if (step != QLatin1String("piece") || steps.isEmpty() || steps.last() != QLatin1String("pieces"))
            steps << (step == QLatin1String("piece") ? QStringLiteral("pieces") : step);
        times[step] << std::chrono::duration<double>(call.at.time_since_epoch()).count();
        const QString code = FakeScriptRunner::pageScript(call.program);
        lastScript[step] = code;
        if (step == QLatin1String("piece")) {
            static const QRegularExpression shape(QStringLiteral(
                R"(^window\.__vell\.imgs\[(\d+)\] = \(window\.__vell\.imgs\[\1\] \|\| ''\) \+ )"
                R"('([A-Za-z0-9+/=]*)'; 'ok'$)"));
            const auto m = shape.match(code);
            pieces << (m.hasMatch() ? m.captured(1) + ':' + m.captured(2) : QStringLiteral("malformed"));
        }
        if (const auto f = failures.find(step); f != failures.end()) throw f->second;
        const auto a = answers.find(step);
        return a == answers.end() ? QStringLiteral("ok") : a->second(int(times[step].size()));
    }
};

struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    FakeAutomationBackend automation{scheduler};
    FakePage page;
    QString text = QStringLiteral("What does this error mean?");
    BrowserDriver driver{runner, apps, scheduler};

    Rig()
    {
        apps.running[Browser::chrome] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) { return page.answer(call); };
    }
    StartedTask<void> deliver(const QString& text, QList<QByteArray> images = {},
                              std::optional<ChatTarget> target = {})
    {
        const Delivery d{text, std::move(images), Destination::claude(), Browser::chrome, std::move(target)};
        return StartedTask<void>(Deliverer::run(d, driver, automation));
    }
    void always(const QString& step, const QString& answer)
    {
        page.answers[step] = [answer](int) { return answer; };
    }
};

QByteArray bytes(qsizetype size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

using Setup = std::function<void(Rig&)>;

// A document with one message box (`box`), send buttons by selector and a
// form that can be busy; clicks and Enter presses are counted.
const char* const fakeDocument = R"JS(
var window = {}, clicks = 0, enters = 0, busy = false, t0 = 0, box = null, buttons = {};
function element(p) { return Object.assign({ tagName: 'DIV', value: undefined, innerText: '', attrs: {},
  disabled: false, closest: (s) => s === 'form' ? form : null,
  getAttribute: function (n) { return n in this.attrs ? this.attrs[n] : null; }, click: () => { clicks++; },
  dispatchEvent: (e) => { if (e.type === 'keydown' && e.key === 'Enter') enters++; return true; } }, p); }
function button(p) { return element(Object.assign({ tagName: 'BUTTON' }, p)); }
function KeyboardEvent(type, init) { this.type = type; this.key = init.key; }
var form = { querySelector: (s) => busy && s.indexOf('progressbar') >= 0 ? {} : null };
var document = { querySelector: (s) =>
  s === 'div.ProseMirror[contenteditable="true"]' ? box : (buttons[s] || null) };
Object.defineProperty(window, '__vell', { get: function () { return this.state || (this.state = {t0: t0}); },
  set: function (v) { this.state = v; } });
)JS";

// Runs the scripts in turn after `setup` in a fresh fake document; the answers.
QStringList inDocument(const QString& setup, const QStringList& scripts)
{
    QJSEngine engine;
    const QJSValue ready = engine.evaluate(QString::fromUtf8(fakeDocument) + setup);
    if (ready.isError()) return {QStringLiteral("setup: ") + ready.toString()};
    QStringList answers;
    for (const QString& script : scripts)
        answers << engine.evaluate(script).toString();
    answers << engine.evaluate(QStringLiteral("clicks + ' clicks, ' + enters + ' enters'")).toString();
    return answers;
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestDeliverer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deliversInOrder()
    {
        ScopedLog log;
        Rig rig;
        const QByteArray big = bytes(1'200'000, 'a'); // 1.6 million Base64 characters
        const QByteArray small = bytes(3000, 'b');
        const QString text = QStringLiteral("Compare\nthese two figures, \"please\" </script> and more");
        auto task = rig.deliver(text, {big, {}, small}, ChatTarget{QStringLiteral("Budget"), chat});
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(rig.page.steps.join(' '), QStringLiteral("ensure composer reset pieces insert send still"));
        QCOMPARE(FakeScriptRunner::constant(rig.runner.calls.first().program, QStringLiteral("DEST")), chat);
        // Four pieces for the big image, none for the empty one, one for the small;
        // each image keeps its index and arrives whole.
        QCOMPARE(rig.page.pieces.size(), 5);
        QMap<QString, QString> images;
        for (const QString& p : rig.page.pieces)
            images[p.section(':', 0, 0)] += p.section(':', 1);
        QCOMPARE(images.keys(), (QStringList{"0", "2"}));
        QVERIFY(images["0"] == QString::fromLatin1(big.toBase64()));
        QCOMPARE(images["2"], QString::fromLatin1(small.toBase64()));
        // The confirmation looks for the first 24 characters, line feeds as spaces.
        QCOMPARE(rig.page.lastScript["still"],
                 JS::helpers() + JS::stillHas(QStringLiteral("Compare these two figure")));
        QCOMPARE(log.messages(),
                 (QStringList{"automation Chrome: granted", "deliver: tab found for claude.ai",
                              "deliver: sent to claude.ai via Chrome, 3 image(s)"}));
    }

    void everyOutcomeOfADelivery_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("error"); // as rendered; empty: delivered
        QTest::addColumn<double>("at");     // virtual seconds

        const auto access = [](AutomationAccess a) {
            return Setup([a](Rig& r) { r.automation.answer = [a](Browser, bool) { return a; }; });
        };
        const auto answer = [](const char* step, const char* text) {
            return Setup([=](Rig& r) { r.always(step, text); });
        };
        const auto fails = [](const char* step, DeliveryError e) {
            return Setup([=](Rig& r) { r.page.failures.emplace(step, e); });
        };
        const auto page = [](const char* what) { return DeliveryError::page(what).rendered(); };
        const QString denied = DeliveryError::automationDenied(Browser::chrome).rendered();
        QTest::newRow("browser not running is no obstacle")
            << access(AutomationAccess::browserNotRunning) << "" << 0.0;
        QTest::newRow("automation denied") << access(AutomationAccess::denied) << denied << 0.0;
        QTest::newRow("browser never opens") << Setup([](Rig& r) { r.apps.running[Browser::chrome] = false; })
                                             << page("Chrome didn't open claude.ai") << 12.0;
        QTest::newRow("no message box, not even in a new chat")
            << answer("composer", "no") << DeliveryError::noComposer().rendered() << 23.3;
        QTest::newRow("insert finds no box")
            << answer("insert", "no message box") << page("no message box") << 0.0;
        QTest::newRow("send button disabled throughout")
            << answer("send", "wait") << page("still uploading after 30s") << 30.0;
        QTest::newRow("tab closed while sending")
            << answer("send", "err:tab closed") << page("err:tab closed") << 30.0;
        QTest::newRow("text stays in the box")
            << answer("still", "yes") << DeliveryError::notSent().rendered() << 4.2;
        // A probe of white space would be found in any box, so there is none to look for.
        QTest::newRow("images only: no confirmation") << Setup([](Rig& r) {
            r.text = QStringLiteral("  \n\t ");
            r.always("still", "yes");
        }) << "" << 4.2;
        QTest::newRow("setting off") << fails("composer", DeliveryError::jsOff(Browser::chrome))
                                     << DeliveryError::jsOff(Browser::chrome).rendered() << 0.0;
    }

    void everyOutcomeOfADelivery()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, error);
        QFETCH(double, at);
        ScopedLog log;
        Rig rig;
        setup(rig);
        auto task = rig.deliver(rig.text, {bytes(10, 'x')});
        rig.scheduler.advance(std::max(at - 0.05, 0.0));
        QVERIFY(at == 0 || !task.done());
        rig.scheduler.advance(at > 0 ? 0.05 : 0.0);
        QVERIFY(task.done());
        QCOMPARE(task.error<DeliveryError>() ? task.error<DeliveryError>()->rendered() : QString(), error);
        QCOMPARE(log.messagesStartingWith(QStringLiteral("deliver: sent")).size(), error.isEmpty() ? 1 : 0);
    }

    void pollsKeepTheirPaceAndDeadline_data()
    {
        QTest::addColumn<int>("runMillis"); // virtual time each program takes
        QTest::addColumn<int>("polls");
        QTest::addColumn<double>("lastAt");
        // 8 s every 0.3 s, then a new chat and 15 s every 0.4 s.
        QTest::newRow("instant programs") << 0 << 27 + 38 << 22.9;
        QTest::newRow("slow programs count against the deadline") << 1000 << 7 + 11 << 25.1;
    }

    void pollsKeepTheirPaceAndDeadline()
    {
        QFETCH(int, runMillis);
        QFETCH(int, polls);
        QFETCH(double, lastAt);
        ScopedLog log;
        Rig rig;
        rig.always("composer", "no");
        rig.runner.delay = std::chrono::milliseconds(runMillis);
        auto task =
            rig.deliver(QStringLiteral("Is this right?"), {}, ChatTarget{QStringLiteral("Old"), chat});
        rig.scheduler.advance(120.0);
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::noComposer());
        const QList<double> times = rig.page.times["composer"];
        QCOMPARE(times.size(), polls);
        QCOMPARE(qRound(times.last() * 10), qRound(lastAt * 10));
        // Between the two waits the tab goes to a new chat.
        QCOMPARE(rig.page.times["navigate"].size(), 1);
        const QString navigate = rig.runner.calls.at(rig.page.steps.indexOf("navigate")).program;
        QCOMPARE(FakeScriptRunner::constant(navigate, QStringLiteral("NEWURL")),
                 QStringLiteral("https://claude.ai/new"));
        QVERIFY(
            log.messages().contains(QStringLiteral("deliver: no composer, opening https://claude.ai/new")));
    }

    void probeIsTheStartOfTheText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("probe");
        const QString a23(23, u'a');
        QTest::newRow("emoji is one character")
            << a23 + QStringLiteral("😀 tail") << a23 + QStringLiteral("😀");
        QTest::newRow("accent is one character")
            << QStringLiteral("e\u0301") + QString(30, u'b') << QStringLiteral("e\u0301") + QString(23, u'b');
    }

    void probeIsTheStartOfTheText()
    {
        QFETCH(QString, text);
        QFETCH(QString, probe);
        QCOMPARE(Deliverer::probeText(text), probe);
    }

    void sendScriptPressesOnlyWhenReady_data()
    {
        QTest::addColumn<QString>("document"); // JS setting up `box`, `buttons`, `busy`, `t0`
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("no box") << "box = null;"
                                << QStringList{"message box disappeared", "0 clicks, 0 enters"};
        QTest::newRow("form busy")
            << "busy = true; buttons['button[aria-label=\"Send message\"]'] = button({});"
            << QStringList{"wait", "0 clicks, 0 enters"};
        QTest::newRow("button disabled")
            << "buttons['button[data-testid=\"send-button\"]'] = button({disabled: true});"
            << QStringList{"wait", "0 clicks, 0 enters"};
        QTest::newRow("button ready") << "buttons['button[aria-label*=\"Send\" i]'] = button({});"
                                      << QStringList{"sent", "1 clicks, 0 enters"};
        QTest::newRow("no button: Enter on the ninth try")
            << ""
            << (QStringList(8, "wait") << "sent"
                                       << "0 clicks, 1 enters");
    }

    void sendScriptPressesOnlyWhenReady()
    {
        QFETCH(QString, document);
        QFETCH(QStringList, answers);
        const QStringList scripts(answers.size() - 1, JS::helpers() + JS::send());
        QCOMPARE(inDocument("box = element({innerText: 'hello'}); t0 = 1;" + document, scripts), answers);
    }

    void stillHasLooksForTheProbe_data()
    {
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("answer");
        QTest::newRow("text still there") << "it's \"x\" for"
                                          << "{innerText: 'it\\'s \"x\" for March'}"
                                          << "yes";
        QTest::newRow("box emptied") << "Budget for"
                                     << "{innerText: ''}"
                                     << "no";
        QTest::newRow("white space differs") << "Budget  for"
                                             << "{innerText: 'Budget\\n\\nfor March'}"
                                             << "yes";
        QTest::newRow("text area value") << "Budget"
                                         << "{value: 'Budget', innerText: ''}"
                                         << "yes";
    }

    void stillHasLooksForTheProbe()
    {
        QFETCH(QString, probe);
        QFETCH(QString, box);
        QFETCH(QString, answer);
        QCOMPARE(inDocument("box = " + box + ";", {JS::helpers() + JS::stillHas(probe)}).first(), answer);
    }
};

QTEST_GUILESS_MAIN(TestDeliverer)
#include "tst_deliverer.moc"
