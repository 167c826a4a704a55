#pragma once

#include <QString>

class QSettings;

// The archive's settings: [Archive] Location (a file path or a PostgreSQL URL;
// empty: the file in the documents directory) and whether downloads are
// archived ("Архивировать загрузки", on unless turned off).
namespace CArchiveSettings
{
QString LocationText(QSettings* settings, bool demo = false);
void SetLocationText(QSettings* settings, const QString& location);
bool ArchiveDownloads(QSettings* settings);
void SetArchiveDownloads(QSettings* settings, bool on);
// The documents directory as the window keeps it (home/Korvalent by default).
QString DocumentsDir(QSettings* settings);
} // namespace CArchiveSettings
