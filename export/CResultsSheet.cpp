#include "export/CResultsSheet.h"

#include "data/CCellDecoder.h"
#include "export/CBiff8Workbook.h"
#include "export/CXlsxWorkbook.h"

#include "export/CTableSource.h"

#include <QCoreApplication>
#include <QFileInfo>

QString CResultsSheet::SheetName()
{
    return QCoreApplication::translate("CResultsExporter", "Отчётная таблица");
}

bool CResultsSheet::IsRedResult(const QString& text, const QString& unitsText)
{
    return !CCellDecoder::IsValidResultText(text.trimmed(), unitsText);
}

CResultsSheet CResultsSheet::FromTable(const CTableSource& table,
                                       const std::function<void(int)>& progress)
{
    CResultsSheet sheet;
    sheet.name = SheetName();
    sheet.columnCount = table.ColumnCount();
    sheet.rowCount = table.RowCount() + 1;
    sheet.cells.reserve(sheet.columnCount * sheet.rowCount);

    QString text;
    for (int column = 0; column < sheet.columnCount; ++column)
        if (table.HeaderText(column, &text))
            sheet.cells.append({0, column, text, Header});

    int done = 0;
    for (int row = 0; row + 1 < sheet.rowCount; ++row)
    {
        // The row's units column tells the unit the result is judged in.
        QString units;
        if (CCellDecoder::UnitsColumn < sheet.columnCount)
            table.ItemText(row, CCellDecoder::UnitsColumn, &units);
        for (int column = 0; column < sheet.columnCount; ++column)
        {
            if (table.ItemText(row, column, &text))
            {
                const Style style =
                    (column == CCellDecoder::ResultColumn && IsRedResult(text, units)) ? Red
                                                                                       : Black;
                sheet.cells.append({row + 1, column, text, style});
            }
            if (progress)
                progress(++done);
        }
    }
    return sheet;
}

bool CResultsSheet::IsXlsxName(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0;
}

CSafeSave::Result CResultsSheet::Save(const QString& path) const
{
    if (IsXlsxName(path))
        return CXlsxWorkbook::Save(path, *this);
    return CBiff8Workbook::Save(path, *this);
}
