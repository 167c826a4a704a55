#include "cli/CliCommands.h"

#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "data/CResultsModels.h"
#include "report/CReportDocument.h"
#include "report/CReportFile.h"
#include "report/CReportMessages.h"

#include <QCoreApplication>
#include <QStandardItemModel>

namespace
{
struct ReportArguments
{
    QString reportPath;
    QString dataPath;
    QString fileArgument;
    QString htmlPath;
    QString pdfPath;
};

// Empty text when the arguments are complete, otherwise what is wrong.
QString ParseArguments(const QStringList& args, ReportArguments* parsed)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const QString& a = args.at(i);
        QString* value = nullptr;
        if (a == QLatin1String("--data"))
            value = &parsed->dataPath;
        else if (a == QLatin1String("--file"))
            value = &parsed->fileArgument;
        else if (a == QLatin1String("--html"))
            value = &parsed->htmlPath;
        else if (a == QLatin1String("--pdf"))
            value = &parsed->pdfPath;
        else if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return QStringLiteral("Unknown option: %1").arg(a);
        else if (parsed->reportPath.isEmpty())
        {
            parsed->reportPath = a;
            continue;
        }
        else
            return QStringLiteral("Only one report file can be given");

        if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
            return QStringLiteral("%1 needs a value").arg(a);
        if (!value->isEmpty())
            return QStringLiteral("%1 given twice").arg(a);
        *value = args.at(++i);
    }
    if (parsed->reportPath.isEmpty())
        return QStringLiteral("No report file given");
    if (parsed->htmlPath.isEmpty() == parsed->pdfPath.isEmpty())
        return QStringLiteral("Give one of --html OUT and --pdf OUT");
    if (parsed->dataPath.isEmpty() != parsed->fileArgument.isEmpty())
        return QStringLiteral("--data and --file go together");
    return {};
}
} // namespace

// report FILE.krf [--data FILE --file N] (--html OUT | --pdf OUT): the report
// document as the preview generates it, written as HTML or PDF.
int CliReport(const CliContext& ctx)
{
    ReportArguments args;
    const QString problem = ParseArguments(ctx.args, &args);
    if (!problem.isEmpty())
        return CliUsageError(problem);
    int fileNumber = 0;
    if (!args.fileArgument.isEmpty())
    {
        bool ok = false;
        fileNumber = args.fileArgument.toInt(&ok);
        if (!ok || fileNumber < 1)
            return CliUsageError(QStringLiteral("--file needs a number from 1"));
    }
    // An output that cannot be written is told before any work is done.
    const QString out = args.htmlPath.isEmpty() ? args.pdfPath : args.htmlPath;
    if (const QString reason = CliCheckWritable(out); !reason.isEmpty())
    {
        CliPrintErr(reason);
        return CliFailure;
    }

    const CReportFile::LoadResult loaded = CReportFile::Load(args.reportPath);
    switch (loaded.status)
    {
    case CReportFile::LoadResult::OpenFailed:
        CliPrintErr(CReportMessages::OpenFailed(args.reportPath));
        return CliFailure;
    case CReportFile::LoadResult::ParseFailed:
        CliPrintErr(CReportMessages::ParseFailed(args.reportPath, loaded.parserError));
        return CliFailure;
    case CReportFile::LoadResult::WrongKind:
        CliPrintErr(CReportMessages::WrongKind(args.reportPath));
        return CliFailure;
    case CReportFile::LoadResult::Ok:
        break;
    }
    CReportData report = loaded.report;

    // The results of a data file replace both report tables, as the
    // "Результаты" page does; the gauge and transducer fields stay as stored.
    if (!args.dataPath.isEmpty())
    {
        CliDataLoad load;
        if (!CliLoadData(args.dataPath, &load))
            return CliFailure;
        if (fileNumber > load.result.files.size())
        {
            load.ReportDamagedDataFile();
            return CliNoSuchDataFile(fileNumber, int(load.result.files.size()));
        }
        const DataFileRecord& file = load.result.files.at(fileNumber - 1);
        QStandardItemModel results;
        CResultsModels::ResetResults(&results);
        CResultsModels::FillResults(&results, file, MaterialList());
        report.rows = CReportData::ResultRows(results, CDataStorage::FileName(file));
        const CStatistics::Result statistics = CReportData::RowStatistics(report.rows);
        report.SetStatistics(statistics);
        if (statistics.reach == CStatistics::NoValidValues)
            CliPrintErr(CStatistics::NotEnoughDataWarningText());
        else if (statistics.reach == CStatistics::OneValidValue)
            CliPrintErr(CStatistics::SomeValuesWarningText());
        load.ReportDamagedDataFile();
    }

    const QString html = CReportDocument::Generate(
        CReportDocument::Template(), report, CClock::Today(), QCoreApplication::applicationName());
    const CSafeSave::Result written = args.htmlPath.isEmpty()
                                          ? CReportDocument::WritePdf(html, out)
                                          : CSafeSave::WriteBytes(out, html.toUtf8());
    if (!written.Ok())
    {
        CliPrintErr(CSafeSave::Describe(out, written));
        return CliFailure;
    }
    return CliOk;
}
