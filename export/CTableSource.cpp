#include "export/CTableSource.h"

namespace
{
bool Read(const QList<std::optional<QString>>& cells, int column, QString* text)
{
    if (column < 0 || column >= cells.size() || !cells.at(column))
        return false;
    *text = *cells.at(column);
    return true;
}
} // namespace

bool CTextTable::HeaderText(int column, QString* text) const
{
    return column < m_columns && Read(m_headers, column, text);
}

bool CTextTable::ItemText(int row, int column, QString* text) const
{
    return row >= 0 && row < m_rows.size() && column < m_columns &&
           Read(m_rows.at(row), column, text);
}

void CTextTable::SetColumnCount(int columns)
{
    m_columns = std::max(columns, 0);
    // Narrowing drops what lay beyond, as a model drops those columns.
    if (m_headers.size() > m_columns)
        m_headers.resize(m_columns);
    for (Cells& row : m_rows)
        if (row.size() > m_columns)
            row.resize(m_columns);
}

void CTextTable::SetRowCount(int rows)
{
    m_rows.resize(std::max(rows, 0));
}

void CTextTable::Put(Cells& cells, int column, const QString& text)
{
    if (cells.size() <= column)
        cells.resize(column + 1);
    cells[column] = text;
}

void CTextTable::SetHeaders(const QStringList& headers)
{
    m_columns = std::max(m_columns, int(headers.size()));
    for (int c = 0; c < headers.size(); ++c)
        Put(m_headers, c, headers.at(c));
}

void CTextTable::SetRow(int row, const QStringList& texts)
{
    if (row < 0)
        return;
    if (row >= m_rows.size())
        m_rows.resize(row + 1);
    m_columns = std::max(m_columns, int(texts.size()));
    Cells& cells = m_rows[row];
    cells.reserve(m_columns);
    for (int c = 0; c < texts.size(); ++c)
        Put(cells, c, texts.at(c));
}

void CTextTable::SetItem(int row, int column, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    if (row >= m_rows.size())
        m_rows.resize(row + 1);
    m_columns = std::max(m_columns, column + 1);
    Put(m_rows[row], column, text);
}
