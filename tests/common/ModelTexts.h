#pragma once

#include <QStandardItemModel>
#include <QStringList>

// The texts a table model shows, row by row or column by column.
namespace ModelTexts
{
inline QStringList Row(const QStandardItemModel* model, int row)
{
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->index(row, column).data().toString();
    return texts;
}

inline QStringList Column(const QStandardItemModel* model, int column)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}
} // namespace ModelTexts
