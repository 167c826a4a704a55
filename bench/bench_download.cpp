// Download of the largest database (150 data files of 254 cells, plus the
// materials table) from the virtual gauge over a pseudo-terminal.
//
// Subject: the program's own chain as the command line runs it (device
// manager, worker thread, CDatabaseTransfer, a task runner per task).
// Reference, in the same process and interleaved run by run: a minimal
// blocking client of the same protocol (plain POSIX, same request bytes, same
// checksum checks, the port opened around each task as the program does).
// The gauge is korvalent-gauge-sim, a process of its own, so its CPU time is
// not counted; wall time also holds the gauge and the scheduler.
//
// CPU time is user + system of this process (all threads) per download; it is
// also given as a share of the wire time of the same bytes at 115200 baud,
// 10 bits per byte, which is what the download takes on a real line.
//
//   korvalent-bench-download [--runs N] [--only cli|reference] [--keep FILE.kdb]
//                            [--port PATH] [--reply-delay MS]
//
// --only runs one contestant; --keep also writes the database it serves;
// --port talks to a korvalent-gauge-sim started apart (with --db of a kept
// database), so that `strace -f -c` counts this process alone.
//
// A pseudo-terminal moves the bytes far faster than the line, so whatever the
// program does per unit of time (status texts and progress at most every
// 50 ms) happens fewer times per download than on the line. For the share
// at about the line's pace, give --reply-delay 3: the gauge this program
// starts holds every reply back 3 ms, and both contestants (the minimal
// client too) are measured at that pace (about two minutes a download).

#include "bench/DownloadBench.h"
#include "core/CAppSettings.h"

#include <QSettings>
#include <memory>

using namespace DownloadBench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Korvalent"));
    int runs = 15;
    QString keep;
    QString only;
    QString portPath;
    int replyDelay = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--keep") && i + 1 < args.size())
            keep = args.at(++i);
        else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size())
            only = args.at(++i);
        else if (args.at(i) == QLatin1String("--port") && i + 1 < args.size())
            portPath = args.at(++i);
        else if (args.at(i) == QLatin1String("--reply-delay") && i + 1 < args.size())
            replyDelay = std::max(0, args.at(++i).toInt());
    }
    const bool withCli = only.isEmpty() || only == QLatin1String("cli");
    const bool withReference = only.isEmpty() || only == QLatin1String("reference");

    QTemporaryDir settingsDir;
    CAppSettings::UseDirectory(settingsDir.path());
    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();

    const DataFileList database = LargestDatabase();
    CGaugeProcess gauge;
    if (portPath.isEmpty() && !gauge.Start(database, keep, replyDelay))
    {
        std::fprintf(stderr, "cannot start korvalent-gauge-sim beside this program\n");
        return 1;
    }
    if (portPath.isEmpty())
        portPath = gauge.Port();
    settings->setValue(QStringLiteral("Device/PortPath"), portPath);
    settings->setValue(QStringLiteral("Device/PortName"), QStringLiteral("virtual"));
    settings->setValue(QStringLiteral("Device/Name"), QStringLiteral("QM-3RX"));

    CDeviceManager manager;
    g_App.pDeviceManager = &manager;
    CCliTaskRunner cli(&manager);
    CBlockingClient reference;
    const QByteArray port = QFile::encodeName(portPath);

    const int expectedCells = CellCount(database);
    Wire wire;
    Runs cliRuns;
    Runs referenceRuns;
    const double loadBefore = LoadAverage();
    for (int run = 0; run < runs; ++run)
    {
        // Alternate who goes first, so that neither always meets a warm gauge.
        for (int turn = 0; turn < 2; ++turn)
        {
            if ((turn == run % 2) && withReference)
            {
                if (!referenceRuns.Measure([&] { return reference.Download(port); }) ||
                    reference.files != kFiles || reference.cells != expectedCells ||
                    reference.wireBytes != WireOf(database, reference.materials).bytes)
                {
                    std::fprintf(stderr, "the reference download failed\n");
                    return 1;
                }
                wire = WireOf(database, reference.materials);
            }
            else if ((turn != run % 2) && withCli)
            {
                DataFileList files;
                MaterialList materials;
                if (!cliRuns.Measure([&] { return cli.Download(&files, &materials); }) ||
                    files.size() != kFiles || CellCount(files) != expectedCells)
                {
                    std::fprintf(stderr, "the download failed\n");
                    return 1;
                }
                wire = WireOf(files, int(materials.size()));
            }
        }
    }
    const double loadAfter = LoadAverage();

    const double wireMs = wire.Ms();
    PrintHeader(runs, wire);
    if (replyDelay > 0)
        std::printf("gauge replies held back %d ms each (about the line's pace)\n", replyDelay);
    std::printf("load average (1 min): %.2f before, %.2f after\n", loadBefore, loadAfter);
    if (withReference)
        PrintRow("reference (blocking POSIX)", referenceRuns, wireMs);
    if (withCli)
        PrintRow("program, command line", cliRuns, wireMs);
    if (withCli && withReference)
        PrintRatio("command line / reference", cliRuns, referenceRuns);
    if (withCli)
        std::printf("goal: CPU <= 0.5 %% of wire time in the command line: %s\n",
                    BenchData::Median(cliRuns.cpu) / wireMs <= 0.005 ? "met" : "not met");
    g_App.pDeviceManager = nullptr;
    return 0;
}
