// Records what would have been played.
#pragma once

#include "Shutter.h"

#include <QList>
#include <QPair>

class FakeSoundPlayer final : public SoundPlayer {
public:
    QList<QPair<QString, double>> played;
    void play(const QString& file, double volume) override { played.append({file, volume}); }
};
