#include "export/CXlsxWorkbook.h"

#include "export/CResultsSheet.h"

#include <QFile>

#include <xlsxwriter.h>

namespace
{
// The limits of the file format; a sheet beyond them is not written at all
// rather than cut.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

lxw_format* CellFormat(lxw_workbook* workbook, CResultsSheet::Style style)
{
    lxw_format* format = workbook_add_format(workbook);
    format_set_num_format(format, "@");
    format_set_align(format, LXW_ALIGN_CENTER);
    format_set_font_color(format, style == CResultsSheet::Red ? LXW_COLOR_RED : LXW_COLOR_BLACK);
    if (style == CResultsSheet::Header)
        format_set_bold(format);
    return format;
}
} // namespace

bool CXlsxWorkbook::WriteFile(const QString& path, const CResultsSheet& sheet)
{
    if (sheet.rowCount > kMaxRows || sheet.columnCount > kMaxColumns)
        return false;
    lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
    if (!workbook)
        return false;
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.toUtf8().constData());
    if (!worksheet)
    {
        workbook_close(workbook);
        return false;
    }
    lxw_format* formats[] = {CellFormat(workbook, CResultsSheet::Header),
                             CellFormat(workbook, CResultsSheet::Black),
                             CellFormat(workbook, CResultsSheet::Red)};
    bool ok = true;
    if (sheet.columnCount > 0)
        ok = worksheet_set_column(worksheet, 0, lxw_col_t(sheet.columnCount - 1),
                                  CResultsSheet::kColumnWidth, nullptr) == LXW_NO_ERROR;
    for (const CResultsSheet::Cell& cell : sheet.cells)
    {
        if (!ok)
            break;
        // An empty text becomes a formatted blank cell: the library writes
        // no empty strings.
        ok = worksheet_write_string(worksheet, lxw_row_t(cell.row), lxw_col_t(cell.column),
                                    cell.text.toUtf8().constData(),
                                    formats[cell.style]) == LXW_NO_ERROR;
    }
    // Closing writes the file; it also frees the workbook after a failure.
    const lxw_error closed = workbook_close(workbook);
    return ok && closed == LXW_NO_ERROR;
}

CSafeSave::Result CXlsxWorkbook::Save(const QString& path, const CResultsSheet& sheet)
{
    return CSafeSave::WriteWith(path, [&sheet](const QString& tempPath)
                                { return WriteFile(tempPath, sheet); });
}
