#include "ToolModes.h"

#include "Compose.h"
#include "Jpeg.h"
#include "Log.h"

#include <QImageReader>
#include <QPainter>
#include <QUrl>

#include <coroutine>
#include <memory>

namespace ToolModes {

namespace {

const QString automationStatusOption = QStringLiteral("--automation-status");
const QString listChatsOption = QStringLiteral("--list-chats");
const QString sendOption = QStringLiteral("--send");

void logAndPrint(const Console& console, const QString& line)
{
    Log::write(line);
    if (console.out) console.out(line);
}

void fail(const Console& console, const QString& line)
{
    if (console.err) console.err(line);
}

QString quotedList(const QList<ChatTarget>& chats)
{
    QStringList titles;
    for (const ChatTarget& chat : chats)
        titles << QLatin1Char('"') + chat.title + QLatin1Char('"');
    return QLatin1Char('[') + titles.join(QStringLiteral(", ")) + QLatin1Char(']');
}

std::optional<Destination> destinationWithId(const QString& id)
{
    for (const Destination& d : Destination::all())
        if (d.id == id) return d;
    return std::nullopt;
}

bool isAddress(const QString& chat)
{
    return chat.startsWith(QLatin1String("https://")) || chat.startsWith(QLatin1String("http://"));
}

// The destination whose site an address is on: its host, or a subdomain of it.
std::optional<Destination> destinationOfAddress(const QString& address)
{
    const QString host = QUrl(address).host().toLower();
    for (const Destination& d : Destination::all())
        if (host == d.host || host.endsWith(QLatin1Char('.') + d.host)) return d;
    return std::nullopt;
}

QString textFromInput(const QByteArray& input)
{
    QString text = QString::fromUtf8(input);
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    else if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// Whichever comes first of a delivery and its time limit.
struct Race {
    enum class Outcome { sent, failed, tooLong };
    std::optional<Outcome> outcome;
    QString message;
    std::coroutine_handle<> waiter;

    void settle(Outcome o, const QString& m = {})
    {
        if (outcome) return;
        outcome = o;
        message = m;
        if (auto w = std::exchange(waiter, nullptr)) w.resume();
    }
    auto finished()
    {
        struct Awaiter {
            Race& race;
            bool await_ready() const noexcept { return race.outcome.has_value(); }
            void await_suspend(std::coroutine_handle<> h) noexcept { race.waiter = h; }
            void await_resume() const noexcept {}
        };
        return Awaiter{*this};
    }
};

QCoro::Task<void> deliverInto(BrowserAccess& access, Delivery delivery, std::shared_ptr<Race> race)
{
    try {
        co_await access.deliver(delivery);
        race->settle(Race::Outcome::sent);
    } catch (const DeliveryError& e) {
        Log::write(QStringLiteral("deliver failed: ") + e.rendered());
        race->settle(Race::Outcome::failed, e.errorDescription());
    } catch (const std::exception& e) {
        Log::write(QStringLiteral("deliver failed: ") + QString::fromUtf8(e.what()));
        race->settle(Race::Outcome::failed, QStringLiteral("Couldn't send"));
    }
}

} // namespace

Mode requested(const QStringList& arguments)
{
    if (arguments.contains(automationStatusOption)) return Mode::automationStatus;
    if (arguments.contains(listChatsOption)) return Mode::listChats;
    if (arguments.contains(sendOption)) return Mode::send;
    return Mode::none;
}

std::variant<SendRequest, QString> parseSend(const QStringList& arguments, const Destination& fallback,
                                             const std::function<QByteArray()>& readInput)
{
    SendRequest request;
    std::optional<Destination> chosen;
    QStringList words;
    QStringList imagePaths;
    bool fromInput = false;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (optionsEnded) {
            words << a;
            continue;
        }
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) return std::nullopt;
            return arguments.at(++i);
        };
        if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("-")) {
            fromInput = true;
        } else if (a == QLatin1String("--image")) {
            const auto path = value();
            if (!path) return QStringLiteral("--image needs a file");
            imagePaths << *path;
        } else if (a == QLatin1String("--to")) {
            const auto id = value();
            chosen = id ? destinationWithId(id->toLower()) : std::nullopt;
            if (!chosen) return QStringLiteral("--to takes claude or chatgpt");
        } else if (a == QLatin1String("--chat")) {
            const auto chat = value();
            if (!chat || chat->trimmed().isEmpty())
                return QStringLiteral("--chat needs a chat address or name");
            request.chat = chat->trimmed();
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            return QStringLiteral("Unknown option ") + a;
        } else {
            words << a;
        }
    }

    if (fromInput && !words.isEmpty())
        return QStringLiteral("Give the text as words or as - for standard input, not both");
    request.text =
        fromInput ? textFromInput(readInput ? readInput() : QByteArray()) : words.join(QLatin1Char(' '));

    if (isAddress(request.chat)) {
        const std::optional<Destination> site = destinationOfAddress(request.chat);
        if (!site) return request.chat + QStringLiteral(" is not a Claude or ChatGPT chat");
        if (chosen && chosen->id != site->id)
            return request.chat + QStringLiteral(" is not a ") + chosen->name + QStringLiteral(" chat");
        chosen = site;
    }
    request.destination = chosen.value_or(fallback);

    for (const QString& path : imagePaths) {
        QString error;
        const std::optional<QByteArray> jpeg = loadImage(path, error);
        if (!jpeg) return error;
        request.images << *jpeg;
    }
    if (request.text.trimmed().isEmpty() && request.images.isEmpty())
        return QStringLiteral("Nothing to send");
    return request;
}

std::optional<QByteArray> loadImage(const QString& path, QString& error)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg") {
        error = path + QStringLiteral(" is not a PNG or JPEG image");
        return std::nullopt;
    }
    QImage image = reader.read();
    if (image.isNull()) {
        error = path + QStringLiteral(" could not be read: ") + reader.errorString();
        return std::nullopt;
    }
    if (image.hasAlphaChannel()) {
        // JPEG has no transparency; see-through parts would otherwise turn black.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        image = flat;
    }
    const QByteArray jpeg = Jpeg::encode(Jpeg::reduced(image));
    if (jpeg.isEmpty()) {
        error = path + QStringLiteral(" could not be turned into a JPEG");
        return std::nullopt;
    }
    return jpeg;
}

QCoro::Task<int> automationStatus(BrowserAccess& browser, Console console)
{
    for (const Browser b : Browsers::all()) {
        AutomationAccess access = AutomationAccess::browserNotRunning;
        try {
            access = co_await browser.access(b, false);
        } catch (const std::exception& e) {
            Log::write(QStringLiteral("status ") + Browsers::displayName(b) + QStringLiteral(" failed: ") +
                       QString::fromUtf8(e.what()));
        }
        logAndPrint(console, QStringLiteral("status ") + Browsers::displayName(b) + QStringLiteral(": ") +
                                 caseName(access));
    }
    co_return 0;
}

QCoro::Task<int> listChats(BrowserAccess& access, Browser browser, Console console)
{
    for (const Destination& destination : Destination::all()) {
        ChatList list;
        try {
            list = co_await access.listChats(browser, destination.host, destination.chatPath);
        } catch (const std::exception& e) {
            Log::write(QStringLiteral("chats ") + destination.name + QStringLiteral(" failed: ") +
                       QString::fromUtf8(e.what()));
        }
        logAndPrint(console, QStringLiteral("chats ") + destination.name + QStringLiteral(" in ") +
                                 Browsers::displayName(browser) + QStringLiteral(": tabs ") +
                                 quotedList(list.tabs()) + QStringLiteral(", recents ") +
                                 quotedList(list.recents()));
    }
    co_return 0;
}

QCoro::Task<int> send(BrowserAccess& access, Scheduler& scheduler, Browser browser, SendRequest request,
                      Console console)
{
    const Destination& destination = request.destination;
    std::optional<ChatTarget> target;
    if (isAddress(request.chat)) {
        target = ChatTarget{request.chat, request.chat};
    } else if (!request.chat.isEmpty()) {
        ChatList chats;
        try {
            chats = co_await access.listChats(browser, destination.host, destination.chatPath);
        } catch (const std::exception&) {
            // An unreadable list is an empty one: nothing matches.
        }
        target = Compose::closestChat(request.chat, chats.all());
        if (!target) {
            fail(console, QStringLiteral("No ") + destination.name + QStringLiteral(" chat matches \"") +
                              request.chat + QLatin1Char('"'));
            co_return 1;
        }
        Log::write(QStringLiteral("chat target: ") + target->title + QStringLiteral(" (") + target->url +
                   QLatin1Char(')'));
    }

    const int imageCount = int(request.images.size());
    auto race = std::make_shared<Race>();
    const JobHandle limit =
        scheduler.schedule(deliveryLimit, [race] { race->settle(Race::Outcome::tooLong); });
    deliverInto(access, Delivery{request.text, request.images, destination, browser, target}, race);
    co_await race->finished();
    limit->cancel();

    switch (*race->outcome) {
    case Race::Outcome::sent:
        if (console.out)
            console.out(QStringLiteral("sent to ") + (target ? target->url : destination.host) +
                        QStringLiteral(" via ") + Browsers::displayName(browser) + QStringLiteral(", ") +
                        QString::number(imageCount) + QStringLiteral(" image(s)"));
        co_return 0;
    case Race::Outcome::failed:
        fail(console, race->message);
        co_return 1;
    case Race::Outcome::tooLong:
        Log::write(QStringLiteral("deliver: gave up after 75s"));
        fail(console, Browsers::displayName(browser) + QStringLiteral(" took too long to respond"));
        co_return 1;
    }
    co_return 1;
}

QCoro::Task<std::optional<int>> run(const QStringList& arguments, BrowserAccess& access, Scheduler& scheduler,
                                    Browser browser, Destination destination, Console console)
{
    switch (requested(arguments)) {
    case Mode::none:
        co_return std::nullopt;
    case Mode::automationStatus:
        co_return co_await automationStatus(access, console);
    case Mode::listChats:
        co_return co_await listChats(access, browser, console);
    case Mode::send: {
        const QStringList rest = arguments.mid(arguments.indexOf(sendOption) + 1);
        auto parsed = parseSend(rest, destination, console.readInput);
        if (const QString* problem = std::get_if<QString>(&parsed)) {
            fail(console, *problem);
            co_return 1;
        }
        co_return co_await send(access, scheduler, browser, std::get<SendRequest>(std::move(parsed)),
                                console);
    }
    }
    co_return std::nullopt;
}

} // namespace ToolModes
