// Message delivery on virtual time against a scripted page (step order,
// failures, deadlines), and the page scripts run against a small fake document.
#include "BrowserPlatformFakes.h"
#include "Deliverer.h"
#include "FakeScriptRunner.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <map>

using namespace std::chrono_literals;

namespace {

const QString chat = QStringLiteral("https://claude.ai/chat/42");

// The assistant's page as the delivery sees it: each step, told from the
// program's text, gives its answer ("ok" where none is set).
struct FakePage {
    std::map<QString, QString> answers{
        {"composer", "yes"}, {"send", "sent"}, {"still", "no"}, {"ensure", "found"}};
    QStringList steps;                      // in order, consecutive image pieces as one "pieces"
    std::map<QString, QList<double>> times; // virtual seconds at each run of a step
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
        return answers.contains(step) ? answers[step] : QStringLiteral("ok");
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
};

QByteArray bytes(qsizetype size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

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
    engine.evaluate(fakeDocument + setup);
    QStringList answers;
    for (const QString& script : scripts)
        answers << engine.evaluate(script).toString();
    answers << engine.evaluate(QStringLiteral("clicks + ' clicks, ' + enters + ' enters'")).toString();
    return answers;
}

} // namespace

class TestDeliverer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deliversInOrder()
    {
        Rig rig;
        const QByteArray big = bytes(1'200'000, 'a'); // 1.6 million Base64 characters
        const QByteArray small = bytes(3000, 'b');
        const QString text = QStringLiteral("Compare\nthese two figur😀es, \"please\" </script> and more");
        auto task = rig.deliver(text, {big, {}, small}, ChatTarget{QStringLiteral("Budget"), chat});
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(rig.page.steps.join(' '), QStringLiteral("ensure composer reset pieces insert send still"));
        QCOMPARE(FakeScriptRunner::constant(rig.runner.calls.first().program, QStringLiteral("DEST")), chat);
        // Four pieces for the big image, none for the empty one, one for the small; each whole.
        QCOMPARE(rig.page.pieces.size(), 5);
        QMap<QString, QString> images;
        for (const QString& p : rig.page.pieces)
            images[p.section(':', 0, 0)] += p.section(':', 1);
        QCOMPARE(images.keys(), (QStringList{"0", "2"}));
        QVERIFY(images["0"] == QString::fromLatin1(big.toBase64()));
        QCOMPARE(images["2"], QString::fromLatin1(small.toBase64()));
        // The confirmation looks for the first 24 characters (an emoji is one), line feeds as spaces.
        QCOMPARE(rig.page.lastScript["still"],
                 JS::helpers() + JS::stillHas(QStringLiteral("Compare these two figur😀")));
    }

    // How a delivery ends ("" is delivered), exactly at the virtual second given.
    void everyOutcomeOfADelivery()
    {
        const auto ending = [](const std::function<void(Rig&)>& setup, double at) {
            Rig rig;
            setup(rig);
            auto task = rig.deliver(rig.text, {bytes(10, 'x')});
            rig.scheduler.advance(at - 0.05);
            if (task.done()) return QStringLiteral("early");
            rig.scheduler.advance(0.05);
            if (!task.done()) return QStringLiteral("late");
            return task.error<DeliveryError>() ? task.error<DeliveryError>()->rendered() : QString();
        };
        const auto answer = [](const char* step, const char* text) {
            return [=](Rig& r) { r.page.answers[step] = text; };
        };
        const auto page = [](const char* what) { return DeliveryError::page(what).rendered(); };
        QCOMPARE(ending([](Rig& r) { r.apps.running[Browser::chrome] = false; }, 12.0),
                 page("Chrome didn't open claude.ai"));
        QCOMPARE(ending(answer("send", "wait"), 30.0), page("still uploading after 30s"));
        QCOMPARE(ending(answer("send", "err:tab closed"), 30.0), page("err:tab closed"));
        QCOMPARE(ending(answer("still", "yes"), 4.2), DeliveryError::notSent().rendered());
        // A probe of white space would be found in any box, so there is none to look for.
        const auto imagesOnly = [](Rig& r) {
            r.text = QStringLiteral("  \n\t ");
            r.page.answers["still"] = "yes";
        };
        QCOMPARE(ending(imagesOnly, 4.2), QString());
    }

    // 8 s every 0.3 s, then a new chat and 15 s every 0.4 s; slow programs count against the deadline.
    void pollsKeepTheirPaceAndDeadline()
    {
        Rig rig;
        rig.page.answers["composer"] = "no";
        rig.runner.delay = 1000ms;
        auto task = rig.deliver(rig.text, {}, ChatTarget{QStringLiteral("Old"), chat});
        rig.scheduler.advance(120.0);
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::noComposer());
        QCOMPARE(rig.page.times["composer"].size(), 7 + 11);
        QCOMPARE(qRound(rig.page.times["composer"].last() * 10), 251);
        // Between the two waits the tab goes to a new chat.
        QCOMPARE(rig.page.times["navigate"].size(), 1);
        const QString navigate = rig.runner.calls.at(rig.page.steps.indexOf("navigate")).program;
        QCOMPARE(FakeScriptRunner::constant(navigate, QStringLiteral("NEWURL")),
                 QStringLiteral("https://claude.ai/new"));
    }

    void sendScriptPressesOnlyWhenReady()
    {
        const auto send = [](const QString& document, int times) {
            return inDocument("box = element({innerText: 'hello'}); t0 = 1;" + document,
                              QStringList(times, JS::helpers() + JS::send()));
        };
        QCOMPARE(send("box = null;", 1), (QStringList{"message box disappeared", "0 clicks, 0 enters"}));
        QCOMPARE(send("busy = true; buttons['button[aria-label=\"Send message\"]'] = button({});", 1),
                 (QStringList{"wait", "0 clicks, 0 enters"}));
        QCOMPARE(send("buttons['button[aria-label*=\"Send\" i]'] = button({});", 1),
                 (QStringList{"sent", "1 clicks, 0 enters"}));
        // No button: Enter on the ninth try.
        QCOMPARE(send("", 9), QStringList(8, "wait") << "sent"
                                                     << "0 clicks, 1 enters");
    }

    void stillHasLooksForTheProbe()
    {
        const auto still = [](const QString& probe, const QString& box) {
            return inDocument("box = " + box + ";", {JS::helpers() + JS::stillHas(probe)}).first();
        };
        QCOMPARE(still("it's \"x\" for", "{innerText: 'it\\'s \"x\" for March'}"), QStringLiteral("yes"));
        QCOMPARE(still("Budget for", "{innerText: ''}"), QStringLiteral("no"));
        QCOMPARE(still("Budget  for", "{innerText: 'Budget\\n\\nfor March'}"), QStringLiteral("yes"));
    }
};

QTEST_GUILESS_MAIN(TestDeliverer)
#include "tst_deliverer.moc"
