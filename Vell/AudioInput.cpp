#include "AudioInput.h"

#include <cmath>
#include <cstdint>
#include <cstring>

float AudioInput::level(QByteArrayView pcm)
{
    const qsizetype frames = pcm.size() / qsizetype(sizeof(int16_t));
    if (frames == 0) return 0.0f;
    double sum = 0.0;
    for (qsizetype i = 0; i < frames; ++i) {
        int16_t sample;
        // Buffers from a byte stream need not be aligned for int16_t.
        std::memcpy(&sample, pcm.data() + i * qsizetype(sizeof(int16_t)), sizeof sample);
        const double x = sample / 32768.0;
        sum += x * x;
    }
    return static_cast<float>(std::sqrt(sum / double(frames)));
}
