#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"
#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "tools/CPEPImage.h"
#include "tools/CPEPList.h"

// The transducer memory and the transducer list from the command line: the
// same core and texts as the dialogs (the screenshot, a picture, is in
// CliScreenshot.cpp).

namespace
{
// A target that cannot be written is reported before the gauge is asked.
bool CheckWritable(const QString& path)
{
    const QString problem = CliCheckWritable(path);
    if (!problem.isEmpty())
        CliPrintErr(problem);
    return problem.isEmpty();
}

// Message boxes use \r\n between lines; a terminal wants plain line ends.
void PrintErrLines(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    CliPrintErr(lines);
}

// Reads a .pep file (at most its first 128 bytes) and judges its checksum.
// False, with the message printed, when it cannot be used.
bool ReadPepFile(const QString& path, PEPEepromImage* image)
{
    QByteArray content;
    if (!CPEPImage::ReadFile(path, &content))
    {
        CliPrintErr(CPEPImage::FileReadFailedText() + QStringLiteral(" (%1)").arg(path));
        return false;
    }
    const CPEPImage::Decoded decoded = CPEPImage::DecodeFile(content);
    if (!decoded.crcOk)
    {
        PrintErrLines(CPEPImage::CrcWarningText());
        return false;
    }
    *image = decoded.image;
    return true;
}

bool Save(const QString& path, const QByteArray& bytes)
{
    const CSafeSave::Result result = CSafeSave::WriteBytes(path, bytes);
    if (!result.Ok())
        CliPrintErr(CSafeSave::Describe(path, result));
    return result.Ok();
}
} // namespace

int CliPepRead(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return CliUsageError(QStringLiteral("pep-read needs one FILE.pep"));
    if (!CheckWritable(ctx.args.first()))
        return CliFailure;
    PEPEepromImage image = CPEPImage::Erased();
    if (!CliRunTask(ctx, 1, &image, CPEPImage::kSize))
    {
        CliPrintErr(CPEPImage::DeviceReadFailedText());
        return CliFailure;
    }
    if (!CPEPImage::CrcMatches(image))
    {
        PrintErrLines(CPEPImage::CrcWarningText());
        return CliFailure;
    }
    // The bytes as the transducer holds them, not rebuilt through the form.
    return Save(ctx.args.first(), CPEPImage::ToBytes(image)) ? CliOk : CliFailure;
}

int CliPepWrite(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return CliUsageError(QStringLiteral("pep-write needs one FILE.pep"));
    PEPEepromImage image;
    if (!ReadPepFile(ctx.args.first(), &image))
        return CliFailure;
    const int asked = CliConfirmReplace(
        ctx, QStringLiteral("pep-write"),
        QStringLiteral("Память преобразователя будет перезаписана образом из файла '%1'.")
            .arg(ctx.args.first()),
        QStringLiteral("Продолжить запись в преобразователь?"));
    if (asked != CliOk)
        return asked;
    if (!CliRunTask(ctx, 2, &image, CPEPImage::kSize))
    {
        CliPrintErr(CPEPImage::DeviceWriteFailedText());
        return CliFailure;
    }
    CliPrintOut(CPEPImage::DeviceWrittenText());
    return CliOk;
}

int CliPepShow(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return CliUsageError(QStringLiteral("pep-show needs one FILE.pep"));
    PEPEepromImage image;
    if (!ReadPepFile(ctx.args.first(), &image))
        return CliFailure;
    const auto lines = CPEPImage::ShowLines(image, CClock::Today());
    for (const auto& line : lines)
        CliPrintOut(line.first + QLatin1Char('\t') + line.second.join(QLatin1Char('\t')));
    return CliOk;
}

int CliPepList(const CliContext& ctx)
{
    if (!ctx.args.isEmpty())
        return CliUsageError(QStringLiteral("pep-list takes no arguments"));
    QList<PEPListRecord> list;
    if (!CliRunTask(ctx, 7, &list, 0))
    {
        CliPrintErr(CPEPList::DownloadFailedText());
        return CliFailure;
    }
    CliPrintOut(CPEPList::Headers().join(QLatin1Char('\t')));
    for (const PEPListRecord& record : list)
        CliPrintOut(CPEPList::RowTexts(record).join(QLatin1Char('\t')));
    return CliOk;
}
