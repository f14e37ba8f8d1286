// The dictionary cut down to the language model's words, and its cached copy.
#include "SpeechDictionary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray arpa(const QList<QByteArray>& words)
{
    QByteArray text = "\\data\\\nngram 1=" + QByteArray::number(words.size() + 2) + "\n\n\\1-grams:\n";
    for (const QByteArray& word : QList<QByteArray>{"<s>", "</s>"} + words)
        text += "-1.0 " + word + " 0.0\n";
    return text + "\n\\end\\\n";
}

const QByteArray dictionary = "go G OW\nread R EH D\nread(2) R IY D\nstop S T AA P\n";

} // namespace

class TestSpeechDictionary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void restrictKeepsTheModelsWords_data()
    {
        QTest::addColumn<QByteArray>("dictionary");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("every pronunciation of a known word")
            << dictionary << QByteArray("go G OW\nread R EH D\nread(2) R IY D\n");
        QTest::newRow("tab after the word, last line unterminated")
            << QByteArray("go\tG OW\nstop\tS T AA P\nread R EH D") << QByteArray("go\tG OW\nread R EH D\n");
        QTest::newRow("a word that only starts like a known one")
            << QByteArray("goal G OW L\ngo(x G OW\n") << QByteArray();
        QTest::newRow("blank and leading-space lines")
            << QByteArray("\n  go G OW\n\nstop S T AA P\n") << QByteArray("  go G OW\n");
    }
    void restrictKeepsTheModelsWords()
    {
        QFETCH(QByteArray, dictionary);
        QTEST(SpeechDictionary::restrict(dictionary, {"go", "read"}), "kept");
    }

    void languageModelWordsReadsAnArpaModel()
    {
        QTemporaryDir dir;
        write(dir.filePath("lm.arpa"), arpa({"go", "read"}));
        QCOMPARE(SpeechDictionary::languageModelWords(dir.filePath("lm.arpa")),
                 (QSet<QByteArray>{"<s>", "</s>", "go", "read"}));
        QVERIFY(SpeechDictionary::languageModelWords(dir.filePath("missing.lm")).isEmpty());
    }

    void cachedCopyFollowsItsSources()
    {
        QTemporaryDir dir;
        const QString lm = dir.filePath("lm.arpa");
        const QString dict = dir.filePath("words.dict");
        const QString cache = dir.filePath("cache/Vell");
        write(lm, arpa({"go"}));
        write(dict, dictionary);

        const QString first = SpeechDictionary::forModel(lm, dict, cache);
        QVERIFY(first.startsWith(cache));
        QCOMPARE(read(first), QByteArray("go G OW\n"));
        // Made once: a second load reads the same copy.
        write(first, "go G OW\n# kept\n");
        QCOMPARE(SpeechDictionary::forModel(lm, dict, cache), first);
        QCOMPARE(read(first), QByteArray("go G OW\n# kept\n"));

        // A changed language model gives a new copy, and the stale one goes.
        write(lm, arpa({"go", "stop", "extra"}));
        const QString second = SpeechDictionary::forModel(lm, dict, cache);
        QVERIFY(second != first);
        QCOMPARE(read(second), QByteArray("go G OW\nstop S T AA P\n"));
        QCOMPARE(QDir(cache).entryList(QDir::Files).size(), 1);
    }

    void wholeDictionaryWhenNoCopyCanBeMade_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<bool>("withCache");
        QTest::newRow("no cache folder") << arpa({"go"}) << false;
        QTest::newRow("unreadable language model") << QByteArray("not a model") << true;
        QTest::newRow("no word in common") << arpa({"elsewhere"}) << true;
    }
    void wholeDictionaryWhenNoCopyCanBeMade()
    {
        QFETCH(QByteArray, model);
        QFETCH(bool, withCache);
        QTemporaryDir dir;
        write(dir.filePath("lm.arpa"), model);
        write(dir.filePath("words.dict"), dictionary);
        QCOMPARE(SpeechDictionary::forModel(dir.filePath("lm.arpa"), dir.filePath("words.dict"),
                                            withCache ? dir.filePath("cache") : QString()),
                 dir.filePath("words.dict"));
    }
};

QTEST_GUILESS_MAIN(TestSpeechDictionary)
#include "tst_speechdictionary.moc"
