#pragma once

#include "core/CSafeSave.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// The gauge's display: decoding of its 1024-byte memory into a 128 x 64
// picture, the doubled picture the screenshot dialog shows, and the picture
// file. Widget-free.
namespace CScreenImage
{
constexpr int kWidth = 128;
constexpr int kHeight = 64;
constexpr int kScale = 2;
constexpr int kBufferSize = 1024;

QRgb Background(); // pixel off: RGB(147, 215, 19)
QRgb Foreground(); // pixel on: black

// A 128 x 64 picture of the display with every pixel off.
QImage Blank();

// Decodes the display memory: byte page * 128 + x holds column x of rows
// page * 8 ... page * 8 + 7, bit 0 the top one; a set bit is a dark pixel.
// buffer holds kBufferSize bytes.
QImage Decode(const quint8* buffer);

// The picture with every pixel as a 2 x 2 block (256 x 128).
QImage Doubled(const QImage& image);

// True when the name asks for a PNG (it ends in ".png", any case); every
// other name gets an uncompressed BMP.
bool IsPngName(const QString& path);

// The file's bytes for that name; empty with error set when the image
// cannot be encoded.
QByteArray Encode(const QImage& image, const QString& path, QString* error);

// Encodes and saves atomically. error gets the text to show on failure.
bool Save(const QImage& image, const QString& path, QString* error);

QString FailedText();
QString SavedText();
QString IncompleteText();
} // namespace CScreenImage
