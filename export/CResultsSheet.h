#pragma once

#include "core/CSafeSave.h"

#include <QList>
#include <QString>

#include <functional>

class QAbstractItemModel;
class CTableSource;

// The worksheet a results export produces, independent of the file format:
// the header row in bold, one row per model row, every cell text-formatted
// and centred in a column 15 characters wide, and the result column red when
// its text is no valid thickness. Both workbook writers take this and only
// decide how the bytes look.
class CResultsSheet
{
public:
    enum Style
    {
        Header, // bold, black
        Black,
        Red
    };

    struct Cell
    {
        int row = 0;    // 0-based; row 0 is the header row
        int column = 0; // 0-based
        QString text;
        Style style = Black;
    };

    static constexpr double kColumnWidth = 15.0;

    QString name;     // the worksheet's name
    int rowCount = 0; // header row included
    int columnCount = 0;
    QList<Cell> cells; // row by row, left to right; missing items have none

    // Reads the table: headers of columns 0 … K−1, then every item. progress
    // is called after each data position (row, column), with or without an
    // item, with the number of positions done so far.
    static CResultsSheet FromTable(const CTableSource& table,
                                   const std::function<void(int done)>& progress = {});
    // The same over an item model (CModelTable).
    static CResultsSheet FromModel(const QAbstractItemModel& model,
                                   const std::function<void(int done)>& progress = {});

    // The red rule of the result column: the text read as a single-precision
    // number (a non-number reads as 0) outside the valid range of the unit
    // the row's units column names.
    static bool IsRedResult(const QString& text, const QString& unitsText);

    // "Отчётная таблица".
    static QString SheetName();

    // Writes the workbook in the format its name asks for: Office Open XML for
    // ".xlsx", an Excel 97–2003 workbook for ".xls" and any other name.
    CSafeSave::Result Save(const QString& path) const;
    static bool IsXlsxName(const QString& path);
};
