// Chart redraw: the time from handing the analysis chart a 254-cell data file
// until the chart is painted off screen, with an earlier 254-cell survey, the
// required and nominal lines and red points. The chart refills series made
// once; the reference, interleaved run by run, builds a new chart for every
// file as a simple implementation would. A third figure is the whole analysis
// tab (comparison, table and chart) after a click on another data file.
//
// Then the chart as the command line saves it (1400 x 800): the drawing, and
// its PNG encoding by Qt's default writer (the reference, as it was) against
// the program's fast one, interleaved; CPU and wall, and the file sizes.
//
//   korvalent-bench-analysis-chart [--runs N]
#include "analysis/CAnalysisChart.h"
#include "analysis/CAnalysisView.h"
#include "bench/BenchData.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"
#include "export/CPngWriter.h"

#include <QApplication>
#include <QBuffer>
#include <QChartView>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace
{
// A wall of about 10 mm with 1 reading in 25 lost; the later survey thinner.
DataFileRecord Survey(const char* name, quint32 seed, double loss, quint16 year)
{
    BenchData::Sequence next(seed);
    DataFileRecord file;
    std::snprintf(file.header.name, sizeof(file.header.name), "%s", name);
    file.header.records = 254;
    for (int c = 0; c < 254; ++c)
    {
        CellRecord cell{};
        const int hundredths = int(1000 - loss * 100 - next() % 150);
        const bool los = next() % 25 == 0;
        cell.flags = quint8(2 << 1);
        cell.intPart = quint16(los ? 0 : hundredths / 100);
        cell.fracPart = quint8(los ? 0 : hundredths % 100);
        cell.velocity = 5920;
        cell.time = quint16((10 << 8) | (c % 60));
        cell.date = quint16(((year - 2000) << 9) | (3 << 5) | 12);
        file.cells.append(cell);
    }
    return file;
}

double Elapsed(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

QByteArray DefaultPng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The PNG encodings of one drawing, taking turns.
void ComparePng(const CAnalysisChart& chart, int runs)
{
    QList<double> drawWall, drawCpu, slowWall, slowCpu, fastWall, fastCpu;
    QImage image;
    qsizetype slowSize = 0, fastSize = 0;
    for (int r = -1; r < runs; ++r)
    {
        QElapsedTimer timer;
        timer.start();
        double cpu = CpuMs();
        image = chart.Render();
        if (r >= 0)
            drawWall.append(Elapsed(timer)), drawCpu.append(CpuMs() - cpu);
        for (int k = 0; k < 2; ++k)
        {
            const bool fast = (k == 0) == bool(r & 1);
            timer.start();
            cpu = CpuMs();
            const QByteArray png = fast ? CPngWriter::Encode(image) : DefaultPng(image);
            if (r < 0)
                continue;
            (fast ? fastWall : slowWall).append(Elapsed(timer));
            (fast ? fastCpu : slowCpu).append(CpuMs() - cpu);
            (fast ? fastSize : slowSize) = png.size();
        }
    }
    std::printf("\nthe chart saved as PNG (%dx%d), %d runs interleaved\n", image.width(),
                image.height(), runs);
    BenchData::PrintMs("drawing, wall", drawWall);
    BenchData::PrintMs("drawing, CPU", drawCpu);
    BenchData::PrintMs("Qt default PNG (reference), wall", slowWall);
    BenchData::PrintMs("Qt default PNG (reference), CPU", slowCpu);
    BenchData::PrintMs("fast PNG, wall", fastWall);
    BenchData::PrintMs("fast PNG, CPU", fastCpu);
    std::printf("ratio of medians (fast / default): wall %.2f, CPU %.2f; sizes %lld / %lld "
                "bytes\n",
                BenchData::Median(fastWall) / BenchData::Median(slowWall),
                BenchData::Median(fastCpu) / BenchData::Median(slowCpu),
                static_cast<long long>(fastSize), static_cast<long long>(slowSize));
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = BenchData::Runs(app.arguments());

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    CAppSettings::UseDirectory(home.path());
    std::unique_ptr<QSettings> settings(CAppSettings::Create());

    const DataFileList files = {Survey("LINE-7 2026", 11, 0.4, 26), Survey("LINE-7 B", 12, 0.5, 26),
                                Survey("LINE-7 2025", 13, 0.0, 25)};
    CSurveyComparison::Options options;
    options.required = 8.8;
    options.nominal = 10.0;

    // Subject: one chart, its series refilled for each file.
    CAnalysisChart chart;
    QChartView view(chart.Chart());
    view.resize(1200, 520);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return 1;
    // Reference: a new chart for each file in a view of the same size.
    QChartView fresh;
    fresh.resize(1200, 520);
    fresh.show();
    if (!QTest::qWaitForWindowExposed(&fresh))
        return 1;
    std::unique_ptr<CAnalysisChart> rebuilt;

    // The whole tab, following a change of file.
    CAnalysisView tab;
    tab.SetSettings(settings.get());
    tab.SetDataFiles(&files);
    tab.resize(1200, 760);
    tab.show();
    if (!QTest::qWaitForWindowExposed(&tab))
        return 1;
    tab.SetCurrentFile(0);
    CScriptedPrompts prompts;
    SetUserPrompts(&prompts);
    prompts.choices.enqueue(1); // the third file: the earlier survey
    tab.OnComparePickLoaded();
    SetUserPrompts(nullptr);
    if (!tab.HasPrevious())
        return 1;

    const auto refill = [&](int i)
    {
        QElapsedTimer timer;
        timer.start();
        chart.SetData(files.at(i), QStringLiteral("LINE-7"), options, &files.at(2),
                      QStringLiteral("LINE-7 2025"));
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        return Elapsed(timer);
    };
    const auto rebuild = [&](int i)
    {
        QElapsedTimer timer;
        timer.start();
        auto next = std::make_unique<CAnalysisChart>();
        next->SetData(files.at(i), QStringLiteral("LINE-7"), options, &files.at(2),
                      QStringLiteral("LINE-7 2025"));
        fresh.setChart(next->Chart()); // the view deletes the chart it showed
        rebuilt = std::move(next);
        QCoreApplication::processEvents();
        fresh.viewport()->repaint();
        return Elapsed(timer);
    };
    const auto click = [&](int i)
    {
        QElapsedTimer timer;
        timer.start();
        tab.SetCurrentFile(i);
        QCoreApplication::processEvents();
        tab.repaint();
        return Elapsed(timer);
    };

    refill(1);
    rebuild(1);
    click(1); // warm-up
    QList<double> refilled, rebuiltTimes, tabTimes;
    for (int r = 0; r < runs; ++r)
    {
        rebuiltTimes.append(rebuild(r % 2));
        refilled.append(refill(r % 2));
        tabTimes.append(click(r % 2));
    }
    std::printf("chart redraw, 254 cells against an earlier 254-cell survey, %d runs each, "
                "interleaved\n",
                runs);
    BenchData::PrintMs("new chart per file (reference)", rebuiltTimes);
    BenchData::PrintMs("series refilled", refilled);
    std::printf("ratio of medians (refilled / new chart): %.2f\n",
                BenchData::Median(refilled) / BenchData::Median(rebuiltTimes));
    BenchData::PrintMs("analysis tab, file changed", tabTimes);
    ComparePng(chart, runs);
    return 0;
}
