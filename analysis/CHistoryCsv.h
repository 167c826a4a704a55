#pragma once

#include "core/CSafeSave.h"

#include <QByteArray>
#include <QString>

class CObjectHistory;

// An object's history as the CSV the results export writes (every value a
// ="…" formula, the export's quoting of hostile texts, windows-1251, CR LF):
// the per-location table with its header line, an empty line, then the
// summary lines one per line. The window and the command line write the
// same bytes.
namespace CHistoryCsv
{
QByteArray Bytes(const CObjectHistory& history);
CSafeSave::Result Save(const QString& path, const CObjectHistory& history);
} // namespace CHistoryCsv
