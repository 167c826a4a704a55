// Window refresh: a mouse click on a data file of 254 cells in the files
// table, until its results table is painted. Timed as the user sees it: from
// the press (which selects the file and refreshes the tables) until the
// results viewport has painted, and separately the release (whose click
// refreshes once more) until painted again.
//
// Reference, interleaved run by run: a bare QTableView of the same size
// showing the same 254 × 9 texts in a QStandardItemModel built apart and then
// attached, the least Qt itself needs to show such a table.
//
//   korvalent-bench-window-refresh [--runs N]
#include "app/CKorvalent.h"
#include "bench/BenchData.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "data/CCellDecoder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
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

// Counts the paints of a widget.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// Runs the event loop until the counted widget painted once more.
void UntilPainted(const PaintCounter& counter, int before)
{
    QElapsedTimer guard;
    guard.start();
    while (counter.paints == before && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

struct Click
{
    double pressMs;
    double releaseMs;
};

Click ClickRow(QTableView* filesTable, const PaintCounter& painted, int row)
{
    const QPoint at = filesTable->visualRect(filesTable->model()->index(row, 0)).center();
    QElapsedTimer timer;
    timer.start();
    int before = painted.paints;
    QTest::mousePress(filesTable->viewport(), Qt::LeftButton, {}, at);
    UntilPainted(painted, before);
    const double press = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    before = painted.paints;
    QTest::mouseRelease(filesTable->viewport(), Qt::LeftButton, {}, at);
    // The release's refresh repaints the same texts.
    UntilPainted(painted, before);
    return {press, double(timer.nsecsElapsed()) / 1e6};
}

// The reference: build the model apart, attach it, paint.
double BareTable(QTableView* view, const PaintCounter& painted, const DataFileRecord& file)
{
    QElapsedTimer timer;
    timer.start();
    const int before = painted.paints;
    auto* model = new QStandardItemModel(0, CCellDecoder::ColumnCount, view);
    model->setHorizontalHeaderLabels(CCellDecoder::Headers());
    for (const CellRecord& cell : file.cells)
    {
        QList<QStandardItem*> items;
        for (const QString& text : CCellDecoder::RowTexts(cell, {}))
            items.append(new QStandardItem(text));
        model->appendRow(items);
    }
    QAbstractItemModel* old = view->model();
    view->setModel(model);
    delete old;
    UntilPainted(painted, before);
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = BenchData::Runs(app.arguments());

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
    const DataFileList files = Files();
    window.DataFiles() = files;
    window.FilesTableUpdate();
    auto* filesTable = window.findChild<QTableView*>(QStringLiteral("ResultFilesTable"));
    auto* results = window.findChild<QTableView*>(QStringLiteral("ResultFileContentTable"));
    if (!filesTable || !results || filesTable->model()->rowCount() < 2)
    {
        std::fprintf(stderr, "the files table did not fill\n");
        return 1;
    }
    const PaintCounter resultsPainted(results->viewport());

    QTableView bare;
    bare.resize(results->size());
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare))
        return 1;
    const PaintCounter barePainted(bare.viewport());

    QList<double> press, release, reference;
    ClickRow(filesTable, resultsPainted, 1); // warm-up
    BareTable(&bare, barePainted, files.at(1));
    for (int r = 0; r < runs; ++r)
    {
        const Click click = ClickRow(filesTable, resultsPainted, r % 2);
        press.append(click.pressMs);
        release.append(click.releaseMs);
        reference.append(BareTable(&bare, barePainted, files.at(r % 2)));
    }
    std::printf("click on a data file of 254 cells until painted, %d runs each, interleaved\n",
                runs);
    BenchData::PrintMs("bare table: build, attach, paint", reference);
    BenchData::PrintMs("window: press until painted", press);
    BenchData::PrintMs("window: release until painted", release);
    std::printf("ratio of medians (press / bare table): %.2f\n",
                BenchData::Median(press) / BenchData::Median(reference));
    g_App.pMainWindow = nullptr;
    g_App.pSettings = nullptr;
    return 0;
}
