// The history of an object of 20 surveys x 254 locations: its figures
// computed (and its table model filled), timed against the comparison of two
// of its surveys; and the history loaded from a SQLite archive, timed against
// reading the same surveys from it alone. Interleaved run by run.
//
//   korvalent-bench-history [--runs N]

#include "analysis/CObjectHistory.h"
#include "archive/CSurveyArchive.h"
#include "bench/BenchData.h"
#include "data/CAnsiText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
constexpr int kSurveys = 20;
constexpr int kLocations = 254;

// One yearly survey of a 10 mm wall: each location thins at its own rate,
// with the gauge's scatter, a few LOS readings and every fifth in inches.
DataFileRecord Survey(int year)
{
    BenchData::Sequence next(quint32(year) * 7919u);
    DataFileRecord file;
    CAnsiText::Encode(QStringLiteral("Трубопровод-9"), file.header.name, 16);
    file.header.records = kLocations;
    for (int c = 0; c < kLocations; ++c)
    {
        CellRecord cell = BenchData::RandomCell(next, 3);
        const bool inches = c % 5 == 0;
        cell.flags = quint8((inches ? 1 : 0) | (2 << 1));
        const double rate = 0.02 + 0.002 * (c % 40);
        const double mm = 10.0 - rate * (year - 2007) + 0.01 * int(next() % 7) - 0.03;
        const bool los = (c + year) % 41 == 0;
        const int hundredths = los ? 0 : int((inches ? mm / 25.4 : mm) * 100.0 + 0.5);
        cell.intPart = quint16(hundredths / 100);
        cell.fracPart = quint8(hundredths % 100);
        cell.date = quint16(((year - 2000) << 9) | (5 << 5) | 14);
        cell.time = quint16((10 << 8) | (c % 60));
        file.cells.append(cell);
    }
    return file;
}

struct Figures
{
    double min, median, max;
};

Figures Of(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.first(), BenchData::Median(v), v.last()};
}

void Print(const char* what, const Figures& f, double ratio)
{
    std::printf("%-30s min %7.2f  median %7.2f  max %7.2f ms", what, f.min, f.median, f.max);
    if (ratio > 0)
        std::printf("   ratio %.2f", ratio);
    std::printf("\n");
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = BenchData::Runs(app.arguments(), 25);

    DataFileList files;
    QList<CObjectHistory::Survey> surveys;
    for (int i = 0; i < kSurveys; ++i)
    {
        files.append(Survey(2007 + i));
        surveys.append({i + 1, QStringLiteral("Трубопровод-9"), files.last()});
    }
    CObjectHistory::Settings settings;
    settings.requiredMm = 8.0;
    settings.nominalMm = 10.0;
    CSurveyComparison::Options options;
    options.required = 8.0;

    // The same surveys in a SQLite archive.
    QTemporaryDir dir;
    CSurveyArchive archive;
    if (!dir.isValid() || !archive.Open(dir.filePath(QStringLiteral("bench.sqlite"))))
    {
        std::fprintf(stderr, "no archive: %s\n", qPrintable(archive.ErrorText()));
        return 1;
    }
    for (const DataFileRecord& f : files)
        if (!archive.AddSurveys({f}, {}, {}).ok)
        {
            std::fprintf(stderr, "archiving failed: %s\n", qPrintable(archive.ErrorText()));
            return 1;
        }
    CSurveyArchive::ObjectInfo object;
    archive.FindObject(QStringLiteral("Трубопровод-9"), &object);

    QList<double> figures, model, comparison, load, read;
    int locations = 0, loadedLocations = 0, flagged = 0;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer t;
        t.start();
        {
            const CObjectHistory history(QStringLiteral("Трубопровод-9"), surveys, {}, settings);
            locations = int(history.Locations().size());
            flagged = history.GetSummary().countW + history.GetSummary().countE +
                      history.GetSummary().countT;
        }
        figures.append(t.nsecsElapsed() / 1e6);

        t.start();
        {
            QStandardItemModel m;
            const CObjectHistory history(QStringLiteral("Трубопровод-9"), surveys, {}, settings);
            history.FillModel(&m);
        }
        model.append(t.nsecsElapsed() / 1e6);

        t.start();
        {
            QStandardItemModel m;
            const CSurveyComparison c(files.at(kSurveys - 2), files.at(kSurveys - 1), options);
            c.FillModel(&m);
        }
        comparison.append(t.nsecsElapsed() / 1e6);

        t.start();
        {
            CObjectHistory* history = nullptr;
            QString error;
            if (!CObjectHistory::Load(archive, QStringLiteral("Трубопровод-9"), &history, &error))
            {
                std::fprintf(stderr, "load failed: %s\n", qPrintable(error));
                return 1;
            }
            loadedLocations = int(history->Locations().size());
            delete history;
        }
        load.append(t.nsecsElapsed() / 1e6);

        t.start();
        {
            QList<CSurveyArchive::SurveyInfo> infos;
            DataFileList data;
            archive.ObjectData(object.id, &infos, &data);
        }
        read.append(t.nsecsElapsed() / 1e6);
    }
    if (locations != kLocations || loadedLocations != kLocations)
    {
        std::fprintf(stderr, "history has %d / %d locations\n", locations, loadedLocations);
        return 1;
    }

    const Figures f = Of(figures), m = Of(model), c = Of(comparison), l = Of(load), d = Of(read);
    std::printf("%d surveys x %d locations, %d checks raised, %d runs\n", kSurveys, kLocations,
                flagged, runs);
    Print("history figures", f, f.median / c.median);
    Print("history figures + model", m, m.median / c.median);
    Print("comparison of two + model", c, 0);
    Print("history loaded from SQLite", l, l.median / d.median);
    Print("surveys read from SQLite", d, 0);
    return 0;
}
