#pragma once
#include <QByteArray>
#include <QImage>

// JPEG through libjpeg's own API, independent of Qt's image plugins.
namespace JpegImage {

// Decodes a complete JPEG stream. Anything libjpeg objects to (bad or truncated data, a
// warning about corrupt data included) gives a null image; it never aborts the process.
// Grey pictures come back as Format_Grayscale8, all others as Format_RGB888.
QImage Decode(const QByteArray& bytes);

// Encodes an image as a baseline JPEG (quality 1..100). Returns an empty array on failure.
QByteArray Encode(const QImage& image, int quality);

// Pictures larger than this are refused instead of allocated.
constexpr qint64 kMaxPixels = qint64(1) << 26;

}  // namespace JpegImage
