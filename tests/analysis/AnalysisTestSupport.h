#pragma once

#include "data/CAnsiText.h"
#include "data/GaugeRecords.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <cstring>

// Data files written the way a reader of the tests writes them down:
// "9.20" a millimetre reading, "0.36in" an inch reading, "LOS" a lost one,
// each optionally followed by "@yyyy-MM-dd" (the file's date otherwise) or
// "@-" (no date in the cell).
namespace AnalysisTest
{
inline quint16 PackDate(const QDate& date)
{
    if (!date.isValid())
        return 0;
    return quint16(((date.year() - 2000) << 9) | (date.month() << 5) | date.day());
}

inline CellRecord Cell(const QString& text, const QDate& fileDate)
{
    CellRecord c;
    std::memset(&c, 0, sizeof(c));
    QString value = text.section(QLatin1Char('@'), 0, 0);
    const QString when = text.section(QLatin1Char('@'), 1);
    QDate date = fileDate;
    if (when == QLatin1String("-"))
        date = QDate();
    else if (!when.isEmpty())
        date = QDate::fromString(when, Qt::ISODate);
    const bool inches = value.endsWith(QLatin1String("in"));
    if (inches)
        value.chop(2);
    if (value == QLatin1String("LOS"))
        value = QStringLiteral("0.00");
    const int dot = int(value.indexOf(QLatin1Char('.')));
    const int decimals = dot < 0 ? 0 : int(value.size()) - dot - 1;
    c.flags = quint8((inches ? 1 : 0) | (decimals << 1));
    c.intPart = quint16(value.left(dot < 0 ? value.size() : dot).toUInt());
    c.fracPart = quint8(dot < 0 ? 0 : value.mid(dot + 1).toUInt());
    c.velocity = 5920;
    std::strncpy(c.pepIdent, "P112", sizeof(c.pepIdent));
    c.time = quint16((9 << 8) | 30);
    c.date = PackDate(date);
    c.temperature = 20;
    return c;
}

inline DataFileRecord File(const QString& name, const QStringList& texts,
                           const QDate& date = QDate(2020, 1, 1))
{
    DataFileRecord f;
    CAnsiText::Encode(name, f.header.name, 16);
    for (const QString& text : texts)
        f.cells.append(Cell(text, date));
    f.header.records = quint8(f.cells.size());
    f.header.serialNumber = 31337;
    f.header.fwVersion = 258;
    return f;
}
} // namespace AnalysisTest
