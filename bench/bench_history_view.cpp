// The history of an object on the analysis tab: an object of 20 surveys of
// 254 locations. The tab filled from the computed figures (table, colours,
// charts, readings) until painted, against a bare table of the same texts
// in a view of the same size, interleaved run by run; then the trend chart
// of one location redrawn when another location is chosen.
//
//   korvalent-bench-history-view [--runs N]
#include "analysis/CHistoryChart.h"
#include "analysis/CHistoryView.h"
#include "analysis/CObjectHistory.h"
#include "bench/BenchData.h"
#include "data/CAnsiText.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <memory>

namespace
{
constexpr int kSurveys = 20;
constexpr int kCells = 254;

// A 12 mm wall losing 0.05 to 0.4 mm a year by location, a reading's
// scatter of up to 0.05 mm, one reading in 40 lost; one survey a year.
QList<CObjectHistory::Survey> Surveys()
{
    BenchData::Sequence next(17);
    QList<CObjectHistory::Survey> surveys;
    for (int s = 0; s < kSurveys; ++s)
    {
        const int year = 2006 + s;
        DataFileRecord file;
        CAnsiText::Encode(QStringLiteral("Резервуар-9"), file.header.name, 16);
        file.header.records = quint8(kCells);
        for (int c = 0; c < kCells; ++c)
        {
            CellRecord cell{};
            const double rate = 0.05 + 0.35 * ((c * 37) % 100) / 100.0;
            const int hundredths = int((12.0 - rate * s) * 100) - int(next() % 6);
            const bool los = next() % 40 == 0;
            cell.flags = quint8(2 << 1);
            cell.intPart = quint16(los ? 0 : hundredths / 100);
            cell.fracPart = quint8(los ? 0 : hundredths % 100);
            cell.velocity = 5920;
            cell.time = quint16((10 << 8) | (c % 60));
            cell.date = quint16(((year - 2000) << 9) | (6 << 5) | 10);
            file.cells.append(cell);
        }
        surveys.append({qint64(s + 1), QStringLiteral("Резервуар-9"), file});
    }
    return surveys;
}

double Elapsed(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = BenchData::Runs(app.arguments());

    const QList<CObjectHistory::Survey> surveys = Surveys();
    CObjectHistory::Settings settings;
    settings.requiredMm = 8.0;
    settings.nominalMm = 12.0;
    CObjectHistory::ViewOptions view;
    view.today = QDate(2026, 1, 1);
    view.dueWithinYears = 2.0;
    const auto compute = [&]
    {
        return std::make_unique<CObjectHistory>(QStringLiteral("Резервуар-9"), surveys,
                                                QSet<QPair<qint64, int>>(), settings, view);
    };
    QList<double> computeTimes;
    std::unique_ptr<CObjectHistory> probe;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer timer;
        timer.start();
        probe = compute();
        computeTimes.append(Elapsed(timer));
    }
    if (probe->Locations().size() != kCells)
    {
        std::fprintf(stderr, "the object has %d locations\n", int(probe->Locations().size()));
        return 1;
    }
    const QStringList headers = probe->Headers();
    QList<QStringList> rows;
    for (int i = 0; i < probe->Locations().size(); ++i)
        rows << probe->RowTexts(i);

    const QSize size(1200, 800);
    CHistoryView tab;
    tab.resize(size);
    tab.show();
    QTableView bare;
    bare.resize(size);
    bare.show();
    if (!QTest::qWaitForWindowExposed(&tab) || !QTest::qWaitForWindowExposed(&bare))
        return 1;

    // Subject: the computed figures handed to the tab, until it is painted.
    const auto fillTab = [&]
    {
        std::unique_ptr<CObjectHistory> history = compute();
        QElapsedTimer timer;
        timer.start();
        tab.ShowHistory(std::move(history));
        QCoreApplication::processEvents();
        tab.repaint();
        return Elapsed(timer);
    };
    // Reference: the same texts in a plain model, the table painted.
    std::unique_ptr<QStandardItemModel> bareModel;
    const auto fillBare = [&]
    {
        QElapsedTimer timer;
        timer.start();
        auto model = std::make_unique<QStandardItemModel>(int(rows.size()), int(headers.size()));
        model->setHorizontalHeaderLabels(headers);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < headers.size(); ++c)
                model->setItem(r, c, new QStandardItem(rows.at(r).at(c)));
        bare.setModel(model.get());
        bare.resizeColumnsToContents();
        bareModel = std::move(model);
        QCoreApplication::processEvents();
        bare.repaint();
        return Elapsed(timer);
    };
    fillTab();
    fillBare();
    QList<double> tabTimes, bareTimes;
    for (int r = 0; r < runs; ++r)
    {
        if (r % 2)
        {
            tabTimes.append(fillTab());
            bareTimes.append(fillBare());
        }
        else
        {
            bareTimes.append(fillBare());
            tabTimes.append(fillTab());
        }
    }

    // The trend of another location: chart refilled and its view painted.
    QChartView* trendView = tab.findChild<QChartView*>(QStringLiteral("TrendChartView"));
    QList<double> trendTimes, selectTimes;
    for (int r = 0; r < runs; ++r)
    {
        const int location = (r * 53) % kCells;
        QElapsedTimer timer;
        timer.start();
        tab.TrendChart()->SetLocation(*tab.History(), location);
        QCoreApplication::processEvents();
        trendView->viewport()->repaint();
        trendTimes.append(Elapsed(timer));
        timer.start();
        tab.SelectLocation((location + 7) % kCells);
        QCoreApplication::processEvents();
        tab.repaint();
        selectTimes.append(Elapsed(timer));
    }

    // The overview of the rates, drawn when its tab is brought to the front.
    QTabWidget* charts = tab.findChild<QTabWidget*>(QStringLiteral("HistoryChartTabs"));
    QList<double> overviewTimes;
    for (int r = 0; r < runs; ++r)
    {
        charts->setCurrentIndex(0);
        tab.ShowHistory(compute());
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        charts->setCurrentIndex(1);
        QCoreApplication::processEvents();
        charts->repaint();
        overviewTimes.append(Elapsed(timer));
    }

    std::printf("object of %d surveys x %d locations, %d runs\n", kSurveys, kCells, runs);
    BenchData::PrintMs("figures computed", computeTimes);
    BenchData::PrintMs("bare table filled+painted (ref)", bareTimes);
    BenchData::PrintMs("history tab filled+painted", tabTimes);
    std::printf("ratio of medians (tab / bare table): %.2f\n",
                BenchData::Median(tabTimes) / BenchData::Median(bareTimes));
    BenchData::PrintMs("trend chart redrawn", trendTimes);
    BenchData::PrintMs("location chosen, tab painted", selectTimes);
    BenchData::PrintMs("rate overview shown", overviewTimes);
    return 0;
}
