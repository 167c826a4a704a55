#pragma once

#include "tests/common/TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Helpers of the transducer memory, transducer list and screenshot suites.

// CRC-16/MCRF4XX bit by bit, independent of the program's table-driven
// routine: reflected 0x1021 (0x8408), initial FFFF, no final XOR.
inline quint16 BitwiseCrc(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes)
    {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return crc;
}

// A 128-byte transducer image with its checksum (bytes 126-127) set.
inline QByteArray WithCrc(QByteArray image)
{
    image[126] = 0;
    image[127] = 0;
    const quint16 crc = BitwiseCrc(image);
    image[126] = char(crc & 0xFF);
    image[127] = char(crc >> 8);
    return image;
}

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A 256 x 128 picture as an uncompressed 24-bit BMP: 54-byte header, rows of
// 768 bytes.
inline bool IsPlainBmp256x128(const QByteArray& bytes)
{
    return bytes.startsWith("BM") && bytes.size() == 54 + 768 * 128 && quint8(bytes[28]) == 24 &&
           quint8(bytes[30]) == 0;
}
