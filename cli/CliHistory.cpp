#include "cli/CliCommands.h"

#include "analysis/CObjectHistory.h"
#include "archive/CSurveyArchive.h"
#include "core/CAppGlobals.h"

#include <QDir>
#include <climits>
#include <cmath>
#include <memory>

// An object's history from the archive: the per-location table and the
// summary, one location's readings with their checks, the CSV of the table
// and the pictures; accepting an E reading.

namespace
{
// A tab or a line feed inside a field would break the columns; the rest is
// escaped as everywhere else.
QString Clean(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\t'), QLatin1String("\\x09"));
    t.replace(QLatin1Char('\n'), QLatin1String("\\x0a"));
    return CliSafeText(t);
}

QString Row(const QStringList& fields)
{
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (const QString& f : fields)
        cleaned << Clean(f);
    return cleaned.join(QLatin1Char('\t'));
}

// A number as typed: "8.5" or "8,5", above zero and at most `limit`.
bool ParsePositive(const QString& text, double limit, double* value)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0.0 || v > limit)
        return false;
    *value = v;
    return true;
}

// A cell number (location) or a survey id: a whole number from 1.
bool ParseNumber(const QString& text, qint64* number)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok || n < 1)
        return false;
    *number = n;
    return true;
}

QString ObjectNotFound(const QString& name)
{
    return QStringLiteral("Объект '%1' не найден в архиве.").arg(Clean(name));
}

QString NoLocation(qint64 cell, const QString& object)
{
    return QStringLiteral("Ячейки %1 нет в обследованиях объекта '%2'.")
        .arg(cell)
        .arg(Clean(object));
}

// The object's history; false after printing why it cannot be given.
bool LoadHistory(CSurveyArchive& archive, const QString& object,
                 const CObjectHistory::Settings* overrides,
                 std::unique_ptr<CObjectHistory>* history)
{
    CObjectHistory* loaded = nullptr;
    QString error;
    if (!CObjectHistory::Load(archive, object, &loaded, &error, overrides))
    {
        delete loaded;
        CliPrintErr(error.isEmpty() ? ObjectNotFound(object) : error);
        return false;
    }
    history->reset(loaded);
    return true;
}

struct HistoryArguments
{
    QString object;
    QString location, required, nominal, maxInterval, rate;
    QString csvPath, pngPath, pdfPath;
};

// Bounds that keep every figure and date finite: no wall is this thick, in
// either unit, and no interval this long.
constexpr double kThicknessLimit = 10000.0;
constexpr double kIntervalLimit = 100.0;
} // namespace

// The files take Qt Gui (the CSV's model) and Widgets (the chart, the
// report's chart): only the drawing module writes them, and the program hands
// every history with --csv, --png or --pdf to it.
#if KORVALENT_CLI_DRAWS
#include "analysis/CHistoryCsv.h"
#include "cli/CliHistoryDraw.h"

namespace
{
bool WriteFiles(const CObjectHistory& history, int location, const QString& csvPath,
                const QString& pngPath, const QString& pdfPath)
{
    bool written = true;
    if (!csvPath.isEmpty())
    {
        const CSafeSave::Result saved = CHistoryCsv::Save(csvPath, history);
        if (!saved.Ok())
        {
            CliPrintErr(CSafeSave::Describe(csvPath, saved));
            written = false;
        }
    }
    if (!pngPath.isEmpty())
    {
        // The chosen location's chart, else the governing location's (the
        // one the report shows), else the first.
        int chart = location;
        if (chart < 0)
            chart = history.GetSummary().governingLocation;
        if (chart < 0 && !history.Locations().isEmpty())
            chart = 0;
        QString error;
        if (!CliHistoryDrawPng(history, chart, pngPath, &error))
        {
            CliPrintErr(error);
            written = false;
        }
    }
    if (!pdfPath.isEmpty())
    {
        QString error;
        if (!CliHistoryDrawPdf(history, pdfPath, &error))
        {
            CliPrintErr(error);
            written = false;
        }
    }
    return written;
}
} // namespace
#endif

// history OBJECT [--location N] [--required T] [--nominal T] [--max-interval Y]
// [--rate KIND] [--csv OUT] [--png OUT] [--pdf OUT]
int CliHistory(const CliContext& ctx)
{
    HistoryArguments a;
    const struct
    {
        const char* name;
        QString* value;
    } valued[] = {
        {"--location", &a.location}, {"--required", &a.required},
        {"--nominal", &a.nominal},   {"--max-interval", &a.maxInterval},
        {"--rate", &a.rate},         {"--csv", &a.csvPath},
        {"--png", &a.pngPath},       {"--pdf", &a.pdfPath},
    };
    bool objectGiven = false;
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
            return CliUsageError(QStringLiteral("Unknown option: %1").arg(Clean(arg)));
        else if (!objectGiven)
        {
            a.object = arg;
            objectGiven = true;
        }
        else
            return CliUsageError(QStringLiteral("history takes one object"));
    }
    if (!objectGiven || a.object.trimmed().isEmpty())
        return CliUsageError(QStringLiteral("history needs an object's name"));

    qint64 cell = 0;
    if (!a.location.isEmpty() && !ParseNumber(a.location, &cell))
        return CliUsageError(QStringLiteral("--location needs a cell number from 1"));
    // Thicknesses are taken in the object's display unit, known only once
    // its readings are read: kept as typed until then.
    double required = CObjectHistory::kNone, nominal = CObjectHistory::kNone;
    if (!a.required.isEmpty() && !ParsePositive(a.required, kThicknessLimit, &required))
        return CliUsageError(QStringLiteral("--required needs a thickness above 0, e.g. 8.5"));
    if (!a.nominal.isEmpty() && !ParsePositive(a.nominal, kThicknessLimit, &nominal))
        return CliUsageError(QStringLiteral("--nominal needs a thickness above 0, e.g. 10"));
    double maxInterval = 0.0;
    if (!a.maxInterval.isEmpty() && !ParsePositive(a.maxInterval, kIntervalLimit, &maxInterval))
        return CliUsageError(
            QStringLiteral("--max-interval needs a number of years above 0, e.g. 10"));
    CObjectHistory::RateKind rate = CObjectHistory::RateMax;
    if (!a.rate.isEmpty() && !CObjectHistory::RateKindFromKey(a.rate, &rate))
        return CliUsageError(QStringLiteral("--rate takes lt, st, regression or max"));

    // Told before the archive is read; the saves still check everything.
    for (const QString& out : {a.csvPath, a.pngPath, a.pdfPath})
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
    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    CSurveyArchive::ObjectInfo info;
    if (!archive.FindObject(a.object, &info))
    {
        CliPrintErr(archive.ErrorText().isEmpty() ? ObjectNotFound(a.object) : archive.ErrorText());
        return CliFailure;
    }
    std::unique_ptr<CObjectHistory> history;
    if (!LoadHistory(archive, info.name, nullptr, &history))
        return CliFailure;

    // What the command line gives replaces the stored setting for this run
    // only; nothing is written to the archive.
    const bool overridden = !a.required.isEmpty() || !a.nominal.isEmpty() ||
                            !a.maxInterval.isEmpty() || !a.rate.isEmpty();
    if (overridden)
    {
        CObjectHistory::Settings settings = history->GetSettings();
        if (!a.required.isEmpty())
            settings.requiredMm = history->ToMm(required);
        if (!a.nominal.isEmpty())
            settings.nominalMm = history->ToMm(nominal);
        if (!a.maxInterval.isEmpty())
            settings.maxIntervalYears = maxInterval;
        if (!a.rate.isEmpty())
            settings.rate = rate;
        if (!LoadHistory(archive, info.name, &settings, &history))
            return CliFailure;
    }

    int index = -1;
    if (cell > 0)
    {
        index = cell <= INT_MAX ? history->LocationIndex(int(cell)) : -1;
        if (index < 0)
        {
            CliPrintErr(NoLocation(cell, info.name));
            return CliFailure;
        }
        const CObjectHistory::Location& location = history->Locations().at(index);
        CliPrintOut(Row(history->Headers()));
        CliPrintOut(Row(history->RowTexts(index)));
        CliPrintOut(QString());
        CliPrintOut(Row(history->ReadingHeaders()));
        for (int r = 0; r < location.readings.size(); ++r)
            CliPrintOut(Row(history->ReadingTexts(location, r)));
        // What the window tells beside the row (tool tips, the chart).
        QStringList details;
        if (location.governingKind != CObjectHistory::RateMax)
            details << QStringLiteral("Определяющая скорость: %1")
                           .arg(CObjectHistory::RateKindText(location.governingKind));
        if (!location.lifeReason.isEmpty())
            details
                << QStringLiteral("Остаточный ресурс не определён: %1").arg(location.lifeReason);
        if (location.projectedDate.isValid())
            details << QStringLiteral("Линия регрессии достигает допустимой толщины: %1")
                           .arg(CObjectHistory::DateText(location.projectedDate));
        if (!details.isEmpty())
            CliPrintOut(QString());
        for (const QString& line : details)
            CliPrintOut(line);
    }
    else
    {
        CliPrintOut(Row(history->Headers()));
        for (int row = 0; row < history->Locations().size(); ++row)
            CliPrintOut(Row(history->RowTexts(row)));
        CliPrintOut(QString());
        for (const QString& line : history->SummaryLines())
            CliPrintOut(Clean(line));
    }

#if KORVALENT_CLI_DRAWS
    if (!WriteFiles(*history, index, a.csvPath, a.pngPath, a.pdfPath))
        return CliFailure;
#endif
    return CliOk;
}

// archive-accept --survey ID --location N [--undo]: an E reading is taken
// into the rates again (or left out again with --undo).
int CliArchiveAccept(const CliContext& ctx)
{
    QStringList args = ctx.args;
    QString surveyText, locationText;
    bool missing = false;
    const bool hasSurvey = CliTakeOption(args, QStringLiteral("--survey"), &surveyText, &missing);
    const bool hasLocation =
        CliTakeOption(args, QStringLiteral("--location"), &locationText, &missing);
    const bool undo = args.removeAll(QStringLiteral("--undo")) > 0;
    qint64 surveyId = 0, cell = 0;
    if (missing || !hasSurvey || !hasLocation || !args.isEmpty() ||
        !ParseNumber(surveyText, &surveyId) || !ParseNumber(locationText, &cell) || cell > INT_MAX)
        return CliUsageError(QStringLiteral("archive-accept needs --survey ID --location N"));

    CSurveyArchive archive;
    if (!CliOpenArchive(ctx, &archive))
        return CliFailure;
    CSurveyArchive::SurveyInfo survey;
    if (!archive.Survey(surveyId, &survey))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    std::unique_ptr<CObjectHistory> history;
    if (!LoadHistory(archive, survey.objectName, nullptr, &history))
        return CliFailure;
    const int index = history->LocationIndex(int(cell));
    const CObjectHistory::Reading* reading = nullptr;
    if (index >= 0)
        for (const CObjectHistory::Reading& r : history->Locations().at(index).readings)
            if (r.surveyId == surveyId)
                reading = &r;
    if (!reading)
    {
        CliPrintErr(QStringLiteral("В обследовании %1 нет ячейки %2.").arg(surveyId).arg(cell));
        return CliFailure;
    }
    // Only an E reading is accepted; a mark is taken back whatever the
    // reading has become since (its survey moved, an earlier one removed).
    if (!undo && !(reading->checks & CObjectHistory::CheckE))
    {
        CliPrintErr(QStringLiteral("Замер ячейки %1 обследования %2 не отмечен E: принимать "
                                   "нечего.")
                        .arg(cell)
                        .arg(surveyId));
        return CliFailure;
    }
    if (!archive.SetAccepted(surveyId, int(cell), !undo))
    {
        CliPrintErr(archive.ErrorText());
        return CliFailure;
    }
    CliPrintOut(
        undo ? QStringLiteral("Замер ячейки %1 обследования %2 снова не учитывается в "
                              "скоростях.")
                   .arg(cell)
                   .arg(surveyId)
             : QStringLiteral("Замер ячейки %1 обследования %2 принят.").arg(cell).arg(surveyId));
    return CliOk;
}
