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
    explicit Stage(const QStringList& arguments, const Tweak& tweak = {})
        : prefs(std::make_unique<QSettings>(dir.filePath(QStringLiteral("p.ini")), QSettings::IniFormat),
                apps)
    {
        Demo::stage(model, prefs, arguments);
        if (tweak) tweak(model);
        HUDActions actions{
            [this](const QUuid& id) { log << QStringLiteral("remove ") + id.toString(QUuid::WithoutBraces); },
            [this] { log << QStringLiteral("add"); },
            [this] { log << QStringLiteral("fix"); },
            [this](const std::optional<ChatTarget>& t) {
                log << QStringLiteral("pick ") + (t ? t->title : QStringLiteral("<new>"));
            },
        };
        auto desktop = std::make_unique<FakeDesktop>();
        hud = std::make_unique<HUDController>(model, actions, prefs, theme, arguments, scheduler,
                                              std::move(desktop));
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
    bool shows(const QString& name) const
    {
        QQuickItem* i = item(name);
        return i && i->isVisible();
    }
    QString text(const QString& name) const
    {
        QQuickItem* i = item(name);
        if (!i) return QStringLiteral("<missing %1>").arg(name);
        // Key caps call their text a label.
        const QVariant text = i->property("text");
        return (text.isValid() ? text : i->property("label")).toString();
    }
    QPoint centre(QQuickItem* i) const
    {
        return i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint();
    }
    void click(QQuickItem* i)
    {
        QTest::mouseMove(hud->panel(), centre(i));
        QTest::mouseClick(hud->panel(), Qt::LeftButton, {}, centre(i));
        settle();
    }
    QStringList visibleTitles(const QString& rowName) const
    {
        QStringList titles;
        for (QQuickItem* row : all(rowName))
            if (row->isVisible()) titles << row->property("title").toString();
        return titles;
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

QStringList demo(const QString& state = {})
{
    QStringList arguments{QStringLiteral("vell"), QStringLiteral("--demo")};
    if (!state.isEmpty()) arguments << QStringLiteral("--state") << state;
    return arguments;
}

const QString course = QStringLiteral("Marlow U CS 229 final prep");

} // namespace

class TestHUDView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pillPerPhase_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("shown"); // the one pill layout that is visible
        QTest::addColumn<qreal>("height");
        QTest::addColumn<QStringList>("texts"); // objectName=text of visible elements
        QTest::addColumn<QStringList>("hidden");

        QTest::newRow("live") << QString() << Tweak() << QStringLiteral("livePill") << 44.0
                              << QStringList{QStringLiteral(
                                                 "transcript=why does the hinge loss clamp at zero here, "
                                                 "and is that basically the same thing as a ReLU?"),
                                             QStringLiteral("chipTitle=") + course}
                              << QStringList{QStringLiteral("previewCard"), QStringLiteral("chooser"),
                                             QStringLiteral("keyHint")};
        QTest::newRow("mic preparing, no words") << QString() << Tweak([](SessionModel& m) {
            m.setTranscript({});
            m.setMic(Mic::preparing());
            m.setTarget(std::nullopt);
            m.setItems({});
        }) << QStringLiteral("livePill") << 44.0
                                                 << QStringList{QStringLiteral("transcript=One sec"),
                                                                QStringLiteral("chipTitle=New chat"),
                                                                QStringLiteral("chipGlyph=+")}
                                                 << QStringList{QStringLiteral("thumbnails")};
        QTest::newRow("sending") << QStringLiteral("sending") << Tweak() << QStringLiteral("sendingPill")
                                 << 44.0
                                 << QStringList{QStringLiteral("sendingText=Sending to Claude"),
                                                QStringLiteral("escKey=esc")}
                                 << QStringList{QStringLiteral("livePill"), QStringLiteral("chooser")};
        QTest::newRow("delivering") << QString()
                                    << Tweak([](SessionModel& m) { m.setPhase(Phase::delivering()); })
                                    << QStringLiteral("statusPill") << 44.0
                                    << QStringList{QStringLiteral("statusText=Sending to Claude")}
                                    << QStringList{QStringLiteral("drawnCheck")};
        QTest::newRow("sent") << QStringLiteral("sent") << Tweak() << QStringLiteral("statusPill") << 44.0
                              << QStringList{QStringLiteral("statusText=Sent to ") + course}
                              << QStringList{QStringLiteral("pulseDot")};
        QTest::newRow("practice sent")
            << QStringLiteral("sent") << Tweak([](SessionModel& m) { m.setPractice(true); })
            << QStringLiteral("statusPill") << 44.0
            << QStringList{QStringLiteral("statusText=Practice run. Nothing was sent.")} << QStringList();
        QTest::newRow("failed, fixable")
            << QStringLiteral("failed") << Tweak() << QStringLiteral("failedPill") << 50.0
            << QStringList{QStringLiteral("failureMessage=Safari needs one setting"),
                           QStringLiteral("failureDetail=Your message is copied. Paste it with Ctrl+V."),
                           QStringLiteral("fixButton=Fix it")}
            << QStringList{QStringLiteral("livePill")};
        QTest::newRow("nothing to send")
            << QString() << Tweak([](SessionModel& m) {
                   m.setPhase(Phase::failed(QStringLiteral("Nothing to send")));
                   m.setFixable(false);
               })
            << QStringLiteral("failedPill") << 50.0
            << QStringList{QStringLiteral("failureMessage=Nothing to send")}
            << QStringList{QStringLiteral("failureDetail"), QStringLiteral("fixButton")};
    }
    void pillPerPhase()
    {
        QFETCH(QString, state);
        QFETCH(Tweak, tweak);
        QFETCH(QString, shown);
        QFETCH(qreal, height);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, hidden);

        Stage stage(demo(state), tweak);
        const QStringList layouts{QStringLiteral("livePill"), QStringLiteral("sendingPill"),
                                  QStringLiteral("statusPill"), QStringLiteral("failedPill")};
        for (const QString& layout : layouts)
            QCOMPARE(stage.shows(layout), layout == shown);
        QCOMPARE(stage.item(QStringLiteral("pill"))->height(), height);
        for (const QString& pair : texts) {
            const QString name = pair.section(QLatin1Char('='), 0, 0);
            QVERIFY2(stage.shows(name), qPrintable(name));
            QCOMPARE(stage.text(name), pair.section(QLatin1Char('='), 1));
        }
        for (const QString& name : hidden)
            QVERIFY2(!stage.shows(name), qPrintable(name));
    }

    void livePillPieces()
    {
        Stage stage(demo());
        const QList<QQuickItem*> thumbs = stage.all(QStringLiteral("thumbnail"));
        QCOMPARE(thumbs.size(), 2);
        for (QQuickItem* t : thumbs)
            QCOMPARE(QSizeF(t->width(), t->height()), QSizeF(32, 24));
        QCOMPARE(stage.all(QStringLiteral("sizeLabel")).last()->property("text").toString(),
                 QStringLiteral("3 ln"));
        QCOMPARE(stage.all(QStringLiteral("voiceBar")).size(), 5);
        QCOMPARE(stage.item(QStringLiteral("chip"))->height(), 24.0);
        // The 26-character title is cut to the collapsed limit, and shown in full when expanded.
        QCOMPARE(stage.item(QStringLiteral("chipTitle"))->width(), 96.0);
        stage.hud->view().setPillHover(true);
        stage.settle();
        QVERIFY(stage.item(QStringLiteral("chipTitle"))->width() > 96.0);
        QCOMPARE(stage.text(QStringLiteral("triggerKey")), QStringLiteral("Alt"));

        // The last screenshot goes: its thumbnail leaves, and removing the clip empties the row.
        stage.model.setItems({stage.model.items().at(1)});
        stage.settle();
        QTRY_COMPARE(stage.all(QStringLiteral("thumbnail")).size(), 1);
        stage.model.setItems({});
        stage.settle();
        QVERIFY(!stage.shows(QStringLiteral("thumbnails")));
    }

    void chooserRows_data()
    {
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("newChatOn");
        QTest::addColumn<QString>("footer");
        const ChatTarget hinge{QStringLiteral("Hinge loss vs ReLU"),
                               QStringLiteral("https://claude.ai/chat/2")};
        QTest::newRow("demo chats, target first and marked")
            << Tweak()
            << QStringList{course + QStringLiteral(" ✓"), QStringLiteral("Hinge loss vs ReLU"),
                           QStringLiteral("Resume bullet points for the internship"),
                           QStringLiteral("Trip to Lisbon in March")}
            << false << QString();
        QTest::newRow("spoken target with a fragment is listed once")
            << Tweak([hinge](SessionModel& m) {
                   m.setTarget(ChatTarget{QStringLiteral("hinge"), hinge.url + QStringLiteral("#x")});
               })
            << QStringList{QStringLiteral("hinge ✓"), course,
                           QStringLiteral("Resume bullet points for the internship"),
                           QStringLiteral("Trip to Lisbon in March")}
            << false << QString();
        QTest::newRow("not loaded") << Tweak([](SessionModel& m) {
            m.setTarget(std::nullopt);
            m.setChats(std::nullopt);
        }) << QStringList() << true << QStringLiteral("Finding recent chats");
    }
    void chooserRows()
    {
        QFETCH(Tweak, tweak);
        QFETCH(QStringList, rows);
        QFETCH(bool, newChatOn);
        QFETCH(QString, footer);

        Stage stage(demo() << QStringLiteral("--choose"), tweak);
        QVERIFY(stage.shows(QStringLiteral("chooser")));
        QCOMPARE(stage.item(QStringLiteral("chooser"))->width(), 280.0);
        QStringList shown;
        for (QQuickItem* row : stage.all(QStringLiteral("chooserRow"))) {
            const bool marked = row->property("on").toBool();
            shown << row->property("title").toString() + (marked ? QStringLiteral(" ✓") : QString());
        }
        QCOMPARE(shown, rows);
        QCOMPARE(stage.item(QStringLiteral("newChatRow"))->property("on").toBool(), newChatOn);
        QCOMPARE(stage.item(QStringLiteral("newChatRow"))->property("title").toString(),
                 QStringLiteral("New Claude chat"));
        QCOMPARE(stage.shows(QStringLiteral("chooserFooter")), !footer.isEmpty());
        if (!footer.isEmpty()) QCOMPARE(stage.text(QStringLiteral("chooserFooter")), footer);
    }

    void clicksReachTheActions()
    {
        {
            Stage stage(demo() << QStringLiteral("--choose"));
            stage.click(stage.all(QStringLiteral("chooserRow")).at(1));
            // Resting on the chip opens the chooser again.
            QTest::mouseMove(stage.hud->panel(), stage.centre(stage.item(QStringLiteral("chip"))));
            stage.settle();
            QVERIFY(stage.shows(QStringLiteral("chooser")));
            stage.click(stage.item(QStringLiteral("newChatRow")));
            QCOMPARE(stage.log,
                     (QStringList{QStringLiteral("pick Hinge loss vs ReLU"), QStringLiteral("pick <new>")}));
            // A pick closes the chooser, even when it was opened with "--choose".
            QVERIFY(!stage.shows(QStringLiteral("chooser")));
        }
        {
            Stage stage(demo() << QStringLiteral("--hint"));
            QVERIFY(stage.shows(QStringLiteral("keyHint")));
            stage.click(stage.item(QStringLiteral("addWindow")));
            // Hovering the clip shows its preview and the remove badge; clicking it drops the hover first.
            QQuickItem* clip = stage.all(QStringLiteral("thumbnail")).at(1);
            QTest::mouseMove(stage.hud->panel(), stage.centre(clip));
            stage.settle();
            QVERIFY(stage.shows(QStringLiteral("previewCard")));
            QCOMPARE(stage.text(QStringLiteral("previewCaption")),
                     QStringLiteral("Copied from Safari, starter.py"));
            QList<QQuickItem*> badges;
            for (QQuickItem* badge : stage.all(QStringLiteral("removeBadge")))
                if (badge->isVisible()) badges << badge;
            QCOMPARE(badges.size(), 1);
            stage.click(badges.first());
            QCOMPARE(stage.log, (QStringList{QStringLiteral("add"), QStringLiteral("remove ") +
                                                                        stage.model.items().at(1).id.toString(
                                                                            QUuid::WithoutBraces)}));
            QCOMPARE(stage.hud->view().hovered(), QString());
        }
        {
            Stage stage(demo(QStringLiteral("failed")));
            stage.click(stage.item(QStringLiteral("fixButton")));
            QCOMPARE(stage.log, QStringList{QStringLiteral("fix")});
        }
    }

    void chooserOpensAndClosesOnTime()
    {
        Stage stage(demo());
        HUDViewModel& view = stage.hud->view();
        view.setChipHover(true);
        QVERIFY(view.chooserVisible());
        view.setChipHover(false);
        stage.scheduler.advance(0.2);
        view.setListHover(true); // reached the list in time
        stage.scheduler.advance(1.0);
        QVERIFY(view.chooserVisible());
        view.setListHover(false);
        stage.scheduler.advance(0.3);
        QVERIFY(view.chooserVisible());
        stage.scheduler.advance(0.05);
        QVERIFY(!view.chooserVisible());

        // Leaving the phase closes it, whatever the mouse is over.
        view.setListHover(true);
        stage.model.setPhase(Phase::sending());
        QVERIFY(!view.choosing());

        Stage pinned(demo() << QStringLiteral("--choose"));
        pinned.hud->view().setChipHover(true);
        pinned.hud->view().setChipHover(false);
        pinned.scheduler.advance(1.0);
        QVERIFY(pinned.hud->view().chooserVisible());
    }

    void chipGlowsFromTheFirstChange()
    {
        Stage stage(demo());
        HUDViewModel& view = stage.hud->view();
        stage.model.setTargetPulse(stage.model.targetPulse()); // an equal value is no change
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
        QTest::newRow("hide then show ends shown") << QStringLiteral("s h s 9") << 2 << 0 << true;
        QTest::newRow("two hides: only the second orders out")
            << QStringLiteral("s h 1 h 9") << 1 << 1 << false;
        QTest::newRow("hide completes") << QStringLiteral("s h 9") << 1 << 1 << false;
        QTest::newRow("desktop change re-places after 0.2 s") << QStringLiteral("s d 1 1") << 2 << 0 << true;
        QTest::newRow("show within 0.2 s wins") << QStringLiteral("s d 1 s 9") << 2 << 0 << true;
        QTest::newRow("hide within 0.2 s wins") << QStringLiteral("s d 1 h 9") << 1 << 1 << false;
        QTest::newRow("hidden ignores desktop changes") << QStringLiteral("s h 9 d 9") << 1 << 1 << false;
        QTest::newRow("never shown ignores desktop changes") << QStringLiteral("d 9") << 0 << 0 << false;
    }
    void panelGenerations()
    {
        QFETCH(QString, script);
        QFETCH(int, placed);
        QFETCH(int, orderedOut);
        QFETCH(bool, shown);

        VirtualScheduler scheduler;
        int places = 0, outs = 0;
        PanelPresence presence(scheduler,
                               {[&] { ++places; }, [&] { ++outs; }, [](double, Scheduler::Duration) {}});
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("s"))
                presence.show();
            else if (step == QLatin1String("h"))
                presence.hide();
            else if (step == QLatin1String("d"))
                presence.desktopChanged();
            else
                scheduler.advance(step.toInt() / 10.0);
        }
        QCOMPARE(places, placed);
        QCOMPARE(outs, orderedOut);
        QCOMPARE(presence.shown(), shown);
    }

    void controllerShowsAndHidesTheWindow()
    {
        Stage stage(demo());
        QWindow* panel = stage.hud->panel();
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->size(), QSize(800, 340));
        const QRect area = panel->screen()->availableGeometry();
        QCOMPARE(panel->x(), area.x() + area.width() / 2 - 400);
        QCOMPARE(panel->y() + panel->height(), area.bottom() + 1 - 14);
        const qint64 before = stage.hud->generation();
        stage.hud->hide();
        stage.hud->show();
        stage.scheduler.advance(1.0);
        QVERIFY(panel->isVisible());
        stage.hud->hide();
        stage.scheduler.advance(0.2);
        QVERIFY(panel->isVisible()); // still fading
        stage.scheduler.advance(0.1);
        QVERIFY(!panel->isVisible());
        QCOMPARE(stage.hud->generation(), before + 3);
    }
};

QTEST_MAIN(TestHUDView)
#include "tst_hudview.moc"
