#pragma once

#include "data/GaugeRecords.h"

#include <QString>
#include <QStringList>

// The rows of the transducer list as the list dialog and the command line
// show them. Widget-free.
namespace CPEPList
{
constexpr int kColumns = 7;
constexpr int kMaxEntries = 16;

// "Имя", "Тип", "Частота", "Задержка", "Диапазон", "Серийный №", "V-Path".
QStringList Headers();

// The seven cell texts of one record.
QStringList RowTexts(const PEPListRecord& record);

// True when the ten V-path entries, counted from the first, are all filled
// (an entry is empty when its word and both values are 0).
bool HasFullVPath(const PEPListRecord& record);

QString DownloadFailedText();
} // namespace CPEPList
