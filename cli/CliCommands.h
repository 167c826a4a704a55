#pragma once

#include "data/CDataStorage.h"

#include <QString>
#include <QStringList>

// What every command receives: its own arguments (after the command word)
// and the global options.
struct CliContext
{
    QStringList args;     // the command's own arguments, in order
    QString port;         // --port PATH, empty when not given
    bool verbose = false; // -v: device status texts on stderr too
    QString archive;      // --archive LOCATION, empty when not given
};

// Exit codes of every command.
enum CliExit
{
    CliOk = 0,
    CliFailure = 1,
    CliUsage = 2
};

// Commands, one function each; they print their results to stdout and the
// program's own error texts to stderr.
int CliPorts(const CliContext& ctx);
int CliIdentify(const CliContext& ctx);
int CliShow(const CliContext& ctx);
int CliFirmware(const CliContext& ctx);
int CliClock(const CliContext& ctx);
int CliDownload(const CliContext& ctx);
int CliUpload(const CliContext& ctx);
int CliMaterialsGet(const CliContext& ctx);
int CliMaterialsPut(const CliContext& ctx);
int CliExport(const CliContext& ctx);
int CliPepRead(const CliContext& ctx);
int CliPepWrite(const CliContext& ctx);
int CliPepShow(const CliContext& ctx);
int CliPepList(const CliContext& ctx);
int CliScreenshot(const CliContext& ctx);
int CliReport(const CliContext& ctx);
int CliAnalyse(const CliContext& ctx);
int CliArchiveAdd(const CliContext& ctx);
int CliArchiveList(const CliContext& ctx);
int CliArchiveGet(const CliContext& ctx);
int CliArchiveMove(const CliContext& ctx);
int CliArchiveRename(const CliContext& ctx);
int CliArchiveMerge(const CliContext& ctx);
int CliArchiveRemove(const CliContext& ctx);
// `download --archive-add`: archives what was downloaded (saved to output).
int CliArchiveDownloaded(const CliContext& ctx, const DataFileList& files,
                         const MaterialList& materials, const QString& output);

// Helpers shared by the commands.
void CliPrintOut(const QString& line); // one line to stdout, UTF-8
void CliPrintErr(const QString& line); // one line to stderr, UTF-8
void CliPrintUsage(bool toStderr);

// A database or data file loaded as `show` loads it: false after printing
// the failure text; warnings about a cut or damaged database printed.
struct CliDataLoad
{
    CDataStorage::LoadResult result;
    bool dataFile = false;
    void ReportDamagedDataFile() const; // a data file reports damage after its tables
};
bool CliLoadData(const QString& path, CliDataLoad* load);
// The usage error for a --file number beyond the file's data files.
int CliNoSuchDataFile(int fileNumber, int files);
// --materials FILE.csv as `show` reads it: false after printing why it could
// not be opened; the lines before a faulty one are kept, the fault printed.
bool CliLoadMaterials(const QString& path, MaterialList* materials);
// A usage error: one line naming the problem and pointing to --help on
// stderr; returns CliUsage.
int CliUsageError(const QString& problem);
// Empty when a file can be written at path; otherwise the reason, naming the
// path (missing or read-only folder, a target that is not a regular file).
QString CliCheckWritable(const QString& path);
