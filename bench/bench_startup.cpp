// Start-up: from starting the process until the main window has painted for
// the first time (offscreen platform), the program against a bare Qt window
// (a QMainWindow with a menu bar, a table and a status bar, built by a
// program that links Qt Widgets only). Both run as fresh processes,
// alternately, so that each pays its own dynamic loading, fonts and style;
// the figures are wall time and CPU time (user + system) of the process.
//
//   korvalent-bench-startup [--runs N]
//   korvalent-bench-startup --child    (the program, quitting after its first paint)
#include "app/KorvalentMain.h"
#include "bench/BenchData.h"
#include "bench/FirstPaint.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
struct Run
{
    double wallMs;
    double cpuMs;
};

Run Spawn(const char* path, char* const* args)
{
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, path, nullptr, nullptr, args, environ) != 0)
    {
        std::fprintf(stderr, "cannot start %s\n", path);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double wall = double(timer.nsecsElapsed()) / 1e6;
    getrusage(RUSAGE_CHILDREN, &after);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    {
        std::fprintf(stderr, "%s failed\n", path);
        std::exit(1);
    }
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    const double cpu = ms(after.ru_utime) - ms(before.ru_utime) + ms(after.ru_stime) -
                       ms(before.ru_stime);
    return {wall, cpu};
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
    {
        FirstPaint watcher;
        return KorvalentMain(argc, argv, [&watcher](QWidget* window) {
            window->installEventFilter(&watcher);
        });
    }

    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const int runs = BenchData::Runs(args);

    // A fresh home: first-start settings, no gauge chosen, no device probe.
    QTemporaryDir home;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit().constData(),
           1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);

    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    const std::string bare = QFileInfo(QString::fromStdString(self)).absolutePath().toStdString() +
                             "/korvalent-bench-startup-bare";
    char child[] = "--child";
    char* subjectArgs[] = {const_cast<char*>(self.c_str()), child, nullptr};
    char* bareArgs[] = {const_cast<char*>(bare.c_str()), nullptr};

    QList<double> subjectWall, subjectCpu, bareWall, bareCpu;
    Spawn(self.c_str(), subjectArgs); // warm the page cache
    Spawn(bare.c_str(), bareArgs);
    for (int r = 0; r < runs; ++r)
    {
        const Run b = Spawn(bare.c_str(), bareArgs);
        bareWall.append(b.wallMs);
        bareCpu.append(b.cpuMs);
        const Run s = Spawn(self.c_str(), subjectArgs);
        subjectWall.append(s.wallMs);
        subjectCpu.append(s.cpuMs);
    }
    std::printf("start until first paint (offscreen), %d runs each, interleaved\n", runs);
    BenchData::PrintMs("bare Qt window: wall", bareWall);
    BenchData::PrintMs("Korvalent: wall", subjectWall);
    BenchData::PrintMs("bare Qt window: CPU", bareCpu);
    BenchData::PrintMs("Korvalent: CPU", subjectCpu);
    std::printf("ratio of medians: wall %.2f, CPU %.2f\n",
                BenchData::Median(subjectWall) / BenchData::Median(bareWall),
                BenchData::Median(subjectCpu) / BenchData::Median(bareCpu));
    return 0;
}
