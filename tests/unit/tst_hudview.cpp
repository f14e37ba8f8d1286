// The real HUD view bound to staged sessions, looked at through its item
// tree; the chooser and chip timing and the panel's generation rules on
// virtual time.
#include "Demo.h"
#include "FakeInstalledApps.h"
#include "HUD.h"
#include "HUDViewModel.h"
#include "PanelPresence.h"
#include "VirtualScheduler.h"

#include <QApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using Tweak = std::function<void(SessionModel&)>;
Q_DECLARE_METATYPE(Tweak)

namespace {

void collect(QQuickItem* item, const QString& name, QList<QQuickItem*>& found)
{
    if (item->objectName() == name) found << item;
    for (QQuickItem* child : item->childItems())
        collect(child, name, found);
}

class FakeDesktop final : public DesktopWatch {
public:
    bool compositorRunning() const override { return true; }
};

// A staged session in the real view, with a record of the actions it invoked.
struct Stage {
    explicit Stage(const QStringList& extra = {}, const Tweak& tweak = {})
        : prefs(std::make_unique<QSettings>(dir.filePath(QStringLiteral("p.ini")), QSettings::IniFormat),
                apps)
    {
        const QStringList arguments = QStringList{"vell", "--demo"} + extra;
        Demo::stage(model, prefs, arguments);
        if (tweak) tweak(model);
        HUDActions actions{
            [this](const QUuid& id) { log << "remove " + id.toString(QUuid::WithoutBraces); },
            [this] { log << "add"; },
            [this] { log << "fix"; },
            [this](const std::optional<ChatTarget>& t) { log << "pick " + (t ? t->title : "<new>"); },
        };
        hud = std::make_unique<HUDController>(model, actions, prefs, theme, arguments, scheduler,
                                              std::make_unique<FakeDesktop>());
        hud->show();
        settle();
    }

    // Lays out and renders one frame, so positioners and list views are up to date.
    void settle() { hud->panel()->grabWindow(); }

    QList<QQuickItem*> all(const QString& name, bool visibleOnly = false) const
    {
        QList<QQuickItem*> found;
        collect(hud->panel()->contentItem(), name, found);
        if (visibleOnly) found.removeIf([](QQuickItem* i) { return !i->isVisible(); });
        return found;
    }
    QQuickItem* item(const QString& name) const
    {
        const QList<QQuickItem*> found = all(name);
        return found.size() == 1 ? found.first() : nullptr;
    }
    bool shows(const QString& name) const { return item(name) && item(name)->isVisible(); }
    QString text(const QString& name) const
    {
        QQuickItem* i = item(name);
        return i ? i->property("text").toString() : "<missing " + name + ">";
    }
    // Moves there and, unless only hovering, clicks.
    void click(QQuickItem* i, bool press = true)
    {
        const QPoint centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint();
        QTest::mouseMove(hud->panel(), centre);
        if (press) QTest::mouseClick(hud->panel(), Qt::LeftButton, {}, centre);
        settle();
    }

    QTemporaryDir dir;
    FakeInstalledApps apps;
    Prefs prefs;
    Theme theme{false};
    SessionModel model{Destination::claude(), Browser::chrome};
    VirtualScheduler scheduler;
    std::unique_ptr<HUDController> hud;
    QStringList log;
};

const QString course = QStringLiteral("Marlow U CS 229 final prep");

} // namespace

class TestHUDView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One row per phase: the one pill layout shown, its height, and what it binds.
    void pillPerPhase_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<qreal>("height");
        QTest::addColumn<QStringList>("items"); // "name=text" shown with that text, "!name" hidden

        QTest::newRow("live") << QString() << Tweak() << "livePill" << 44.0
                              << QStringList{"chipTitle=" + course, "!previewCard", "!chooser", "!keyHint"};
        QTest::newRow("sending") << "sending" << Tweak() << "sendingPill" << 44.0
                                 << QStringList{"sendingText=Sending to Claude", "!chooser"};
        QTest::newRow("delivering") << QString() << Tweak([](SessionModel& m) {
            m.setPhase(Phase::delivering());
        }) << "statusPill" << 44.0 << QStringList{"statusText=Sending to Claude", "!drawnCheck"};
        QTest::newRow("sent") << "sent" << Tweak() << "statusPill" << 44.0
                              << QStringList{"statusText=Sent to " + course, "!pulseDot"};
        QTest::newRow("failed") << "failed" << Tweak() << "failedPill" << 50.0
                                << QStringList{"failureMessage=Safari needs one setting", "fixButton=Fix it"};
        QTest::newRow("failed, nothing copied, not fixable") << QString() << Tweak([](SessionModel& m) {
            m.setPhase(Phase::failed(QStringLiteral("Nothing to send")));
            m.setFixable(false);
        }) << "failedPill" << 50.0 << QStringList{"!failureDetail", "!fixButton"};
    }
    void pillPerPhase()
    {
        QFETCH(QString, state);
        QFETCH(Tweak, tweak);
        QFETCH(QString, shown);
        QFETCH(QStringList, items);

        Stage stage(state.isEmpty() ? QStringList() : QStringList{"--state", state}, tweak);
        for (const QString layout : {"livePill", "sendingPill", "statusPill", "failedPill"})
            QCOMPARE(stage.shows(layout), layout == shown);
        QTEST(stage.item("pill")->height(), "height");
        for (const QString& expected : items) {
            const QString name = expected.section(QLatin1Char('='), 0, 0);
            QVERIFY2(stage.shows(name.mid(name.startsWith('!'))) != name.startsWith('!'), qPrintable(name));
            if (!name.startsWith('!')) QCOMPARE(stage.text(name), expected.section(QLatin1Char('='), 1));
        }
    }

    void livePillPieces()
    {
        Stage stage;
        const QList<QQuickItem*> thumbs = stage.all("thumbnail");
        QCOMPARE(thumbs.size(), 2);
        QCOMPARE(stage.all("sizeLabel").last()->property("text").toString(), "3 ln");
        QCOMPARE(stage.item("triggerKey")->property("label").toString(), "Alt");
        // The HUD is made once per run: the key hint must follow a later change of the key.
        stage.prefs.setTrigger(TriggerKey::rightControl);
        stage.settle();
        QCOMPARE(stage.item("triggerKey")->property("label").toString(), "Ctrl");
        // The 26-character title is cut to the collapsed limit, and shown in full when expanded.
        QCOMPARE(stage.item("chipTitle")->width(), 96.0);
        stage.hud->view().setPillHover(true);
        stage.settle();
        QVERIFY(stage.item("chipTitle")->width() > 96.0);

        // Removed items leave the row, and with none left the row goes.
        stage.model.setItems({stage.model.items().at(1)});
        stage.settle();
        QTRY_COMPARE(stage.all("thumbnail").size(), 1);
        stage.model.setItems({});
        stage.settle();
        QVERIFY(!stage.shows("thumbnails"));
    }

    void clicksReachTheActions()
    {
        {
            Stage stage({"--choose"});
            QStringList rows;
            for (QQuickItem* row : stage.all("chooserRow"))
                rows << row->property("title").toString() + (row->property("on").toBool() ? " ✓" : "");
            QCOMPARE(rows,
                     (QStringList{course + " ✓", "Hinge loss vs ReLU",
                                  "Resume bullet points for the internship", "Trip to Lisbon in March"}));
            stage.click(stage.all("chooserRow").at(1));
            stage.click(stage.item("chip"), false); // resting on the chip opens the chooser again
            stage.click(stage.item("newChatRow"));
            QCOMPARE(stage.log, (QStringList{"pick Hinge loss vs ReLU", "pick <new>"}));
            // A pick closes the chooser, even when it was opened with "--choose".
            QVERIFY(!stage.shows("chooser"));
        }
        {
            Stage stage({"--hint"});
            QVERIFY(stage.shows("keyHint"));
            // Hovering the clip shows its preview and the remove badge; clicking it drops the hover first.
            stage.click(stage.all("thumbnail").at(1), false);
            QCOMPARE(stage.text("previewCaption"), "Copied from Safari, starter.py");
            const QList<QQuickItem*> badges = stage.all("removeBadge", true);
            QCOMPARE(badges.size(), 1);
            stage.click(badges.first());
            QCOMPARE(stage.log,
                     QStringList{"remove " + stage.model.items().at(1).id.toString(QUuid::WithoutBraces)});
            QCOMPARE(stage.hud->view().hovered(), QString());
        }
        Stage failed({"--state", "failed"});
        failed.click(failed.item("fixButton"));
        QCOMPARE(failed.log, QStringList{"fix"});
    }

    void chooserAndChipOnTime()
    {
        Stage stage;
        HUDViewModel& view = stage.hud->view();
        view.setChipHover(true);
        QVERIFY(view.chooserVisible());
        view.setChipHover(false);
        stage.scheduler.advance(0.2);
        view.setListHover(true); // reached the list in time
        stage.scheduler.advance(1.0);
        view.setListHover(false);
        stage.scheduler.advance(0.3);
        QVERIFY(view.chooserVisible());
        stage.scheduler.advance(0.05);
        QVERIFY(!view.chooserVisible());
        // Leaving the phase closes it, whatever the mouse is over.
        view.setListHover(true);
        stage.model.setPhase(Phase::sending());
        QVERIFY(!view.choosing());

        // The chip glows from the first change; an equal value is no change.
        stage.model.setTargetPulse(stage.model.targetPulse());
        QVERIFY(!view.flash());
        stage.model.setTargetPulse(1);
        QVERIFY(view.flash());
        stage.scheduler.advance(1.0);
        stage.model.setTargetPulse(2);
        stage.scheduler.advance(1.4);
        QVERIFY(!view.flash());
    }

    void panelGenerations_data()
    {
        QTest::addColumn<QString>("script"); // s=show h=hide d=desktop change, digits=tenths of a second
        QTest::addColumn<int>("placed");
        QTest::addColumn<int>("orderedOut");
        QTest::addColumn<bool>("shown");
        QTest::newRow("the last of show and hide wins") << "s h s 9" << 2 << 0 << true;
        QTest::newRow("a hide overtakes a pending re-placing") << "s d 1 h 9" << 1 << 1 << false;
    }
    void panelGenerations()
    {
        QFETCH(QString, script);
        VirtualScheduler scheduler;
        int places = 0, outs = 0;
        PanelPresence presence(scheduler,
                               {[&] { ++places; }, [&] { ++outs; }, [](double, Scheduler::Duration) {}});
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == "s")
                presence.show();
            else if (step == "h")
                presence.hide();
            else if (step == "d")
                presence.desktopChanged();
            else
                scheduler.advance(step.toInt() / 10.0);
        }
        QTEST(places, "placed");
        QTEST(outs, "orderedOut");
        QTEST(presence.shown(), "shown");
    }
};

QTEST_MAIN(TestHUDView)
#include "tst_hudview.moc"
