#include "analysis/CHistoryCsv.h"

#include "analysis/CObjectHistory.h"
#include "export/CCsvWriter.h"

#include <QStandardItemModel>

namespace
{
// The CSV writer leaves out what the model has no item for: the empty line
// is a row without items, a summary line a row with only its first item.
void FillModel(const CObjectHistory& history, QStandardItemModel* model)
{
    const QStringList headers = history.Headers();
    const QStringList summary = history.SummaryLines();
    const int locations = int(history.Locations().size());
    model->setColumnCount(int(headers.size()));
    model->setHorizontalHeaderLabels(headers);
    model->setRowCount(locations + (summary.isEmpty() ? 0 : 1 + int(summary.size())));
    for (int row = 0; row < locations; ++row)
    {
        const QStringList texts = history.RowTexts(row);
        for (int column = 0; column < texts.size() && column < headers.size(); ++column)
            model->setItem(row, column, new QStandardItem(texts.at(column)));
    }
    for (int i = 0; i < summary.size(); ++i)
        model->setItem(locations + 1 + i, 0, new QStandardItem(summary.at(i)));
}
} // namespace

QByteArray CHistoryCsv::Bytes(const CObjectHistory& history)
{
    QStandardItemModel model;
    FillModel(history, &model);
    return CCsvWriter::Bytes(model);
}

CSafeSave::Result CHistoryCsv::Save(const QString& path, const CObjectHistory& history)
{
    return CSafeSave::WriteBytes(path, Bytes(history));
}
