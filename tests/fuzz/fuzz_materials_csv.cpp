// The materials CSV reader on any bytes, then the grid's conversions that
// the editor and the command line apply to what it read.
#include "tools/CMaterialsCsv.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CMaterialsCsv::ReadResult result = CMaterialsCsv::ReadBytes(FuzzBytes(data, size));
    QList<CMaterialsCsv::Row> rows = CMaterialsCsv::RecordsToRows(result.records);
    for (CMaterialsCsv::Row& row : rows)
        row = CMaterialsCsv::CorrectRow(row);
    MaterialList list;
    QString error;
    CMaterialsCsv::RowsToGaugeList(rows, &list, &error);
    CMaterialsCsv::ReadBytes(CMaterialsCsv::ToBytes(rows));
    return 0;
}
