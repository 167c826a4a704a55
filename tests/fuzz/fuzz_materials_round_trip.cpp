// The materials CSV writer and reader together: what the writer makes of
// grid rows or of the gauge's records, the reader gives back unchanged,
// whenever no cell holds a character the format cannot carry.
//
// Input: one mode byte, then either gauge records (20 bytes each, odd mode)
// or grid rows (even mode: lines at '\n', cells at the unit separator 0x1F).
#include "tests/fuzz/FuzzSupport.h"
#include "tools/CMaterialsCsv.h"

#include <cstdlib>
#include <cstring>

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A cell the file keeps as it is: no separator, no line end, no tab (the
// reader drops CR and TAB).
bool Plain(const QString& cell)
{
    for (const QChar c : cell)
        if (c == QLatin1Char(',') || c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\t'))
            return false;
    return true;
}

bool Plain(const QList<CMaterialsCsv::Row>& rows)
{
    for (const CMaterialsCsv::Row& row : rows)
        if (!Plain(row.name) || !Plain(row.velocity) || !Plain(row.coefficient))
            return false;
    return true;
}

// Written and read back: the same rows, and records the reader builds are
// the ones the rows make.
CMaterialsCsv::ReadResult RoundTrip(const QList<CMaterialsCsv::Row>& rows)
{
    const QByteArray bytes = CMaterialsCsv::ToBytes(rows);
    CMaterialsCsv::ReadResult read = CMaterialsCsv::ReadBytes(bytes);
    Check(read.records.size() == read.rows.size());
    if (!Plain(rows))
        return read;
    Check(read.status == CMaterialsCsv::ReadResult::Ok);
    Check(read.rows == rows);
    // Written again, the same bytes.
    Check(CMaterialsCsv::ToBytes(read.rows) == bytes);
    return read;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 64 * 1024)
        return 0;
    const QByteArray input = FuzzBytes(data + 1, size - 1);

    if (data[0] & 1)
    {
        // The gauge's records through the grid to the file and back.
        MaterialList records;
        for (qsizetype at = 0; at + qsizetype(sizeof(MaterialRecord)) <= input.size();
             at += sizeof(MaterialRecord))
        {
            MaterialRecord r;
            std::memcpy(&r, input.constData() + at, sizeof(r));
            records.append(r);
        }
        const QList<CMaterialsCsv::Row> rows = CMaterialsCsv::RecordsToRows(records);
        // A table read from the gauge can always be put back as it is.
        for (qsizetype i = 0; i < rows.size(); ++i)
            Check(CMaterialsCsv::ChangedValues(rows.at(i), int(i) + 1).isEmpty());
        const CMaterialsCsv::ReadResult read = RoundTrip(rows);
        if (!Plain(rows))
            return 0;
        Check(read.records.size() == records.size());
        for (qsizetype i = 0; i < records.size(); ++i)
        {
            // The coefficient survives its text exactly; the grid's texts
            // are what the gauge would be sent.
            Check(read.records.at(i).tempCoefficient == records.at(i).tempCoefficient);
            Check(CMaterialsCsv::RecordToRow(read.records.at(i)) == rows.at(i));
        }
        return 0;
    }

    // Grid rows as typed.
    QList<CMaterialsCsv::Row> rows;
    const QString text = QString::fromUtf8(input);
    if (!text.isEmpty())
        for (const QString& line : text.split(QLatin1Char('\n')))
        {
            const QStringList cells = line.split(QChar(0x1F));
            rows.append({cells.value(0), cells.value(1), cells.value(2)});
        }
    const CMaterialsCsv::ReadResult read = RoundTrip(rows);
    // Rows the command line would send as written are sent as written.
    bool unchanged = rows.size() <= CMaterialsCsv::kMaxGaugeRecords;
    for (qsizetype i = 0; i < rows.size() && unchanged; ++i)
    {
        unchanged = CMaterialsCsv::ChangedValues(rows.at(i), int(i) + 1).isEmpty();
        if (unchanged)
            Check(CMaterialsCsv::CorrectRow(rows.at(i)) == rows.at(i));
    }
    MaterialList list;
    QString error;
    if (unchanged)
        Check(CMaterialsCsv::RowsToGaugeList(rows, &list, &error));
    Q_UNUSED(read);
    return 0;
}
