#include "device/CCrc16.h"

#include <array>

namespace
{
std::array<quint16, 256> BuildTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i)
    {
        quint16 crc = quint16(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
        table[size_t(i)] = crc;
    }
    return table;
}
} // namespace

quint16 CCrc16::Compute(const void* data, quint16 length)
{
    static const std::array<quint16, 256> table = BuildTable();
    const auto* bytes = static_cast<const quint8*>(data);
    quint16 crc = 0xFFFF;
    for (quint16 i = 0; i < length; ++i)
        crc = quint16((crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}
