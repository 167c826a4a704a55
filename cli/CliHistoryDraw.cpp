#include "cli/CliHistoryDraw.h"

#include "analysis/CHistoryChart.h"
#include "analysis/CHistoryDocument.h"

// The window's own drawing; the drawing module made the application a widget
// one, off screen, for these.

bool CliHistoryDrawPng(const CObjectHistory& history, int locationIndex, const QString& path,
                       QString* error)
{
    return CHistoryChart::SavePng(history, locationIndex, path, error);
}

bool CliHistoryDrawPdf(const CObjectHistory& history, const QString& path, QString* error)
{
    return CHistoryDocument::WritePdf(history, path, error);
}
