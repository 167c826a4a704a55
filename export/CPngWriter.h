#pragma once

#include "core/CSafeSave.h"

#include <QByteArray>
#include <QImage>
#include <functional>

// Pictures saved as PNG at a cost that suits a command: the pixels exactly as
// drawn, compressed with a fast method that suits charts (few, long runs of
// one colour) rather than the tightest; the file is somewhat larger.
namespace CPngWriter
{
// The PNG bytes of image; empty when it could not be encoded.
QByteArray Encode(const QImage& image);

// Checks the target first (so that nothing is drawn for a target that will be
// refused), then draws, encodes and writes the file atomically.
CSafeSave::Result Save(const QString& path, const std::function<QImage()>& draw);
} // namespace CPngWriter
