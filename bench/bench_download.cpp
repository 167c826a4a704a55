// Download of the largest database (150 data files of 254 cells, plus the
// materials table) from the virtual gauge over a pseudo-terminal, through the
// device manager and the same chain the main window runs (11 -> 12 per file
// -> 5). A pseudo-terminal moves bytes at once, so the whole wall time of the
// chain is the program's own time (plus the virtual gauge's); it is compared
// with the time the same request and reply bytes need on the real line at
// 115200 baud, 10 bits per byte.
//
// The gauge runs as the stand-alone korvalent-gauge-sim beside this program,
// so the CPU time of this process is the program's alone; wall time also
// counts the gauge and the scheduler (on a loaded machine, mostly waiting).
//
//   korvalent-bench-download [--runs N] [--keep FILE.kdb]
//
// --keep also writes the database it serves to FILE.kdb (for trying the
// window against `korvalent-gauge-sim --db FILE.kdb`).

#include "bench/BenchData.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "data/CDataStorage.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tools/CDatabaseTransfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace
{
DataFileList LargestDatabase()
{
    DataFileList files;
    BenchData::Sequence next(4242);
    for (int f = 0; f < 150; ++f)
    {
        DataFileRecord file;
        const QByteArray name = "Pipe " + QByteArray::number(f + 1);
        std::memcpy(file.header.name, name.constData(), size_t(name.size()));
        file.header.records = 254;
        file.header.serialNumber = 100000 + quint32(f);
        file.header.fwVersion = 0x01040000;
        for (int c = 0; c < 254; ++c)
        {
            file.cells.append(BenchData::RandomCell(next, 3));
        }
        files.append(file);
    }
    return files;
}

// Reply payload of each request code of a download.
int ReplyPayload(quint8 code)
{
    switch (code)
    {
    case 0xAA:
        return 10;
    case 0x0C:
        return int(sizeof(DataFileDescriptor));
    case 0x0D:
        return int(sizeof(CellRecord));
    case 0x08:
        return int(sizeof(MaterialRecord));
    default:
        return 0;
    }
}

// Drives the chain as the main window does: each completion starts the next
// task from the completion slot.
class CChainDriver : public QObject
{
    Q_OBJECT
public:
    CChainDriver(CDeviceManager* manager, CDatabaseTransfer* transfer)
        : m_manager(manager), m_transfer(transfer)
    {
    }
    QEventLoop loop;
    CDatabaseTransfer::Action last;

    void Run(const CDatabaseTransfer::Action& start) { Carry(start); }

public Q_SLOTS:
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
    {
        Carry(m_transfer->TaskCompleted(TaskID, lpUserBuf, nDataLength));
    }

private:
    void Carry(const CDatabaseTransfer::Action& a)
    {
        last = a;
        if (a.task >= 0)
            m_manager->StartTask(a.task, a.buffer, a.value, this);
        else
            loop.quit();
    }
    CDeviceManager* m_manager;
    CDatabaseTransfer* m_transfer;
};

// CPU time of this process in ms: user + system, or user only.
double CpuMs(bool userOnly = false)
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const double user = u.ru_utime.tv_sec * 1e3 + u.ru_utime.tv_usec / 1e3;
    const double system = u.ru_stime.tv_sec * 1e3 + u.ru_stime.tv_usec / 1e3;
    return userOnly ? user : user + system;
}

// Request frame + reply frame bytes of one exchange of the download.
qint64 ExchangeBytes(quint8 code, int requestPayload)
{
    return 4 + requestPayload + 4 + ReplyPayload(code);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Korvalent"));
    int runs = 3;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--keep") && i + 1 < args.size())
            keep = args.at(++i);
    }

    QTemporaryDir settingsDir;
    CAppSettings::UseDirectory(settingsDir.path());
    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();

    const DataFileList database = LargestDatabase();
    QTemporaryDir work;
    const QString kdb = work.filePath(QStringLiteral("largest.kdb"));
    if (!CDataStorage::SaveDatabaseFile(kdb, database))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(kdb));
        return 1;
    }
    if (!keep.isEmpty() && !CDataStorage::SaveDatabaseFile(keep, database))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(keep));
    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/korvalent-gauge-sim"),
              {QStringLiteral("--db"), kdb});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(30000))
    {
        std::fprintf(stderr, "cannot start korvalent-gauge-sim beside this program\n");
        return 1;
    }
    const QString port = QString::fromUtf8(sim.readLine()).trimmed();
    settings->setValue(QStringLiteral("Device/PortPath"), port);
    settings->setValue(QStringLiteral("Device/PortName"), QStringLiteral("virtual"));
    settings->setValue(QStringLiteral("Device/Name"), QStringLiteral("QM-3RX"));

    // The exchanges of the chain, counted from the gauge's content: task 11
    // reads 150 descriptors, task 12 every cell of each file, task 5 every
    // material; each task begins with the identification.
    CVirtualGauge demo;
    demo.LoadDemoContent();
    const int materialCount = int(demo.Materials().size());
    qint64 wireBytes = 0;
    int exchanges = 0;
    auto count = [&](quint8 code, int payload, int times)
    {
        wireBytes += ExchangeBytes(code, payload) * times;
        exchanges += times;
    };
    count(0xAA, 0, 1);
    count(0x0C, 1, int(database.size()));
    for (const DataFileRecord& f : database)
    {
        count(0xAA, 0, 1);
        count(0x0D, 2, f.header.records);
    }
    count(0xAA, 0, 1);
    count(0x08, 1, materialCount);

    CDeviceManager manager;
    g_App.pDeviceManager = &manager;
    // The status texts and the progress travel to the user-interface thread
    // as in the window; here they land in counters.
    int statusTexts = 0;
    int progress = 0;
    QObject sink;
    QObject::connect(&manager, &CDeviceManager::ShowStatusMessage, &sink,
                     [&](const QString&, int) { ++statusTexts; });
    QObject::connect(&manager, &CDeviceManager::TaskProgress, &sink, [&](int, int) { ++progress; });

    QList<double> times;
    QList<double> cpu;
    QList<double> cpuUser;
    int cells = 0;
    for (int run = 0; run < runs; ++run)
    {
        DataFileList files;
        MaterialList materials;
        int selected = -1;
        CDatabaseTransfer transfer(&files, &materials, &selected);
        CChainDriver driver(&manager, &transfer);

        QElapsedTimer timer;
        const double cpuBefore = CpuMs();
        const double userBefore = CpuMs(true);
        timer.start();
        driver.Run(transfer.StartDownload());
        driver.loop.exec();
        times.append(double(timer.nsecsElapsed()) / 1e6);
        cpu.append(CpuMs() - cpuBefore);
        cpuUser.append(CpuMs(true) - userBefore);

        if (!driver.last.succeeded || files.size() != database.size())
        {
            std::fprintf(stderr, "the download failed\n");
            return 1;
        }
        cells = 0;
        for (const DataFileRecord& f : files)
            cells += int(f.cells.size());
    }
    sim.terminate();
    sim.waitForFinished(5000);

    const double wireMs = double(wireBytes) * 10.0 / 115200.0 * 1000.0;
    const double measured = BenchData::Median(times);
    std::printf("files 150, cells %d, exchanges %d, status texts %d, progress signals %d\n", cells,
                exchanges, statusTexts / runs, progress / runs);
    std::printf("wire bytes %lld -> %.1f ms at 115200 baud (10 bits per byte)\n",
                static_cast<long long>(wireBytes), wireMs);
    const double cpuMs = BenchData::Median(cpu);
    std::printf("chain on the pty, wall: median %.1f ms over %d runs (min %.1f, max %.1f)\n",
                measured, runs, *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()));
    const double userMs = BenchData::Median(cpuUser);
    std::printf("chain, CPU time of this process: median %.1f ms (user %.1f ms, system %.1f ms)\n",
                cpuMs, userMs, cpuMs - userMs);
    std::printf("wall / wire = %.2f %%, CPU / wire = %.2f %%, user CPU / wire = %.2f %% "
                "(goal <= 2 %%)\n",
                measured / wireMs * 100.0, cpuMs / wireMs * 100.0, userMs / wireMs * 100.0);
    g_App.pDeviceManager = nullptr;
    return 0;
}

#include "bench_download.moc"
