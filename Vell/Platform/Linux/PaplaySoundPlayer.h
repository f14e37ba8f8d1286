// Plays sound files through the user's PulseAudio or PipeWire server with
// paplay, in a child process so the main thread never waits on audio.
#pragma once

#include "Shutter.h"

#include <QObject>
#include <QString>

class QProcess;

class PaplaySoundPlayer final : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit PaplaySoundPlayer(QString program = QStringLiteral("paplay"), QObject* parent = nullptr);
    ~PaplaySoundPlayer() override;

    void play(const QString& file, double volume) override;
    // Whether the last sound's process is still running.
    bool isPlaying() const { return current_ != nullptr; }

    // paplay's volume scale (65536 = 100%) is cubic; this turns a linear gain into it.
    static int paVolume(double linear);

private:
    void stop();

    QString program_;
    QProcess* current_ = nullptr;
};
