#pragma once

#include "data/CAnsiText.h"
#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>

// Builders shared by the data suites.
namespace DataTest
{
inline CellRecord Cell(quint8 flags, quint16 intPart, quint8 fracPart, quint16 velocity = 5920,
                       const char* ident = "P112", quint32 serial = 123456, quint16 time = 0x0E05,
                       quint16 date = 0x3A8F, qint8 temperature = 21)
{
    CellRecord c;
    std::memset(&c, 0, sizeof(c));
    c.flags = flags;
    c.intPart = intPart;
    c.fracPart = fracPart;
    c.velocity = velocity;
    std::strncpy(c.pepIdent, ident, sizeof(c.pepIdent));
    c.pepSerial = serial;
    c.time = time;
    c.date = date;
    c.temperature = temperature;
    return c;
}

// A millimetre cell of the given value with two decimals.
inline CellRecord MmCell(double value)
{
    const int hundredths = int(value * 100.0 + 0.5);
    return Cell(0x04, quint16(hundredths / 100), quint8(hundredths % 100));
}

// An inch cell of the given value with two decimals.
inline CellRecord InchCell(double value)
{
    const int hundredths = int(value * 100.0 + 0.5);
    return Cell(0x05, quint16(hundredths / 100), quint8(hundredths % 100));
}

inline DataFileRecord File(const QString& name, const QList<CellRecord>& cells, int records = -1)
{
    DataFileRecord f;
    CAnsiText::Encode(name, f.header.name, 16);
    f.header.records = quint8(records < 0 ? cells.size() : records);
    f.header.serialNumber = 4000000000u;
    f.header.fwVersion = 258;
    f.header.audioIndex = 3;
    f.cells = cells;
    return f;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool SameFiles(const DataFileRecord& a, const DataFileRecord& b)
{
    if (std::memcmp(&a.header, &b.header, sizeof(a.header)) != 0 ||
        a.cells.size() != b.cells.size())
        return false;
    for (int i = 0; i < a.cells.size(); ++i)
        if (std::memcmp(&a.cells.at(i), &b.cells.at(i), sizeof(CellRecord)) != 0)
            return false;
    return true;
}
} // namespace DataTest
