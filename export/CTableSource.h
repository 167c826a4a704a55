#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the CSV and workbook writers read: a table of texts in which a
// position may hold no item at all (written as nothing, unlike an empty
// text). The window hands its item models over through CModelTable; the
// command line fills a CTextTable, which needs nothing beyond Qt Core.
class CTableSource
{
public:
    virtual ~CTableSource() = default;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    // False where the table has no header or item.
    virtual bool HeaderText(int column, QString* text) const = 0;
    virtual bool ItemText(int row, int column, QString* text) const = 0;
};

// A table held as plain texts. Its setters grow it as an item model's do: a
// header or item beyond the last column adds columns, one beyond the last row
// adds rows; what was never set stays missing.
class CTextTable : public CTableSource
{
public:
    int RowCount() const override { return int(m_rows.size()); }
    int ColumnCount() const override { return m_columns; }
    bool HeaderText(int column, QString* text) const override;
    bool ItemText(int row, int column, QString* text) const override;

    void SetColumnCount(int columns);
    void SetRowCount(int rows);
    // Headers of columns 0 … size − 1.
    void SetHeaders(const QStringList& headers);
    // Items of columns 0 … size − 1 of one row.
    void SetRow(int row, const QStringList& texts);
    void SetItem(int row, int column, const QString& text);

private:
    using Cells = QList<std::optional<QString>>;
    static void Put(Cells& cells, int column, const QString& text);

    int m_columns = 0;
    Cells m_headers;
    QList<Cells> m_rows;
};
