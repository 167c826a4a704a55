// Comparison of two surveys of 254 cells (the comparison built and its table
// model filled, as a click on a data file does), timed against filling the
// data tab's results table of the same file, interleaved run by run.
//
//   korvalent-bench-analysis [--runs N]

#include "analysis/CSurveyComparison.h"
#include "bench/BenchData.h"
#include "data/CAnsiText.h"
#include "data/CResultsModels.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <algorithm>
#include <cstdio>

namespace
{
// Valid readings of a 10 mm wall (a few LOS), dated on the given day: every
// row of the comparison gets a rate and a life.
DataFileRecord Survey(quint32 seed, int year, double loss)
{
    BenchData::Sequence next(seed);
    DataFileRecord file;
    CAnsiText::Encode(QStringLiteral("Труба %1").arg(year), file.header.name, 16);
    file.header.records = 254;
    for (int c = 0; c < 254; ++c)
    {
        CellRecord cell = BenchData::RandomCell(next, 3);
        cell.flags = quint8((c % 5 == 0 ? 1 : 0) | (2 << 1)); // some in inches
        const int hundredths = 950 - int(loss * 100) - int(next() % 60);
        const bool los = c % 37 == 36;
        cell.intPart = quint16(los ? 0 : hundredths / 100);
        cell.fracPart = quint8(los ? 0 : hundredths % 100);
        if (cell.flags & 1)
        {
            cell.intPart = 0;
            cell.fracPart = quint8(hundredths * 100 / 2540);
        }
        cell.date = quint16(((year - 2000) << 9) | (4 << 5) | 15);
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
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 25;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(15, args.at(i + 1).toInt());

    const DataFileRecord before = Survey(7, 2025, 0.0);
    const DataFileRecord now = Survey(11, 2026, 0.3);
    CSurveyComparison::Options options;
    options.required = 8.0;
    options.nominal = 10.0;

    QList<double> compare, results;
    int rows = 0, flagged = 0;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer t;
        t.start();
        {
            QStandardItemModel model;
            const CSurveyComparison comparison(before, now, options);
            comparison.FillModel(&model);
            rows = model.rowCount();
            flagged = comparison.GetSummary().below + comparison.GetSummary().lifeShort;
        }
        compare.append(t.nsecsElapsed() / 1e6);

        t.start();
        {
            QStandardItemModel model;
            CResultsModels::ResetResults(&model);
            CResultsModels::FillResults(&model, now, MaterialList());
        }
        results.append(t.nsecsElapsed() / 1e6);
    }
    if (rows != 254)
    {
        std::fprintf(stderr, "comparison has %d rows\n", rows);
        return 1;
    }

    const Figures c = Of(compare), f = Of(results);
    std::printf("two files of 254 cells, %d rows flagged, %d runs\n", flagged, runs);
    std::printf("comparison + model  min %6.2f  median %6.2f  max %6.2f ms   ratio %.2f\n", c.min,
                c.median, c.max, c.median / f.median);
    std::printf("results table fill  min %6.2f  median %6.2f  max %6.2f ms\n", f.min, f.median,
                f.max);
    return 0;
}
