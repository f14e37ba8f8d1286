// The trigger-key classifier on hand-made key events and virtual time.
#include "FakeKeySource.h"
#include "Hotkey.h"
#include "VirtualScheduler.h"

#include <QRegularExpression>
#include <QTest>

#include <map>
#include <memory>

namespace {

// X keycodes of a US keyboard.
const std::map<QString, std::pair<Key, quint32>> namedKeys{{"altR", {Key::rightAlt, 108}},
                                                           {"ctrlR", {Key::rightControl, 105}},
                                                           {"esc", {Key::escape, 9}},
                                                           {"a", {Key::other, 38}}};

// One Hotkey on a fake source counting what it reports; the setting is read live.
struct Rig {
    FakeKeySource source;
    VirtualScheduler scheduler;
    TriggerKey trigger = TriggerKey::rightOption;
    bool trusted = true;
    int taps = 0, escapes = 0;
    Hotkey hotkey{source, scheduler, [this] { return trigger; }, [this] { return trusted; }};

    Rig()
    {
        hotkey.onTap = [this] { ++taps; };
        hotkey.onEscape = [this] { ++escapes; };
    }

    // Plays a script such as "altR+0 a+100 a-150 altR-200 ctrl": a key name,
    // + for a press or - for a release, then the event time in ms; "ctrl"
    // switches the setting to right Control. Returns what it could not read.
    QString play(const QString& script)
    {
        for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token == QLatin1String("ctrl")) {
                trigger = TriggerKey::rightControl;
                continue;
            }
            const qsizetype sign = token.indexOf(QRegularExpression(QStringLiteral("[+-]")));
            const auto named = namedKeys.find(token.left(sign));
            bool ok = false;
            const quint32 time = token.mid(sign + 1).toUInt(&ok);
            if (sign <= 0 || named == namedKeys.end() || !ok) return token;
            source.send(
                {named->second.first, named->second.second, token.at(sign) == QLatin1Char('+'), time});
        }
        return {};
    }
};

} // namespace

class TestHotkey : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void classifiesKeySequences_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("taps");
        QTest::addColumn<int>("escapes");

        // Timing: strictly less than 0.35 s between press and release.
        QTest::newRow("hold of 0.35 s") << "altR+1000 altR-1350" << 0 << 0;
        QTest::newRow("tap across a clock wrap") << "altR+4294967200 altR-49" << 1 << 0;
        // Anything else happening while the trigger is down spoils the tap, but only then.
        QTest::newRow("letter in between") << "altR+0 a+100 a-150 altR-200" << 0 << 0;
        QTest::newRow("escape while held") << "altR+0 esc+50 esc-60 altR-100" << 0 << 1;
        QTest::newRow("letter released after the press") << "a+0 altR+50 a-80 altR-150" << 1 << 0;
        QTest::newRow("taint lasts one press") << "altR+0 a+10 altR-20 altR-30 altR+500 altR-600" << 1 << 0;
        // A stray release (row above) or an auto-repeat press is no new event.
        QTest::newRow("repeated trigger press") << "altR+0 altR+500 altR+530 altR-560" << 0 << 0;
        // The setting is read on every event.
        QTest::newRow("change between presses")
            << "altR+0 altR-100 ctrl altR+200 altR-300 ctrlR+400 ctrlR-500" << 2 << 0;
    }

    void classifiesKeySequences()
    {
        QFETCH(QString, script);
        Rig rig;
        rig.hotkey.start();
        QCOMPARE(rig.play(script), QString());
        QTEST(rig.taps, "taps");
        QTEST(rig.escapes, "escapes");
    }

    // Repeated starts while waiting keep one retry, not one each.
    void untrustedStartRetriesEverySecondUntilTrusted()
    {
        Rig rig;
        rig.trusted = false;
        rig.hotkey.start();
        rig.scheduler.advance(5.0);
        rig.hotkey.start();
        QCOMPARE(rig.source.starts, 0);
        QCOMPARE(rig.scheduler.pendingCount(), 1);

        // The next retry after trust is granted installs, within a second, and only once.
        rig.trusted = true;
        rig.scheduler.advance(0.999);
        rig.hotkey.start();
        QCOMPARE(rig.source.starts, 1);
        QCOMPARE(rig.scheduler.pendingCount(), 0);
        QVERIFY(rig.source.onKey);
    }

    void retryAndCallbackDieWithTheHotkey()
    {
        FakeKeySource source;
        VirtualScheduler scheduler;
        bool trusted = false;
        auto hotkey = std::make_unique<Hotkey>(
            source, scheduler, [] { return TriggerKey::rightOption; }, [&] { return trusted; });
        hotkey->start();
        trusted = true;
        hotkey.reset();
        scheduler.advance(2.0); // must not touch the destroyed object
        QCOMPARE(source.starts, 0);

        hotkey = std::make_unique<Hotkey>(
            source, scheduler, [] { return TriggerKey::rightOption; }, [] { return true; });
        hotkey->start();
        hotkey.reset();
        QVERIFY(!source.onKey);
        source.press(Key::rightAlt, 108, 0); // no callback left to reach the dead object
    }
};

QTEST_GUILESS_MAIN(TestHotkey)
#include "tst_hotkey.moc"
