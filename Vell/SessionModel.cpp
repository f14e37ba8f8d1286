#include "SessionModel.h"

#include "Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QString quoted(const QString& name, const QString& payload)
{
    return name + QStringLiteral("(\"") + payload + QStringLiteral("\")");
}

} // namespace

// MARK: Phase and Mic

QString Phase::name() const
{
    switch (kind) {
    case Kind::failed:
        return QStringLiteral("failed");
    case Kind::idle:
        return QStringLiteral("idle");
    case Kind::live:
        return QStringLiteral("live");
    case Kind::sending:
        return QStringLiteral("sending");
    case Kind::delivering:
        return QStringLiteral("delivering");
    case Kind::sent:
        return QStringLiteral("sent");
    }
    return {};
}

QString Phase::rendered() const
{
    return kind == Kind::failed ? quoted(name(), message) : name();
}

bool Phase::operator==(const Phase& other) const
{
    return kind == other.kind && (kind != Kind::failed || message == other.message);
}

QString Mic::rendered() const
{
    switch (kind) {
    case Kind::failed:
        return quoted(QStringLiteral("failed"), message);
    case Kind::off:
        return QStringLiteral("off");
    case Kind::preparing:
        return QStringLiteral("preparing");
    case Kind::listening:
        return QStringLiteral("listening");
    }
    return {};
}

bool Mic::operator==(const Mic& other) const
{
    return kind == other.kind && (kind != Kind::failed || message == other.message);
}

// MARK: Item

Item Item::shot(const QImage& image, const QByteArray& jpeg, const QString& app, const QString& title)
{
    Item item;
    item.id = QUuid::createUuid();
    item.kind = Kind::shot;
    item.image = image;
    item.jpeg = jpeg;
    item.app = app;
    item.title = title;
    return item;
}

Item Item::clip(const QString& text, const QString& app, const QString& title)
{
    Item item;
    item.id = QUuid::createUuid();
    item.kind = Kind::clip;
    item.text = text;
    item.app = app;
    item.title = title;
    return item;
}

QString Item::source() const
{
    QStringList parts;
    if (!app.isEmpty()) parts << app;
    if (!title.isEmpty()) parts << title;
    return parts.join(QStringLiteral(", "));
}

// MARK: ChatTarget and ChatList

QByteArray ChatTarget::toJson() const
{
    QJsonObject o{{QStringLiteral("title"), title}, {QStringLiteral("url"), url}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ChatTarget> ChatTarget::fromJson(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue title = o.value(QStringLiteral("title"));
    const QJsonValue url = o.value(QStringLiteral("url"));
    if (!title.isString() || !url.isString()) return std::nullopt;
    return ChatTarget{title.toString(), url.toString()};
}

QString ChatList::key(const QString& url)
{
    const auto firstPiece = [](const QString& s, QChar sep) {
        const QStringList pieces = s.split(sep, Qt::SkipEmptyParts);
        return pieces.isEmpty() ? QString() : pieces.first();
    };
    return firstPiece(firstPiece(url, QLatin1Char('#')), QLatin1Char('?'));
}

ChatList ChatList::fromRows(const QList<QStringList>& rows)
{
    static const QRegularExpression artifact(QStringLiteral("\\s*Includes an artifact\\s*$"));
    ChatList list;
    QSet<QString> tabKeys;
    QSet<QString> recentKeys;
    for (const QStringList& row : rows) {
        if (row.size() != 3) continue;
        QString title = row.at(1);
        title.replace(artifact, QString());
        title = title.trimmed();
        if (title.isEmpty()) continue;
        const ChatTarget target{title, key(row.at(2))};
        const bool isTab = row.at(0) == QLatin1String("t");
        QSet<QString>& keys = isTab ? tabKeys : recentKeys;
        const QString k = key(target.url);
        if (keys.contains(k)) continue;
        keys.insert(k);
        (isTab ? list.tabs_ : list.recents_).append(target);
    }
    return list;
}

QList<ChatTarget> ChatList::all() const
{
    QList<ChatTarget> result;
    QSet<QString> seen;
    for (const QList<ChatTarget>* part : {&tabs_, &recents_}) {
        for (const ChatTarget& t : *part) {
            const QString k = key(t.url);
            if (seen.contains(k)) continue;
            seen.insert(k);
            result.append(t);
        }
    }
    return result;
}

// MARK: Destination and Browser

const QList<Destination>& Destination::all()
{
    static const QList<Destination> table{
        {QStringLiteral("claude"), QStringLiteral("Claude"), QStringLiteral("claude.ai"),
         QStringLiteral("https://claude.ai/new"), QStringLiteral("/chat/")},
        {QStringLiteral("chatgpt"), QStringLiteral("ChatGPT"), QStringLiteral("chatgpt.com"),
         QStringLiteral("https://chatgpt.com/"), QStringLiteral("/c/")},
    };
    return table;
}

namespace Browsers {

QString rawValue(Browser b)
{
    return b == Browser::chrome ? chromeID : safariID;
}

std::optional<Browser> fromRaw(const QString& raw)
{
    if (raw == safariID) return Browser::safari;
    if (raw == chromeID) return Browser::chrome;
    return std::nullopt;
}

QString displayName(Browser b)
{
    return b == Browser::chrome ? QStringLiteral("Chrome") : QStringLiteral("Safari");
}

QString caseName(Browser b)
{
    return b == Browser::chrome ? QStringLiteral("chrome") : QStringLiteral("safari");
}

QList<Browser> all()
{
    return {Browser::safari, Browser::chrome};
}

Browser fromPreference(const QString& browserID)
{
    return browserID == chromeID ? Browser::chrome : Browser::safari;
}

} // namespace Browsers

// MARK: DeliveryError

DeliveryError::DeliveryError(Kind k, Browser b, QString detail)
    : kind_(k), browser_(b), detail_(std::move(detail))
{
    what_ = rendered().toUtf8();
}

QString DeliveryError::errorDescription() const
{
    const QString name = Browsers::displayName(browser_);
    switch (kind_) {
    case Kind::jsOff:
        return name + QStringLiteral(" needs one setting turned on");
    case Kind::automationDenied:
        return QStringLiteral("Vell can't reach ") + name + QStringLiteral(" yet");
    case Kind::timedOut:
        // The browser's own permission dialog is what usually holds it up.
        return name + QStringLiteral(" didn't respond. If ") + name +
               QStringLiteral(" asked to allow remote debugging, click Allow and try again.");
    case Kind::page:
        return QStringLiteral("The chat page didn't respond");
    case Kind::noComposer:
        return QStringLiteral("Couldn't find the message box. Check that you're signed in.");
    case Kind::notSent:
        return QStringLiteral("Send didn't go through");
    }
    return {};
}

QString DeliveryError::rendered() const
{
    const QString b = Browsers::caseName(browser_);
    switch (kind_) {
    case Kind::jsOff:
        return QStringLiteral("jsOff(") + b + QLatin1Char(')');
    case Kind::automationDenied:
        return QStringLiteral("automationDenied(") + b + QLatin1Char(')');
    case Kind::timedOut:
        return QStringLiteral("timedOut(") + b + QLatin1Char(')');
    case Kind::page:
        return quoted(QStringLiteral("page"), detail_);
    case Kind::noComposer:
        return QStringLiteral("noComposer");
    case Kind::notSent:
        return QStringLiteral("notSent");
    }
    return {};
}

const char* DeliveryError::what() const noexcept
{
    return what_.constData();
}

bool DeliveryError::operator==(const DeliveryError& o) const
{
    if (kind_ != o.kind_) return false;
    switch (kind_) {
    case Kind::jsOff:
    case Kind::automationDenied:
    case Kind::timedOut:
        return browser_ == o.browser_;
    case Kind::page:
        return detail_ == o.detail_;
    default:
        return true;
    }
}

// MARK: SessionModel

SessionModel::SessionModel(const Destination& destination, Browser browser, QObject* parent)
    : QObject(parent), destination_(destination), browser_(browser)
{
}

void SessionModel::setPhase(const Phase& phase)
{
    const Phase old = phase_;
    phase_ = phase;
    if (!(old == phase))
        Log::write(QStringLiteral("phase ") + old.rendered() + QStringLiteral(" → ") + phase.rendered());
    Q_EMIT phaseChanged();
    Q_EMIT changed();
}

void SessionModel::setItems(const QList<Item>& value)
{
    assign(items_, value, &SessionModel::itemsChanged);
}

void SessionModel::setTranscript(const QString& value)
{
    assign(transcript_, value, &SessionModel::transcriptChanged);
}

void SessionModel::setTarget(const std::optional<ChatTarget>& value)
{
    assign(target_, value, &SessionModel::targetChanged);
}

void SessionModel::setTargetPulse(int value)
{
    assign(targetPulse_, value, &SessionModel::targetPulseChanged);
}

void SessionModel::setChats(const std::optional<ChatList>& value)
{
    assign(chats_, value, &SessionModel::chatsChanged);
}

void SessionModel::setMic(const Mic& value)
{
    assign(mic_, value, &SessionModel::micChanged);
}

void SessionModel::setLevel(float value)
{
    assign(level_, value, &SessionModel::levelChanged);
}

void SessionModel::setDestination(const Destination& value)
{
    assign(destination_, value, &SessionModel::destinationChanged);
}

void SessionModel::setBrowser(Browser value)
{
    assign(browser_, value, &SessionModel::browserChanged);
}

void SessionModel::setPractice(bool value)
{
    assign(practice_, value, &SessionModel::practiceChanged);
}

void SessionModel::setFixable(bool value)
{
    assign(fixable_, value, &SessionModel::fixableChanged);
}

void SessionModel::appendItem(const Item& item)
{
    QList<Item> items = items_;
    items.append(item);
    setItems(items);
}

QList<QByteArray> SessionModel::images() const
{
    QList<QByteArray> result;
    for (const Item& item : items_)
        if (item.isShot()) result.append(item.jpeg);
    return result;
}

void SessionModel::reset()
{
    setItems({});
    setTranscript({});
    setLevel(0);
}
