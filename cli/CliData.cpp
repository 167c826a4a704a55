#include "cli/CliCommands.h"

// Not built yet: these commands arrive with their own work item.
int CliShow(const CliContext&)
{
    CliPrintErr(QStringLiteral("This command is not available in this build."));
    return CliFailure;
}
