// How long a whole delivery takes with Vell's real delivery procedure and
// runner: a text plus one 1500x1000 screenshot into an assistant tab that is
// already open, and the upload of a 1.2 MB screenshot (four pieces of
// Base64). Starts the fixture sites and its own headless Chromium; the page
// is told to "upload" instantly, so the times are Vell's and the browser's.
//
//     delivery_bench [runs]
#include "AssistantBrowser.h"
#include "BrowserService.h"
#include "BrowserTab.h"
#include "Deliverer.h"
#include "Jpeg.h"
#include "Scheduler.h"
#include "StartedTask.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTextStream>

#include <algorithm>

namespace {

QTextStream out(stdout);

const QString chat = QStringLiteral("https://claude.ai/chat/budget-plan-0001");

// A screenshot-like picture: smooth areas with a little noise.
QByteArray screenshot(int width, int height, bool noisy)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        // Lines of "words" between plain areas, like a page of a document; or pure noise.
        const bool textLine = y % 32 < 8;
        bool glyph = false;
        for (int x = 0; x < width; ++x) {
            if (x % 7 == 0) glyph = textLine && x % 600 < 540 && random.bounded(10) < 5;
            line[x] = noisy                                    ? (random.generate() | 0xff000000u)
                      : glyph && x % 7 < 4 && (x + y) % 4 == 0 ? qRgb(40, 40, 50)
                                                               : qRgb(246, 247, 249);
        }
    }
    return Jpeg::encode(image);
}

// Times every program run that passes through it.
class TimingRunner final : public ScriptRunner {
public:
    explicit TimingRunner(ScriptRunner& inner) : inner_(inner) {}
    QCoro::Task<QString> run(const QString& program, Browser browser,
                             std::chrono::milliseconds timeout) override
    {
        QElapsedTimer timer;
        timer.start();
        const QString answer = co_await inner_.run(program, browser, timeout);
        spent += timer.nsecsElapsed() / 1e6;
        ++runs;
        co_return answer;
    }
    double spent = 0;
    int runs = 0;

private:
    ScriptRunner& inner_;
};

template <typename T> bool finish(const StartedTask<T>& task)
{
    return AssistantBrowser::waitUntil([&] { return task.done(); }, 120000) && task.succeeded();
}

void report(const QString& name, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    out << qSetFieldWidth(46) << Qt::left << name << qSetFieldWidth(0)
        << QStringLiteral(" median %1 ms   p90 %2 ms   min %3 ms   max %4 ms   (%5 runs)")
               .arg(ms.at(ms.size() / 2), 0, 'f', 0)
               .arg(ms.at(ms.size() * 9 / 10), 0, 'f', 0)
               .arg(ms.first(), 0, 'f', 0)
               .arg(ms.last(), 0, 'f', 0)
               .arg(ms.size())
        << Qt::endl;
}

struct Timings {
    QList<double> whole;    // ms per delivery
    QList<double> programs; // ms per delivery spent inside program runs
    QList<double> runs;     // program runs per delivery
};

// Whole deliveries into the warm tab; empty when one of them did not arrive.
Timings deliveries(AssistantBrowser& browser, BrowserService& service, TimingRunner& timing,
                   const QByteArray& image, int runs)
{
    Timings t;
    const Delivery delivery{QStringLiteral("What is wrong with this table?\nThe totals look off."),
                            {image},
                            Destination::claude(),
                            Browser::chrome,
                            ChatTarget{QStringLiteral("Budget plan"), chat}};
    for (int i = 0; i <= runs; ++i) {
        const qsizetype before = browser.site().arrived().size();
        timing.spent = 0;
        timing.runs = 0;
        QElapsedTimer timer;
        timer.start();
        StartedTask<void> task(service.deliver(delivery));
        if (!finish(task)) return {};
        const double elapsed = timer.nsecsElapsed() / 1e6;
        if (!AssistantBrowser::waitUntil([&] { return browser.site().arrived().size() == before + 1; }, 10000,
                                         20))
            return {};
        if (i == 0) continue; // the first one warms up
        t.whole << elapsed;
        t.programs << timing.spent;
        t.runs << timing.runs;
    }
    return t;
}

void report(const QString& name, const Timings& t)
{
    report(name, t.whole);
    report(QStringLiteral("  of which inside programs"), t.programs);
    QList<double> runs = t.runs;
    std::sort(runs.begin(), runs.end());
    out << "  program runs per delivery: median " << runs.at(runs.size() / 2) << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, QString::fromLatin1(argv[1]).toInt()) : 15;

    MainScheduler scheduler;
    AssistantBrowser browser(scheduler);
    if (!browser.ready()) {
        out << browser.error() << Qt::endl;
        return 1;
    }
    browser.site().configure(QStringLiteral("claude.ai"), {{"uploadms", 0}});
    if (!browser.openTab(chat)) {
        out << "the chat page did not load" << Qt::endl;
        return 1;
    }

    const QByteArray shot = screenshot(1500, 1000, false);
    // About 1.2 MB: four pieces of Base64.
    QByteArray large;
    for (int height = 1000; height > 0 && (large.isEmpty() || large.size() > 1'200'000); height -= 10)
        large = screenshot(1500, height, true);
    const qsizetype pieces =
        BrowserTab::chunked(QString::fromLatin1(large.toBase64()), Deliverer::imagePieceSize).size();
    out << "headless Chromium, fixture page, warm tab; screenshot " << shot.size() / 1024 << " KB, large one "
        << large.size() / 1024 << " KB in " << pieces << " pieces" << Qt::endl;

    // The same delivery procedure and runner, with every program run timed.
    const BrowserDriver driver = browser.driver();
    TimingRunner timing(driver.runner);
    BrowserService service(timing, driver.apps, browser.vell().service().automation(), scheduler);

    const Timings whole = deliveries(browser, service, timing, shot, runs);
    if (whole.whole.isEmpty()) {
        out << "a delivery failed" << Qt::endl;
        return 1;
    }
    report(QStringLiteral("delivery: text + 1500x1000 JPEG"), whole);

    // The upload alone: a fresh page state and the pieces, one program each.
    const BrowserTab tab(browser.driver(), Browser::chrome, QStringLiteral("claude.ai"), chat);
    const QStringList base64 =
        BrowserTab::chunked(QString::fromLatin1(large.toBase64()), Deliverer::imagePieceSize);
    QList<double> upload;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!finish(StartedTask<QString>(tab.js(JS::reset())))) return 1;
        for (const QString& piece : base64)
            if (!finish(StartedTask<QString>(tab.js(JS::imagePiece(0, piece))))) return 1;
        if (i > 0) upload << timer.nsecsElapsed() / 1e6;
    }
    report(QStringLiteral("upload: 1.2 MB JPEG in pieces"), upload);

    const Timings big = deliveries(browser, service, timing, large, runs);
    if (big.whole.isEmpty()) {
        out << "a delivery with the large picture failed" << Qt::endl;
        return 1;
    }
    report(QStringLiteral("delivery: text + 1.2 MB JPEG"), big);
    return 0;
}
