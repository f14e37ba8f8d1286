// How fast speech turns into text. Prints, for the recordings of
// pocketsphinx-testdata:
//  - the recogniser's real-time factor (decoding time / audio time), audio
//    handed over all at once;
//  - through the whole chain (a private PulseAudio daemon's microphone played
//    at real-time pace, Qt Multimedia, pocketsphinx, the transcriber): the
//    delay from the end of speech to its final text, and how long finish()
//    waits for the last words when the speaker stops and sends at once;
//  - model load time, memory, and CPU use while idle.
// Run by hand: build/<dir>/bench/speech_bench
#include "PocketSphinxEngine.h"
#include "PulseAudioServer.h"
#include "QtAudioInput.h"
#include "Scheduler.h"
#include "Transcriber.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data/");

struct Recording {
    QString name;
    QByteArray pcm;
    double seconds() const { return pcm.size() / 32000.0; }
    // Byte offset where the speech ends: the end of the last 10 ms frame
    // louder than a tenth of the loudest one.
    qsizetype speechEnd() const
    {
        const qsizetype frame = 320;
        float loudest = 0;
        for (qsizetype at = 0; at + frame <= pcm.size(); at += frame)
            loudest = std::max(loudest, AudioInput::level(QByteArrayView(pcm).sliced(at, frame)));
        qsizetype end = pcm.size();
        for (qsizetype at = pcm.size() - pcm.size() % frame - frame; at >= 0; at -= frame) {
            if (AudioInput::level(QByteArrayView(pcm).sliced(at, frame)) > loudest / 10) {
                end = at + frame;
                break;
            }
        }
        return end;
    }
};

QList<Recording> recordings()
{
    QList<Recording> list;
    for (const QString& name :
         {QStringLiteral("goforward.raw"), QStringLiteral("numbers.raw"), QStringLiteral("something.raw")})
        list.append({name, PulseAudioServer::readRecording(testData + name)});
    const QDir librivox(testData + QStringLiteral("librivox"));
    for (const QString& name : librivox.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name))
        list.append(
            {QStringLiteral("librivox/") + name, PulseAudioServer::readRecording(librivox.filePath(name))});
    return list;
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    // The ticking timer wakes the blocking wait to look at the condition again.
    QTimer tick;
    tick.start(5);
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(QList<double> values)
{
    if (values.isEmpty()) return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString residentMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return QString::fromLatin1(line.mid(6).trimmed());
    return {};
}

QCoro::Task<void> collect(QCoro::Task<QString> task, std::optional<QString>* out)
{
    *out = co_await std::move(task);
}

QCoro::Task<void> collectPrepare(SpeechEngine& engine, std::optional<QString>* out)
{
    *out = co_await engine.prepare();
}

// Decodes a recording handed over at once; returns the seconds it took.
double decodeAtOnce(SpeechEngine& engine, const Recording& r)
{
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    auto run = engine.begin(SpeechEngine::Shape::segments,
                            {[](const SpeechEngine::Result&) {}, [&done](const QString&) { done = true; }});
    const auto feed = run->feeder();
    const qsizetype chunk = QtAudioInput::bufferFrames(16000) * 2;
    for (qsizetype at = 0; at < r.pcm.size(); at += chunk)
        feed(r.pcm.mid(at, chunk));
    run->endAudio();
    waitUntil([&] { return done; }, 60000);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    PulseAudioServer pulse;
    if (!pulse.isRunning()) {
        std::fprintf(stderr, "could not start a private PulseAudio daemon\n");
        return 1;
    }
    pulse.exportEnvironment();
    QCoreApplication app(argc, argv);
    MainScheduler scheduler;
    const QList<Recording> all = recordings();

    PocketSphinxEngine engine;
    QElapsedTimer loadClock;
    loadClock.start();
    std::optional<QString> prepared;
    collectPrepare(engine, &prepared);
    waitUntil([&] { return prepared.has_value(); }, 60000);
    if (!prepared || !prepared->isEmpty()) {
        std::fprintf(stderr, "model did not load: %s\n",
                     qPrintable(prepared.value_or(QStringLiteral("timeout"))));
        return 1;
    }
    std::printf("model load: %lld ms, resident memory after load: %s\n", loadClock.elapsed(),
                qPrintable(residentMemory()));

    QtAudioInput audio;
    waitUntil([] { return !QMediaDevices::defaultAudioInput().isNull(); }, 10000);
    const double idleStart = cpuSeconds();
    QElapsedTimer idleClock;
    idleClock.start();
    QEventLoop idle;
    QTimer::singleShot(3000, &idle, &QEventLoop::quit);
    idle.exec();
    std::printf("idle CPU with model loaded and microphone ready: %.2f %%\n",
                100.0 * (cpuSeconds() - idleStart) / (idleClock.elapsed() / 1000.0));

    std::printf("\n%-44s %6s %6s %10s %10s\n", "recording", "audio", "RTF", "final(ms)", "drain(ms)");
    // A final that came before the measured end of speech (trailing noise) is left out.
    QList<double> factors, finals, drains;
    int drainOverBound = 0;
    for (const Recording& r : all) {
        const double factor = decodeAtOnce(engine, r) / r.seconds();
        factors << factor;

        // End of speech to final text: the recording, then silence that lets the recogniser close it.
        double finalDelay = -1;
        {
            Transcriber transcriber(audio, engine, scheduler, false);
            bool listening = false;
            QElapsedTimer sinceSpeechEnd;
            transcriber.onState = [&](const Mic& mic) { listening = mic == Mic::listening(); };
            transcriber.onText = [&](const QString&) {
                if (transcriber.volatileText().isEmpty() && sinceSpeechEnd.isValid())
                    finalDelay = sinceSpeechEnd.nsecsElapsed() / 1e6;
            };
            transcriber.start({});
            waitUntil([&] { return listening; }, 10000);
            QElapsedTimer playClock;
            playClock.start();
            pulse.play(r.pcm + PulseAudioServer::silence(2.0));
            const qint64 speechEndMs = r.speechEnd() * 1000 / 32000;
            waitUntil([&] { return playClock.elapsed() >= speechEndMs; }, 60000);
            sinceSpeechEnd.start();
            waitUntil([&] { return pulse.queued() == 0; }, 60000);
            transcriber.teardown();
        }
        if (finalDelay >= 0) finals << finalDelay;

        // Speaker stops and sends at once: how long finish() waits.
        double drain = -1;
        {
            Transcriber transcriber(audio, engine, scheduler, false);
            bool listening = false;
            transcriber.onState = [&](const Mic& mic) { listening = mic == Mic::listening(); };
            transcriber.start({});
            waitUntil([&] { return listening; }, 10000);
            pulse.play(r.pcm.first(r.speechEnd()));
            waitUntil([&] { return pulse.queued() == 0; }, 60000);
            QElapsedTimer clock;
            clock.start();
            std::optional<QString> text;
            collect(transcriber.finish(), &text);
            waitUntil([&] { return text.has_value(); }, 5000);
            drain = clock.nsecsElapsed() / 1e6;
        }
        drains << drain;
        if (drain >= Transcriber::segmentsDrain.count()) ++drainOverBound;

        std::printf("%-44s %5.1fs %6.2f %10.0f %10.0f\n", qPrintable(r.name), r.seconds(), factor, finalDelay,
                    drain);
        std::fflush(stdout);
    }
    std::printf("\nmedians over %lld recordings: real-time factor %.2f, end of speech to final text %.0f ms "
                "(%lld measured), finish() wait %.0f ms (%d cut off at the %lld ms bound)\n",
                qlonglong(all.size()), median(factors), median(finals), qlonglong(finals.size()),
                median(drains), drainOverBound, qlonglong(Transcriber::segmentsDrain.count()));
    return 0;
}
