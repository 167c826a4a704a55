#pragma once

#include "data/GaugeRecords.h"

#include <QString>

// Texts the results tab shows about loading, saving and deleting data files;
// the command line prints the same ones.
namespace CDataMessages
{
// File dialogs.
QString OpenDatabaseCaption();
QString SaveDatabaseCaption();
QString DatabaseFilter();
QString OpenDataFileCaption();
QString SaveDataFileCaption();
QString DataFileFilter();

// Database load.
QString DatabaseOpenFailed(const QString& path);
QString DatabaseParseFailed(const QString& path, const QString& parserError);
QString DatabaseWrongKind(const QString& path);
QString DatabaseTooManyFiles();
QString DatabaseDamaged();

// Database save.
QString NothingToSave();
QString DatabaseCreateFailed();
QString DatabaseSaved();
// The success text of a database save; when the database holds incomplete
// files, a paragraph that names them follows.
QString DatabaseSaved(const DataFileList& files);

// Data file load.
QString DataFileLimitReached();
QString DataFileAlreadyLoaded(const QString& baseName);
QString DataFileOpenFailed(const QString& path);
QString DataFileParseFailed(const QString& path, const QString& parserError);
QString DataFileWrongKind(const QString& path);
QString DataFileDamaged();
QString DataFileLoaded();

// Data file save and delete.
QString NoFilesToSave();
QString SelectFileToSave();
QString DataFileCreateFailed();
QString DataFileSaved();
QString NoFileToDelete();

// A failure text followed, after a blank line, by the line that names the
// file and the reason (the text alone when reason is empty).
QString WithReason(const QString& text, const QString& reason);

// Refusal while the gauge is being talked to.
QString DeviceBusy();

// Data status label.
QString LabelNotLoaded();
QString LabelLoadedFromPc(int files);
QString LabelLoadedFromFile();
// A label that counts files, with the count replaced (after a delete); other
// labels come back unchanged.
QString LabelRecounted(const QString& label, int files);

// What a label says about the incomplete files of the list: empty when every
// file is complete; otherwise the first one named with its cell counts, and
// how many more there are.
QString IncompleteFilesNote(const DataFileList& files);
// The label with its note about incomplete files made true for the list:
// an earlier note is replaced or dropped, the trailing blanks are kept.
QString LabelWithIncompleteNote(const QString& label, const DataFileList& files);
} // namespace CDataMessages
