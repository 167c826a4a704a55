#include "export/CResultsTable.h"

#include "data/CCellDecoder.h"

CTextTable CResultsTable::Of(const DataFileRecord& file, const MaterialList& materials)
{
    CTextTable table;
    table.SetColumnCount(CCellDecoder::ColumnCount);
    table.SetHeaders(CCellDecoder::Headers());
    table.SetRowCount(int(file.cells.size()));
    for (int c = 0; c < file.cells.size(); ++c)
        table.SetRow(c, CCellDecoder::RowTexts(file.cells.at(c), materials));
    return table;
}
