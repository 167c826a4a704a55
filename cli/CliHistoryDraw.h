#pragma once

#include <QString>

class CObjectHistory;

// The pictures of `history`: a location's trend chart as PNG and the A4
// history report as PDF, drawn as the window draws them. Apart from the
// command itself because they need the widget libraries.

// False with *error (naming the file) when the file could not be written.
bool CliHistoryDrawPng(const CObjectHistory& history, int locationIndex, const QString& path,
                       QString* error);
bool CliHistoryDrawPdf(const CObjectHistory& history, const QString& path, QString* error);
