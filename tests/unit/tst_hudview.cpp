// The real HUD view bound to staged sessions, seen through its item tree.
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

    QList<QQuickItem*> all(const QString& name) const
    {
        QList<QQuickItem*> found;
        collect(hud->panel()->contentItem(), name, found);
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
    // One row per phase: the one pill layout shown, and what it binds.
    void pillPerPhase_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("items"); // "name=text" shown with that text, "!name" hidden

        QTest::newRow("live") << QString() << Tweak() << "livePill"
                              << QStringList{"chipTitle=" + course, "!previewCard", "!chooser", "!keyHint"};
        QTest::newRow("sent") << "sent" << Tweak() << "statusPill"
                              << QStringList{"statusText=Sent to " + course};
        QTest::newRow("failed, nothing copied, not fixable") << QString() << Tweak([](SessionModel& m) {
            m.setPhase(Phase::failed(QStringLiteral("Nothing to send")));
            m.setFixable(false);
        }) << "failedPill" << QStringList{"!failureDetail", "!fixButton"};
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
        for (const QString& expected : items) {
            const QString name = expected.section(QLatin1Char('='), 0, 0);
            QVERIFY2(stage.shows(name.mid(name.startsWith('!'))) != name.startsWith('!'), qPrintable(name));
            if (!name.startsWith('!')) QCOMPARE(stage.text(name), expected.section(QLatin1Char('='), 1));
        }
    }

    void clicksReachTheActions()
    {
        {
            Stage stage({"--choose"});
            stage.click(stage.all("chooserRow").at(1));
            stage.click(stage.item("chip"), false); // resting on the chip opens the chooser again
            stage.click(stage.item("newChatRow"));
            QCOMPARE(stage.log, (QStringList{"pick Hinge loss vs ReLU", "pick <new>"}));
            QVERIFY(!stage.shows("chooser"));
        }
        {
            Stage stage({"--hint"});
            QCOMPARE(stage.item("triggerKey")->property("label").toString(), "Alt");
            // The HUD is made once per run: the key hint must follow a later change of the key.
            stage.prefs.setTrigger(TriggerKey::rightControl);
            stage.settle();
            QCOMPARE(stage.item("triggerKey")->property("label").toString(), "Ctrl");
            // Hovering the clip shows its preview and the remove badge; clicking it drops the hover first.
            stage.click(stage.all("thumbnail").at(1), false);
            QList<QQuickItem*> badges = stage.all("removeBadge");
            badges.removeIf([](QQuickItem* i) { return !i->isVisible(); });
            stage.click(badges.first());
            QCOMPARE(stage.log,
                     QStringList{"remove " + stage.model.items().at(1).id.toString(QUuid::WithoutBraces)});
            QCOMPARE(stage.hud->view().hovered(), QString());
        }
    }

    // The last of show and hide wins, and a hide overtakes a pending re-placing.
    void panelGenerations()
    {
        VirtualScheduler scheduler;
        int places = 0, outs = 0;
        PanelPresence presence(scheduler,
                               {[&] { ++places; }, [&] { ++outs; }, [](double, Scheduler::Duration) {}});
        presence.show();
        presence.hide();
        presence.show();
        scheduler.advance(0.9);
        QCOMPARE(places, 2);
        QVERIFY(presence.shown());
        presence.hide();
        presence.show();
        presence.desktopChanged();
        scheduler.advance(0.1);
        presence.hide();
        scheduler.advance(0.9);
        QCOMPARE(places, 3);
        QCOMPARE(outs, 1);
        QVERIFY(!presence.shown());
    }
};

QTEST_MAIN(TestHUDView)
#include "tst_hudview.moc"
