#include "DesktopApps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// The names an application goes by on Linux (desktop id, window class or
// program), lower case. Its bundle identifier counts too, for packagers that
// use reverse-domain desktop ids.
struct KnownApp {
    QString bundleIdentifier;
    QStringList names;
};

const QList<KnownApp>& knownApps()
{
    static const QList<KnownApp> table{
        {QStringLiteral("com.anthropic.claudefordesktop"),
         {QStringLiteral("claude-desktop"), QStringLiteral("claude")}},
        {QStringLiteral("com.openai.chat"), {QStringLiteral("chatgpt"), QStringLiteral("chatgpt-desktop")}},
        {QStringLiteral("com.openai.codex"), {QStringLiteral("codex")}},
    };
    return table;
}

QStringList namesFor(const QString& bundleIdentifier)
{
    QStringList names{bundleIdentifier.toLower()};
    for (const KnownApp& app : knownApps()) {
        if (app.bundleIdentifier == bundleIdentifier) names += app.names;
    }
    return names;
}

struct DesktopEntry {
    bool application = false;
    bool hidden = false;
    QString windowClass;
    QString exec;
};

// Splits an Exec value into arguments: double quotes group, and a backslash
// inside them escapes the next character.
QStringList execArguments(const QString& exec)
{
    QStringList args;
    QString current;
    bool quoted = false;
    bool inArgument = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArgument = true;
        } else if (c.isSpace()) {
            if (inArgument) args << current;
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args << current;
    return args;
}

// The file name of the program an Exec line starts, past an "env VAR=value" prefix.
QString programName(const QString& exec)
{
    QStringList args = execArguments(exec);
    if (!args.isEmpty() && QFileInfo(args.first()).fileName() == QLatin1String("env")) {
        args.removeFirst();
        while (!args.isEmpty() && args.first().contains(QLatin1Char('=')))
            args.removeFirst();
    }
    if (args.isEmpty()) return {};
    QString name = QFileInfo(args.first()).fileName().toLower();
    if (name.endsWith(QLatin1String(".appimage"))) name.chop(9);
    return name;
}

// Reads the keys that matter from the [Desktop Entry] group. Anything that is
// not a plausible desktop file (too large, unreadable, no such group) is not
// an application.
DesktopEntry readEntry(const QString& path)
{
    DesktopEntry entry;
    QFile file(path);
    constexpr qint64 largestEntry = 256 * 1024;
    if (file.size() > largestEntry || !file.open(QIODevice::ReadOnly | QIODevice::Text)) return entry;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    // Entries without a Type are common enough in hand-made launchers to accept.
    QString type = QStringLiteral("Application");
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Type")) {
            type = value;
        } else if (key == QLatin1String("Hidden")) {
            entry.hidden = value == QLatin1String("true");
        } else if (key == QLatin1String("StartupWMClass")) {
            entry.windowClass = value.toLower();
        } else if (key == QLatin1String("Exec")) {
            entry.exec = value;
        }
    }
    entry.application = sawMainGroup && type == QLatin1String("Application");
    return entry;
}

QString absoluteOrEmpty(const QString& path)
{
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QString();
}

} // namespace

DesktopApps::DesktopApps() : DesktopApps(applicationDirs(QProcessEnvironment::systemEnvironment())) {}

DesktopApps::DesktopApps(QStringList applicationDirs) : dirs_(std::move(applicationDirs)) {}

QStringList DesktopApps::applicationDirs(const QProcessEnvironment& env)
{
    QString dataHome = absoluteOrEmpty(env.value(QStringLiteral("XDG_DATA_HOME")));
    if (dataHome.isEmpty()) {
        const QString home = absoluteOrEmpty(env.value(QStringLiteral("HOME")));
        dataHome = (home.isEmpty() ? QDir::homePath() : home) + QStringLiteral("/.local/share");
    }
    QStringList bases{dataHome};
    QStringList system;
    for (const QString& dir : env.value(QStringLiteral("XDG_DATA_DIRS")).split(QLatin1Char(':'))) {
        const QString clean = absoluteOrEmpty(dir);
        if (!clean.isEmpty()) system << clean;
    }
    if (system.isEmpty()) system = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    bases += system;
    bases.removeDuplicates();
    QStringList dirs;
    for (const QString& base : bases)
        dirs << base + QStringLiteral("/applications");
    return dirs;
}

bool DesktopApps::isInstalled(const QString& bundleIdentifier) const
{
    const QStringList names = namesFor(bundleIdentifier);
    // The first directory that has a desktop id decides for it, so a Hidden
    // copy in the user's directory removes a system-wide entry.
    QSet<QString> decided;
    for (const QString& dir : dirs_) {
        const QDir root(dir);
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = root.relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-'));
            if (decided.contains(id)) continue;
            decided.insert(id);
            const DesktopEntry entry = readEntry(path);
            if (!entry.application || entry.hidden) continue;
            id.chop(8); // ".desktop"
            if (names.contains(id.toLower()) || names.contains(entry.windowClass) ||
                names.contains(programName(entry.exec))) {
                return true;
            }
        }
    }
    return false;
}
