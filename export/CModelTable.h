#pragma once

#include "export/CTableSource.h"

class QAbstractItemModel;

// An item model read as a table for the writers: the display texts of its
// headers and items, counts read anew at every call. A QStandardItemModel
// without a header item has no header there (it would otherwise answer with
// the column's number).
class CModelTable : public CTableSource
{
public:
    explicit CModelTable(const QAbstractItemModel& model) : m_model(model) {}
    int RowCount() const override;
    int ColumnCount() const override;
    bool HeaderText(int column, QString* text) const override;
    bool ItemText(int row, int column, QString* text) const override;

private:
    const QAbstractItemModel& m_model;
};
