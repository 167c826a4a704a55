#pragma once

#include "core/CSafeSave.h"

#include <QByteArray>
#include <QString>

class QAbstractItemModel;
class CTableSource;

// A table (the results, an analysis) as semicolon-separated text that spreadsheet programs
// open with every value kept as text:
//   line 1      every header followed by ";"
//   lines 2 …   every value as ="TEXT"; (a formula yielding the text, so
//               that leading zeros, dates and decimal points stay as shown)
// Every line ends in CR LF, the last one too; texts are in windows-1251.
// A missing header or item contributes nothing, not even its ";".
//
// A value holding a double quote, ";" or a line break would leave the
// formula (a crafted name turning into a live formula or shifting the
// columns); such a value gets the quotes a spreadsheet reads back as exactly
// the text: double quotes doubled inside the formula string, and the whole
// field quoted when it holds ";" or a line break. Plain texts keep the plain
// form byte for byte.
namespace CCsvWriter
{
QByteArray Bytes(const CTableSource& table);
CSafeSave::Result Save(const QString& path, const CTableSource& table);
// The same over an item model (CModelTable).
QByteArray Bytes(const QAbstractItemModel& model);
CSafeSave::Result Save(const QString& path, const QAbstractItemModel& model);

// One value's field, ";" included, still in Unicode.
QString ValueField(const QString& text);
QString HeaderField(const QString& text);
} // namespace CCsvWriter
