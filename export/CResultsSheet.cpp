#include "export/CResultsSheet.h"

#include "data/CCellDecoder.h"
#include "export/CBiff8Workbook.h"
#include "export/CXlsxWorkbook.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardItemModel>

// A header counts as missing when the model has no header item there: a
// QStandardItemModel otherwise answers with the column's number.
bool CResultsSheet::HeaderText(const QAbstractItemModel& model, int column, QString* text)
{
    if (const auto* standard = qobject_cast<const QStandardItemModel*>(&model))
    {
        const QStandardItem* item = standard->horizontalHeaderItem(column);
        if (!item)
            return false;
        *text = item->text();
        return true;
    }
    const QVariant value = model.headerData(column, Qt::Horizontal, Qt::DisplayRole);
    if (!value.isValid())
        return false;
    *text = value.toString();
    return true;
}

bool CResultsSheet::ItemText(const QAbstractItemModel& model, int row, int column, QString* text)
{
    const QVariant value = model.data(model.index(row, column), Qt::DisplayRole);
    if (!value.isValid())
        return false;
    *text = value.toString();
    return true;
}

QString CResultsSheet::SheetName()
{
    return QCoreApplication::translate("CResultsExporter", "Отчётная таблица");
}

bool CResultsSheet::IsRedResult(const QString& text, const QString& unitsText)
{
    return !CCellDecoder::IsValidResultText(text.trimmed(), unitsText);
}

CResultsSheet CResultsSheet::FromModel(const QAbstractItemModel& model,
                                       const std::function<void(int)>& progress)
{
    CResultsSheet sheet;
    sheet.name = SheetName();
    sheet.columnCount = model.columnCount();
    sheet.rowCount = model.rowCount() + 1;
    sheet.cells.reserve(sheet.columnCount * sheet.rowCount);

    QString text;
    for (int column = 0; column < sheet.columnCount; ++column)
        if (HeaderText(model, column, &text))
            sheet.cells.append({0, column, text, Header});

    int done = 0;
    for (int row = 0; row + 1 < sheet.rowCount; ++row)
    {
        // The row's units column tells the unit the result is judged in.
        QString units;
        if (CCellDecoder::UnitsColumn < sheet.columnCount)
            ItemText(model, row, CCellDecoder::UnitsColumn, &units);
        for (int column = 0; column < sheet.columnCount; ++column)
        {
            if (ItemText(model, row, column, &text))
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
