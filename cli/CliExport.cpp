#include "cli/CliCommands.h"

#include "data/CDataMessages.h"
#include "export/CBiff8Workbook.h"
#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"
#include "export/CXlsxWorkbook.h"

#include <QStandardItemModel>

namespace
{
int ExportUsage(const QString& problem)
{
    CliPrintErr(problem);
    CliPrintErr(QStringLiteral("Usage: korvalent-cli export FILE.kdb|FILE.kdf --file N "
                               "[--materials FILE.csv] (--csv OUT | --xls OUT | --xlsx OUT)"));
    return CliUsage;
}
} // namespace

// export FILE --file N [--materials FILE.csv] (--csv OUT | --xls OUT | --xlsx OUT):
// the results table `show --file N` prints, written as the window's exports
// write it.
int CliExport(const CliContext& ctx)
{
    QString path, fileArgument, materialsPath, format, outPath;
    for (int i = 0; i < ctx.args.size(); ++i)
    {
        const QString& a = ctx.args.at(i);
        const bool output = a == QLatin1String("--csv") || a == QLatin1String("--xls") ||
                            a == QLatin1String("--xlsx");
        if (output || a == QLatin1String("--file") || a == QLatin1String("--materials"))
        {
            if (i + 1 >= ctx.args.size())
                return ExportUsage(QStringLiteral("%1 needs a value").arg(a));
            const QString value = ctx.args.at(++i);
            if (output)
            {
                if (!format.isEmpty())
                    return ExportUsage(QStringLiteral("Give one of --csv, --xls, --xlsx"));
                format = a;
                outPath = value;
            }
            else
                (a == QLatin1String("--file") ? fileArgument : materialsPath) = value;
        }
        else if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return ExportUsage(QStringLiteral("Unknown option: %1").arg(a));
        else if (path.isEmpty())
            path = a;
        else
            return ExportUsage(QStringLiteral("Only one file can be exported"));
    }
    if (path.isEmpty())
        return ExportUsage(QStringLiteral("No file given"));
    int fileNumber = 0;
    if (fileArgument.isEmpty() || !CliParseFileNumber(fileArgument, &fileNumber))
        return ExportUsage(QStringLiteral("--file needs a number from 1"));
    if (format.isEmpty())
        return ExportUsage(QStringLiteral("Give one of --csv, --xls, --xlsx"));

    CliData data;
    if (CliLoadData(path, materialsPath, &data) != CliOk)
        return CliFailure;
    QStandardItemModel cells;
    if (!CliFillResults(data, fileNumber, &cells))
        return CliUsage;

    CSafeSave::Result saved;
    if (format == QLatin1String("--csv"))
        saved = CCsvWriter::Save(outPath, cells);
    else if (format == QLatin1String("--xls"))
        saved = CBiff8Workbook::Save(outPath, CResultsSheet::FromModel(cells));
    else
        saved = CXlsxWorkbook::Save(outPath, CResultsSheet::FromModel(cells));
    if (data.damagedDataFile)
        CliPrintErr(CDataMessages::DataFileDamaged());
    if (!saved.Ok())
    {
        CliPrintErr(CSafeSave::Describe(outPath, saved));
        return CliFailure;
    }
    return CliOk;
}
