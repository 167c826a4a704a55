// The cell decoder: any text as a stored row, any 23 bytes as a cell from
// the gauge; every text of the results table from it.
#include "data/CCellDecoder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdlib>
#include <cstring>

namespace
{
void Texts(const CellRecord& cell)
{
    MaterialList materials(1);
    std::memset(&materials[0], 0, sizeof(MaterialRecord));
    materials[0].velocity = cell.velocity;
    CCellDecoder::RowTexts(cell, materials);
    CCellDecoder::RowTexts(cell, {});
    CCellDecoder::IsLos(cell);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CellRecord cell;
    if (CCellDecoder::FromBase64(QString::fromUtf8(FuzzBytes(data, size)), &cell))
    {
        Texts(cell);
        // A decoded row encodes back to a row that decodes to the same cell.
        CellRecord again;
        if (!CCellDecoder::FromBase64(CCellDecoder::ToBase64(cell), &again) ||
            std::memcmp(&again, &cell, sizeof(cell)) != 0)
            std::abort();
    }
    if (size >= sizeof(CellRecord))
    {
        std::memcpy(&cell, data, sizeof(cell));
        Texts(cell);
    }
    return 0;
}
