#include "cli/CliCommands.h"

#include "analysis/CSurveyComparison.h"
#include "data/CDataStorage.h"
#include "export/CCsvWriter.h"
#include "export/CTableSource.h"

#include <cmath>
#include <memory>

namespace
{
struct AnalyseArguments
{
    QString path, fileArgument;
    QString previousPath, previousFileArgument;
    QString required, nominal, interval;
    QString csvPath, pngPath;
};

// A thickness or a number of years as typed: "8.5" or "8,5", above zero.
bool ParsePositive(const QString& text, double* value)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0.0)
        return false;
    *value = v;
    return true;
}

bool ParseFileNumber(const QString& text, int* number)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        return false;
    *number = n;
    return true;
}

// The data file `number` of a loaded file, or the usage error when there is
// no such file (after the damage note a data file owes).
const DataFileRecord* PickFile(const CliDataLoad& load, int number, int* exitCode)
{
    const DataFileList& files = load.result.files;
    if (number > files.size())
    {
        load.ReportDamagedDataFile();
        *exitCode = CliNoSuchDataFile(number, int(files.size()));
        return nullptr;
    }
    return &files.at(number - 1);
}

// The table is written with Qt Core alone, laid out as the analysis tab's
// model (CSurveyComparison::FillModel) lays it out.
bool WriteCsv(const QString& path, const CSurveyComparison& comparison)
{
    CTextTable table;
    table.SetHeaders(comparison.Headers());
    table.SetRowCount(int(comparison.Rows().size()));
    for (int row = 0; row < comparison.Rows().size(); ++row)
        table.SetRow(row, comparison.RowTexts(row));
    const CSafeSave::Result saved = CCsvWriter::Save(path, table);
    if (!saved.Ok())
    {
        CliPrintErr(CSafeSave::Describe(path, saved));
        return false;
    }
    return true;
}
} // namespace

// The chart takes Widgets (it is a graphics widget): only the drawing module
// draws it, and the program hands every analyse with --png to it.
#if KORVALENT_CLI_DRAWS
#include "analysis/CAnalysisChart.h"
#include "export/CPngWriter.h"

namespace
{
// The chart of the analysis tab, drawn off screen (the module made the
// application a widget one for this).
bool WritePng(const QString& path, const DataFileRecord& current, const DataFileRecord* previous,
              const CSurveyComparison::Options& options)
{
    CAnalysisChart chart;
    chart.SetData(current, CDataStorage::FileName(current), options, previous,
                  previous ? CDataStorage::FileName(*previous) : QString());
    const CSafeSave::Result saved = CPngWriter::Save(path, [&chart] { return chart.Render(); });
    if (!saved.Ok())
    {
        CliPrintErr(CSafeSave::Describe(path, saved));
        return false;
    }
    return true;
}
} // namespace
#endif

// analyse FILE --file N [--previous FILE [--previous-file K]] [--required T]
// [--nominal T] [--interval YEARS] [--csv OUT] [--png OUT]: the analysis tab's table and
// summary for a data file, compared with an earlier survey when one is given.
int CliAnalyse(const CliContext& ctx)
{
    AnalyseArguments a;
    // Options taking a value, and where the value goes. An output the window
    // also writes (the chart picture) is one more entry here and one more
    // writer after the CSV below.
    const struct
    {
        const char* name;
        QString* value;
    } valued[] = {
        {"--file", &a.fileArgument},
        {"--previous", &a.previousPath},
        {"--previous-file", &a.previousFileArgument},
        {"--required", &a.required},
        {"--nominal", &a.nominal},
        {"--interval", &a.interval},
        {"--csv", &a.csvPath},
        {"--png", &a.pngPath},
    };
    for (int i = 0; i < ctx.args.size(); ++i)
    {
        const QString& arg = ctx.args.at(i);
        QString* target = nullptr;
        for (const auto& option : valued)
            if (arg == QLatin1String(option.name))
                target = option.value;
        if (target)
        {
            if (i + 1 >= ctx.args.size())
                return CliUsageError(QStringLiteral("%1 needs a value").arg(arg));
            *target = ctx.args.at(++i);
        }
        else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
            return CliUsageError(QStringLiteral("Unknown option: %1").arg(arg));
        else if (a.path.isEmpty())
            a.path = arg;
        else
            return CliUsageError(QStringLiteral("Only one current file can be analysed"));
    }
    if (a.path.isEmpty())
        return CliUsageError(QStringLiteral("No file given"));
    int fileNumber = 0;
    if (!ParseFileNumber(a.fileArgument, &fileNumber))
        return CliUsageError(QStringLiteral("--file needs a number from 1"));
    int previousNumber = 0;
    if (!a.previousFileArgument.isEmpty())
    {
        if (a.previousPath.isEmpty())
            return CliUsageError(QStringLiteral("--previous-file needs --previous FILE"));
        if (!ParseFileNumber(a.previousFileArgument, &previousNumber))
            return CliUsageError(QStringLiteral("--previous-file needs a number from 1"));
    }
    CSurveyComparison::Options options;
    if (!a.required.isEmpty() && !ParsePositive(a.required, &options.required))
        return CliUsageError(QStringLiteral("--required needs a thickness above 0, e.g. 8.5"));
    if (!a.nominal.isEmpty() && !ParsePositive(a.nominal, &options.nominal))
        return CliUsageError(QStringLiteral("--nominal needs a thickness above 0, e.g. 10"));
    if (!a.interval.isEmpty() && !ParsePositive(a.interval, &options.intervalYears))
        return CliUsageError(QStringLiteral("--interval needs a number of years above 0, e.g. 5"));

    // Told before the data is read; the save itself still checks everything.
    for (const QString& out : {a.csvPath, a.pngPath})
    {
        if (out.isEmpty())
            continue;
        const QString unwritable = CliCheckWritable(out);
        if (!unwritable.isEmpty())
        {
            CliPrintErr(unwritable);
            return CliFailure;
        }
    }

    CliDataLoad load;
    if (!CliLoadData(a.path, &load))
        return CliFailure;
    int exitCode = CliOk;
    const DataFileRecord* current = PickFile(load, fileNumber, &exitCode);
    if (!current)
        return exitCode;

    CliDataLoad previousLoad;
    const DataFileRecord* previous = nullptr;
    if (!a.previousPath.isEmpty())
    {
        if (!CliLoadData(a.previousPath, &previousLoad))
            return CliFailure;
        if (previousNumber == 0)
        {
            // Only a file holding a single data file needs no number.
            const int held = int(previousLoad.result.files.size());
            if (held != 1)
            {
                previousLoad.ReportDamagedDataFile();
                return CliUsageError(
                    QStringLiteral("--previous-file is needed: %1 holds %2 data files")
                        .arg(a.previousPath)
                        .arg(held));
            }
            previousNumber = 1;
        }
        previous = PickFile(previousLoad, previousNumber, &exitCode);
        if (!previous)
            return exitCode;
    }

    const std::unique_ptr<CSurveyComparison> comparison(
        previous ? new CSurveyComparison(*previous, *current, options)
                 : new CSurveyComparison(*current, options));
    CliPrintOut(comparison->Headers().join(QLatin1Char('\t')));
    for (int row = 0; row < comparison->Rows().size(); ++row)
        CliPrintOut(comparison->RowTexts(row).join(QLatin1Char('\t')));
    CliPrintOut(QString());
    for (const QString& line : comparison->SummaryLines())
        CliPrintOut(line);

    bool written = true;
    if (!a.csvPath.isEmpty())
        written = WriteCsv(a.csvPath, *comparison);
#if KORVALENT_CLI_DRAWS
    if (!a.pngPath.isEmpty())
        written = WritePng(a.pngPath, *current, previous, options) && written;
#endif
    load.ReportDamagedDataFile();
    previousLoad.ReportDamagedDataFile();
    return written ? CliOk : CliFailure;
}
