#include "sim/CVirtualGauge.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace
{
volatile std::sig_atomic_t g_quit = 0;
void OnSignal(int)
{
    g_quit = 1;
}
} // namespace

// Runs one virtual gauge until killed and prints the port to open.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString database;
    int replyDelay = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--db") && i + 1 < args.size())
            database = args.at(++i);
        else if (args.at(i) == QLatin1String("--reply-delay") && i + 1 < args.size())
            replyDelay = qMax(0, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--help") || args.at(i) == QLatin1String("-h"))
        {
            std::printf("Usage: korvalent-gauge-sim [--db FILE.kdb] [--reply-delay MS]\n"
                        "Serves a virtual QM-3RX on a pseudo-terminal and prints its path.\n"
                        "--reply-delay holds every reply back MS milliseconds (3 is about the\n"
                        "time a cell exchange takes on the real line at 115200 baud).\n");
            return 0;
        }
        else
        {
            std::fprintf(stderr, "Usage: korvalent-gauge-sim [--db FILE.kdb] [--reply-delay MS]\n");
            return 2;
        }
    }

    CVirtualGauge gauge;
    gauge.LoadDemoContent();
    if (!database.isEmpty())
    {
        QString error;
        if (!gauge.LoadDatabase(database, &error))
        {
            std::fprintf(stderr, "%s: %s\n", qPrintable(database), qPrintable(error));
            return 1;
        }
    }
    if (replyDelay > 0)
        gauge.InjectFault(CVirtualGauge::FaultDelay, -1, -1, replyDelay, -1);
    QString error;
    if (!gauge.Start(&error))
    {
        std::fprintf(stderr, "Cannot open a pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(gauge.PortPath()));
    std::fflush(stdout);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    while (!g_quit && gauge.IsRunning())
        ::usleep(100000);
    gauge.Stop();
    return 0;
}
