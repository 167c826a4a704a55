#include "report/CReportFile.h"

#include "core/CInputLimits.h"

#include "data/CXmlDataFileParser.h"
#include "data/CXmlKeyFileWriter.h"

#include <QFile>
#include <QFileInfo>

namespace
{
using Field = CReportData::Field;

QString RowKey(int row)
{
    return QStringLiteral("ROW") + QString::number(row);
}
} // namespace

QByteArray CReportFile::Document(const CReportData& report)
{
    CXmlKeyFileWriter writer(RootName());
    auto add = [&writer, &report](Field field)
    { writer.AddValue(CReportData::Key(field), report.Text(field)); };

    for (int f = CReportData::ConclutionNumber; f <= CReportData::MeasurementMethod; ++f)
        add(Field(f));
    // The transducer's serial number is stored a second time here; readers
    // of older files expect the element at both places.
    add(CReportData::PepSerialNumber);
    for (int f = CReportData::ReferenceDescription; f <= CReportData::AccessCardNumber; ++f)
        add(Field(f));
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        writer.AddValue(CReportData::StatisticsKey(row), report.statistics.value(row));
    for (int f = CReportData::Conclusion; f < CReportData::FieldCount; ++f)
        add(Field(f));

    writer.BeginGroup(QStringLiteral("RESULTS_TABLE"));
    for (int r = 0; r < report.rows.size(); ++r)
    {
        QStringList cells;
        for (int column = 0; column < CReportData::kResultColumns; ++column)
            cells << report.Cell(r, column);
        writer.AddValue(RowKey(r + 1), cells.join(QLatin1Char(';')));
    }
    writer.EndGroup();
    return writer.ToBytes();
}

CReportFile::LoadResult CReportFile::Parse(const QByteArray& content, const CReportData& previous)
{
    LoadResult result;
    CXmlDataFileParser parser;
    if (!parser.ParseData(content))
    {
        result.status = LoadResult::ParseFailed;
        result.parserError = parser.errorString();
        return result;
    }
    if (!parser.CheckRootName(RootName()))
    {
        result.status = LoadResult::WrongKind;
        return result;
    }

    result.status = LoadResult::Ok;
    CReportData& report = result.report;
    report = previous;
    for (int f = 0; f < CReportData::FieldCount; ++f)
    {
        const Field field = Field(f);
        const QString value = parser.GetValue(CReportData::Key(field));
        if (CReportData::KindOf(field) != CReportData::DateText)
            report.SetText(field, value);
        else if (const QString date = CReportData::NormalisedDate(value); !date.isEmpty())
            report.SetText(field, date);
    }
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        report.statistics[row] = parser.GetValue(CReportData::StatisticsKey(row));

    // Row n goes to place n - 1: a skipped row between two others stays as
    // an empty row, as it was in the saved table.
    report.rows.clear();
    const int table = parser.FindNode(u"RESULTS_TABLE");
    for (int n = 1; n <= kMaxLoadedRows; ++n)
    {
        const QString value = parser.NodeText(parser.FindChild(table, RowKey(n)));
        if (value.size() < kShortestRow)
            continue;
        while (report.rows.size() < n - 1)
            report.rows.append(QStringList());
        report.rows.append(value.split(QLatin1Char(';'), Qt::KeepEmptyParts));
    }
    return result;
}

CReportFile::LoadResult CReportFile::Load(const QString& path, const CReportData& previous)
{
    // A FIFO or device node would block the read or never end, and no report
    // is anywhere near the key-file limit: such paths are refused unread, as
    // a file that cannot be processed, with the reason naming the limit.
    CInputLimits::ReadResult read = CInputLimits::ReadFile(path, CInputLimits::kKeyFileBytes);
    if (read.status == CInputLimits::Status::OpenFailed)
        return LoadResult{};
    if (!read.Ok())
    {
        LoadResult refused;
        refused.status = LoadResult::ParseFailed;
        refused.parserError = CInputLimits::Reason(read);
        return refused;
    }
    return Parse(read.bytes, previous);
}
