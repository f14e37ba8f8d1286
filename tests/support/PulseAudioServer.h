// A private PulseAudio daemon for one test process: its own socket, runtime,
// state and cookie under a temporary folder, a null sink, and a pipe source
// as the default microphone that the test plays recordings into. The user's
// daemon is never touched; the daemon is stopped by its PID.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class PulseAudioServer {
public:
    // The microphone's format: mono signed 16-bit little-endian.
    static constexpr int sampleRate = 16000;

    PulseAudioServer();
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    bool isRunning() const { return ready_; }
    // "unix:<socket>"
    QString address() const;
    // The environment a PulseAudio client needs to reach only this daemon.
    QProcessEnvironment environment() const;
    // Points this process's PulseAudio clients at the daemon. Call before
    // anything in the process uses audio.
    void exportEnvironment() const;
    // Runs pactl against the daemon; true when it succeeds.
    bool pactl(const QStringList& arguments, QString* output = nullptr) const;

    // Plays audio into the microphone at real-time pace, after whatever is
    // still queued. Returns at once; playing needs the event loop.
    void play(const QByteArray& pcm);
    // Bytes not yet played.
    qsizetype queued() const { return queue_.size(); }

    // Raw audio from a .raw or .wav file (the wav header skipped).
    static QByteArray readRecording(const QString& path);
    static QByteArray silence(double seconds);

private:
    bool loadDevices();
    bool openPipe();
    void pump();

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> daemon_;
    bool ready_ = false;
    int pipe_ = -1;
    QByteArray queue_;
    QTimer pacer_;
    QElapsedTimer clock_;
    qint64 played_ = 0; // bytes written since the clock started
};
