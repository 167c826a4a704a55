#pragma once

#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Turns a measurement cell into its thickness value and into the display
// texts every table, report and export of the program uses, and converts a
// cell to and from its text form in the XML files.
class CCellDecoder
{
public:
    // Result table columns.
    enum Column
    {
        ResultColumn = 0,
        UnitsColumn,
        MaterialColumn,
        VelocityColumn,
        PepIdentColumn,
        PepSerialColumn,
        TemperatureColumn,
        TimeColumn,
        DateColumn,
        ColumnCount
    };

    static int Decimals(const CellRecord& cell) { return (cell.flags >> 1) & 3; }
    static bool IsInches(const CellRecord& cell) { return (cell.flags & 1) != 0; }

    // Thickness in single precision: integer part plus tenths or hundredths.
    static float Value(const CellRecord& cell);

    // A value counts when 0.4 <= value <= 600.0 (both in single precision);
    // any other value is a LOS reading.
    static bool IsValidValue(float value);
    static bool IsLos(const CellRecord& cell) { return !IsValidValue(Value(cell)); }

    static QString ResultText(const CellRecord& cell);
    static QString UnitsText(const CellRecord& cell);
    static QString MaterialText(const CellRecord& cell, const MaterialList& materials);
    static QString VelocityText(const CellRecord& cell);
    static QString PepIdentText(const CellRecord& cell);
    static QString PepSerialText(const CellRecord& cell);
    static QString TemperatureText(const CellRecord& cell);
    static QString TimeText(const CellRecord& cell);
    static QString DateText(const CellRecord& cell);

    // The nine texts of a results table row, in column order.
    static QStringList RowTexts(const CellRecord& cell, const MaterialList& materials);
    static QStringList Headers();
    static QString NoMaterialText(); // "Н/Д"

    // Base64 of the 23 bytes (32 characters ending in one "=").
    static QString ToBase64(const CellRecord& cell);
    // Accepts the text only when it decodes to exactly 23 bytes.
    static bool FromBase64(const QString& text, CellRecord* cell);
};
