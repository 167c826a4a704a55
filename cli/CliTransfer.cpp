#include "cli/CliCommands.h"

// Not built yet: these commands arrive with their own work item.
int CliFirmware(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
int CliClock(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
int CliDownload(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
int CliUpload(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
int CliMaterialsGet(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
int CliMaterialsPut(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
