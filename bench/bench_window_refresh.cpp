// Window refresh: the time from a click on a data file in the files table
// until its results table is painted, for files of 254 cells. The columns of
// the results table are sized from a bounded sample of rows; the reference,
// interleaved run by run in the same window, measures every row (Qt's
// default of 1000 rows) as the window did before.
//
//   korvalent-bench-window-refresh [--runs N]
#include "app/CKorvalent.h"
#include "bench/BenchData.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
DataFileList Files()
{
    BenchData::Sequence next(7);
    DataFileList files;
    for (int f = 0; f < 2; ++f)
    {
        DataFileRecord file;
        std::snprintf(file.header.name, sizeof(file.header.name), "FILE-%d", f + 1);
        file.header.records = 254;
        file.header.serialNumber = 26031742;
        file.header.fwVersion = 0x01040000;
        for (int c = 0; c < 254; ++c)
            file.cells.append(BenchData::RandomCell(next, 4));
        files.append(file);
    }
    return files;
}

// A click on row `row` of the files table, until the results are painted.
double ClickToPainted(QTableView* filesTable, QTableView* results, int row)
{
    QElapsedTimer timer;
    timer.start();
    const QModelIndex index = filesTable->model()->index(row, 0);
    filesTable->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
    QMetaObject::invokeMethod(filesTable, "clicked", Q_ARG(QModelIndex, index));
    QCoreApplication::processEvents();
    results->viewport()->repaint();
    return double(timer.nsecsElapsed()) / 1e6;
}

void Print(const char* what, QList<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-28s min %7.2f  median %7.2f  max %7.2f ms\n", what, v.first(),
                BenchData::Median(v), v.last());
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 15;
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    if (at > 0 && at + 1 < args.size())
        runs = qMax(1, args.at(at + 1).toInt());

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();
    CKorvalent window;
    g_App.pMainWindow = &window;
    window.resize(1200, 860);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.DataFiles() = Files();
    window.FilesTableUpdate();
    auto* filesTable = window.findChild<QTableView*>(QStringLiteral("ResultFilesTable"));
    auto* results = window.findChild<QTableView*>(QStringLiteral("ResultFileContentTable"));
    if (!filesTable || !results || filesTable->model()->rowCount() < 2)
    {
        std::fprintf(stderr, "the files table did not fill\n");
        return 1;
    }
    QHeaderView* header = results->horizontalHeader();
    const int sample = header->resizeContentsPrecision();

    QList<double> bounded, everyRow;
    ClickToPainted(filesTable, results, 1); // warm-up
    for (int r = 0; r < runs; ++r)
    {
        header->setResizeContentsPrecision(1000);
        everyRow.append(ClickToPainted(filesTable, results, r % 2));
        header->setResizeContentsPrecision(sample);
        bounded.append(ClickToPainted(filesTable, results, (r + 1) % 2));
    }
    std::printf("click to painted, 254 cells, %d runs each, interleaved\n", runs);
    Print("every row measured", everyRow);
    Print("sample of rows measured", bounded);
    std::printf("ratio of medians (sample / every row): %.2f\n",
                BenchData::Median(bounded) / BenchData::Median(everyRow));
    g_App.pMainWindow = nullptr;
    g_App.pSettings = nullptr;
    return 0;
}
