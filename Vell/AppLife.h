// Starting with the desktop session, and starting afresh. The paths and the
// two process actions are handed in so nothing here touches the real session.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class AppLife {
public:
    // Starts a program detached; false when it could not be started.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

    // `autostartEntry` is the desktop entry the session starts at login;
    // `executable` the program that entry and a relaunch start.
    AppLife(QString autostartEntry, QString executable, Starter start, std::function<void()> quit);
    // The user's entry under $XDG_CONFIG_HOME/autostart, this executable, a detached start and
    // the application's quit.
    static AppLife forThisProcess();
    static QString defaultAutostartEntry();

    // Whether the entry exists and is not turned off (Hidden=true or
    // X-GNOME-Autostart-enabled=false in its [Desktop Entry] group).
    bool launchAtLogin() const;
    // Writes or removes the entry. A failure is logged ("launch at login: " + reason) and
    // nothing else happens.
    void setLaunchAtLogin(bool on);

    // Starts a shell that waits 0.6 s and then runs the executable again, and quits now,
    // whether or not the shell started: the new copy comes up after this one is gone.
    void relaunch();

    // "sleep 0.6; exec '<executable>'", the path quoted for the shell.
    static QString relaunchCommand(const QString& executable);
    // A path as one shell word in single quotes.
    static QString shellQuoted(const QString& text);
    // A path as the Exec key's program: quoted as desktop entries require, then escaped as
    // a desktop entry string.
    static QString execQuoted(const QString& path);
    // The whole autostart entry for an executable.
    static QByteArray autostartEntryText(const QString& executable);

private:
    QString entry_;
    QString executable_;
    Starter start_;
    std::function<void()> quit_;
};
