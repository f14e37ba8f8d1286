// Puts a composed message, text and JPEG images, on the clipboard so the user
// can paste it by hand.
#pragma once

#include "Clipboard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class Pasteboard {
public:
    // Where the image files of the current content live; private to the user.
    explicit Pasteboard(Clipboard& clipboard, QString tempRoot = {});

    // One content: the text as text/plain (when not empty), the first image as
    // image/jpeg, and every image as a file listed in text/uri-list, since an
    // X11 selection holds a single payload per type. The files of the
    // previous content are removed. Empty text and no images empty the clipboard.
    void setAll(const QString& text, const QList<QByteArray>& images);

    // The folder holding the current image files; empty when there are none.
    QString folder() const;

private:
    Clipboard& clipboard_;
    QString tempRoot_;
    std::unique_ptr<QTemporaryDir> folder_;
};
