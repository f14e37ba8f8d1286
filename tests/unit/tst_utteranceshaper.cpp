// How a recogniser's utterance-by-utterance view becomes results of each
// shape: nothing repeated, nothing lost, a stale partial always replaced.
#include "UtteranceShaper.h"

#include <QTest>

using Shape = SpeechEngine::Shape;

namespace {

// Events: "p:text" a partial hypothesis, "u:text" an utterance ending, "e:text" the audio ending.
// Results: "v:text" volatile, "f:text" final.
QStringList run(Shape shape, const QStringList& events)
{
    UtteranceShaper shaper(shape);
    QStringList results;
    for (const QString& event : events) {
        const QString text = event.mid(2);
        std::optional<SpeechEngine::Result> result;
        if (event.startsWith(QLatin1String("p:"))) result = shaper.partial(text);
        if (event.startsWith(QLatin1String("u:"))) result = shaper.utteranceEnded(text);
        if (event.startsWith(QLatin1String("e:"))) result = shaper.audioEnded(text);
        if (result) results << (result->isFinal ? QStringLiteral("f:") : QStringLiteral("v:")) + result->text;
    }
    return results;
}

} // namespace

class TestUtteranceShaper : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shapes_data()
    {
        QTest::addColumn<bool>("cumulative");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("results");

        QTest::newRow("segments: partials then the utterance's final")
            << false << QStringList{"p:go", "p:go forward", "u:go forward ten meters"}
            << QStringList{"v:go", "v:go forward", "f:go forward ten meters"};
        QTest::newRow("segments: an unchanged partial is not repeated")
            << false << QStringList{"p:go", "p:go", "p:go"} << QStringList{"v:go"};
        QTest::newRow("segments: each utterance starts afresh")
            << false << QStringList{"p:one", "u:one", "p:two", "u:two"}
            << QStringList{"v:one", "f:one", "v:two", "f:two"};
        QTest::newRow("segments: same words in the next utterance are reported")
            << false << QStringList{"p:yes", "u:yes", "p:yes", "u:yes"}
            << QStringList{"v:yes", "f:yes", "v:yes", "f:yes"};
        QTest::newRow("segments: an empty final clears a shown partial")
            << false << QStringList{"p:uh", "u:"} << QStringList{"v:uh", "f:"};
        QTest::newRow("segments: noise alone reports nothing")
            << false << QStringList{"p:", "u:", "e:"} << QStringList{};
        QTest::newRow("segments: the audio ends mid-utterance")
            << false << QStringList{"p:go for", "e:go forward"} << QStringList{"v:go for", "f:go forward"};

        QTest::newRow("cumulative: everything heard, replaced each time")
            << true << QStringList{"p:go", "p:go forward", "u:go forward", "p:ten", "e:ten meters"}
            << QStringList{"v:go", "v:go forward", "v:go forward ten", "f:go forward ten meters"};
        QTest::newRow("cumulative: an utterance end that changes nothing is quiet")
            << true << QStringList{"p:one", "u:one", "p:", "u:"} << QStringList{"v:one"};
        QTest::newRow("cumulative: the end is always final")
            << true << QStringList{"p:one", "u:one", "e:"} << QStringList{"v:one", "f:one"};
        QTest::newRow("cumulative: a final that revises the partial")
            << true << QStringList{"p:go four", "u:go forward"} << QStringList{"v:go four", "v:go forward"};
        QTest::newRow("cumulative: silence only") << true << QStringList{"e:"} << QStringList{"f:"};
    }
    void shapes()
    {
        QFETCH(bool, cumulative);
        QFETCH(QStringList, events);
        QTEST(run(cumulative ? Shape::cumulative : Shape::segments, events), "results");
    }
};

QTEST_GUILESS_MAIN(TestUtteranceShaper)
#include "tst_utteranceshaper.moc"
