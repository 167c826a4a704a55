// The report file reader on any bytes; what it read is written back and read
// again, as a save after a load does.
#include "report/CReportFile.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CReportFile::LoadResult result = CReportFile::Parse(FuzzBytes(data, size));
    if (result.Succeeded())
        CReportFile::Parse(CReportFile::Document(result.report), result.report);
    return 0;
}
