#pragma once

#include "data/CCellDecoder.h"

#include <QList>
#include <QString>
#include <QStringList>

class QStandardItemModel;

// The eleven figures of a statistics table over the thickness values of one
// data file, computed in single precision as the gauge's own papers do.
class CStatistics
{
public:
    enum Row
    {
        CountRow = 0,
        ValidCountRow,
        LosCountRow,
        MinRow,
        MaxRow,
        MeanRow,
        MedianRow,
        RangeRow,
        StdDeviationRow,
        RmsDeviationRow,
        DispersionRow,
        RowCount
    };

    // How far the computation got.
    enum Reach
    {
        NoValidValues, // rows 0-2 only
        OneValidValue, // rows 0-5 and 7
        AllRows
    };

    struct Result
    {
        int count = 0;
        int validCount = 0;
        Reach reach = NoValidValues;
        QString values[RowCount]; // texts of the rows written
        bool written[RowCount] = {};
    };

    // One measurement: its value and the unit the validity rule judges it in.
    struct Reading
    {
        float value = 0.0f;
        CCellDecoder::Unit unit = CCellDecoder::Unit::Millimetres;
    };

    // readings: every measurement (N = readings.size()); LOS readings are
    // counted but left out of the figures.
    static Result Compute(const QList<Reading>& readings);

    // A results-table text read back as a number (the report's input): "."
    // as decimal point whatever the locale; a text that is no number is 0.
    static float ValueFromResultText(const QString& text)
    {
        return CCellDecoder::ValueFromText(text);
    }
    // A reading from the texts of a row's result and units columns.
    static Reading ReadingFromTexts(const QString& resultText, const QString& unitsText)
    {
        return {ValueFromResultText(resultText), CCellDecoder::UnitOfText(unitsText)};
    }

    // Writes the texts of the rows reached into column 2 and centres columns
    // 1 and 2 of every row; rows not reached keep their text.
    static void WriteToModel(QStandardItemModel* model, const Result& result);

    // What a caller shows when the data do not suffice.
    static QString NotEnoughDataLabelText();   // results tab, no valid value
    static QString NotEnoughDataWarningText(); // report, no valid value
    static QString SomeValuesWarningText();    // one valid value
};
