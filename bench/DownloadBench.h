#pragma once

// What the download benchmarks share: the largest database served by the
// stand-alone virtual gauge, a minimal blocking client of the protocol (the
// reference), the command line's way of running the chain, and the figures.

#include "bench/BenchData.h"
#include "core/CAppGlobals.h"
#include "data/CDataStorage.h"
#include "device/CCrc16.h"
#include "device/CDeviceManager.h"
#include "tools/CDatabaseTransfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace DownloadBench
{
constexpr int kFiles = 150;
constexpr int kCells = 254;

// The first `count` files of it for shorter runs.
inline DataFileList LargestDatabase(int count = kFiles)
{
    DataFileList files;
    BenchData::Sequence next(4242);
    for (int f = 0; f < count; ++f)
    {
        DataFileRecord file;
        const QByteArray name = "Pipe " + QByteArray::number(f + 1);
        std::memcpy(file.header.name, name.constData(), size_t(name.size()));
        file.header.records = kCells;
        file.header.serialNumber = 100000 + quint32(f);
        file.header.fwVersion = 0x01040000;
        for (int c = 0; c < kCells; ++c)
            file.cells.append(BenchData::RandomCell(next, 3));
        files.append(file);
    }
    return files;
}

// korvalent-gauge-sim beside the benchmark, serving `database`: a process of
// its own, so that its CPU time is not counted as ours.
class CGaugeProcess
{
public:
    // replyDelayMs > 0 holds every reply back that long (3 is about the line's
    // pace at 115200 baud).
    bool Start(const DataFileList& database, const QString& keep = QString(), int replyDelayMs = 0)
    {
        const QString kdb = m_dir.filePath(QStringLiteral("largest.kdb"));
        if (!CDataStorage::SaveDatabaseFile(kdb, database))
            return false;
        if (!keep.isEmpty() && !CDataStorage::SaveDatabaseFile(keep, database))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(keep));
        QStringList arguments{QStringLiteral("--db"), kdb};
        if (replyDelayMs > 0)
            arguments << QStringLiteral("--reply-delay") << QString::number(replyDelayMs);
        m_sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/korvalent-gauge-sim"),
                    arguments);
        if (!m_sim.waitForStarted() || !m_sim.waitForReadyRead(30000))
            return false;
        m_port = QString::fromUtf8(m_sim.readLine()).trimmed();
        return !m_port.isEmpty();
    }
    ~CGaugeProcess()
    {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
    }
    QString Port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_sim;
    QString m_port;
};

// CPU time of this process (every thread), in ms.
struct CpuTime
{
    double user = 0;
    double system = 0;
    static CpuTime Now()
    {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return {u.ru_utime.tv_sec * 1e3 + u.ru_utime.tv_usec / 1e3,
                u.ru_stime.tv_sec * 1e3 + u.ru_stime.tv_usec / 1e3};
    }
};

// Time on the processor of this process's threads, in ms, summed by kind:
// the main (window) thread, the device worker, Qt's pooled helpers, the rest.
// Taken from the scheduler's own count (schedstat), which is exact where the
// user/system split of rusage is sampled at the tick. With slices, the times
// each kind was put on a processor (its wake-ups, mostly) go there: on a
// virtual machine a wake-up costs more than the little work done after it.
inline QMap<QByteArray, double> ThreadTimes(QMap<QByteArray, double>* slices = nullptr)
{
    QMap<QByteArray, double> times;
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& tid : tasks)
    {
        QFile stat(QStringLiteral("/proc/self/task/") + tid + QStringLiteral("/schedstat"));
        QFile comm(QStringLiteral("/proc/self/task/") + tid + QStringLiteral("/comm"));
        if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(' ');
        const double ms = fields.value(0).toDouble() / 1e6;
        const QByteArray name = comm.readAll().trimmed();
        QByteArray kind = "other";
        if (tid.toLatin1() == self)
            kind = "main";
        else if (name == "QThread")
            kind = "worker";
        else if (name.startsWith("Thread (pooled)"))
            kind = "pool";
        times[kind] += ms;
        if (slices)
            (*slices)[kind] += fields.value(2).toDouble();
    }
    return times;
}

// Wall, user and system time of the runs of one contestant.
struct Runs
{
    QList<double> wall, cpu, user, system;
    QMap<QByteArray, QList<double>> threads; // ThreadTimes() per run
    QMap<QByteArray, QList<double>> slices;  // and the threads' slices

    template <typename Body> bool Measure(Body body)
    {
        QMap<QByteArray, double> slicesBefore;
        const QMap<QByteArray, double> threadsBefore = ThreadTimes(&slicesBefore);
        const CpuTime before = CpuTime::Now();
        QElapsedTimer timer;
        timer.start();
        const bool ok = body();
        const double wallMs = double(timer.nsecsElapsed()) / 1e6;
        const CpuTime after = CpuTime::Now();
        QMap<QByteArray, double> slicesAfter;
        const QMap<QByteArray, double> threadsAfter = ThreadTimes(&slicesAfter);
        wall.append(wallMs);
        user.append(after.user - before.user);
        system.append(after.system - before.system);
        cpu.append(user.last() + system.last());
        for (auto it = threadsAfter.cbegin(); it != threadsAfter.cend(); ++it)
            threads[it.key()].append(it.value() - threadsBefore.value(it.key()));
        for (auto it = slicesAfter.cbegin(); it != slicesAfter.cend(); ++it)
            slices[it.key()].append(it.value() - slicesBefore.value(it.key()));
        return ok;
    }
};

inline double Min(const QList<double>& v)
{
    return v.isEmpty() ? 0 : *std::min_element(v.begin(), v.end());
}
inline double Max(const QList<double>& v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

inline double LoadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// The minimal client: plain POSIX on a blocking descriptor, one read call per
// reply as long as the reply arrives whole, the same frames and checks as the
// program, and the port opened and closed around each task as the program does.
class CBlockingClient
{
public:
    qint64 wireBytes = 0;
    int exchanges = 0;
    int files = 0;
    int cells = 0;
    int materials = 0;

    // The whole chain: file list, the cells of every file, the materials.
    bool Download(const QByteArray& port)
    {
        wireBytes = 0;
        exchanges = 0;
        files = cells = materials = 0;
        std::vector<DataFileDescriptor> descriptors;
        descriptors.reserve(kFiles);
        m_cells.clear();
        m_cells.reserve(size_t(kFiles) * kCells);
        m_materials.clear();

        // File list.
        if (!Begin(port))
            return false;
        for (int i = 0; i < 150; ++i)
        {
            const quint8 request[1] = {quint8(i)};
            quint8 status = 0;
            if (!Exchange(0x0C, request, 1, sizeof(DataFileDescriptor), &status))
                return End(false);
            if (m_reply[3] == sizeof(DataFileDescriptor))
            {
                DataFileDescriptor d;
                std::memcpy(&d, m_reply + 4, sizeof(d));
                descriptors.push_back(d);
            }
            if (status == 0x00)
                break;
        }
        End(true);
        files = int(descriptors.size());

        // Cells, one task per file.
        for (int f = 0; f < files; ++f)
        {
            const int records =
                descriptors[size_t(f)].records == 0xFF ? 0 : descriptors[size_t(f)].records;
            if (!Begin(port))
                return false;
            for (int j = 0; j < records; ++j)
            {
                const quint8 request[2] = {quint8(f), quint8(j)};
                quint8 status = 0;
                if (!Exchange(0x0D, request, 2, sizeof(CellRecord), &status))
                    return End(false);
                if (m_reply[3] == sizeof(CellRecord))
                {
                    CellRecord c;
                    std::memcpy(&c, m_reply + 4, sizeof(c));
                    m_cells.push_back(c);
                }
                if (status == 0x00)
                    break;
            }
            End(true);
        }
        cells = int(m_cells.size());

        // Materials, numbered from 1.
        if (!Begin(port))
            return false;
        for (int n = 1; n <= 254; ++n)
        {
            const quint8 request[1] = {quint8(n)};
            quint8 status = 0;
            if (!Exchange(0x08, request, 1, sizeof(MaterialRecord), &status))
                return End(false);
            MaterialRecord m;
            std::memset(&m, 0, sizeof(m));
            std::memcpy(&m, m_reply + 4, std::min<size_t>(m_reply[3], sizeof(m)));
            m_materials.push_back(m);
            if (status == 0x00)
                break;
        }
        End(true);
        materials = int(m_materials.size());
        return true;
    }

private:
    // Open, configure and purge the port, then identify the gauge.
    bool Begin(const QByteArray& port)
    {
        m_fd = ::open(port.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return End(false);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        // A read returns as soon as bytes are there, or after 5 s of silence.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 50;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return End(false);
        ::tcflush(m_fd, TCIOFLUSH);
        quint8 status = 0;
        return Exchange(0xAA, nullptr, 0, 10, &status) && status == 0x55 ? true : End(false);
    }

    bool End(bool ok)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return ok;
    }

    bool Exchange(quint8 code, const quint8* payload, int length, int replyLength, quint8* status)
    {
        quint8 request[4 + 128];
        request[0] = code;
        request[1] = request[2] = 0;
        request[3] = quint8(length);
        if (length > 0)
            std::memcpy(request + 4, payload, size_t(length));
        const quint16 crc = Crc16(request, quint16(4 + length));
        request[1] = quint8(crc & 0xFF);
        request[2] = quint8(crc >> 8);
        if (::write(m_fd, request, size_t(4 + length)) != 4 + length)
            return false;
        const int size = 4 + replyLength;
        int got = 0;
        while (got < size)
        {
            const ssize_t n = ::read(m_fd, m_reply + got, size_t(size - got));
            if (n <= 0)
                return false;
            got += int(n);
        }
        const quint16 received = quint16(m_reply[1] | (m_reply[2] << 8));
        m_reply[1] = m_reply[2] = 0;
        if (Crc16(m_reply, quint16(size)) != received)
            return false;
        *status = m_reply[0];
        wireBytes += 4 + length + size;
        ++exchanges;
        return true;
    }

    int m_fd = -1;
    quint8 m_reply[4 + 128] = {};
    std::vector<CellRecord> m_cells;
    std::vector<MaterialRecord> m_materials;
};

// Runs one device task the way the command line does: a receiver with an
// event loop of its own per task, status texts filtered for the errors it
// prints, the completion taken from the queued signal.
class CCliTaskRunner : public QObject
{
    Q_OBJECT
public:
    explicit CCliTaskRunner(CDeviceManager* manager) : m_manager(manager) {}

    int errors = 0;

    int Run(int TaskID, void* buffer, int value)
    {
        m_length = -1;
        m_done = false;
        const QMetaObject::Connection texts =
            connect(m_manager, &CDeviceManager::ShowStatusMessage, this,
                    [this](const QString& text, int)
                    {
                        if (text.startsWith(QStringLiteral("ОШИБКА")))
                            ++errors;
                    });
        m_manager->StartTask(TaskID, buffer, value, this);
        if (!m_done)
            m_loop.exec();
        disconnect(texts);
        return m_length;
    }

    // The whole chain into `files` and `materials`.
    bool Download(DataFileList* files, MaterialList* materials)
    {
        int selected = -1;
        CDatabaseTransfer transfer(files, materials, &selected);
        CDatabaseTransfer::Action action = transfer.StartDownload();
        while (action.task >= 0)
        {
            const int task = action.task;
            const int length = Run(task, action.buffer, action.value);
            const void* payload = length >= 0 ? m_manager->ReplySlot().Payload() : nullptr;
            action = transfer.TaskCompleted(task, payload, length, false);
        }
        return action.succeeded;
    }

public Q_SLOTS:
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
    {
        Q_UNUSED(TaskID);
        Q_UNUSED(lpUserBuf);
        m_length = nDataLength;
        m_done = true;
        m_loop.quit();
    }

private:
    CDeviceManager* m_manager;
    QEventLoop m_loop;
    int m_length = -1;
    bool m_done = false;
};

// Request and reply bytes of a download that brought `files` and `materials`
// records: every task opens with the identification (4 + 14 bytes), then
// one exchange per descriptor (5 + 29), cell (6 + 27) and material (5 + 24).
struct Wire
{
    qint64 bytes = 0;
    int exchanges = 0;
    double Ms() const { return double(bytes) * 10.0 / 115200.0 * 1000.0; }
};
inline Wire WireOf(const DataFileList& files, int materials)
{
    const int tasks = 1 + int(files.size()) + 1;
    const int descriptors = int(files.size()) < 150 ? int(files.size()) + 1 : 150;
    qint64 cells = 0;
    for (const DataFileRecord& f : files)
        cells += f.header.records;
    Wire w;
    w.exchanges = int(tasks + descriptors + cells + materials);
    w.bytes = tasks * (4 + 4 + 10) + descriptors * (5 + 4 + qint64(sizeof(DataFileDescriptor))) +
              cells * (6 + 4 + qint64(sizeof(CellRecord))) +
              materials * (5 + 4 + qint64(sizeof(MaterialRecord)));
    return w;
}

inline int CellCount(const DataFileList& files)
{
    int cells = 0;
    for (const DataFileRecord& f : files)
        cells += int(f.cells.size());
    return cells;
}

// One line of the table: min / median / max of wall and CPU, CPU per wire time.
inline void PrintRow(const char* name, const Runs& r, double wireMs)
{
    std::printf("%-26s wall %8.1f %8.1f %8.1f | CPU %7.1f %7.1f %7.1f (user %6.1f, sys %6.1f)"
                " | CPU/wire %.3f %%\n",
                name, Min(r.wall), BenchData::Median(r.wall), Max(r.wall), Min(r.cpu),
                BenchData::Median(r.cpu), Max(r.cpu), BenchData::Median(r.user),
                BenchData::Median(r.system), BenchData::Median(r.cpu) / wireMs * 100.0);
    std::printf("%-26s by thread (median ms, %% of wire):", "");
    for (auto it = r.threads.cbegin(); it != r.threads.cend(); ++it)
        std::printf(" %s %.1f (%.3f %%)", it.key().constData(), BenchData::Median(it.value()),
                    BenchData::Median(it.value()) / wireMs * 100.0);
    std::printf("\n%-26s slices on a processor (median per second of wire):", "");
    for (auto it = r.slices.cbegin(); it != r.slices.cend(); ++it)
        std::printf(" %s %.1f", it.key().constData(),
                    BenchData::Median(it.value()) / wireMs * 1000.0);
    std::printf("\n");
}

inline void PrintHeader(int runs, const Wire& wire, int files = kFiles)
{
    std::printf("download of %d files x %d cells + materials: %d exchanges, %lld wire bytes -> "
                "%.1f ms at 115200 baud, 10 bits per byte\n",
                files, kCells, wire.exchanges, static_cast<long long>(wire.bytes), wire.Ms());
    std::printf("%d runs each, interleaved; times in ms: min median max\n", runs);
}

inline void PrintRatio(const char* what, const Runs& subject, const Runs& reference)
{
    std::printf("ratio of medians, %s: wall %.2f, CPU %.2f\n", what,
                BenchData::Median(subject.wall) / BenchData::Median(reference.wall),
                BenchData::Median(subject.cpu) / BenchData::Median(reference.cpu));
    // On a loaded machine the least CPU a contestant needed moves less than
    // its median.
    std::printf("ratio of minimums, %s: wall %.2f, CPU %.2f\n", what,
                Min(subject.wall) / Min(reference.wall), Min(subject.cpu) / Min(reference.cpu));
}
} // namespace DownloadBench
