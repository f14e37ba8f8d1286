// The state of the current voice session and the plain value types every
// part of Vell passes around.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <exception>
#include <optional>

// Where a session is. Two phases are equal when their kinds are equal and,
// for `failed`, their messages are equal.
struct Phase {
    enum class Kind { failed, idle, live, sending, delivering, sent };
    Kind kind = Kind::idle;
    QString message; // only for `failed`

    static Phase idle() { return {Kind::idle, {}}; }
    static Phase live() { return {Kind::live, {}}; }
    static Phase sending() { return {Kind::sending, {}}; }
    static Phase delivering() { return {Kind::delivering, {}}; }
    static Phase sent() { return {Kind::sent, {}}; }
    static Phase failed(const QString& message) { return {Kind::failed, message}; }

    bool is(Kind k) const { return kind == k; }
    // Case name, or failed("message") for a failure: the form the log uses.
    QString rendered() const;
    // Case name only.
    QString name() const;
    bool operator==(const Phase& other) const;
};

// State of speech capture.
struct Mic {
    enum class Kind { failed, off, preparing, listening };
    Kind kind = Kind::off;
    QString message; // only for `failed`

    static Mic off() { return {Kind::off, {}}; }
    static Mic preparing() { return {Kind::preparing, {}}; }
    static Mic listening() { return {Kind::listening, {}}; }
    static Mic failed(const QString& message) { return {Kind::failed, message}; }

    QString rendered() const;
    bool operator==(const Mic& other) const;
};

// One attachment of a session: a screenshot or a copied text.
struct Item {
    enum class Kind { shot, clip };

    QUuid id;
    Kind kind = Kind::clip;
    QImage image;    // shot: the picture, for display
    QByteArray jpeg; // shot: what is delivered
    QString text;    // clip: the copied text
    QString app;
    QString title;
    bool automatic = false; // the screenshot taken when the session opened

    static Item shot(const QImage& image, const QByteArray& jpeg, const QString& app, const QString& title);
    static Item clip(const QString& text, const QString& app, const QString& title = {});

    bool isShot() const { return kind == Kind::shot; }
    bool isClip() const { return kind == Kind::clip; }
    // The label shown for the item: the non-empty ones of app and title, joined by ", ".
    QString source() const;
    // Identity only.
    bool operator==(const Item& other) const { return id == other.id; }
};

// One chat: what the user sees and says, and its address without fragment or query.
struct ChatTarget {
    QString title;
    QString url;

    bool operator==(const ChatTarget&) const = default;
    // {"title": ..., "url": ...}
    QByteArray toJson() const;
    // None unless the bytes are a JSON object whose "title" and "url" are strings.
    static std::optional<ChatTarget> fromJson(const QByteArray& bytes);
};

// The chats known for one assistant: open tabs and the recent-chats sidebar.
class ChatList {
public:
    ChatList() = default;
    // Rows of [kind, title, url] as the listing program returns them.
    static ChatList fromRows(const QList<QStringList>& rows);
    // The address before the first "#" and then before the first "?", skipping empty pieces.
    static QString key(const QString& url);

    const QList<ChatTarget>& tabs() const { return tabs_; }
    const QList<ChatTarget>& recents() const { return recents_; }
    // Tabs then recents, later entries with an already seen key dropped.
    QList<ChatTarget> all() const;
    bool operator==(const ChatList&) const = default;

private:
    QList<ChatTarget> tabs_;
    QList<ChatTarget> recents_;
};

// One assistant web app.
struct Destination {
    QString id;
    QString name;
    QString host;
    QString newURL;
    QString chatPath;

    bool operator==(const Destination&) const = default;
    // Claude first: it is the default wherever an id matches no row.
    static const QList<Destination>& all();
    static const Destination& claude() { return all().at(0); }
    static const Destination& chatgpt() { return all().at(1); }
};

// The browser that is driven.
enum class Browser { safari, chrome };

namespace Browsers {
QString rawValue(Browser b);
std::optional<Browser> fromRaw(const QString& raw);
QString displayName(Browser b);
QString caseName(Browser b);
QList<Browser> all();
// chrome when the stored id is Chrome's, otherwise safari.
Browser fromPreference(const QString& browserID);
inline const QString chromeID = QStringLiteral("com.google.Chrome");
inline const QString safariID = QStringLiteral("com.apple.Safari");
} // namespace Browsers

// What the controller hands to the delivery engine.
struct Delivery {
    QString text;
    QList<QByteArray> images;
    Destination destination;
    Browser browser = Browser::chrome;
    std::optional<ChatTarget> target;
};

// Why a delivery failed, with the sentence the user sees.
class DeliveryError : public std::exception {
public:
    enum class Kind { jsOff, automationDenied, timedOut, page, noComposer, notSent };

    static DeliveryError jsOff(Browser b) { return {Kind::jsOff, b, {}}; }
    static DeliveryError automationDenied(Browser b) { return {Kind::automationDenied, b, {}}; }
    static DeliveryError timedOut(Browser b) { return {Kind::timedOut, b, {}}; }
    static DeliveryError page(const QString& detail) { return {Kind::page, Browser::chrome, detail}; }
    static DeliveryError noComposer() { return {Kind::noComposer, Browser::chrome, {}}; }
    static DeliveryError notSent() { return {Kind::notSent, Browser::chrome, {}}; }

    Kind kind() const { return kind_; }
    Browser browser() const { return browser_; }
    QString detail() const { return detail_; }
    QString errorDescription() const;
    // The form the log uses: timedOut(chrome), page("detail"), noComposer.
    QString rendered() const;
    const char* what() const noexcept override;
    bool operator==(const DeliveryError& o) const;

private:
    DeliveryError(Kind k, Browser b, QString detail);
    Kind kind_;
    Browser browser_;
    QString detail_;
    QByteArray what_;
};

// The one observable object holding the session. Every assignment notifies,
// also of an equal value; a real change of phase is logged.
class SessionModel : public QObject {
    Q_OBJECT
public:
    explicit SessionModel(const Destination& destination, Browser browser, QObject* parent = nullptr);

    const Phase& phase() const { return phase_; }
    void setPhase(const Phase& phase);

    const QList<Item>& items() const { return items_; }
    void setItems(const QList<Item>& items);
    void appendItem(const Item& item);

    const QString& transcript() const { return transcript_; }
    void setTranscript(const QString& transcript);

    const std::optional<ChatTarget>& target() const { return target_; }
    void setTarget(const std::optional<ChatTarget>& target);

    int targetPulse() const { return targetPulse_; }
    void setTargetPulse(int pulse);

    const std::optional<ChatList>& chats() const { return chats_; }
    void setChats(const std::optional<ChatList>& chats);

    const Mic& mic() const { return mic_; }
    void setMic(const Mic& mic);

    float level() const { return level_; }
    void setLevel(float level);

    const Destination& destination() const { return destination_; }
    void setDestination(const Destination& destination);

    Browser browser() const { return browser_; }
    void setBrowser(Browser browser);

    bool practice() const { return practice_; }
    void setPractice(bool practice);

    bool fixable() const { return fixable_; }
    void setFixable(bool fixable);

    // JPEG bytes of every screenshot, in item order.
    QList<QByteArray> images() const;
    // Empties items and transcript and zeroes the level; nothing else changes.
    void reset();

Q_SIGNALS:
    // Emitted on every assignment, equal values included.
    void phaseChanged();
    void itemsChanged();
    void transcriptChanged();
    void targetChanged();
    void targetPulseChanged();
    void chatsChanged();
    void micChanged();
    void levelChanged();
    void destinationChanged();
    void browserChanged();
    void practiceChanged();
    void fixableChanged();
    // Any field; for views that redraw as a whole.
    void changed();

private:
    // Every assignment notifies, equal values included.
    template <typename T, typename V> void assign(T& field, const V& value, void (SessionModel::*signal)())
    {
        field = value;
        Q_EMIT(this->*signal)();
        Q_EMIT changed();
    }

    Phase phase_;
    QList<Item> items_;
    QString transcript_;
    std::optional<ChatTarget> target_;
    int targetPulse_ = 0;
    std::optional<ChatList> chats_;
    Mic mic_;
    float level_ = 0;
    Destination destination_;
    Browser browser_;
    bool practice_ = false;
    bool fixable_ = false;
};
