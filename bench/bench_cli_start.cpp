// The command line's own start-up, as whole processes taking turns:
//
//   show:      korvalent-cli show DB (the largest database: 150 files of 254
//              cells) against xmllint --noout DB, which parses the same bytes
//   --version: korvalent-cli --version against a bare Qt Core program that
//              prints the same line, and against /bin/true
//
// Wall and CPU (user + system) of each child from wait4(); min / median / max
// and the ratio of the medians. Then the shared objects each command loads
// (the dynamic linker's own account, LD_DEBUG=files), export --csv among them.
//
//   korvalent-bench-cli-start [--runs N] [--cli PATH] [--keep DIR]
//   (--keep: the database and the linker's accounts are left in DIR)

#include "bench/BenchData.h"
#include "data/CAnsiText.h"
#include "data/CDataStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
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
        for (int c = 0; c < 254; ++c)
            file.cells.append(BenchData::RandomCell(next, 4));
        files.append(file);
    }
    return files;
}

struct Child
{
    double wall = 0;
    double cpu = 0;
    bool ok = false;
};

// One run with stdout and stderr thrown away; extra environment entries
// (NAME=VALUE) are added to this process's.
Child Run(const QList<QByteArray>& command, const QList<QByteArray>& extraEnv = {})
{
    std::vector<char*> argv;
    for (const QByteArray& a : command)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    for (const QByteArray& e : extraEnv)
        env.push_back(const_cast<char*>(e.constData()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child c;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return c;
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid)
        return c;
    c.wall = double(t.nsecsElapsed()) / 1e6;
    c.cpu = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
            (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return c;
}

// The shared objects the dynamic linker loaded for a command (dlopen()ed
// ones included), from its LD_DEBUG=files account.
QStringList Loaded(const QList<QByteArray>& command, const QString& dir)
{
    const QString prefix = dir + QStringLiteral("/ld");
    for (const QString& old : QDir(dir).entryList({QStringLiteral("ld.*")}))
        QFile::remove(dir + '/' + old);
    Run(command, {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + QFile::encodeName(prefix)});
    QStringList objects;
    for (const QString& name : QDir(dir).entryList({QStringLiteral("ld.*")}))
    {
        QFile log(dir + '/' + name);
        if (!log.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : log.readAll().split('\n'))
        {
            const int at = line.indexOf("file=");
            if (at < 0 || !line.contains("generating link map"))
                continue;
            const QByteArray rest = line.mid(at + 5);
            objects.append(QString::fromLocal8Bit(rest.left(rest.indexOf(' '))));
        }
    }
    objects.removeDuplicates();
    return objects;
}

void Print(const char* name, QList<double> values, double reference)
{
    std::sort(values.begin(), values.end());
    const double median = BenchData::Median(values);
    std::printf("  %-36s %7.2f %7.2f %7.2f ms   x%.2f\n", name, values.first(), median,
                values.last(), median / reference);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = BenchData::Runs(args, 21);
    QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/korvalent-cli");
    const int cliAt = int(args.indexOf(QStringLiteral("--cli")));
    if (cliAt > 0 && cliAt + 1 < args.size())
        cli = args.at(cliAt + 1);
    const QByteArray bare = QFile::encodeName(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/korvalent-bench-cli-bare"));

    QTemporaryDir tmp;
    const int keepAt = int(args.indexOf(QStringLiteral("--keep")));
    const QString dir = keepAt > 0 && keepAt + 1 < args.size() ? args.at(keepAt + 1) : tmp.path();
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/largest.kdb");
    if (!CDataStorage::SaveDatabaseFile(path, LargestDatabase()))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray db = QFile::encodeName(path);
    const QByteArray cliPath = QFile::encodeName(cli);

    struct Series
    {
        const char* name;
        QList<QByteArray> command;
        QList<double> wall, cpu;
    };
    QList<Series> series = {
        {"xmllint --noout DB (reference)", {"/usr/bin/xmllint", "--noout", db}, {}, {}},
        {"korvalent-cli show DB", {cliPath, "show", db}, {}, {}},
        {"/bin/true", {"/bin/true"}, {}, {}},
        {"bare Qt Core program --version", {bare, "--version"}, {}, {}},
        {"korvalent-cli --version", {cliPath, "--version"}, {}, {}},
    };
    const int n = int(series.size());
    for (int r = -1; r < runs; ++r)
        for (int k = 0; k < n; ++k)
        {
            Series& s = series[(r & 1) ? n - 1 - k : k];
            const Child c = Run(s.command);
            if (!c.ok)
            {
                std::fprintf(stderr, "%s failed\n", s.name);
                return 1;
            }
            if (r >= 0)
            {
                s.wall.append(c.wall);
                s.cpu.append(c.cpu);
            }
        }

    std::printf("%s\n%d runs interleaved; min / median / max and the ratio of the medians\n",
                cliPath.constData(), runs);
    for (const bool wall : {true, false})
    {
        std::printf("%s\n", wall ? "wall" : "CPU (user + system)");
        const auto pick = [wall](const Series& s) { return wall ? s.wall : s.cpu; };
        const double xmllint = BenchData::Median(pick(series.at(0)));
        const double bareMedian = BenchData::Median(pick(series.at(3)));
        Print(series.at(0).name, pick(series.at(0)), xmllint);
        Print("korvalent-cli show DB / xmllint", pick(series.at(1)), xmllint);
        Print(series.at(2).name, pick(series.at(2)), BenchData::Median(pick(series.at(2))));
        Print(series.at(3).name, pick(series.at(3)), bareMedian);
        Print("korvalent-cli --version / bare", pick(series.at(4)), bareMedian);
    }

    std::printf("shared objects loaded (LD_DEBUG=files)\n");
    const QByteArray csv = QFile::encodeName(dir + QStringLiteral("/out.csv"));
    const QList<QList<QByteArray>> counted = {{cliPath, "--version"},
                                              {cliPath, "show", db},
                                              {cliPath, "export", db, "--file", "1", "--csv", csv},
                                              {bare, "--version"}};
    for (const QList<QByteArray>& command : counted)
    {
        const QStringList objects = Loaded(command, dir);
        const QStringList qt = objects.filter(QStringLiteral("libQt6"));
        std::printf(
            "  %-36s %3d  (Qt: %s)\n",
            QByteArray(command.value(0).split('/').last() + ' ' + command.value(1)).constData(),
            int(objects.size()),
            qPrintable(QStringList(qt)
                           .replaceInStrings(QStringLiteral("libQt6"), QString())
                           .replaceInStrings(QStringLiteral(".so.6"), QString())
                           .join(QLatin1Char(' '))));
    }
    return 0;
}
