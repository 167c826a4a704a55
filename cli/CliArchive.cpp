#include "cli/CliCommands.h"

#include "archive/CArchiveSettings.h"
#include "archive/CSurveyArchive.h"
#include "core/CAppGlobals.h"
#include "data/CXmlKeyFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

// The survey archive from the command line: add, list, get, move, rename,
// merge, remove. Output is tab-separated with a header line.

namespace
{
int Usage(const QString& text)
{
    return CliUsageError(text);
}

// Data reach the terminal without control characters, escaped as everywhere
// else; a tab or line feed inside a field would also break the columns.
QString Clean(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\t'), QLatin1String("\\x09"));
    t.replace(QLatin1Char('\n'), QLatin1String("\\x0a"));
    return CliSafeText(t);
}

QString DateText(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

bool TakeSurveyId(QStringList& args, qint64* id, bool* bad)
{
    QString text;
    bool missing = false;
    if (!CliTakeOption(args, QStringLiteral("--survey"), &text, &missing))
    {
        *bad = true;
        return false;
    }
    bool ok = false;
    *id = text.toLongLong(&ok);
    *bad = !ok || *id <= 0;
    return !*bad;
}

void PrintOutcomes(const QString& path, const CSurveyArchive::AddResult& result)
{
    for (const CSurveyArchive::SurveyOutcome& s : result.surveys)
    {
        CliPrintOut(QStringList{Clean(QDir::toNativeSeparators(path)), Clean(s.name),
                                QString::number(s.surveyId), Clean(s.objectName),
                                s.added ? CSurveyArchive::AddedText()
                                        : CSurveyArchive::AlreadyArchivedText()}
                        .join(QLatin1Char('\t')));
        if (!s.suggestedObject.isEmpty())
            CliPrintErr(QStringLiteral("Обследование %1 ('%2') похоже на объект '%3'; "
                                       "перенести: korvalent-cli archive-move --survey %1 "
                                       "--object '%3'")
                            .arg(s.surveyId)
                            .arg(Clean(s.name), Clean(s.suggestedObject)));
    }
}

QString AddHeader()
{
    return QStringLiteral("file\tsurvey\tid\tobject\tstatus");
}
} // namespace

int CliArchiveAdd(const CliContext& ctx)
{
    if (ctx.args.isEmpty())
        return Usage(QStringLiteral("archive-add needs FILE.kdb|FILE.kdf…"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    CliPrintOut(AddHeader());
    bool failed = false;
    for (const QString& path : ctx.args)
    {
        const CSurveyArchive::AddResult result = archive.AddFile(path);
        if (!result.ok)
        {
            CliPrintErr(result.error);
            failed = true;
            continue;
        }
        PrintOutcomes(path, result);
    }
    return failed ? CliFailure : CliOk;
}

int CliArchiveDownloaded(const CliContext& ctx, const DataFileList& files,
                         const MaterialList& materials, const QString& output)
{
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    CSurveyArchive::Source source;
    source.kind = CSurveyArchive::Source::Download;
    source.time = QDateTime::currentDateTime();
    source.path = QFileInfo(output).absoluteFilePath();
    if (g_App.pSettings)
    {
        source.gaugeName = g_App.pSettings->value(QStringLiteral("Device/Name")).toString();
        source.gaugeSerial =
            g_App.pSettings->value(QStringLiteral("Device/SerialNumber")).toString();
    }
    const CSurveyArchive::AddResult result = archive.AddSurveys(files, materials, source);
    if (!result.ok)
    {
        CliPrintErr(result.error);
        return CliFailure;
    }
    CliPrintOut(AddHeader());
    PrintOutcomes(output, result);
    return CliOk;
}

int CliArchiveList(const CliContext& ctx)
{
    QStringList args = ctx.args;
    QString objectName;
    bool missing = false;
    const bool one = CliTakeOption(args, QStringLiteral("--object"), &objectName, &missing);
    if (missing || !args.isEmpty())
        return Usage(QStringLiteral("archive-list takes [--object NAME]"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    if (!one)
    {
        const QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
        if (!archive.ErrorText().isEmpty())
        {
            CliPrintErr(archive.ErrorText());
            return CliFailure;
        }
        CliPrintOut(QStringLiteral("object\tsurveys\tfirst\tlast"));
        for (const CSurveyArchive::ObjectInfo& o : objects)
            CliPrintOut(QStringList{Clean(o.name), QString::number(o.surveys), DateText(o.first),
                                    DateText(o.last)}
                            .join(QLatin1Char('\t')));
        return CliOk;
    }
    CSurveyArchive::ObjectInfo object;
    if (!archive.FindObject(objectName, &object))
    {
        CliPrintErr(archive.ErrorText().isEmpty()
                        ? QStringLiteral("Объект '%1' не найден в архиве.").arg(Clean(objectName))
                        : archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("id\tdate\tname\tgauge\tgauge serial\tcells\tLOS\tsource"));
    for (const CSurveyArchive::SurveyInfo& s : archive.Surveys(object.id))
    {
        const QString source =
            s.sourceKind == QLatin1String("download")
                ? QStringLiteral("download %1")
                      .arg(s.sourceTime.toString(QStringLiteral("dd.MM.yyyy hh:mm")))
                : QDir::toNativeSeparators(s.sourcePath);
        CliPrintOut(QStringList{QString::number(s.id), DateText(s.date), Clean(s.name),
                                Clean(s.gaugeName), Clean(s.gaugeSerial), QString::number(s.cells),
                                QString::number(s.los), Clean(source)}
                        .join(QLatin1Char('\t')));
    }
    return CliOk;
}

int CliArchiveGet(const CliContext& ctx)
{
    QStringList args = ctx.args;
    qint64 id = 0;
    bool bad = false;
    QString output;
    bool missing = false;
    TakeSurveyId(args, &id, &bad);
    CliTakeOption(args, QStringLiteral("-o"), &output, &missing);
    if (bad || missing || output.isEmpty() || !args.isEmpty())
        return Usage(QStringLiteral("archive-get needs --survey ID -o FILE.kdf"));
    const QString problem = CliCheckWritable(output);
    if (!problem.isEmpty())
    {
        CliPrintErr(problem);
        return CliFailure;
    }
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    DataFileRecord file;
    if (!archive.SurveyData(id, &file))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    // The survey keeps its own name inside the file.
    if (!CXmlKeyFileWriter::WriteFile(
            output, CDataStorage::DataFileDocument(file, CDataStorage::FileName(file))))
    {
        CliPrintErr(QStringLiteral("ОШИБКА: не удалось создать файл на ПК."));
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("Обследование %1 сохранено в '%2'.")
                    .arg(id)
                    .arg(Clean(QDir::toNativeSeparators(output))));
    return CliOk;
}

int CliArchiveMove(const CliContext& ctx)
{
    QStringList args = ctx.args;
    qint64 id = 0;
    bool bad = false;
    QString object;
    bool missing = false;
    TakeSurveyId(args, &id, &bad);
    CliTakeOption(args, QStringLiteral("--object"), &object, &missing);
    if (bad || missing || object.trimmed().isEmpty() || !args.isEmpty())
        return Usage(QStringLiteral("archive-move needs --survey ID --object NAME"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    if (!archive.MoveSurvey(id, object))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("Обследование %1 перенесено в объект '%2'.")
                    .arg(id)
                    .arg(Clean(object.trimmed())));
    return CliOk;
}

int CliArchiveRename(const CliContext& ctx)
{
    if (ctx.args.size() != 2 || ctx.args.at(1).trimmed().isEmpty())
        return Usage(QStringLiteral("archive-rename needs OLD NEW"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    if (!archive.RenameObject(ctx.args.at(0), ctx.args.at(1)))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("Объект '%1' переименован в '%2'.")
                    .arg(Clean(ctx.args.at(0).trimmed()), Clean(ctx.args.at(1).trimmed())));
    return CliOk;
}

int CliArchiveMerge(const CliContext& ctx)
{
    if (ctx.args.size() != 2 || ctx.args.at(1).trimmed().isEmpty())
        return Usage(QStringLiteral("archive-merge needs FROM INTO"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    if (!archive.MergeObjects(ctx.args.at(0), ctx.args.at(1)))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("Объект '%1' объединён с объектом '%2'.")
                    .arg(Clean(ctx.args.at(0).trimmed()), Clean(ctx.args.at(1).trimmed())));
    return CliOk;
}

int CliArchiveRemove(const CliContext& ctx)
{
    QStringList args = ctx.args;
    qint64 id = 0;
    bool bad = false;
    TakeSurveyId(args, &id, &bad);
    const bool yes = ctx.yes || args.removeAll(QStringLiteral("--yes")) > 0;
    if (bad || !args.isEmpty())
        return Usage(QStringLiteral("archive-remove needs --survey ID --yes"));
    if (!yes)
        return Usage(QStringLiteral("archive-remove deletes the survey for good: add --yes"));
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    if (!archive.RemoveSurvey(id))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(QStringLiteral("Обследование %1 удалено из архива.").arg(id));
    return CliOk;
}

QString CliArchiveLocation(const CliContext& ctx)
{
    return ctx.archive.isEmpty() ? CArchiveSettings::LocationText(g_App.pSettings) : ctx.archive;
}

bool CliOpenArchive(const CliContext& ctx, CSurveyArchive* archive)
{
    if (archive->Open(CliArchiveLocation(ctx)))
        return true;
    CliPrintErr(archive->ErrorText());
    return false;
}
