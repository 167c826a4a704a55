// Loading the largest database the program holds (150 data files of 254
// cells, written by the program's own writer) against libxml2 parsing the
// same bytes in the same process. Reference and subject take turns run by
// run (the order alternating), so both see the same state of the machine.
//
//   reference: xmlReadMemory + xmlFreeDoc of the file's bytes (a full DOM
//              parse; an empty SAX pass is timed too, as a floor, and a
//              bare xmlTextReader pass)
//   load:      file -> CDataStorage -> the data-file list (what the window
//              and the command line wait for before filling tables)
//   load+stat: the same plus the statistics of every file
//   save:      the list written back, atomically (and, as the "before",
//              through the DOM tree the writer used to build)
//
// Then load + save as whole processes, interleaved run by run:
//
//   reference: xmllint --format -o OUT FILE (parse, indent, write)
//   resave:    this program's --resave FILE OUT, the program's reader and
//              writer; and with --dom the DOM writer of before
//   CPU (user + system), wall and peak memory of each child from wait4().
//
//   korvalent-bench-data [--runs N] [--keep DIR] [--no-processes]
//   korvalent-bench-data --resave FILE OUT [--dom]

#include "bench/BenchData.h"
#include "data/CAnsiText.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "data/CStatistics.h"
#include "data/CXmlKeyFileWriter.h"
#include "tests/common/DomKeyFileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
DataFileList LargestDatabase()
{
    DataFileList files;
    BenchData::Sequence next(12345);
    for (int f = 0; f < CDataStorage::kMaxDataFiles; ++f)
    {
        DataFileRecord file;
        CAnsiText::Encode(QStringLiteral("Труба %1").arg(f + 1), file.header.name, 16);
        file.header.records = 254;
        file.header.serialNumber = 100000 + quint32(f);
        file.header.fwVersion = 0x01020304;
        file.header.audioIndex = quint8(f % 7);
        for (int c = 0; c < 254; ++c)
        {
            file.cells.append(BenchData::RandomCell(next, 4));
        }
        files.append(file);
    }
    return files;
}

bool ReferenceDom(const QByteArray& bytes)
{
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
    if (!doc)
        return false;
    xmlFreeDoc(doc);
    return true;
}

// A SAX pass that does nothing with what it is told: what the parser itself
// costs before anything is built.
bool ReferenceSax(const QByteArray& bytes)
{
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof(sax));
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*, int,
                            const xmlChar**, int, int, const xmlChar**) {};
    sax.endElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*) {};
    sax.characters = [](void*, const xmlChar*, int) {};
    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!ctxt)
        return false;
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
    xmlParseChunk(ctxt, bytes.constData(), int(bytes.size()), 1);
    const bool ok = ctxt->wellFormed != 0;
    xmlFreeParserCtxt(ctxt);
    return ok;
}

// The other streaming interface, node by node: what the reader would cost
// had it been built on it.
bool ReferenceTextReader(const QByteArray& bytes)
{
    xmlTextReaderPtr reader =
        xmlReaderForMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR);
    if (!reader)
        return false;
    int status;
    while ((status = xmlTextReaderRead(reader)) == 1)
    {
    }
    xmlFreeTextReader(reader);
    return status == 0;
}

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Load + save as one process would do it (the --resave mode).
int Resave(const char* in, const char* out, bool dom)
{
    const CDataStorage::LoadResult r = CDataStorage::LoadDatabaseFile(QString::fromLocal8Bit(in));
    if (!r.Succeeded())
        return 1;
    const QString target = QString::fromLocal8Bit(out);
    const bool saved =
        dom ? CXmlKeyFileWriter::WriteFile(target, DomKeyFile::DatabaseDocument(r.files))
            : CDataStorage::SaveDatabaseFile(target, r.files);
    return saved ? 0 : 1;
}

struct Child
{
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
    bool ok = false;
};

// The peak memory a child reports from wait4() includes that of the process
// it was started from (the bench itself, some 50 MiB): it is taken through
// GNU time, small itself, instead, where that is installed.
Child RunChild(const QList<QByteArray>& command, const QString& dir)
{
    static const bool timeInstalled = QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable();
    const QByteArray peakFile = QFile::encodeName(dir + QStringLiteral("/peak.txt"));
    QList<QByteArray> full = command;
    if (timeInstalled)
        full = QList<QByteArray>{"/usr/bin/time", "-f", "%M", "-o", peakFile} + command;
    std::vector<char*> argv;
    for (const QByteArray& a : full)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    Child c;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return c;
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid)
        return c;
    c.wall = Ms(t);
    c.cpu = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
            (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    c.peakMiB = double(u.ru_maxrss) / 1024.0;
    QFile peak(QString::fromLocal8Bit(peakFile));
    if (timeInstalled && peak.open(QIODevice::ReadOnly))
        c.peakMiB = peak.readAll().trimmed().toDouble() / 1024.0;
    c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return c;
}

void Print(const char* name, const QList<double>& values, const char* unit, double reference)
{
    const double median = BenchData::Median(values);
    std::printf("  %-40s %-4s %7.1f %7.1f %7.1f   x%.2f\n", name, unit,
                *std::min_element(values.begin(), values.end()), median,
                *std::max_element(values.begin(), values.end()), median / reference);
}

// Whole processes, taking turns: xmllint, the program's resave, the DOM one.
int CompareProcesses(const QString& self, const QString& path, const QString& dir, int runs)
{
    const QByteArray file = QFile::encodeName(path);
    const QList<QList<QByteArray>> commands = {
        {"/usr/bin/xmllint", "--format", "-o", QFile::encodeName(dir + "/xmllint.kdb"), file},
        {QFile::encodeName(self), "--resave", file, QFile::encodeName(dir + "/resaved.kdb")},
        {QFile::encodeName(self), "--resave", file, QFile::encodeName(dir + "/dom.kdb"), "--dom"},
    };
    const char* names[] = {"xmllint --format -o (reference)", "load + save (streaming writer)",
                           "load + save (DOM writer, before)"};
    QList<double> wall[3], cpu[3], peak[3];
    for (int r = -1; r < runs; ++r)
    {
        for (int k = 0; k < 3; ++k)
        {
            const int i = (r & 1) ? 2 - k : k;
            const Child c = RunChild(commands.at(i), dir);
            if (!c.ok)
            {
                std::fprintf(stderr, "%s failed\n", names[i]);
                return 1;
            }
            if (r >= 0)
            {
                wall[i].append(c.wall);
                cpu[i].append(c.cpu);
                peak[i].append(c.peakMiB);
            }
        }
    }
    QFile resaved(dir + "/resaved.kdb"), dom(dir + "/dom.kdb");
    if (!resaved.open(QIODevice::ReadOnly) || !dom.open(QIODevice::ReadOnly) ||
        resaved.readAll() != dom.readAll())
    {
        std::fprintf(stderr, "the two writers wrote different bytes\n");
        return 1;
    }
    std::printf("\nload + save as whole processes, %d runs interleaved; min / median / max and "
                "the ratio of the medians to xmllint's\n",
                runs);
    for (int i = 0; i < 3; ++i)
    {
        std::printf("%s\n", names[i]);
        Print("CPU (user + system)", cpu[i], "ms", BenchData::Median(cpu[0]));
        Print("wall", wall[i], "ms", BenchData::Median(wall[0]));
        Print("peak memory", peak[i], "MiB", BenchData::Median(peak[0]));
    }
    return 0;
}

struct Series
{
    const char* name;
    std::function<bool()> run;
    QList<double> wall;
    QList<double> cpu;
};
} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--resave") == 0)
        return Resave(argv[2], argv[3], argc >= 5 && std::strcmp(argv[4], "--dom") == 0);

    QCoreApplication app(argc, argv);
    int runs = 21;
    bool processes = true;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--no-processes"))
            processes = false;
        if (i + 1 == args.size())
            break;
        if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--keep"))
            keep = args.at(i + 1);
    }

    QTemporaryDir tmp;
    const QString dir = keep.isEmpty() ? tmp.path() : keep;
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/largest.kdb");
    const DataFileList files = LargestDatabase();
    if (!CDataStorage::SaveDatabaseFile(path, files))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    file.close();

    xmlInitParser();
    const auto loaded = [&](const CDataStorage::LoadResult& r)
    { return r.Succeeded() && r.files.size() == files.size() && !r.damaged; };
    QList<Series> series = {
        {"libxml2 DOM parse (reference)", [&] { return ReferenceDom(bytes); }, {}, {}},
        {"libxml2 SAX pass, empty handlers", [&] { return ReferenceSax(bytes); }, {}, {}},
        {"libxml2 xmlTextReader pass", [&] { return ReferenceTextReader(bytes); }, {}, {}},
        {"load: file -> records",
         [&] { return loaded(CDataStorage::LoadDatabaseFile(path)); },
         {},
         {}},
        {"load + statistics of every file",
         [&]
         {
             const CDataStorage::LoadResult r = CDataStorage::LoadDatabaseFile(path);
             for (const DataFileRecord& f : r.files)
             {
                 QList<CStatistics::Reading> values;
                 values.reserve(f.cells.size());
                 for (const CellRecord& cell : f.cells)
                     values.append({CCellDecoder::Value(cell), CCellDecoder::UnitOf(cell)});
                 CStatistics::Compute(values);
             }
             return loaded(r);
         },
         {},
         {}},
        {"save (atomic write)",
         [&] { return CDataStorage::SaveDatabaseFile(path, files); },
         {},
         {}},
        {"save through a DOM tree (before)",
         [&] { return CXmlKeyFileWriter::WriteFile(path, DomKeyFile::DatabaseDocument(files)); },
         {},
         {}},
    };

    // One warm-up round, not counted.
    for (int r = -1; r < runs; ++r)
    {
        for (int k = 0; k < series.size(); ++k)
        {
            // Alternate the order so that neither side always runs first.
            Series& s = series[(r & 1) ? series.size() - 1 - k : k];
            QElapsedTimer t;
            const double cpu0 = CpuMs();
            t.start();
            const bool ok = s.run();
            const double wall = Ms(t);
            const double cpu = CpuMs() - cpu0;
            if (!ok)
            {
                std::fprintf(stderr, "%s failed\n", s.name);
                return 1;
            }
            if (r >= 0)
            {
                s.wall.append(wall);
                s.cpu.append(cpu);
            }
        }
    }

    const double reference = BenchData::Median(series.at(0).wall);
    const double referenceCpu = BenchData::Median(series.at(0).cpu);
    std::printf("file: %lld bytes, %d runs interleaved; wall ms min / median / max, CPU ms "
                "median; ratios of the medians to the reference's (wall, CPU)\n",
                static_cast<long long>(bytes.size()), runs);
    for (const Series& s : series)
    {
        const double median = BenchData::Median(s.wall);
        const double cpu = BenchData::Median(s.cpu);
        std::printf("%-34s %7.1f %7.1f %7.1f   cpu %7.1f   x%.2f  cpu x%.2f\n", s.name,
                    *std::min_element(s.wall.begin(), s.wall.end()), median,
                    *std::max_element(s.wall.begin(), s.wall.end()), cpu, median / reference,
                    cpu / referenceCpu);
    }
    return processes ? CompareProcesses(app.applicationFilePath(), path, dir, runs) : 0;
}
