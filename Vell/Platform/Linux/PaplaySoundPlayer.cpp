#include "PaplaySoundPlayer.h"

#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <utility>

PaplaySoundPlayer::PaplaySoundPlayer(QString program, QObject* parent)
    : QObject(parent), program_(std::move(program))
{
}

PaplaySoundPlayer::~PaplaySoundPlayer()
{
    stop();
}

int PaplaySoundPlayer::paVolume(double linear)
{
    return static_cast<int>(std::lround(std::cbrt(std::clamp(linear, 0.0, 1.0)) * 65536.0));
}

void PaplaySoundPlayer::stop()
{
    if (!current_) return;
    QProcess* p = std::exchange(current_, nullptr);
    // Its finished() handler would delete it again.
    p->disconnect(this);
    if (p->state() != QProcess::NotRunning) {
        p->kill();
        // Reaped by QProcess once it ends; the kill is immediate.
        p->waitForFinished(100);
    }
    p->deleteLater();
}

void PaplaySoundPlayer::play(const QString& file, double volume)
{
    stop();
    if (!QFileInfo(file).isFile()) return;
    auto* p = new QProcess(this);
    p->setProgram(program_);
    p->setArguments({QStringLiteral("--volume=%1").arg(paVolume(volume)), file});
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    // A missing program or sound server just ends the process: nothing to report.
    connect(p, &QProcess::finished, this, [this, p] {
        if (current_ == p) current_ = nullptr;
        p->deleteLater();
    });
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        if (current_ == p) current_ = nullptr;
        p->deleteLater();
    });
    current_ = p;
    p->start();
}
