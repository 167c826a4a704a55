#include "cli/CliCommands.h"

#include "export/CBiff8Workbook.h"
#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"
#include "export/CResultsTable.h"
#include "export/CXlsxWorkbook.h"

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
                return CliUsageError(QStringLiteral("%1 needs a value").arg(a));
            const QString value = ctx.args.at(++i);
            if (output)
            {
                if (!format.isEmpty())
                    return CliUsageError(QStringLiteral("Give one of --csv, --xls, --xlsx"));
                format = a;
                outPath = value;
            }
            else
                (a == QLatin1String("--file") ? fileArgument : materialsPath) = value;
        }
        else if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return CliUsageError(QStringLiteral("Unknown option: %1").arg(a));
        else if (path.isEmpty())
            path = a;
        else
            return CliUsageError(QStringLiteral("Only one file can be exported"));
    }
    if (path.isEmpty())
        return CliUsageError(QStringLiteral("No file given"));
    bool numbered = false;
    const int fileNumber = fileArgument.toInt(&numbered);
    if (!numbered || fileNumber < 1)
        return CliUsageError(QStringLiteral("--file needs a number from 1"));
    if (format.isEmpty())
        return CliUsageError(QStringLiteral("Give one of --csv, --xls, --xlsx"));

    // Told before the data is read; the save itself still checks everything.
    const QString unwritable = CliCheckWritable(outPath);
    if (!unwritable.isEmpty())
    {
        CliPrintErr(unwritable);
        return CliFailure;
    }

    // The same steps and texts as `show --file N`.
    MaterialList materials;
    if (!materialsPath.isEmpty() && !CliLoadMaterials(materialsPath, &materials))
        return CliFailure;
    CliDataLoad load;
    if (!CliLoadData(path, &load))
        return CliFailure;
    const DataFileList& files = load.result.files;
    if (fileNumber > files.size())
    {
        load.ReportDamagedDataFile();
        return CliNoSuchDataFile(fileNumber, int(files.size()));
    }
    const CTextTable cells = CResultsTable::Of(files.at(fileNumber - 1), materials);

    CSafeSave::Result saved;
    if (format == QLatin1String("--csv"))
        saved = CCsvWriter::Save(outPath, cells);
    else if (format == QLatin1String("--xls"))
        saved = CBiff8Workbook::Save(outPath, CResultsSheet::FromTable(cells));
    else
        saved = CXlsxWorkbook::Save(outPath, CResultsSheet::FromTable(cells));
    load.ReportDamagedDataFile();
    if (!saved.Ok())
    {
        CliPrintErr(CSafeSave::Describe(outPath, saved));
        return CliFailure;
    }
    return CliOk;
}
