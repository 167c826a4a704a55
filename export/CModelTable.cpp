// The writers' entries taking an item model, apart from the writers
// themselves: a QStandardItemModel is Qt Gui's, and the command line writes
// its tables with Qt Core alone.
#include "export/CModelTable.h"

#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"

#include <QStandardItemModel>

int CModelTable::RowCount() const
{
    return m_model.rowCount();
}

int CModelTable::ColumnCount() const
{
    return m_model.columnCount();
}

bool CModelTable::HeaderText(int column, QString* text) const
{
    if (const auto* standard = qobject_cast<const QStandardItemModel*>(&m_model))
    {
        const QStandardItem* item = standard->horizontalHeaderItem(column);
        if (!item)
            return false;
        *text = item->text();
        return true;
    }
    const QVariant value = m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole);
    if (!value.isValid())
        return false;
    *text = value.toString();
    return true;
}

bool CModelTable::ItemText(int row, int column, QString* text) const
{
    const QVariant value = m_model.data(m_model.index(row, column), Qt::DisplayRole);
    if (!value.isValid())
        return false;
    *text = value.toString();
    return true;
}

CResultsSheet CResultsSheet::FromModel(const QAbstractItemModel& model,
                                       const std::function<void(int)>& progress)
{
    return FromTable(CModelTable(model), progress);
}

QByteArray CCsvWriter::Bytes(const QAbstractItemModel& model)
{
    return Bytes(CModelTable(model));
}

CSafeSave::Result CCsvWriter::Save(const QString& path, const QAbstractItemModel& model)
{
    return Save(path, CModelTable(model));
}
