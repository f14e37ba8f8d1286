// The command-line tool modes: "--automation-status" and "--list-chats" log
// what they find, and "--send" delivers one message from the terminal. They
// need no window and run beside a running copy of Vell. Each line they log is
// also printed, so the terminal shows what the log gets.
#pragma once

#include "ControllerPorts.h"
#include "Scheduler.h"
#include "SessionModel.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

namespace ToolModes {

enum class Mode { none, automationStatus, listChats, send };

// The first of "--automation-status", "--list-chats" and "--send" present among the arguments.
Mode requested(const QStringList& arguments);

// Where a tool mode reads and writes.
struct Console {
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
    // All of standard input.
    std::function<QByteArray()> readInput;
};

// What "--send" asks for.
struct SendRequest {
    QString text;
    QList<QByteArray> images; // JPEG, as delivered
    Destination destination;
    // A chat address, or a chat name to look up among the destination's chats; empty for none.
    QString chat;
};

// Reads the arguments that follow "--send": words of text, or "-" for standard
// input (one final line break dropped, as echo adds one); "--image FILE"
// (repeatable, PNG or JPEG); "--to claude|chatgpt"; "--chat URL-or-name";
// "--" ends the options. Without "--to", a chat address picks the destination
// by its host, else `fallback` is used. Gives the request or the sentence that
// says what is wrong.
std::variant<SendRequest, QString> parseSend(const QStringList& arguments, const Destination& fallback,
                                             const std::function<QByteArray()>& readInput);

// An image file as it is delivered: PNG or JPEG in (turned upright as its
// metadata says), JPEG at most Jpeg::longestSide pixels out. None, with the
// reason in `error`, for anything else.
std::optional<QByteArray> loadImage(const QString& path, QString& error);

// Logs "status <browser>: <access>" for each browser, without asking the user. Always 0.
QCoro::Task<int> automationStatus(BrowserAccess& browser, Console console);
// Logs "chats <destination> in <browser>: tabs [...], recents [...]" for each destination. Always 0.
QCoro::Task<int> listChats(BrowserAccess& access, Browser browser, Console console);

// How long a delivery may take before the tool gives up, as the session does.
inline constexpr Scheduler::Duration deliveryLimit = fromSeconds(75);

// Delivers the request: 0 and one line on standard output when it was sent,
// 1 and the user-facing sentence on standard error otherwise.
QCoro::Task<int> send(BrowserAccess& access, Scheduler& scheduler, Browser browser, SendRequest request,
                      Console console);

// Runs the mode the arguments ask for and gives its exit status; none when they ask for none.
QCoro::Task<std::optional<int>> run(const QStringList& arguments, BrowserAccess& access, Scheduler& scheduler,
                                    Browser browser, Destination destination, Console console);

} // namespace ToolModes
