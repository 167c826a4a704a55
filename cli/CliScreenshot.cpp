#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"
#include "tools/CScreenImage.h"

// The gauge's display from the command line: the same core and texts as the
// screenshot dialog. The picture is a QImage, hence a drawing command.

int CliScreenshot(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return CliUsageError(QStringLiteral("screenshot needs one FILE (.bmp or .png)"));
    if (const QString problem = CliCheckWritable(ctx.args.first()); !problem.isEmpty())
    {
        CliPrintErr(problem);
        return CliFailure;
    }
    quint8 screen[CScreenImage::kBufferSize] = {};
    if (!CliRunTask(ctx, 10, screen, CScreenImage::kBufferSize))
    {
        CliPrintErr(CScreenImage::FailedText());
        return CliFailure;
    }
    QString error;
    const QImage picture = CScreenImage::Doubled(CScreenImage::Decode(screen));
    if (!CScreenImage::Save(picture, ctx.args.first(), &error))
    {
        CliPrintErr(error);
        return CliFailure;
    }
    return CliOk;
}
