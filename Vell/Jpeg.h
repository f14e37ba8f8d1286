// The one size bound and quality every picture Vell sends is held to:
// screenshots and copied images alike.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace Jpeg {

// Longest side of any picture that leaves the machine, in pixels.
inline constexpr int longestSide = 1500;
// QImage's 0-100 scale; the compression factor 0.88.
inline constexpr int quality = 88;

// `size` shrunk so its longer side is at most `longest`, each side truncated
// toward zero but never below one pixel; smaller sizes come back unchanged.
QSize bounded(const QSize& size, int longest = longestSide);

// The image scaled down to `bounded(image.size())`, smoothly; unchanged when it
// already fits. Null when the image is null or the scaled copy cannot be made.
QImage reduced(const QImage& image);

// JPEG bytes at `quality`; empty when encoding fails.
QByteArray encode(const QImage& image);

} // namespace Jpeg
