#include "QtAudioInput.h"

#include "Log.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>

namespace {

QAudioFormat monoInt16(int sampleRate)
{
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QString errorName(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("NoError");
    case QAudio::OpenError:
        return QStringLiteral("OpenError");
    case QAudio::IOError:
        return QStringLiteral("IOError");
    case QAudio::UnderrunError:
        return QStringLiteral("UnderrunError");
    case QAudio::FatalError:
        return QStringLiteral("FatalError");
    }
    return QString::number(int(error));
}

} // namespace

// The capture itself, on the capture thread: reads what the source pushes,
// cuts it into whole buffers, meters each and hands it on.
class QtAudioInput::Capture final : public QObject {
public:
    explicit Capture(QtAudioInput* owner) : owner_(owner) {}

    QString open(const QAudioDevice& device, int sampleRate, std::function<void(const QByteArray&)> audio,
                 quint64 session)
    {
        close();
        audio_ = std::move(audio);
        session_ = session;
        bufferBytes_ = bufferFrames(sampleRate) * qsizetype(sizeof(qint16));
        source_ = new QAudioSource(device, monoInt16(sampleRate), this);
        connect(source_, &QAudioSource::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::StoppedState && source_ && source_->error() != QAudio::NoError)
                Log::write(
                    QStringLiteral("speech: microphone stopped (%1)").arg(errorName(source_->error())));
        });
        io_ = source_->start();
        if (!io_ || source_->error() != QAudio::NoError) {
            const QString error = QStringLiteral("cannot open the microphone \"%1\" (%2)")
                                      .arg(device.description(), errorName(source_->error()));
            close();
            return error;
        }
        connect(io_, &QIODevice::readyRead, this, &Capture::read);
        return {};
    }

    void close()
    {
        if (!source_) return;
        // What is already captured still reaches the recogniser: often the last word.
        if (io_) read();
        const qsizetype whole = pending_.size() - pending_.size() % qsizetype(sizeof(qint16));
        if (whole > 0) audio_(pending_.first(whole));
        pending_.clear();
        source_->disconnect(this);
        source_->stop();
        delete source_;
        source_ = nullptr;
        io_ = nullptr;
        audio_ = nullptr;
    }

private:
    void read()
    {
        pending_ += io_->readAll();
        while (pending_.size() >= bufferBytes_) {
            const QByteArray buffer = pending_.first(bufferBytes_);
            pending_.remove(0, bufferBytes_);
            const float level = AudioInput::level(buffer);
            audio_(buffer);
            QMetaObject::invokeMethod(
                owner_, [owner = owner_, session = session_, level] { owner->deliverLevel(session, level); },
                Qt::QueuedConnection);
        }
    }

    QtAudioInput* owner_;
    QAudioSource* source_ = nullptr;
    QIODevice* io_ = nullptr;
    std::function<void(const QByteArray&)> audio_;
    quint64 session_ = 0;
    qsizetype bufferBytes_ = 0;
    QByteArray pending_;
};

QtAudioInput::QtAudioInput(QObject* parent) : QObject(parent), capture_(new Capture(this))
{
    capture_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, capture_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("microphone"));
    thread_.start();
}

QtAudioInput::~QtAudioInput()
{
    stop();
    thread_.quit();
    thread_.wait();
}

int QtAudioInput::bufferFrames(int sampleRate)
{
    return int((qint64(sampleRate) * 2048 + 24000) / 48000);
}

AccessStatus QtAudioInput::access() const
{
    return QMediaDevices::defaultAudioInput().isNull() ? AccessStatus::denied : AccessStatus::authorized;
}

bool QtAudioInput::supports(int sampleRate) const
{
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    return sampleRate > 0 && !device.isNull() && device.isFormatSupported(monoInt16(sampleRate));
}

QString QtAudioInput::start(int sampleRate, Sink sink)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) return QStringLiteral("no default input device");
    const quint64 session = ++session_;
    QString error;
    QMetaObject::invokeMethod(
        capture_, [&] { error = capture_->open(device, sampleRate, std::move(sink.audio), session); },
        Qt::BlockingQueuedConnection);
    running_ = error.isEmpty();
    if (running_) level_ = std::move(sink.level);
    return error;
}

void QtAudioInput::stop()
{
    if (!running_) return;
    running_ = false;
    level_ = nullptr;
    // Blocks until the capture thread has let go of the sink.
    QMetaObject::invokeMethod(
        capture_, [this] { capture_->close(); }, Qt::BlockingQueuedConnection);
}

void QtAudioInput::deliverLevel(quint64 session, float level)
{
    if (running_ && session == session_ && level_) level_(level);
}
