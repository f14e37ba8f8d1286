#include "SpeechDictionary.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sphinxbase/ngram_model.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString cachePrefix = QStringLiteral("words-");
const QString cacheSuffix = QStringLiteral(".dict");

// Names the cut-down copy after its sources, so a changed model file gives a new name.
QString cacheName(const QString& languageModel, const QString& dictionary)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString& path : {languageModel, dictionary}) {
        const QFileInfo info(path);
        hash.addData(info.absoluteFilePath().toUtf8());
        hash.addData(QByteArray::number(info.size()));
        hash.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return cachePrefix + QString::fromLatin1(hash.result().toHex().left(16)) + cacheSuffix;
}

QByteArray baseWord(QByteArray word)
{
    // "read(2)" is the second pronunciation of "read".
    const qsizetype open = word.lastIndexOf('(');
    if (open > 0 && word.endsWith(')')) word.truncate(open);
    return word;
}

} // namespace

QSet<QByteArray> SpeechDictionary::languageModelWords(const QString& languageModel)
{
    QSet<QByteArray> words;
    // The library's chatter is of no use to a user (the recogniser turns it off the same way).
    err_set_logfp(nullptr);
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, nullptr);
    if (!config) return words;
    logmath_t* logmath = logmath_init(1.0001, 0, 0);
    ngram_model_t* model =
        ngram_model_read(config, languageModel.toLocal8Bit().constData(), NGRAM_AUTO, logmath);
    if (model) {
        const int32 count = ngram_model_get_counts(model)[0];
        words.reserve(count);
        for (int32 id = 0; id < count; ++id)
            if (const char* word = ngram_word(model, id)) words.insert(QByteArray(word));
        ngram_model_free(model);
    }
    logmath_free(logmath);
    cmd_ln_free_r(config);
    return words;
}

QByteArray SpeechDictionary::restrict(const QByteArray& dictionary, const QSet<QByteArray>& words)
{
    QByteArray kept;
    qsizetype start = 0;
    while (start < dictionary.size()) {
        qsizetype end = dictionary.indexOf('\n', start);
        if (end < 0) end = dictionary.size();
        const QByteArrayView line = QByteArrayView(dictionary).sliced(start, end - start);
        start = end + 1;
        const auto blank = [&line](qsizetype at) { return line[at] == ' ' || line[at] == '\t'; };
        qsizetype wordStart = 0;
        while (wordStart < line.size() && blank(wordStart))
            ++wordStart;
        qsizetype wordEnd = wordStart;
        while (wordEnd < line.size() && !blank(wordEnd))
            ++wordEnd;
        if (wordEnd == wordStart) continue;
        if (!words.contains(baseWord(line.sliced(wordStart, wordEnd - wordStart).toByteArray()))) continue;
        kept.append(line);
        kept.append('\n');
    }
    return kept;
}

QString SpeechDictionary::forModel(const QString& languageModel, const QString& dictionary,
                                   const QString& cacheFolder)
{
    if (cacheFolder.isEmpty()) return dictionary;
    QDir folder(cacheFolder);
    const QString name = cacheName(languageModel, dictionary);
    if (folder.exists(name)) return folder.filePath(name);

    QFile source(dictionary);
    if (!source.open(QIODevice::ReadOnly)) return dictionary;
    const QByteArray kept = restrict(source.readAll(), languageModelWords(languageModel));
    // A model whose words match none of the dictionary is no reason to load an empty one.
    if (kept.isEmpty() || !folder.mkpath(QStringLiteral("."))) return dictionary;
    QSaveFile copy(folder.filePath(name));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(kept) != kept.size() || !copy.commit())
        return dictionary;
    // Copies made from earlier versions of the model are of no further use.
    for (const QString& old : folder.entryList({cachePrefix + QLatin1Char('*') + cacheSuffix}, QDir::Files))
        if (old != name) folder.remove(old);
    return folder.filePath(name);
}
