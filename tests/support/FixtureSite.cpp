#include "FixtureSite.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>

namespace {

constexpr int startLimitMs = 20000;
constexpr int requestLimitMs = 15000;

QString scriptPath()
{
    return QStringLiteral(VELL_FIXTURE_DIR "/assistant_site.py");
}

} // namespace

FixtureSite::FixtureSite()
{
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        error_ = QStringLiteral("python3 not found");
        return;
    }
    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Standard input stays open: the server ends when it closes.
    server_->start(python, {scriptPath(), QStringLiteral("--dir"), dir_.path()});
    if (!server_->waitForStarted(startLimitMs)) {
        error_ = QStringLiteral("cannot start ") + python + QStringLiteral(": ") + server_->errorString();
        return;
    }
    QByteArray line;
    const QDeadlineTimer deadline(startLimitMs);
    while (!line.contains('\n') && !deadline.hasExpired() && server_->state() == QProcess::Running) {
        server_->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        line += server_->readAllStandardOutput();
    }
    const QJsonObject ready = QJsonDocument::fromJson(line.trimmed()).object();
    const int port = ready.value(QStringLiteral("port")).toInt();
    const int controlPort = ready.value(QStringLiteral("control")).toInt();
    if (port <= 0 || controlPort <= 0) {
        error_ = QStringLiteral("the fixture server did not report its ports: ") + QString::fromUtf8(line);
        return;
    }
    port_ = quint16(port);
    controlPort_ = quint16(controlPort);
    spki_ = ready.value(QStringLiteral("spki")).toString();
}

FixtureSite::~FixtureSite()
{
    if (!server_ || server_->state() == QProcess::NotRunning) return;
    server_->closeWriteChannel();
    if (server_->waitForFinished(3000)) return;
    server_->terminate();
    if (!server_->waitForFinished(3000)) {
        server_->kill();
        server_->waitForFinished(3000);
    }
}

QStringList FixtureSite::chromiumArguments() const
{
    const QString target = QStringLiteral("127.0.0.1:") + QString::number(port_);
    return {QStringLiteral("--host-resolver-rules=MAP claude.ai ") + target +
                QStringLiteral(", MAP chatgpt.com ") + target,
            QStringLiteral("--ignore-certificate-errors-spki-list=") + spki_};
}

std::optional<QByteArray> FixtureSite::control(const QByteArray& verb, const QString& path,
                                               const QByteArray& body) const
{
    if (!controlPort_) return std::nullopt;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), controlPort_);
    if (!socket.waitForConnected(requestLimitMs)) return std::nullopt;
    QByteArray request = verb + ' ' + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    request +=
        "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    socket.write(request + body);
    QByteArray response;
    const QDeadlineTimer deadline(requestLimitMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        response += socket.readAll();
    }
    response += socket.readAll();
    // "HTTP/1.1 204 No Content\r\n...\r\n\r\nbody"
    const qsizetype headerEnd = response.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = response.left(response.indexOf("\r\n")).split(' ');
    if (headerEnd < 0 || statusLine.size() < 2 || !statusLine.at(1).startsWith('2')) return std::nullopt;
    return response.mid(headerEnd + 4);
}

bool FixtureSite::configure(const QString& host, const QJsonObject& options)
{
    const QJsonObject request{{QStringLiteral("host"), host}, {QStringLiteral("options"), options}};
    return control("POST", QStringLiteral("/__control"),
                   QJsonDocument(request).toJson(QJsonDocument::Compact))
        .has_value();
}

bool FixtureSite::reset()
{
    return control("POST", QStringLiteral("/__reset")).has_value();
}

QJsonObject FixtureSite::snapshot() const
{
    return QJsonDocument::fromJson(control("GET", QStringLiteral("/__arrived")).value_or(QByteArray()))
        .object();
}

QList<FixtureSite::Arrival> FixtureSite::arrived() const
{
    QList<Arrival> arrivals;
    for (const QJsonValue& value : snapshot().value(QStringLiteral("messages")).toArray()) {
        const QJsonObject m = value.toObject();
        Arrival arrival{m.value(QStringLiteral("host")).toString(),
                        m.value(QStringLiteral("path")).toString(),
                        m.value(QStringLiteral("text")).toString(),
                        m.value(QStringLiteral("via")).toString(),
                        {}};
        for (const QJsonValue& imageValue : m.value(QStringLiteral("images")).toArray()) {
            const QJsonObject image = imageValue.toObject();
            arrival.images << ArrivedImage{
                image.value(QStringLiteral("name")).toString(),
                image.value(QStringLiteral("type")).toString(),
                QByteArray::fromBase64(image.value(QStringLiteral("data")).toString().toLatin1())};
        }
        arrivals << arrival;
    }
    return arrivals;
}

QStringList FixtureSite::pwned() const
{
    QStringList out;
    for (const QJsonValue& v : snapshot().value(QStringLiteral("pwned")).toArray())
        out << v.toString();
    return out;
}

QStringList FixtureSite::hits() const
{
    QStringList out;
    for (const QJsonValue& v : snapshot().value(QStringLiteral("hits")).toArray())
        out << v.toString();
    return out;
}
