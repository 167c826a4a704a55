#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"
#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"
#include "core/CSafeSave.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
struct Command
{
    const char* name;
    const char* synopsis;
    const char* description;
    int (*run)(const CliContext&);
};

const Command kCommands[] = {
    {"help", "help [COMMAND]", "print one command's options and an example (or this list)",
     nullptr},
    {"ports", "ports", "list the gauge ports (path, tab, name)", CliPorts},
    {"identify", "[--port PATH] identify", "identify the gauge (name, tab, serial number)",
     CliIdentify},
    {"show", "show FILE [--file N] [--materials FILE.csv]",
     "show a .kdb/.kdf file as tables with statistics", CliShow},
    {"firmware", "[--port PATH] firmware", "read the gauge's firmware version", CliFirmware},
    {"clock", "[--port PATH] clock", "set the gauge's clock from this PC", CliClock},
    {"download", "[--port PATH] download -o FILE.kdb [--materials FILE.csv] [--archive-add]",
     "download the gauge's database (and its materials table)", CliDownload},
    {"upload", "[--port PATH] [--yes] upload FILE",
     "erase the gauge's database, then write a .kdb/.kdf file into it", CliUpload},
    {"materials-get", "[--port PATH] materials-get FILE.csv",
     "read the gauge's materials table into a CSV file", CliMaterialsGet},
    {"materials-put", "[--port PATH] [--yes] materials-put FILE.csv",
     "write a CSV materials table into the gauge", CliMaterialsPut},
    {"export",
     "export FILE.kdb|FILE.kdf --file N [--materials FILE.csv] (--csv OUT | --xls OUT | "
     "--xlsx OUT)",
     "write a data file's results table as CSV, .xls or .xlsx", CliExport},
    {"pep-read", "[--port PATH] pep-read FILE.pep",
     "read the transducer's memory image into a .pep file", CliPepRead},
    {"pep-write", "[--port PATH] [--yes] pep-write FILE.pep",
     "write a .pep image into the transducer's memory", CliPepWrite},
    {"pep-show", "pep-show FILE.pep", "show a .pep image field by field", CliPepShow},
    {"pep-list", "[--port PATH] pep-list", "list the transducers the gauge knows", CliPepList},
    {"screenshot", "[--port PATH] screenshot FILE",
     "save the gauge's display (PNG for a .png name, else BMP)", CliScreenshot},
    {"report", "report FILE.krf [--data FILE.kdb|FILE.kdf --file N] (--html OUT | --pdf OUT)",
     "write the report document of a .krf file as HTML or PDF", CliReport},
    {"analyse",
     "analyse FILE.kdb|FILE.kdf --file N [--previous FILE.kdb|FILE.kdf [--previous-file K]] "
     "[--required T] [--nominal T] [--interval YEARS] [--csv OUT] [--png OUT]",
     "corrosion rate and remaining life per location against an earlier survey (thicknesses "
     "in the file's unit; --previous-file may be left out when FILE holds one data file)",
     CliAnalyse},
    {"archive-add", "[--archive LOCATION] archive-add FILE.kdb|FILE.kdf...",
     "archive the surveys of database or data files (added / already archived)", CliArchiveAdd},
    {"archive-list", "[--archive LOCATION] archive-list [--object NAME]",
     "list the archive's objects, or one object's surveys", CliArchiveList},
    {"archive-get", "[--archive LOCATION] archive-get --survey ID -o FILE.kdf",
     "write an archived survey as a data file", CliArchiveGet},
    {"archive-move", "[--archive LOCATION] archive-move --survey ID --object NAME",
     "move a survey to another object (made when missing)", CliArchiveMove},
    {"archive-rename", "[--archive LOCATION] archive-rename OLD NEW", "rename an object",
     CliArchiveRename},
    {"archive-merge", "[--archive LOCATION] archive-merge FROM INTO",
     "move FROM's surveys into INTO; FROM disappears", CliArchiveMerge},
    {"archive-remove", "[--archive LOCATION] archive-remove --survey ID --yes",
     "delete a survey from the archive", CliArchiveRemove},
    {"history",
     "[--archive LOCATION] history OBJECT [--location N] [--required T] [--nominal T] "
     "[--max-interval Y] [--rate lt|st|regression|max] [--csv OUT] [--png OUT] [--pdf OUT]",
     "an object's history over every archived survey: rates, remaining life and next "
     "inspection per location (thicknesses in the object's unit; options used for this run "
     "only)",
     CliHistory},
    {"archive-accept", "[--archive LOCATION] archive-accept --survey ID --location N [--undo]",
     "take a reading marked E into the corrosion rates (--undo: leave it out again)",
     CliArchiveAccept},
};

// The command word, skipping the global options; empty when there is none.
QString CommandWord(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--port") || a == QLatin1String("--archive"))
            ++i;
        else if (!a.startsWith(QLatin1Char('-')))
            return a;
    }
    return {};
}

// True when any argument is exactly `option`.
bool HasOption(int argc, char** argv, const char* option)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return true;
    return false;
}

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
} // namespace

void CliPrintOut(const QString& line)
{
    const QByteArray bytes = CliSafeText(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void CliPrintErr(const QString& line)
{
    const QByteArray bytes = CliSafeText(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void CliPrintUsage(bool toStderr)
{
    QString text = QStringLiteral(
        "Usage: korvalent-cli [--port PATH] [--archive LOCATION] [-v] [--yes] COMMAND [ARGS]\n"
        "       korvalent-cli --help | --version\n\nCommands:\n");
    for (const Command& c : kCommands)
        text += QStringLiteral("  korvalent-cli ") + QString::fromUtf8(c.synopsis) +
                QStringLiteral("\n      ") + QString::fromUtf8(c.description) + '\n';
    text += QStringLiteral(
        "\nupload, materials-put and pep-write replace what the gauge holds. On a terminal they\n"
        "first ask (default No); --yes goes on without asking. Without a terminal and without\n"
        "--yes they stop with a usage error.\n"
        "\nExit status: 0 success, 1 failure, 2 usage error.");
    if (toStderr)
        CliPrintErr(text);
    else
        CliPrintOut(text);
}

int CliUsageError(const QString& problem)
{
    CliPrintErr(QStringLiteral("korvalent-cli: %1; see 'korvalent-cli --help'").arg(problem));
    return CliUsage;
}

QString CliCheckWritable(const QString& path)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("Папка '%1' не существует.").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("Нет прав на запись в папку '%1'.").arg(folder.filePath());
    const CSafeSave::Result target = CSafeSave::CheckTarget(path);
    if (!target.Ok())
        return CSafeSave::Describe(path, target);
    return {};
}

int main(int argc, char** argv)
{
    // An interrupted save leaves no temporary file behind; what a replaced
    // file could not keep is told with the other messages.
    CSafeSave::RemoveTemporariesOnSignals();
    CSafeSave::SetNoticeHandler(CliPrintErr);
    // The report lays out text, which needs fonts and so a GUI application;
    // it never shows a window, so it draws off screen, display or not.
    std::unique_ptr<QCoreApplication> app;
    const QString command = CommandWord(argc, argv);
    if ((command == QLatin1String("analyse") && HasOption(argc, argv, "--png")) ||
        (command == QLatin1String("history") &&
         (HasOption(argc, argv, "--png") || HasOption(argc, argv, "--pdf"))))
    {
        // The chart is a graphics widget: only a widget application draws
        // it. Off screen as well, and only when a picture is asked for, so
        // that the table alone starts as fast as every other command.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietQtMessages);
        app = std::make_unique<QApplication>(argc, argv);
    }
    else if (command == QLatin1String("report"))
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(QuietQtMessages);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));

    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();

    CCliPrompts prompts;
    SetUserPrompts(&prompts);

    CliContext ctx;
    QString commandName;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i)
    {
        const QString& a = arguments.at(i);
        if (commandName.isEmpty())
        {
            if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            {
                CliPrintUsage(false);
                return CliOk;
            }
            if (a == QLatin1String("--version"))
            {
                CliPrintOut(QStringLiteral("%1 %2").arg(QString::fromLatin1(AppIdentity::Name),
                                                        QString::fromLatin1(AppIdentity::Version)));
                return CliOk;
            }
        }
        if (a == QLatin1String("--port"))
        {
            if (i + 1 >= arguments.size())
                return CliUsageError(QStringLiteral("--port needs a path"));
            ctx.port = arguments.at(++i);
        }
        else if (a.startsWith(QLatin1String("--port=")))
        {
            ctx.port = a.mid(7);
            if (ctx.port.isEmpty())
                return CliUsageError(QStringLiteral("--port needs a path"));
        }
        else if (a == QLatin1String("--archive") && commandName.isEmpty())
        {
            if (i + 1 >= arguments.size())
                return CliUsageError(QStringLiteral("--archive needs a location"));
            ctx.archive = arguments.at(++i);
        }
        else if (a == QLatin1String("-v") || a == QLatin1String("--verbose"))
            ctx.verbose = true;
        else if (a == QLatin1String("--yes") || a == QLatin1String("-y"))
            ctx.yes = true;
        else if (commandName.isEmpty())
            commandName = a;
        else
            ctx.args.append(a);
    }

    if (commandName.isEmpty())
        return CliUsageError(QStringLiteral("no command given"));
    // `help COMMAND` and `COMMAND --help` tell the same.
    bool help =
        ctx.args.contains(QLatin1String("--help")) || ctx.args.contains(QLatin1String("-h"));
    if (commandName == QLatin1String("help"))
    {
        if (ctx.args.size() > 1)
            return CliUsageError(QStringLiteral("help takes one command"));
        if (!ctx.args.isEmpty() && ctx.args.first() != QLatin1String("--help") &&
            ctx.args.first() != QLatin1String("-h"))
            commandName = ctx.args.first();
        else if (ctx.args.isEmpty())
        {
            CliPrintUsage(false);
            return CliOk;
        }
        help = true;
    }
    for (const Command& c : kCommands)
        if (commandName == QLatin1String(c.name))
        {
            if (help)
            {
                CliPrintOut(CliCommandHelp(c.name, c.synopsis, c.description));
                return CliOk;
            }
            const int same = CliRefuseSameOutputs(commandName, ctx.args);
            return same != CliOk ? same : c.run(ctx);
        }

    return CliUsageError(QStringLiteral("unknown command '%1'").arg(commandName));
}
