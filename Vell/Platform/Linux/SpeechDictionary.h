// The pronunciation dictionary the recogniser loads. The installed one holds
// 134k words, but only the words the language model knows can ever be
// recognised; loading just those saves about 13 MB of resident memory and
// gives the same text. The cut-down copy is built once into a cache folder
// and rebuilt when the model's files change.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

namespace SpeechDictionary {

// The words of an n-gram language model (binary or ARPA text); empty when it
// cannot be read.
QSet<QByteArray> languageModelWords(const QString& languageModel);

// The lines of `dictionary` whose word, without its "(2)" variant mark, is in `words`.
QByteArray restrict(const QByteArray& dictionary, const QSet<QByteArray>& words);

// The dictionary to load for this model: the cached cut-down copy in
// `cacheFolder`, built first when it is missing or its sources changed, or
// `dictionary` itself when no copy can be made.
QString forModel(const QString& languageModel, const QString& dictionary, const QString& cacheFolder);

} // namespace SpeechDictionary
