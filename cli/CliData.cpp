#include "cli/CliCommands.h"

#include "data/CDataMessages.h"
#include "data/CDataStorage.h"
#include "data/CCellDecoder.h"
#include "data/CResultsModels.h"
#include "data/CStatistics.h"
#include "data/StatisticsRows.h"
#include "tools/CMaterialsCsv.h"

#include <QFileInfo>

namespace
{
// The rows of a table as the results tab shows it, from the texts its
// models are filled with (the models themselves need Qt Gui).
void PrintRow(const QStringList& texts)
{
    CliPrintOut(texts.join(QLatin1Char('\t')));
}

int ShowUsage(const QString& problem)
{
    return CliUsageError(problem);
}
} // namespace

bool CliLoadData(const QString& path, CliDataLoad* load)
{
    const bool dataFile =
        QFileInfo(path).suffix().compare(QLatin1String("kdf"), Qt::CaseInsensitive) == 0;
    load->dataFile = dataFile;
    load->result =
        dataFile ? CDataStorage::LoadDataFile(path) : CDataStorage::LoadDatabaseFile(path);
    const CDataStorage::LoadResult& result = load->result;
    switch (result.status)
    {
    case CDataStorage::LoadResult::OpenFailed:
        CliPrintErr(dataFile ? CDataMessages::DataFileOpenFailed(path)
                             : CDataMessages::DatabaseOpenFailed(path));
        return false;
    case CDataStorage::LoadResult::ParseFailed:
        CliPrintErr(dataFile ? CDataMessages::DataFileParseFailed(path, result.parserError)
                             : CDataMessages::DatabaseParseFailed(path, result.parserError));
        return false;
    case CDataStorage::LoadResult::WrongKind:
        CliPrintErr(dataFile ? CDataMessages::DataFileWrongKind(path)
                             : CDataMessages::DatabaseWrongKind(path));
        return false;
    case CDataStorage::LoadResult::Ok:
        break;
    }
    if (result.truncated)
        CliPrintErr(CDataMessages::DatabaseTooManyFiles());
    // In the window a database reports damaged rows before its tables are
    // filled, a data file after them.
    if (result.damaged && !dataFile)
        CliPrintErr(CDataMessages::DatabaseDamaged());
    return true;
}

void CliDataLoad::ReportDamagedDataFile() const
{
    if (result.damaged && dataFile)
        CliPrintErr(CDataMessages::DataFileDamaged());
}

bool CliLoadMaterials(const QString& path, MaterialList* materials)
{
    const CMaterialsCsv::ReadResult read = CMaterialsCsv::Read(path);
    if (read.status == CMaterialsCsv::ReadResult::NotOpened)
    {
        CliPrintErr(QStringLiteral("Не удалось открыть файл материалов: %1").arg(path));
        return false;
    }
    if (read.status == CMaterialsCsv::ReadResult::Refused)
    {
        CliPrintErr(read.errorText);
        return false;
    }
    // As in the materials editor: the lines before a faulty one are used.
    if (read.status != CMaterialsCsv::ReadResult::Ok)
        CliPrintErr(read.errorText);
    *materials = read.records;
    return true;
}

int CliNoSuchDataFile(int fileNumber, int files)
{
    CliPrintErr(QStringLiteral("No data file %1: the file holds %2").arg(fileNumber).arg(files));
    return CliUsage;
}

// show FILE [--file N] [--materials FILE.csv]: the tables of the results tab
// for a database or data file, with the texts the window shows.
int CliShow(const CliContext& ctx)
{
    QString path;
    QString fileArgument;
    QString materialsPath;
    for (int i = 0; i < ctx.args.size(); ++i)
    {
        const QString& a = ctx.args.at(i);
        if (a == QLatin1String("--file") || a == QLatin1String("--materials"))
        {
            if (i + 1 >= ctx.args.size())
                return ShowUsage(QStringLiteral("%1 needs a value").arg(a));
            (a == QLatin1String("--file") ? fileArgument : materialsPath) = ctx.args.at(++i);
        }
        else if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return ShowUsage(QStringLiteral("Unknown option: %1").arg(a));
        else if (path.isEmpty())
            path = a;
        else
            return ShowUsage(QStringLiteral("Only one file can be shown"));
    }
    if (path.isEmpty())
        return ShowUsage(QStringLiteral("No file given"));

    int fileNumber = 0;
    if (!fileArgument.isEmpty())
    {
        bool ok = false;
        fileNumber = fileArgument.toInt(&ok);
        if (!ok || fileNumber < 1)
            return ShowUsage(QStringLiteral("--file needs a number from 1"));
    }

    MaterialList materials;
    if (!materialsPath.isEmpty() && !CliLoadMaterials(materialsPath, &materials))
        return CliFailure;

    CliDataLoad load;
    if (!CliLoadData(path, &load))
        return CliFailure;
    const CDataStorage::LoadResult& result = load.result;
    const auto reportDamagedDataFile = [&load] { load.ReportDamagedDataFile(); };

    if (fileNumber == 0)
    {
        for (const DataFileRecord& file : result.files)
            PrintRow(CResultsModels::FileRowTexts(file));
        reportDamagedDataFile();
        return CliOk;
    }
    if (fileNumber > result.files.size())
    {
        reportDamagedDataFile();
        return CliNoSuchDataFile(fileNumber, int(result.files.size()));
    }

    const DataFileRecord& file = result.files.at(fileNumber - 1);
    PrintRow(CCellDecoder::Headers());
    QList<CStatistics::Reading> values;
    values.reserve(file.cells.size());
    for (const CellRecord& cell : file.cells)
    {
        PrintRow(CCellDecoder::RowTexts(cell, materials));
        values.append({CCellDecoder::Value(cell), CCellDecoder::UnitOf(cell)});
    }
    CliPrintOut(QString());

    const CStatistics::Result statistics = CStatistics::Compute(values);
    for (int row = 0; row < StatisticsRows::Count; ++row)
        PrintRow({StatisticsRows::Description(row), StatisticsRows::Symbol(row),
                  statistics.written[row] ? statistics.values[row] : StatisticsRows::EmptyValue()});
    if (statistics.reach == CStatistics::NoValidValues)
        CliPrintErr(CStatistics::NotEnoughDataLabelText());
    else if (statistics.reach == CStatistics::OneValidValue)
        CliPrintErr(CStatistics::SomeValuesWarningText());
    reportDamagedDataFile();
    return CliOk;
}
