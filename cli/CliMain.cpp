#include "cli/CliCommands.h"

#include "cli/CliDeviceRunner.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
struct Command
{
    const char* name;
    const char* synopsis;
    const char* description;
    // Where it runs: nullptr in the program itself; otherwise in the drawing
    // module, always ("") or when one of these options (space-separated) is
    // among its arguments.
    const char* draws;
};

const Command kCommands[] = {
    {"help", "help [COMMAND]", "print one command's options and an example (or this list)",
     nullptr},
    {"ports", "ports", "list the gauge ports (path, tab, name)", nullptr},
    {"identify", "[--port PATH] identify", "identify the gauge (name, tab, serial number)",
     nullptr},
    {"show", "show FILE [--file N] [--materials FILE.csv]",
     "show a .kdb/.kdf file as tables with statistics", nullptr},
    {"firmware", "[--port PATH] firmware", "read the gauge's firmware version", nullptr},
    {"clock", "[--port PATH] clock", "set the gauge's clock from this PC", nullptr},
    {"download", "[--port PATH] download -o FILE.kdb [--materials FILE.csv] [--archive-add]",
     "download the gauge's database (and its materials table)", nullptr},
    {"upload", "[--port PATH] [--yes] upload FILE",
     "erase the gauge's database, then write a .kdb/.kdf file into it", nullptr},
    {"materials-get", "[--port PATH] materials-get FILE.csv",
     "read the gauge's materials table into a CSV file", nullptr},
    {"materials-put", "[--port PATH] [--yes] materials-put FILE.csv",
     "write a CSV materials table into the gauge", nullptr},
    {"export",
     "export FILE.kdb|FILE.kdf --file N [--materials FILE.csv] (--csv OUT | --xls OUT | "
     "--xlsx OUT)",
     "write a data file's results table as CSV, .xls or .xlsx", nullptr},
    {"pep-read", "[--port PATH] pep-read FILE.pep",
     "read the transducer's memory image into a .pep file", nullptr},
    {"pep-write", "[--port PATH] [--yes] pep-write FILE.pep",
     "write a .pep image into the transducer's memory", nullptr},
    {"pep-show", "pep-show FILE.pep", "show a .pep image field by field", nullptr},
    {"pep-list", "[--port PATH] pep-list", "list the transducers the gauge knows", nullptr},
    {"screenshot", "[--port PATH] screenshot FILE",
     "save the gauge's display (PNG for a .png name, else BMP)", ""},
    {"report", "report FILE.krf [--data FILE.kdb|FILE.kdf --file N] (--html OUT | --pdf OUT)",
     "write the report document of a .krf file as HTML or PDF", ""},
    {"analyse",
     "analyse FILE.kdb|FILE.kdf --file N [--previous FILE.kdb|FILE.kdf [--previous-file K]] "
     "[--required T] [--nominal T] [--interval YEARS] [--csv OUT] [--png OUT]",
     "corrosion rate and remaining life per location against an earlier survey (thicknesses "
     "in the file's unit; --previous-file may be left out when FILE holds one data file)",
     "--png"},
    {"archive-add", "[--archive LOCATION] archive-add FILE.kdb|FILE.kdf...",
     "archive the surveys of database or data files (added / already archived)", nullptr},
    {"archive-list", "[--archive LOCATION] archive-list [--object NAME]",
     "list the archive's objects, or one object's surveys", nullptr},
    {"archive-get", "[--archive LOCATION] archive-get --survey ID -o FILE.kdf",
     "write an archived survey as a data file", nullptr},
    {"archive-move", "[--archive LOCATION] archive-move --survey ID --object NAME",
     "move a survey to another object (made when missing)", nullptr},
    {"archive-rename", "[--archive LOCATION] archive-rename OLD NEW", "rename an object", nullptr},
    {"archive-merge", "[--archive LOCATION] archive-merge FROM INTO",
     "move FROM's surveys into INTO; FROM disappears", nullptr},
    {"archive-remove", "[--archive LOCATION] archive-remove --survey ID --yes",
     "delete a survey from the archive", nullptr},
    {"history",
     "[--archive LOCATION] history OBJECT [--location N] [--required T] [--nominal T] "
     "[--max-interval Y] [--rate lt|st|regression|max] [--csv OUT] [--png OUT] [--pdf OUT]",
     "an object's history over every archived survey: rates, remaining life and next "
     "inspection per location (thicknesses in the object's unit; options used for this run "
     "only)",
     "--csv --png --pdf"},
    {"archive-accept", "[--archive LOCATION] archive-accept --survey ID --location N [--undo]",
     "take a reading marked E into the corrosion rates (--undo: leave it out again)", nullptr},
};

// The command line as the program reads it: what to do before any command,
// or the command with its context.
struct Parsed
{
    enum Action
    {
        Run,
        Usage,   // --help before the command word
        Version, // --version before the command word
        Problem  // a usage error
    } action = Run;
    QString problem;
    QString command;
    CliContext ctx;
};

Parsed Parse(const QStringList& arguments)
{
    Parsed p;
    CliContext& ctx = p.ctx;
    for (int i = 1; i < arguments.size(); ++i)
    {
        const QString& a = arguments.at(i);
        if (p.command.isEmpty())
        {
            if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            {
                p.action = Parsed::Usage;
                return p;
            }
            if (a == QLatin1String("--version"))
            {
                p.action = Parsed::Version;
                return p;
            }
        }
        if (a == QLatin1String("--port"))
        {
            if (i + 1 >= arguments.size())
            {
                p.action = Parsed::Problem;
                p.problem = QStringLiteral("--port needs a path");
                return p;
            }
            ctx.port = arguments.at(++i);
        }
        else if (a.startsWith(QLatin1String("--port=")))
        {
            ctx.port = a.mid(7);
            if (ctx.port.isEmpty())
            {
                p.action = Parsed::Problem;
                p.problem = QStringLiteral("--port needs a path");
                return p;
            }
        }
        else if (a == QLatin1String("--archive") && p.command.isEmpty())
        {
            if (i + 1 >= arguments.size())
            {
                p.action = Parsed::Problem;
                p.problem = QStringLiteral("--archive needs a location");
                return p;
            }
            ctx.archive = arguments.at(++i);
        }
        else if (a == QLatin1String("-v") || a == QLatin1String("--verbose"))
            ctx.verbose = true;
        else if (a == QLatin1String("--yes") || a == QLatin1String("-y"))
            ctx.yes = true;
        else if (p.command.isEmpty())
            p.command = a;
        else
            ctx.args.append(a);
    }
    if (p.command.isEmpty())
    {
        p.action = Parsed::Problem;
        p.problem = QStringLiteral("no command given");
    }
    return p;
}

bool AsksForHelp(const Parsed& p)
{
    return p.command == QLatin1String("help") || p.ctx.args.contains(QLatin1String("--help")) ||
           p.ctx.args.contains(QLatin1String("-h"));
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

bool CliPeek(int argc, char** argv, QString* command, QStringList* args)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const Parsed p = Parse(arguments);
    if (p.action != Parsed::Run)
        return false;
    *command = p.command;
    *args = p.ctx.args;
    return true;
}

bool CliRunsInModule(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const Parsed p = Parse(arguments);
    // Help is told by the program itself, for every command.
    if (p.action != Parsed::Run || AsksForHelp(p))
        return false;
    for (const Command& c : kCommands)
        if (p.command == QLatin1String(c.name))
        {
            if (!c.draws)
                return false;
            const QStringList options =
                QString::fromLatin1(c.draws).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (options.isEmpty())
                return true;
            for (const QString& option : options)
                if (p.ctx.args.contains(option))
                    return true;
            return false;
        }
    return false;
}

int CliRun(const CliRunner* runners, int count)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));

    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    g_App.pSettings = settings.get();

    CCliPrompts prompts;
    SetUserPrompts(&prompts);

    Parsed p = Parse(QCoreApplication::arguments());
    switch (p.action)
    {
    case Parsed::Usage:
        CliPrintUsage(false);
        return CliOk;
    case Parsed::Version:
        CliPrintOut(QStringLiteral("%1 %2").arg(QString::fromLatin1(AppIdentity::Name),
                                                QString::fromLatin1(AppIdentity::Version)));
        return CliOk;
    case Parsed::Problem:
        return CliUsageError(p.problem);
    case Parsed::Run:
        break;
    }
    QString& commandName = p.command;
    const CliContext& ctx = p.ctx;
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
            // The archive is an input of the commands that open it, named or not.
            const bool usesArchive = commandName.startsWith(QLatin1String("archive-")) ||
                                     commandName == QLatin1String("history") ||
                                     (commandName == QLatin1String("download") &&
                                      ctx.args.contains(QLatin1String("--archive-add")));
            const int same = CliRefuseSameOutputs(
                commandName, ctx.args, usesArchive ? CliArchiveLocation(ctx) : ctx.archive);
            if (same != CliOk)
                return same;
            for (int r = 0; r < count; ++r)
                if (commandName == QLatin1String(runners[r].name))
                    return runners[r].run(ctx);
            // Only a table out of step with the runners gets here.
            CliPrintErr(QStringLiteral("korvalent-cli: %1 cannot run here").arg(commandName));
            return CliFailure;
        }

    return CliUsageError(QStringLiteral("unknown command '%1'").arg(commandName));
}
