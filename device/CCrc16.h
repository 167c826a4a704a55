#pragma once

#include <QtGlobal>

// CRC-16/MCRF4XX (reflected 0x1021, init 0xFFFF, no final XOR), the checksum
// of every frame and of the transducer memory image.
namespace CCrc16
{
quint16 Compute(const void* data, quint16 length);
}

// The name the rest of the program uses.
inline quint16 Crc16(const void* data, quint16 length)
{
    return CCrc16::Compute(data, length);
}
