#include "data/CResultsModels.h"

#include "data/CCellDecoder.h"

#include <QSignalBlocker>
#include <QStandardItemModel>

void CResultsModels::FillFiles(QStandardItemModel* model, const DataFileList& files)
{
    if (!model)
        return;
    model->clear();
    model->setColumnCount(2);
    model->setHorizontalHeaderLabels(FilesHeaders());
    for (int i = 0; i < files.size(); ++i)
    {
        const QStringList texts = FileRowTexts(files.at(i));
        auto* name = new QStandardItem(texts.at(0));
        name->setTextAlignment(Qt::AlignRight);
        auto* count = new QStandardItem(texts.at(1));
        count->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        const QString tip = FileRowToolTip(files.at(i));
        name->setToolTip(tip);
        count->setToolTip(tip);
        model->setItem(i, 0, name);
        model->setItem(i, 1, count);
    }
}

void CResultsModels::UpdateFileCounts(QStandardItemModel* model, const DataFileList& files)
{
    if (!model)
        return;
    if (model->rowCount() != files.size() || model->columnCount() != 2)
    {
        FillFiles(model, files);
        return;
    }
    for (int i = 0; i < files.size(); ++i)
    {
        const QString count = FileRowTexts(files.at(i)).at(1);
        const QString tip = FileRowToolTip(files.at(i));
        if (QStandardItem* item = model->item(i, 1))
        {
            item->setText(count);
            item->setToolTip(tip);
        }
        if (QStandardItem* item = model->item(i, 0))
            item->setToolTip(tip);
    }
}

void CResultsModels::ResetResults(QStandardItemModel* model)
{
    if (!model)
        return;
    model->clear();
    model->setColumnCount(CCellDecoder::ColumnCount);
    model->setHorizontalHeaderLabels(CCellDecoder::Headers());
}

QList<CStatistics::Reading> CResultsModels::FillResults(QStandardItemModel* model,
                                                        const DataFileRecord& file,
                                                        const MaterialList& materials)
{
    QList<CStatistics::Reading> values;
    if (!model)
        return values;
    values.reserve(file.cells.size());
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    const int first = model->rowCount();
    model->setRowCount(first + int(file.cells.size()));
    if (file.cells.isEmpty())
        return values;
    // One change notice for the whole table instead of one per item: an
    // attached view otherwise handles some 2300 of them for a full file.
    QSignalBlocker quiet(model);
    for (int c = 0; c < file.cells.size(); ++c)
    {
        const CellRecord& cell = file.cells.at(c);
        const QStringList texts = CCellDecoder::RowTexts(cell, materials);
        const CStatistics::Reading reading{CCellDecoder::Value(cell), CCellDecoder::UnitOf(cell)};
        const bool los = !CCellDecoder::IsValidValue(reading.value, reading.unit);
        for (int column = 0; column < texts.size(); ++column)
        {
            auto* item = new QStandardItem(texts.at(column));
            item->setTextAlignment(centred);
            if (column == CCellDecoder::ResultColumn && los)
                item->setBackground(QBrush(LosBackground()));
            model->setItem(first + c, column, item);
        }
        values.append(reading);
    }
    quiet.unblock();
    emit model->dataChanged(model->index(first, 0),
                            model->index(model->rowCount() - 1, model->columnCount() - 1));
    return values;
}
