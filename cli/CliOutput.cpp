#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

// What the command line writes to the terminal and what it asks there: the
// texts escaped, the question before the gauge is overwritten, and the check
// that two outputs of one command are not the same file.

QString CliSafeText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
    {
        const ushort u = c.unicode();
        // C0 except tab and line feed, DEL, and C1: a name from a file or the
        // gauge must not move the cursor or start an escape sequence.
        const bool control = (u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7F && u <= 0x9F);
        if (control)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

namespace
{
bool IsYes(const QString& answer)
{
    const QString a = answer.trimmed().toLower();
    return a == QLatin1String("y") || a == QLatin1String("yes") || a == QStringLiteral("д") ||
           a == QStringLiteral("да");
}

// The path a name ends at: links of the last part followed, the folder made
// canonical; for a file that does not exist yet, where it would be created.
QString WhereWritten(const QString& path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops)
    {
        const QFileInfo info(p);
        if (!info.isSymLink())
            break;
        p = info.symLinkTarget();
    }
    const QFileInfo info(p);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

// The value of `option` in args ("--opt VALUE" or "--opt=VALUE"), the last
// one given; empty when absent.
QString OptionValue(const QStringList& args, const QString& option)
{
    QString value;
    for (int i = 0; i < args.size(); ++i)
    {
        if (args.at(i) == option && i + 1 < args.size())
            value = args.at(++i);
        else if (args.at(i).startsWith(option + QLatin1Char('=')))
            value = args.at(i).mid(option.size() + 1);
    }
    return value;
}

// Both exist and are one file (a path not yet written is nobody's input).
bool ExistingSameFile(const QString& a, const QString& b)
{
    struct stat sa;
    struct stat sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The files a command reads: its operands, the values of the options naming
// input files, and the archive. Options take a value unless they are flags.
QStringList InputsOf(const QString& command, const QStringList& args, const QString& archive)
{
    static const QStringList flags = {
        QStringLiteral("--yes"),  QStringLiteral("--undo"), QStringLiteral("--archive-add"),
        QStringLiteral("--help"), QStringLiteral("-h"),     QStringLiteral("-v")};
    QStringList inputOptions = {QStringLiteral("--data"), QStringLiteral("--previous")};
    if (command != QLatin1String("download"))
        inputOptions << QStringLiteral("--materials");
    QStringList inputs;
    if (!archive.isEmpty())
        inputs << archive;
    for (int i = 0; i < args.size(); ++i)
    {
        const QString& a = args.at(i);
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-"))
            inputs << a;
        else if (a.contains(QLatin1Char('=')))
        {
            const QString name = a.left(a.indexOf(QLatin1Char('=')));
            if (inputOptions.contains(name))
                inputs << a.mid(name.size() + 1);
        }
        else if (!flags.contains(a) && i + 1 < args.size())
        {
            ++i;
            if (inputOptions.contains(a))
                inputs << args.at(i);
        }
    }
    return inputs;
}
} // namespace

bool CliSameFile(const QString& a, const QString& b)
{
    if (QFileInfo::exists(a) && QFileInfo::exists(b))
        return ExistingSameFile(a, b);
    return WhereWritten(a) == WhereWritten(b);
}

int CliRefuseSameOutputs(const QString& command, const QStringList& args, const QString& archive)
{
    // Every command that writes two files or more, and the options naming
    // them, pair by pair.
    static const struct
    {
        const char* command;
        const char* first;
        const char* second;
    } outputs[] = {
        {"download", "-o", "--materials"}, {"analyse", "--csv", "--png"},
        {"history", "--csv", "--png"},     {"history", "--csv", "--pdf"},
        {"history", "--png", "--pdf"},
    };
    for (const auto& o : outputs)
    {
        if (command != QLatin1String(o.command))
            continue;
        const QString first = OptionValue(args, QString::fromLatin1(o.first));
        const QString second = OptionValue(args, QString::fromLatin1(o.second));
        if (first.isEmpty() || second.isEmpty() || !CliSameFile(first, second))
            continue;
        return CliUsageError(
            QStringLiteral("%1 '%2' and %3 '%4' are the same file; give two "
                           "different files")
                .arg(QString::fromLatin1(o.first), first, QString::fromLatin1(o.second), second));
    }

    // An output written over what the command reads would replace the
    // database (or the archive) with the table made from it.
    static const struct
    {
        const char* command;
        std::initializer_list<const char*> options;
    } written[] = {
        {"export", {"--csv", "--xls", "--xlsx"}},
        {"analyse", {"--csv", "--png"}},
        {"report", {"--html", "--pdf"}},
        {"history", {"--csv", "--png", "--pdf"}},
        {"archive-get", {"-o"}},
        {"download", {"-o", "--materials"}},
    };
    for (const auto& w : written)
    {
        if (command != QLatin1String(w.command))
            continue;
        const QStringList inputs = InputsOf(command, args, archive);
        for (const char* option : w.options)
        {
            const QString output = OptionValue(args, QString::fromLatin1(option));
            if (output.isEmpty())
                continue;
            for (const QString& input : inputs)
                if (ExistingSameFile(output, input))
                    return CliUsageError(
                        QStringLiteral("%1 '%2' and the input '%3' are the same file; give "
                                       "another output file")
                            .arg(QString::fromLatin1(option), output, input));
        }
    }
    return CliOk;
}

int CliConfirmReplace(const CliContext& ctx, const QString& command, const QString& question,
                      const QString& prompt)
{
    if (ctx.yes)
        return CliOk;
    if (!::isatty(STDIN_FILENO))
        return CliUsageError(
            QStringLiteral("%1 replaces what the gauge holds; without a terminal to ask on, give "
                           "--yes to go on")
                .arg(command));
    CliPrintErr(question);
    const QByteArray ask = CliSafeText(prompt + QStringLiteral(" [y/N] ")).toUtf8();
    std::fwrite(ask.constData(), 1, size_t(ask.size()), stderr);
    std::fflush(stderr);
    char line[256] = {};
    const bool answered = std::fgets(line, sizeof(line), stdin) != nullptr;
    if (answered && IsYes(QString::fromLocal8Bit(line)))
        return CliOk;
    if (!answered)
        std::fputc('\n', stderr);
    CliPrintErr(QStringLiteral("Отменено: устройство не изменено."));
    return CliFailure;
}

void CCliPrompts::Message(QObject*, Icon, const QString&, const QString& text)
{
    ++messageCount;
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    CliPrintErr(lines);
}

CUserPrompts::Button CCliPrompts::Ask(QObject* parent, Icon icon, const QString& title,
                                      const QString& text, const QString& informativeText, int,
                                      const QMap<Button, QString>&, Button)
{
    Message(parent, icon, title,
            informativeText.isEmpty() ? text : text + QLatin1Char(' ') + informativeText);
    return defaultAnswer;
}
