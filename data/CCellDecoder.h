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

    enum class Unit
    {
        Millimetres,
        Inches
    };

    static int Decimals(const CellRecord& cell) { return (cell.flags >> 1) & 3; }
    static bool IsInches(const CellRecord& cell) { return (cell.flags & 1) != 0; }
    static Unit UnitOf(const CellRecord& cell)
    {
        return IsInches(cell) ? Unit::Inches : Unit::Millimetres;
    }
    // The unit a units-column text names: inches for "дюйм", millimetres for
    // anything else.
    static Unit UnitOfText(const QString& unitsText);

    // Thickness in single precision: integer part plus tenths or hundredths.
    static float Value(const CellRecord& cell);
    // A result text read back as a number: "." as decimal point whatever the
    // locale; a text that is no number reads as 0.
    static float ValueFromText(const QString& resultText);

    // The gauge measures walls of 0.4 to 600 mm. A value counts when it lies
    // within that range in its own unit: 0.4 ... 600 for millimetres,
    // 0.4/25.4 ... 600/25.4 for inches, both bounds inclusive and compared in
    // single precision. Any other value is a LOS reading.
    static float LowerBound(Unit unit);
    static float UpperBound(Unit unit);
    static bool IsValidValue(float value, Unit unit);
    static bool IsLos(const CellRecord& cell) { return !IsValidValue(Value(cell), UnitOf(cell)); }
    // The same rule over a results-table row's texts (result and units
    // columns), for readers that only have the texts.
    static bool IsValidResultText(const QString& resultText, const QString& unitsText)
    {
        return IsValidValue(ValueFromText(resultText), UnitOfText(unitsText));
    }

    static QString ResultText(const CellRecord& cell);
    static QString UnitsText(const CellRecord& cell);
    static QString MillimetresText(); // "мм"
    static QString InchesText();      // "дюйм"
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
