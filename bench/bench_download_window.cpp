// The database download in the main window against the same download run as
// the command line runs it and against the minimal blocking client,
// interleaved run by run in one process, all from the stand-alone virtual
// gauge (150 data files of 254 cells and the materials). The window runs
// offscreen, shown, with its status bar fed by the device manager as at
// start-up; a window download is timed from the command until the chain's
// last completion has been carried out (the tables refreshed), which is what
// the user waits for. CPU time is also given by thread (main, device worker,
// Qt's pooled helpers), from the scheduler's exact count.
//
//   korvalent-bench-download-window [--runs N] [--only window|cli|reference] [--port PATH]
//                                   [--files N] [--reply-delay MS] [--paints]
//
// --port: a korvalent-gauge-sim started apart (see korvalent-bench-download).
// --files: the first N files of the database only (a shorter run, e.g. under
// callgrind). --reply-delay: the gauge started here holds every reply back
// (3 is about the line's pace). --paints: count the window's paint and
// layout events per widget class during the window's downloads.

#include "app/CAppStyle.h"
#include "app/CKorvalent.h"
#include "bench/DownloadBench.h"
#include "core/CAppSettings.h"

#include <QApplication>
#include <QMap>
#include <QSettings>
#include <QTest>
#include <memory>

using namespace DownloadBench;

namespace
{
// Runs the window's download until its chain has ended.
bool WindowDownload(CKorvalent& window, CDeviceManager& manager)
{
    QEventLoop loop;
    QObject guard;
    // The window's completion slot is queued, behind what this handler
    // queues: look twice removed, after the slot has run.
    auto afterWindow = [&]
    {
        QMetaObject::invokeMethod(
            &guard,
            [&]
            {
                if (!window.IsDeviceChainRunning())
                    loop.quit();
            },
            Qt::QueuedConnection);
    };
    QObject::connect(&manager, &CDeviceManager::DeviceTaskCompleted, &guard,
                     [&](int, const void*, int)
                     { QMetaObject::invokeMethod(&guard, afterWindow, Qt::QueuedConnection); });
    window.OnResultsDownloadDatabaseFromDevice();
    if (!window.IsDeviceChainRunning())
        return false;
    loop.exec();
    return true;
}
// Paint events and layout requests per widget class and name.
class CEventCounter : public QObject
{
public:
    bool active = false;
    QMap<QByteArray, int> paints;
    // Class and name, with the parent's name for a widget without one (the
    // viewports of the tables).
    static QByteArray Key(QObject* watched)
    {
        QByteArray key =
            QByteArray(watched->metaObject()->className()) + ' ' + watched->objectName().toLatin1();
        if ((watched->objectName().isEmpty() ||
             watched->objectName().startsWith(QLatin1String("qt_"))) &&
            watched->parent())
            key += " in " + watched->parent()->objectName().toLatin1();
        return key;
    }
    QMap<QByteArray, int> layouts;
    int paintTotal = 0;
    int layoutTotal = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (active && watched->isWidgetType())
        {
            if (event->type() == QEvent::Paint)
            {
                ++paints[Key(watched)];
                ++paintTotal;
            }
            else if (event->type() == QEvent::LayoutRequest)
            {
                ++layouts[Key(watched)];
                ++layoutTotal;
            }
        }
        return false;
    }
};
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Korvalent"));
    QApplication::setStyle(CAppStyle::Create()); // as the program starts
    int runs = 15;
    QString only;
    QString portPath;
    int fileCount = kFiles;
    int replyDelay = 0;
    bool countPaints = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size())
            only = args.at(++i);
        else if (args.at(i) == QLatin1String("--port") && i + 1 < args.size())
            portPath = args.at(++i);
        else if (args.at(i) == QLatin1String("--files") && i + 1 < args.size())
            fileCount = std::clamp(args.at(++i).toInt(), 1, kFiles);
        else if (args.at(i) == QLatin1String("--reply-delay") && i + 1 < args.size())
            replyDelay = std::max(0, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--paints"))
            countPaints = true;
    }
    const bool withWindow = only.isEmpty() || only == QLatin1String("window");
    const bool withCli = only.isEmpty() || only == QLatin1String("cli");
    const bool withReference = only.isEmpty() || only == QLatin1String("reference");

    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    CAppSettings::UseDirectory(home.path());
    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();

    const DataFileList database = LargestDatabase(fileCount);
    CGaugeProcess gauge;
    if (portPath.isEmpty() && !gauge.Start(database, QString(), replyDelay))
    {
        std::fprintf(stderr, "cannot start korvalent-gauge-sim beside this program\n");
        return 1;
    }
    if (portPath.isEmpty())
        portPath = gauge.Port();
    settings->setValue(QStringLiteral("Device/PortPath"), portPath);
    settings->setValue(QStringLiteral("Device/PortName"), QStringLiteral("virtual"));
    settings->setValue(QStringLiteral("Device/Name"), QStringLiteral("QM-3RX"));

    // As at start-up: the window, then its device manager feeding the status bar.
    CKorvalent window;
    g_App.pMainWindow = &window;
    g_App.pStatusSink = &window;
    CDeviceManager windowManager;
    g_App.pDeviceManager = &windowManager;
    QObject::connect(&windowManager, &CDeviceManager::ShowStatusMessage, &window,
                     &CKorvalent::ShowDeviceMessage);
    window.resize(1200, 860);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    // What the window builds after its first paint is built before the first
    // download, as when a user gets to the command.
    QTest::qWait(500);

    // The command line's chain on a manager of its own, not tied to the window.
    CEventCounter counter;
    if (countPaints)
        app.installEventFilter(&counter);

    CDeviceManager cliManager;
    CCliTaskRunner cli(&cliManager);
    const int expectedCells = CellCount(database);

    int materialCount = 0;
    Runs windowRuns;
    Runs cliRuns;
    Runs referenceRuns;
    CBlockingClient reference;
    const QByteArray port = QFile::encodeName(portPath);
    const double loadBefore = LoadAverage();
    for (int run = 0; run < runs; ++run)
    {
        // Each contestant goes first, second and third in turn.
        for (int turn = 0; turn < 3; ++turn)
        {
            const int who = (turn + run) % 3;
            if (who == 0 && withWindow)
            {
                counter.active = true;
                const bool ok =
                    windowRuns.Measure([&] { return WindowDownload(window, windowManager); });
                counter.active = false;
                if (!ok || window.DataFiles().size() != fileCount ||
                    CellCount(window.DataFiles()) != expectedCells)
                {
                    std::fprintf(stderr, "the window's download failed\n");
                    return 1;
                }
                materialCount = int(window.Materials().size());
            }
            else if (who == 1 && withCli)
            {
                DataFileList files;
                MaterialList materials;
                if (!cliRuns.Measure([&] { return cli.Download(&files, &materials); }) ||
                    files.size() != fileCount || CellCount(files) != expectedCells)
                {
                    std::fprintf(stderr, "the command line's download failed\n");
                    return 1;
                }
                materialCount = int(materials.size());
            }
            else if (who == 2 && withReference)
            {
                if (!referenceRuns.Measure([&] { return reference.Download(port); }) ||
                    reference.files != fileCount || reference.cells != expectedCells)
                {
                    std::fprintf(stderr, "the reference download failed\n");
                    return 1;
                }
                materialCount = reference.materials;
            }
        }
    }
    const double loadAfter = LoadAverage();

    const Wire wire = WireOf(database, materialCount);
    const double wireMs = wire.Ms();
    PrintHeader(runs, wire, fileCount);
    if (replyDelay > 0)
        std::printf("gauge replies held back %d ms each (about the line's pace)\n", replyDelay);
    std::printf("load average (1 min): %.2f before, %.2f after\n", loadBefore, loadAfter);
    if (withReference)
        PrintRow("reference (blocking POSIX)", referenceRuns, wireMs);
    if (withCli)
        PrintRow("program, command line", cliRuns, wireMs);
    if (withWindow)
        PrintRow("program, main window", windowRuns, wireMs);
    if (withCli && withWindow)
        PrintRatio("window / command line", windowRuns, cliRuns);
    if (withWindow && withReference)
        PrintRatio("window / reference", windowRuns, referenceRuns);
    if (withCli && withReference)
        PrintRatio("command line / reference", cliRuns, referenceRuns);
    if (withWindow)
        std::printf("goal: CPU <= 1 %% of wire time in the window: %s\n",
                    BenchData::Median(windowRuns.cpu) / wireMs <= 0.01 ? "met" : "not met");
    if (countPaints)
    {
        const int windowRunCount = std::max(1, int(windowRuns.cpu.size()));
        std::printf("per window download: %d paint events, %d layout requests\n",
                    counter.paintTotal / windowRunCount, counter.layoutTotal / windowRunCount);
        for (auto it = counter.paints.cbegin(); it != counter.paints.cend(); ++it)
            std::printf("  paint  %-44s %6d\n", it.key().constData(), it.value() / windowRunCount);
        for (auto it = counter.layouts.cbegin(); it != counter.layouts.cend(); ++it)
            std::printf("  layout %-44s %6d\n", it.key().constData(), it.value() / windowRunCount);
    }
    g_App.pDeviceManager = nullptr;
    g_App.pStatusSink = nullptr;
    g_App.pMainWindow = nullptr;
    g_App.pSettings = nullptr;
    return 0;
}
