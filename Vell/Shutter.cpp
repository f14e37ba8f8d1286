#include "Shutter.h"

#include <utility>

QString Shutter::defaultFile()
{
    return QStringLiteral("/usr/share/sounds/freedesktop/stereo/camera-shutter.oga");
}

Shutter::Shutter(SoundPlayer& player, std::function<bool()> enabled, QString file)
    : player_(player), enabled_(std::move(enabled)), file_(std::move(file))
{
}

void Shutter::click()
{
    if (enabled_ && enabled_()) player_.play(file_, volume);
}
