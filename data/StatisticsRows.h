#pragma once

#include <QString>
#include <QStringList>

class QStandardItemModel;

// The eleven rows of a statistics table (results tab and report): what each
// row means and the symbol shown beside it. The values are written by the
// statistics computation into column 2.
namespace StatisticsRows
{
inline constexpr int Count = 11;
inline constexpr int Columns = 3;

QString Description(int row);
QString Symbol(int row);
QStringList Headers();
QString EmptyValue(); // "н/д"

// Clears the model and sets it to the reset state: three headers, eleven rows
// of description, symbol and "н/д"; columns 1 and 2 centred.
void Fill(QStandardItemModel* model);
} // namespace StatisticsRows
