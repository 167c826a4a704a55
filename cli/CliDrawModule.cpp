// The drawing module: the commands that need Qt Gui or Widgets, loaded by
// korvalent-cli only when one of them runs. It holds its own copy of
// everything a command uses, so it shares nothing with the program but the
// command line.
#include "cli/CliCommands.h"
#include "core/CSafeSave.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace
{
enum class Application
{
    Core,    // a picture from data alone
    Gui,     // laid-out text (fonts): the report
    Widgets, // a chart, which is a graphics widget
};

// A command that draws: its runner and the application it needs, which with
// `only` set is needed only when one of those options (space-separated) is
// given (Core otherwise).
struct DrawingCommand
{
    const char* name;
    int (*run)(const CliContext&);
    Application application;
    const char* only;
};

const DrawingCommand kDrawing[] = {
    {"analyse", CliAnalyse, Application::Widgets, "--png"},
    {"report", CliReport, Application::Gui, nullptr},
    {"screenshot", CliScreenshot, Application::Core, nullptr},
    {"history", CliHistory, Application::Widgets, "--png --pdf"},
};

// Qt's own notes (a missing runtime directory of a bare terminal session)
// would mix with the program's texts on stderr; only a fatal one is shown.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
    {
        const QByteArray bytes = message.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::abort();
    }
}

Application Needed(int argc, char** argv)
{
    QString command;
    QStringList args;
    if (!CliPeek(argc, argv, &command, &args))
        return Application::Core;
    for (const DrawingCommand& c : kDrawing)
        if (command == QLatin1String(c.name))
        {
            if (!c.only)
                return c.application;
            for (const QString& option :
                 QString::fromLatin1(c.only).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (args.contains(option))
                    return c.application;
            return Application::Core;
        }
    return Application::Core;
}
} // namespace

extern "C" __attribute__((visibility("default"))) int KorvalentCliDraw(int argc, char** argv)
{
    CSafeSave::RemoveTemporariesOnSignals();
    CSafeSave::SetNoticeHandler(CliPrintErr);
    // Never a window: everything is drawn off screen, display or not.
    std::unique_ptr<QCoreApplication> app;
    switch (Needed(argc, argv))
    {
    case Application::Widgets:
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietQtMessages);
        app = std::make_unique<QApplication>(argc, argv);
        break;
    case Application::Gui:
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietQtMessages);
        app = std::make_unique<QGuiApplication>(argc, argv);
        break;
    case Application::Core:
        app = std::make_unique<QCoreApplication>(argc, argv);
        break;
    }
    CliRunner runners[std::size(kDrawing)];
    for (size_t i = 0; i < std::size(kDrawing); ++i)
        runners[i] = {kDrawing[i].name, kDrawing[i].run};
    return CliRun(runners, int(std::size(runners)));
}
