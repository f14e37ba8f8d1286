// Message delivery on virtual time against a scripted page: the order of the
// page steps, every failure, deadlines and poll counts; and the page scripts
// themselves run against a small fake document.
#include "BrowserPlatformFakes.h"
#include "Deliverer.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <map>

using namespace std::chrono_literals;

namespace {

const QString chat = QStringLiteral("https://claude.ai/chat/42");

// The assistant's page as the delivery sees it. Each step (told from the
// program's text) answers through a function of how many times it has run.
struct FakePage {
    std::map<QString, std::function<QString(int)>> answers{
        {"composer", [](int) { return QStringLiteral("yes"); }},
        {"insert", [](int) { return QStringLiteral("ok"); }},
        {"send", [](int) { return QStringLiteral("sent"); }},
        {"still", [](int) { return QStringLiteral("no"); }},
        {"ensure", [](int) { return QStringLiteral("found"); }},
    };
    std::map<QString, DeliveryError> failures; // runner failures by step
    QStringList steps;                         // in order, image pieces as one "pieces"
    std::map<QString, QList<double>> times;    // virtual seconds at each run of a step
    std::map<QString, QString> lastScript;
    QStringList pieces; // "index:text"

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
        if (code.startsWith(helpers + "(() => {\n  const ed = find(); if (!ed) return 'no message box';"))
            return QStringLiteral("insert");
        if (code.startsWith(helpers + "(() => { const ed = find(); return ed && "))
            return QStringLiteral("still");
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
                "^window\\.__vell\\.imgs\\[(\\d+)\\] = \\(window\\.__vell\\.imgs\\[\\1\\] \\|\\| ''\\) \\+ "
                "'([A-Za-z0-9+/=]*)'; 'ok'$"));
            const auto m = shape.match(code);
            pieces << (m.hasMatch() ? m.captured(1) + ':' + m.captured(2) : QStringLiteral("malformed"));
        }
        if (const auto f = failures.find(step); f != failures.end()) throw f->second;
        const auto a = answers.find(step);
        return a == answers.end() ? QStringLiteral("ok") : a->second(int(times[step].size()));
    }
    int count(const QString& step) const
    {
        const auto t = times.find(step);
        return t == times.end() ? 0 : int(t->second.size());
    }
};

struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    FakeAutomationBackend automation{scheduler};
    FakePage page;
    BrowserDriver driver{runner, apps, scheduler};

    Rig()
    {
        apps.running[Browser::chrome] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) { return page.answer(call); };
    }
    StartedTask<void> deliver(const Delivery& d)
    {
        return StartedTask<void>(Deliverer::run(d, driver, automation));
    }
    double elapsed() const { return std::chrono::duration<double>(scheduler.elapsed()).count(); }
};

Delivery delivery(const QString& text, QList<QByteArray> images = {}, std::optional<ChatTarget> target = {})
{
    return Delivery{text, std::move(images), Destination::claude(), Browser::chrome, std::move(target)};
}

QByteArray bytes(qsizetype size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

using Setup = std::function<void(Rig&)>;

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(AutomationAccess)

class TestDeliverer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // MARK: The procedure

    void deliversInOrder()
    {
        ScopedLog log;
        Rig rig;
        const QByteArray big = bytes(1'200'000, 'a'); // 1.6 million Base64 characters
        const QByteArray small = bytes(3000, 'b');
        const QString text = QStringLiteral("Compare\nthese two figures, \"please\" </script> and more");
        auto task = rig.deliver(delivery(text, {big, {}, small}, ChatTarget{QStringLiteral("Budget"), chat}));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(rig.page.steps.join(' '), QStringLiteral("ensure composer reset pieces insert send still"));
        QCOMPARE(rig.automation.calls, (QList<std::pair<Browser, bool>>{{Browser::chrome, true}}));

        // The tab is looked for at the target chat.
        const QString ensure = rig.runner.calls.first().program;
        QCOMPARE(FakeScriptRunner::constant(ensure, QStringLiteral("DEST")), chat);
        QCOMPARE(FakeScriptRunner::constant(ensure, QStringLiteral("PREFER")), chat);
        QCOMPARE(FakeScriptRunner::constant(ensure, QStringLiteral("HOST")), QStringLiteral("claude.ai"));

        // Four pieces for the big image, none for the empty one, one for the small;
        // each image keeps its own index and arrives whole.
        QCOMPARE(rig.page.pieces.size(), 5);
        QString first, third;
        for (const QString& p : rig.page.pieces) {
            if (p.startsWith(QLatin1String("0:")))
                first += p.mid(2);
            else if (p.startsWith(QLatin1String("2:")))
                third += p.mid(2);
            else
                QFAIL(qPrintable(p.left(40)));
        }
        QCOMPARE(first.size(), 1'600'000);
        QCOMPARE(first, QString::fromLatin1(big.toBase64()));
        QCOMPARE(third, QString::fromLatin1(small.toBase64()));

        QCOMPARE(rig.page.lastScript["insert"], JS::helpers() + JS::insert(text));
        QVERIFY(rig.page.lastScript["insert"].contains(QStringLiteral("const T = ") + BrowserTab::lit(text) +
                                                       ";"));
        // The probe is the first 24 characters, line feeds as spaces.
        QCOMPARE(rig.page.lastScript["still"],
                 JS::helpers() + JS::stillHas(QStringLiteral("Compare these two figure")));
        QCOMPARE(log.messages(),
                 (QStringList{"automation Chrome: granted", "deliver: tab found for claude.ai",
                              "deliver: sent to claude.ai via Chrome, 3 image(s)"}));
        QCOMPARE(rig.elapsed(), 0.0);
    }

    void everyFailureEndsTheDelivery_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("error"); // as rendered
        QTest::addColumn<double>("at");     // virtual seconds

        const auto always = [](QString step, QString answer) {
            return Setup([step, answer](Rig& r) { r.page.answers[step] = [answer](int) { return answer; }; });
        };
        QTest::newRow("automation denied") << Setup([](Rig& r) {
            r.automation.answer = [](Browser, bool) { return AutomationAccess::denied; };
        }) << DeliveryError::automationDenied(Browser::chrome).rendered()
                                           << 0.0;
        QTest::newRow("automation never asked") << Setup([](Rig& r) {
            r.automation.answer = [](Browser, bool) { return AutomationAccess::notAsked; };
        }) << DeliveryError::automationDenied(Browser::chrome).rendered()
                                                << 0.0;
        QTest::newRow("browser never opens")
            << Setup([](Rig& r) { r.apps.running[Browser::chrome] = false; })
            << DeliveryError::page(QStringLiteral("Chrome didn't open claude.ai")).rendered() << 12.0;
        QTest::newRow("no message box, not even in a new chat")
            << always("composer", QStringLiteral("no")) << DeliveryError::noComposer().rendered() << 23.3;
        QTest::newRow("insert finds no box")
            << always("insert", QStringLiteral("no message box"))
            << DeliveryError::page(QStringLiteral("no message box")).rendered() << 0.0;
        QTest::newRow("insert cannot type")
            << always("insert", QStringLiteral("could not type into the message box"))
            << DeliveryError::page(QStringLiteral("could not type into the message box")).rendered() << 0.0;
        QTest::newRow("tab closed before the insert")
            << always("insert", QStringLiteral("err:tab closed"))
            << DeliveryError::page(QStringLiteral("err:tab closed")).rendered() << 0.0;
        QTest::newRow("send button disabled throughout")
            << always("send", QStringLiteral("wait"))
            << DeliveryError::page(QStringLiteral("still uploading after 30s")).rendered() << 30.0;
        QTest::newRow("message box disappears")
            << always("send", QStringLiteral("message box disappeared"))
            << DeliveryError::page(QStringLiteral("message box disappeared")).rendered() << 30.0;
        QTest::newRow("tab closed while sending")
            << always("send", QStringLiteral("err:tab closed"))
            << DeliveryError::page(QStringLiteral("err:tab closed")).rendered() << 30.0;
        QTest::newRow("waiting, then the box disappears") << Setup([](Rig& r) {
            r.page.answers["send"] = [](int n) {
                return n < 50 ? QStringLiteral("wait") : QStringLiteral("message box disappeared");
            };
        }) << DeliveryError::page(QStringLiteral("message box disappeared")).rendered()
                                                          << 30.0;
        QTest::newRow("text stays in the box")
            << always("still", QStringLiteral("yes")) << DeliveryError::notSent().rendered() << 4.2;
        QTest::newRow("setting off, found by the first page step") << Setup([](Rig& r) {
            r.page.failures.emplace("composer", DeliveryError::jsOff(Browser::chrome));
        }) << DeliveryError::jsOff(Browser::chrome).rendered() << 0.0;
        QTest::newRow("runner times out on the insert") << Setup([](Rig& r) {
            r.page.failures.emplace("insert", DeliveryError::timedOut(Browser::chrome));
        }) << DeliveryError::timedOut(Browser::chrome).rendered()
                                                        << 0.0;
        QTest::newRow("ensure refused") << Setup([](Rig& r) {
            r.page.failures.emplace("ensure", DeliveryError::automationDenied(Browser::chrome));
        }) << DeliveryError::automationDenied(Browser::chrome).rendered()
                                        << 0.0;
    }

    void everyFailureEndsTheDelivery()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, error);
        QFETCH(double, at);
        ScopedLog log;
        Rig rig;
        setup(rig);
        auto task = rig.deliver(delivery(QStringLiteral("What does this error mean?"), {bytes(10, 'x')}));
        if (at > 0) {
            rig.scheduler.advance(at - 0.05);
            QVERIFY(!task.done());
        }
        rig.scheduler.advance(at > 0 ? 0.05 : 0.0);
        QVERIFY(task.failed());
        const auto thrown = task.error<DeliveryError>();
        QVERIFY(thrown);
        QCOMPARE(thrown->rendered(), error);
        QVERIFY(log.messagesStartingWith(QStringLiteral("deliver: sent")).isEmpty());
    }

    void allowedOrNotRunningGoesOn_data()
    {
        QTest::addColumn<AutomationAccess>("access");
        QTest::newRow("granted") << AutomationAccess::granted;
        QTest::newRow("browser not running") << AutomationAccess::browserNotRunning;
    }

    void allowedOrNotRunningGoesOn()
    {
        QFETCH(AutomationAccess, access);
        Rig rig;
        rig.automation.answer = [access](Browser, bool) { return access; };
        auto task = rig.deliver(delivery(QStringLiteral("hi")));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
    }

    // MARK: Deadlines and polls

    void pollsKeepTheirPaceAndDeadline_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("runMillis"); // virtual time each program takes
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("polls");
        QTest::addColumn<double>("firstAt");
        QTest::addColumn<double>("lastAt");

        const Setup noBoxUntilNewChat = [](Rig& r) {
            r.page.answers["composer"] = [&r](int) {
                return r.page.count("navigate") ? QStringLiteral("yes") : QStringLiteral("no");
            };
        };
        QTest::newRow("message box, first wait: 8 s every 0.3 s")
            << noBoxUntilNewChat << 0 << "composer" << 28 << 0.0 << 8.1;
        QTest::newRow("slow programs count against the deadline")
            << noBoxUntilNewChat << 1000 << "composer" << 8 << 1.0 << 11.1;
        const Setup never = [](Rig& r) {
            r.page.answers["composer"] = [](int) { return QStringLiteral("no"); };
        };
        QTest::newRow("message box after a new chat: 15 s every 0.4 s")
            << never << 0 << "composer" << 27 + 38 << 0.0 << 22.9;
        const Setup waiting = [](Rig& r) {
            r.page.answers["send"] = [](int) { return QStringLiteral("wait"); };
        };
        QTest::newRow("send: 30 s every 0.3 s") << waiting << 0 << "send" << 100 << 0.0 << 29.7;
        const Setup stays = [](Rig& r) {
            r.page.answers["still"] = [](int) { return QStringLiteral("yes"); };
        };
        QTest::newRow("confirmation: 4 s every 0.3 s") << stays << 0 << "still" << 14 << 0.0 << 3.9;
        const Setup sentLate = [](Rig& r) {
            r.page.answers["send"] = [](int n) {
                return n < 7 ? QStringLiteral("wait") : QStringLiteral("sent");
            };
        };
        QTest::newRow("send answered on the seventh poll") << sentLate << 0 << "send" << 7 << 0.0 << 1.8;
    }

    void pollsKeepTheirPaceAndDeadline()
    {
        QFETCH(Setup, setup);
        QFETCH(int, runMillis);
        QFETCH(QString, step);
        QFETCH(int, polls);
        QFETCH(double, firstAt);
        QFETCH(double, lastAt);
        Rig rig;
        setup(rig);
        rig.runner.delay = std::chrono::milliseconds(runMillis);
        auto task = rig.deliver(delivery(QStringLiteral("Is this right?")));
        rig.scheduler.advance(120.0);
        QVERIFY(task.done());
        const QList<double> times = rig.page.times[step];
        QCOMPARE(times.size(), polls);
        QCOMPARE(qRound(times.first() * 10), qRound(firstAt * 10));
        QCOMPARE(qRound(times.last() * 10), qRound(lastAt * 10));
    }

    void newChatIsOpenedWhenTheBoxNeverShows()
    {
        ScopedLog log;
        Rig rig;
        rig.page.answers["composer"] = [&rig](int) {
            return rig.page.count("navigate") ? QStringLiteral("yes") : QStringLiteral("err:tab closed");
        };
        auto task = rig.deliver(delivery(QStringLiteral("hi"), {}, ChatTarget{QStringLiteral("Old"), chat}));
        rig.scheduler.advance(8.1);
        QVERIFY(task.succeeded());
        const QString navigate = rig.runner.calls.at(rig.page.steps.indexOf("navigate")).program;
        QCOMPARE(FakeScriptRunner::constant(navigate, QStringLiteral("NEWURL")),
                 QStringLiteral("https://claude.ai/new"));
        QVERIFY(
            log.messages().contains(QStringLiteral("deliver: no composer, opening https://claude.ai/new")));
    }

    // MARK: The confirmation probe

    void probeIsTheStartOfTheText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("probe");
        QTest::newRow("short") << QStringLiteral("hello") << QStringLiteral("hello");
        QTest::newRow("long") << QStringLiteral("abcdefghijklmnopqrstuvwxyz")
                              << QStringLiteral("abcdefghijklmnopqrstuvwx");
        QTest::newRow("emoji is one character") << QString(23, QLatin1Char('a')) + QStringLiteral("😀 tail")
                                                << QString(23, QLatin1Char('a')) + QStringLiteral("😀");
        QTest::newRow("accent is one character") << QStringLiteral("e\u0301") + QString(30, QLatin1Char('b'))
                                                 << QStringLiteral("e\u0301") + QString(23, QLatin1Char('b'));
        QTest::newRow("empty") << QString() << QString();
    }

    void probeIsTheStartOfTheText()
    {
        QFETCH(QString, text);
        QFETCH(QString, probe);
        QCOMPARE(Deliverer::probeText(text), probe);
    }

    void imagesOnlyNeedNoConfirmation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty text") << QString();
        QTest::newRow("white space only") << QStringLiteral("  \n\t ");
    }

    void imagesOnlyNeedNoConfirmation()
    {
        QFETCH(QString, text);
        Rig rig;
        // Even a page that keeps saying "yes" cannot hold up a message without text.
        rig.page.answers["still"] = [](int) { return QStringLiteral("yes"); };
        auto task = rig.deliver(delivery(text, {bytes(100, 'j')}));
        rig.scheduler.advance(4.1);
        QVERIFY(!task.done());
        rig.scheduler.advance(0.1);
        QVERIFY(task.succeeded());
        // The page is asked with an empty probe, which it answers "no" at once.
        QCOMPARE(rig.page.lastScript["still"], JS::helpers() + JS::stillHas(QString()));
        QCOMPARE(evaluateStillHas(QString(), QStringLiteral("{innerText: 'an old draft'}")),
                 QStringLiteral("no"));
    }

    // MARK: Page scripts

    void pageScriptsParse()
    {
        const QString hostile = QStringLiteral("'); alert(1); ('\n\u2028</script>\\");
        const QStringList scripts{JS::helpers() + JS::composerCheck(),
                                  JS::reset(),
                                  JS::imagePiece(3, QStringLiteral("QUJD+/==")),
                                  JS::helpers() + JS::insert(hostile),
                                  JS::helpers() + JS::send(),
                                  JS::helpers() + JS::stillHas(hostile)};
        QJSEngine engine;
        const QJSValue compile =
            engine.evaluate(QStringLiteral("(function (src) { new Function(src); return 'ok' })"));
        for (const QString& script : scripts) {
            const QJSValue result = compile.call({script});
            QVERIFY2(!result.isError(), qPrintable(result.toString() + "\n" + script.right(300)));
        }
    }

    void sendScriptPressesOnlyWhenReady_data()
    {
        QTest::addColumn<QString>("document"); // JS setting up `box`, `buttons`, `busy`, `t0`
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("enters");

        QTest::newRow("just inserted") << "t0 = Date.now();" << QStringList{"wait"} << 0 << 0;
        QTest::newRow("no box") << "box = null;" << QStringList{"message box disappeared"} << 0 << 0;
        QTest::newRow("form busy")
            << "busy = true; buttons['button[aria-label=\"Send message\"]'] = button({});"
            << QStringList{"wait"} << 0 << 0;
        QTest::newRow("button disabled")
            << "buttons['button[data-testid=\"send-button\"]'] = button({disabled: true});"
            << QStringList{"wait"} << 0 << 0;
        QTest::newRow("button aria-disabled")
            << "buttons['#composer-submit-button'] = button({attrs: {'aria-disabled': 'true'}});"
            << QStringList{"wait"} << 0 << 0;
        QTest::newRow("button ready")
            << "buttons['button[aria-label*=\"Send\" i]'] = button({});" << QStringList{"sent"} << 1 << 0;
        QTest::newRow("first selector wins")
            << "buttons['button[aria-label*=\"Send\" i]'] = button({disabled: true});"
               "buttons['button[aria-label=\"Send Message\"]'] = button({});"
            << QStringList{"sent"} << 1 << 0;
        QStringList eightWaits(8, QStringLiteral("wait"));
        QTest::newRow("no button: Enter on the ninth try")
            << "" << (QStringList(eightWaits) << "sent") << 0 << 1;
    }

    void sendScriptPressesOnlyWhenReady()
    {
        QFETCH(QString, document);
        QFETCH(QStringList, answers);
        QFETCH(int, clicks);
        QFETCH(int, enters);
        QJSEngine engine;
        QVERIFY(
            setUpDocument(engine, QStringLiteral("box = element({innerText: 'hello'}); t0 = 1;") + document));
        QStringList got;
        for (int i = 0; i < answers.size(); ++i)
            got << run(engine, JS::helpers() + JS::send());
        QCOMPARE(got, answers);
        QCOMPARE(engine.evaluate(QStringLiteral("clicks")).toInt(), clicks);
        QCOMPARE(engine.evaluate(QStringLiteral("enters")).toInt(), enters);
    }

    void stillHasLooksForTheProbe_data()
    {
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("answer");
        QTest::newRow("text still there") << "Budget for"
                                          << "{innerText: 'Budget for March'}"
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
        QTest::newRow("no box") << "Budget"
                                << "null"
                                << "no";
        QTest::newRow("quotes in the probe") << "it's \"x\""
                                             << "{innerText: 'it\\'s \"x\"'}"
                                             << "yes";
    }

    void stillHasLooksForTheProbe()
    {
        QFETCH(QString, probe);
        QFETCH(QString, box);
        QFETCH(QString, answer);
        QCOMPARE(evaluateStillHas(probe, box), answer);
    }

private:
    // A document with one message box (`box`), send buttons by selector and a
    // form that can be busy; clicks and Enter presses are counted.
    static bool setUpDocument(QJSEngine& engine, const QString& setup)
    {
        const QJSValue result = engine.evaluate(QString::fromUtf8(fakeDocument) + setup);
        if (result.isError()) qWarning() << result.toString();
        return !result.isError();
    }

    static QString run(QJSEngine& engine, const QString& script)
    {
        const QJSValue value = engine.evaluate(script);
        return value.isError() ? QStringLiteral("error: ") + value.toString() : value.toString();
    }

    static QString evaluateStillHas(const QString& probe, const QString& box)
    {
        QJSEngine engine;
        if (!setUpDocument(engine, QStringLiteral("box = ") + box + QLatin1Char(';')))
            return QStringLiteral("setup");
        return run(engine, JS::helpers() + JS::stillHas(probe));
    }

    static const char* const fakeDocument;
};

const char* const TestDeliverer::fakeDocument =
    "var window = {}, clicks = 0, enters = 0, busy = false, t0 = 0, box = null, buttons = {};\n"
    "function element(p) { return Object.assign({ tagName: 'DIV', value: undefined, innerText: '', attrs: "
    "{},\n"
    "  disabled: false, closest: function (s) { return s === 'form' ? form : null; },\n"
    "  getAttribute: function (n) { return n in this.attrs ? this.attrs[n] : null; },\n"
    "  click: function () { clicks++; },\n"
    "  dispatchEvent: function (e) { if (e.type === 'keydown' && e.key === 'Enter') enters++; return true; } "
    "}, p); }\n"
    "function button(p) { return element(Object.assign({ tagName: 'BUTTON' }, p)); }\n"
    "function KeyboardEvent(type, init) { this.type = type; this.key = init.key; }\n"
    "var form = { querySelector: function (s) { return busy && s.indexOf('progressbar') >= 0 ? {} : null; } "
    "};\n"
    "var composerSelector = 'div.ProseMirror[contenteditable=\"true\"]';\n"
    "var document = { querySelector: function (s) {\n"
    "  if (s === composerSelector) return box;\n"
    "  return buttons[s] || null; } };\n"
    "Object.defineProperty(window, '__vell', { get: function () { return this.state || (this.state = {t0: "
    "t0}); },\n"
    "  set: function (v) { this.state = v; } });\n";

QTEST_GUILESS_MAIN(TestDeliverer)
#include "tst_deliverer.moc"
