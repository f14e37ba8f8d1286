// Sends the application log to a temporary file for the life of a test and
// reads back the messages (time stamps stripped).
#pragma once

#include <QStringList>
#include <QTemporaryDir>

class ScopedLog {
public:
    ScopedLog();
    ~ScopedLog();
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;

    QString path() const;
    // Every message written so far, in order.
    QStringList messages() const;
    // Messages that start with a prefix.
    QStringList messagesStartingWith(const QString& prefix) const;
    void clear();

private:
    QTemporaryDir dir_;
};
