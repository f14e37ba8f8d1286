// The trigger-key classifier on hand-made key events and virtual time.
#include "FakeKeySource.h"
#include "Hotkey.h"
#include "VirtualScheduler.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

struct NamedKey {
    const char* name;
    Key key;
    quint32 code; // X keycodes of a US keyboard
};

constexpr NamedKey namedKeys[] = {
    {"altR", Key::rightAlt, 108}, {"altL", Key::modifier, 64}, {"ctrlR", Key::rightControl, 105},
    {"esc", Key::escape, 9},      {"a", Key::other, 38},
};

std::optional<TriggerKey> triggerNamed(const QString& name)
{
    if (name == QLatin1String("rightOption")) return TriggerKey::rightOption;
    if (name == QLatin1String("rightControl")) return TriggerKey::rightControl;
    return std::nullopt;
}

// One Hotkey on a fake source, counting what it reports. The trigger setting
// starts as right Alt and is read through `trigger`, as the real setting is.
struct Rig {
    FakeKeySource source;
    VirtualScheduler scheduler;
    TriggerKey trigger = TriggerKey::rightOption;
    bool trusted = true;
    int taps = 0;
    int escapes = 0;
    Hotkey hotkey{source, scheduler, [this] { return trigger; }, [this] { return trusted; }};

    Rig()
    {
        hotkey.onTap = [this] { ++taps; };
        hotkey.onEscape = [this] { ++escapes; };
    }

    // Plays a script such as "altR+0 a+100 a-150 altR-200 trigger=rightControl":
    // a key name, + for a press or - for a release, then the event time in ms.
    // Returns an empty string, or what it could not read.
    QString play(const QString& script)
    {
        for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token.startsWith(QLatin1String("trigger="))) {
                const auto key = triggerNamed(token.mid(8));
                if (!key) return token;
                trigger = *key;
                continue;
            }
            const qsizetype sign = token.indexOf(QRegularExpression(QStringLiteral("[+-]")));
            const NamedKey* named = nullptr;
            for (const NamedKey& k : namedKeys)
                if (token.left(sign) == QLatin1String(k.name)) named = &k;
            bool ok = false;
            const quint32 time = token.mid(sign + 1).toUInt(&ok);
            if (sign <= 0 || !named || !ok) return token;
            source.send({named->key, named->code, token.at(sign) == QLatin1Char('+'), time});
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
        QTest::newRow("tap of 0.349 s") << "altR+1000 altR-1349" << 1 << 0;
        QTest::newRow("hold of 0.35 s") << "altR+1000 altR-1350" << 0 << 0;
        QTest::newRow("across a wrap of the clock") << "altR+4294967200 altR-100" << 1 << 0;

        // Anything else happening while the trigger is down spoils the tap.
        QTest::newRow("letter in between") << "altR+0 a+100 a-150 altR-200" << 0 << 0;
        QTest::newRow("left twin pressed") << "altR+0 altL+50 altL-60 altR-100" << 0 << 0;
        QTest::newRow("left twin released") << "altL+0 altR+50 altL-60 altR-100" << 0 << 0;
        QTest::newRow("escape while held") << "altR+0 esc+50 esc-60 altR-100" << 0 << 1;

        // ... but only while it is down, and a letter let go does not count.
        QTest::newRow("letter before the press") << "a+0 a-10 altL+15 altL-18 altR+20 altR-100" << 1 << 0;
        QTest::newRow("letter released after the press") << "a+0 altR+50 a-80 altR-150" << 1 << 0;
        QTest::newRow("taint ends with the press") << "altR+0 a+10 altR-20 altR+500 altR-600" << 1 << 0;

        // Releases with no press seen, e.g. a key held since start-up.
        QTest::newRow("second release") << "altR+0 altR-100 altR-150" << 1 << 0;

        // Auto-repeat: a press of a key already down is not a new press.
        QTest::newRow("repeated trigger press") << "altR+0 altR+500 altR+530 altR-560" << 0 << 0;
        QTest::newRow("repeated letter held from before") << "a+0 altR+100 a+130 altR-200 a-300" << 1 << 0;
        QTest::newRow("repeated escape") << "esc+0 esc+500 esc+530 esc-540 esc+900 esc-950" << 0 << 2;

        // The setting is read on every event.
        QTest::newRow("change between presses")
            << "altR+0 altR-100 trigger=rightControl altR+200 altR-300 ctrlR+400 ctrlR-500" << 2 << 0;
        QTest::newRow("old trigger taints the new one")
            << "trigger=rightControl ctrlR+0 altR+10 altR-20 ctrlR-100" << 0 << 0;
    }

    void classifiesKeySequences()
    {
        QFETCH(QString, script);
        QFETCH(int, taps);
        QFETCH(int, escapes);

        Rig rig;
        rig.hotkey.start();
        QCOMPARE(rig.play(script), QString());
        QCOMPARE(rig.taps, taps);
        QCOMPARE(rig.escapes, escapes);
    }

    void startHooksIntoTheSourceOnce()
    {
        Rig rig;
        rig.source.press(Key::rightAlt, 108, 0);
        rig.source.release(Key::rightAlt, 108, 10);
        QCOMPARE(rig.taps, 0);

        rig.hotkey.start();
        rig.hotkey.start();
        QCOMPARE(rig.source.starts, 1);
        QVERIFY(rig.hotkey.installed());
        QCOMPARE(rig.play(QStringLiteral("altR+20 altR-30")), QString());
        QCOMPARE(rig.taps, 1);
        QCOMPARE(rig.scheduler.pendingCount(), 0);
    }

    void sourceThatCannotStartIsNotRetried()
    {
        Rig rig;
        rig.source.startSucceeds = false;
        rig.hotkey.start();
        rig.scheduler.advance(10.0);
        rig.hotkey.start();
        QCOMPARE(rig.source.starts, 1);
    }

    void untrustedStartRetriesEverySecondUntilTrusted()
    {
        Rig rig;
        rig.trusted = false;
        rig.hotkey.start();
        QCOMPARE(rig.source.starts, 0);
        QVERIFY(!rig.source.onKey);

        // Repeated calls while waiting keep one retry, not one each.
        rig.hotkey.start();
        rig.scheduler.advance(0.5);
        rig.hotkey.start();
        QCOMPARE(rig.scheduler.pendingCount(), 1);

        rig.scheduler.advance(5.0);
        QCOMPARE(rig.source.starts, 0);
        QCOMPARE(rig.scheduler.pendingCount(), 1);

        // The next retry after trust is granted installs, within a second.
        rig.trusted = true;
        rig.scheduler.advance(0.999);
        QCOMPARE(rig.source.starts, 1);
        QCOMPARE(rig.scheduler.pendingCount(), 0);
        QCOMPARE(rig.play(QStringLiteral("altR+0 altR-100")), QString());
        QCOMPARE(rig.taps, 1);
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
        QVERIFY(source.onKey);
        hotkey.reset();
        QVERIFY(!source.onKey);
        source.press(Key::rightAlt, 108, 0); // no callback left to reach the dead object
    }
};

QTEST_GUILESS_MAIN(TestHotkey)
#include "tst_hotkey.moc"
