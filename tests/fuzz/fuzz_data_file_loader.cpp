// The single data-file loader on any bytes; a loaded file round-trips
// through the writer.
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "data/CStatistics.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QStandardItemModel>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CDataStorage::LoadResult result = CDataStorage::ParseDataFile(FuzzBytes(data, size));
    if (!result.Succeeded())
        return 0;
    if (result.files.size() != 1)
        std::abort();
    const DataFileRecord& file = result.files.first();
    QStandardItemModel cells;
    CResultsModels::ResetResults(&cells);
    CStatistics::Compute(CResultsModels::FillResults(&cells, file, {}));

    // Writing what was read and reading it again gives the same cells.
    const CDataStorage::LoadResult again =
        CDataStorage::ParseDataFile(CDataStorage::DataFileDocument(file, QStringLiteral("F")));
    if (!again.Succeeded() || again.files.size() != 1 ||
        again.files.first().cells.size() != file.cells.size())
        std::abort();
    for (int i = 0; i < file.cells.size(); ++i)
        if (std::memcmp(&again.files.first().cells.at(i), &file.cells.at(i), sizeof(CellRecord)) !=
            0)
            std::abort();
    return 0;
}
