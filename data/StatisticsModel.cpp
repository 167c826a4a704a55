// The statistics table's model, apart from its texts and the computation:
// the command line prints those without Qt Gui, where the models live.
#include "data/CStatistics.h"
#include "data/StatisticsRows.h"

#include <QStandardItemModel>

void StatisticsRows::Fill(QStandardItemModel* model)
{
    if (!model)
        return;
    model->clear();
    model->setColumnCount(Columns);
    model->setRowCount(Count);
    model->setHorizontalHeaderLabels(Headers());
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int row = 0; row < Count; ++row)
    {
        model->setItem(row, 0, new QStandardItem(Description(row)));
        auto* symbol = new QStandardItem(Symbol(row));
        symbol->setTextAlignment(centred);
        model->setItem(row, 1, symbol);
        auto* value = new QStandardItem(EmptyValue());
        value->setTextAlignment(centred);
        model->setItem(row, 2, value);
    }
}

void CStatistics::WriteToModel(QStandardItemModel* model, const Result& result)
{
    if (!model)
        return;
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int row = 0; row < RowCount && row < model->rowCount(); ++row)
    {
        if (result.written[row])
        {
            QStandardItem* item = model->item(row, 2);
            if (!item)
            {
                item = new QStandardItem;
                model->setItem(row, 2, item);
            }
            item->setText(result.values[row]);
        }
        // Centred whether or not the computation reached the row, so a short
        // file does not leave its value column ragged.
        for (int column = 1; column <= 2; ++column)
            if (QStandardItem* item = model->item(row, column))
                item->setTextAlignment(centred);
    }
}
