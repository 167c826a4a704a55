#pragma once

#include "core/CSafeSave.h"

class CResultsSheet;

// Writes a results sheet as an Office Open XML workbook (.xlsx) through
// libxlsxwriter: one worksheet, every cell a string with the text number
// format "@", centred; the header row bold; red or black font as the sheet
// says; columns 15 wide.
namespace CXlsxWorkbook
{
// The workbook file itself, written by the library to path (no safe save).
bool WriteFile(const QString& path, const CResultsSheet& sheet);
// The workbook saved safely over path.
CSafeSave::Result Save(const QString& path, const CResultsSheet& sheet);
} // namespace CXlsxWorkbook
