// Turns what an utterance-by-utterance recogniser sees (the hypothesis of the
// utterance being spoken, utterances ending, the audio ending) into results of
// the shape a run was asked for.
#pragma once

#include "SpeechEngine.h"

#include <QStringList>

#include <optional>

class UtteranceShaper {
public:
    using Result = SpeechEngine::Result;

    explicit UtteranceShaper(SpeechEngine::Shape shape) : shape_(shape) {}

    // The current hypothesis of the utterance in progress. None when it
    // changes nothing that was reported.
    std::optional<Result> partial(const QString& hypothesis);
    // The utterance ended with this final hypothesis (possibly empty).
    std::optional<Result> utteranceEnded(const QString& hypothesis);
    // The audio ended; `hypothesis` is the final one of the last utterance.
    // A cumulative run always reports a final result here.
    std::optional<Result> audioEnded(const QString& hypothesis);

private:
    QString whole() const;
    std::optional<Result> reportWhole(bool isFinal);

    SpeechEngine::Shape shape_;
    QStringList finals_; // cumulative: the utterances that ended
    QString partial_;    // the utterance in progress
    QString lastWhole_;  // cumulative: what was last reported
};
