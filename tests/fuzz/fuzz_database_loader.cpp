// The database loader on any bytes, then what the results tab does with
// what it loaded: the files table, each file's cells and statistics.
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "data/CStatistics.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QStandardItemModel>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CDataStorage::LoadResult result = CDataStorage::ParseDatabase(FuzzBytes(data, size));
    if (!result.Succeeded())
        return 0;
    QStandardItemModel files;
    CResultsModels::FillFiles(&files, result.files);
    // The first few files are enough: each is decoded alike.
    for (int i = 0; i < result.files.size() && i < 3; ++i)
    {
        QStandardItemModel cells;
        CResultsModels::ResetResults(&cells);
        const QList<CStatistics::Reading> values =
            CResultsModels::FillResults(&cells, result.files.at(i), {});
        CStatistics::Compute(values);
    }
    // What it loaded is written back the same way.
    CDataStorage::ParseDatabase(CDataStorage::DatabaseDocument(result.files));
    return 0;
}
