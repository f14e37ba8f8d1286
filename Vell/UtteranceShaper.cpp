#include "UtteranceShaper.h"

std::optional<UtteranceShaper::Result> UtteranceShaper::partial(const QString& hypothesis)
{
    if (hypothesis == partial_) return std::nullopt;
    partial_ = hypothesis;
    if (shape_ == SpeechEngine::Shape::segments) return Result{hypothesis, false};
    return reportWhole(false);
}

std::optional<UtteranceShaper::Result> UtteranceShaper::utteranceEnded(const QString& hypothesis)
{
    const bool shown = !partial_.isEmpty();
    partial_.clear();
    if (shape_ == SpeechEngine::Shape::segments) {
        // An empty final still has to replace a partial that was shown.
        if (hypothesis.isEmpty() && !shown) return std::nullopt;
        return Result{hypothesis, true};
    }
    if (!hypothesis.isEmpty()) finals_.append(hypothesis);
    return reportWhole(false);
}

std::optional<UtteranceShaper::Result> UtteranceShaper::audioEnded(const QString& hypothesis)
{
    if (shape_ == SpeechEngine::Shape::segments) return utteranceEnded(hypothesis);
    partial_.clear();
    if (!hypothesis.isEmpty()) finals_.append(hypothesis);
    return reportWhole(true);
}

QString UtteranceShaper::whole() const
{
    QStringList parts = finals_;
    if (!partial_.isEmpty()) parts.append(partial_);
    return parts.join(QLatin1Char(' '));
}

std::optional<UtteranceShaper::Result> UtteranceShaper::reportWhole(bool isFinal)
{
    const QString text = whole();
    if (!isFinal && text == lastWhole_) return std::nullopt;
    lastWhole_ = text;
    return Result{text, isFinal};
}
