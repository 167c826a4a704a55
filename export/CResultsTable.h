#pragma once

#include "data/GaugeRecords.h"
#include "export/CTableSource.h"

// The results table of one data file as plain texts: the texts and layout
// CResultsModels gives the window's model (its headers, one row per cell),
// for writers that run without Qt Gui.
namespace CResultsTable
{
CTextTable Of(const DataFileRecord& file, const MaterialList& materials);
} // namespace CResultsTable
