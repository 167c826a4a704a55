#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The fuzz input as Qt bytes (copied: the loaders may keep parts of it).
inline QByteArray FuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}
