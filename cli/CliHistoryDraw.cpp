#include "cli/CliHistoryDraw.h"

// The history's chart and report are not part of this program yet.

QString CliHistoryDrawRefusal()
{
    return QStringLiteral("korvalent-cli: history cannot draw --png or --pdf in this version; "
                          "the table and --csv are available");
}

bool CliHistoryDrawPng(const CObjectHistory&, int, const QString&, QString* error)
{
    *error = CliHistoryDrawRefusal();
    return false;
}

bool CliHistoryDrawPdf(const CObjectHistory&, const QString&, QString* error)
{
    *error = CliHistoryDrawRefusal();
    return false;
}
