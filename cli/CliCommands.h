#pragma once

#include "data/CDataStorage.h"

#include <QString>
#include <QStringList>

class CSurveyArchive;

// What every command receives: its own arguments (after the command word)
// and the global options.
struct CliContext
{
    QStringList args;     // the command's own arguments, in order
    QString port;         // --port PATH, empty when not given
    bool verbose = false; // -v: device status texts on stderr too
    bool yes = false;     // --yes: replace what the gauge holds without asking
    QString archive;      // --archive LOCATION, empty when not given
};

// Exit codes of every command.
enum CliExit
{
    CliOk = 0,
    CliFailure = 1,
    CliUsage = 2
};

// The program runs every command with Qt Core alone, except those that draw
// (a chart, a printed page, a picture) and so need Qt Gui or Widgets: these
// run in the drawing module, a library the program loads only for them. The
// command table (CliMain.cpp) says which runs where; each side lists its
// runners by name.
struct CliRunner
{
    const char* name;
    int (*run)(const CliContext&);
};
// With the application object made: the global options, help, and the
// command's runner among `runners`; returns the exit code.
int CliRun(const CliRunner* runners, int count);
// Before any application object: true when the command line runs a command
// in the drawing module (never for help or --version).
bool CliRunsInModule(int argc, char** argv);
// Before any application object: the command word and its arguments, false
// when the command line asks for help, the version or is a usage error.
bool CliPeek(int argc, char** argv, QString* command, QStringList* args);

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
int CliArchiveAccept(const CliContext& ctx);
int CliHistory(const CliContext& ctx);
// `download --archive-add`: archives what was downloaded (saved to output).
int CliArchiveDownloaded(const CliContext& ctx, const DataFileList& files,
                         const MaterialList& materials, const QString& output);

// Helpers shared by the commands.
// Both print through CliSafeText: no text from a file or the gauge reaches
// the terminal as a control sequence.
void CliPrintOut(const QString& line); // one line to stdout, UTF-8
void CliPrintErr(const QString& line); // one line to stderr, UTF-8
// The text with every C0 control character except tab and line feed, DEL and
// every C1 control character written as \xNN.
QString CliSafeText(const QString& text);
void CliPrintUsage(bool toStderr);
// Takes "NAME VALUE" (e.g. "-o FILE") out of args; a NAME without its value
// sets *missingValue.
bool CliTakeOption(QStringList& args, const QString& name, QString* value, bool* missingValue);
// One command's help: its synopsis and description, then its options and an
// example when the help table knows the command.
QString CliCommandHelp(const char* name, const char* synopsis, const char* description);

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
// True when the two paths name one file: the same device and inode when
// both exist, else the same place after following links.
bool CliSameFile(const QString& a, const QString& b);
// The archive a command works on: --archive, else the settings' location,
// else the default file in the documents folder.
QString CliArchiveLocation(const CliContext& ctx);
// Opens that archive; false (the reason told on stderr) when it cannot.
bool CliOpenArchive(const CliContext& ctx, CSurveyArchive* archive);
// A usage error when two outputs of `command` in args are one file, or an
// output is one of its inputs (before anything is read from the gauge or
// written); CliOk otherwise. `archive`: the archive the command reads or
// adds to, empty when it uses none.
int CliRefuseSameOutputs(const QString& command, const QStringList& args, const QString& archive);
// Before the gauge's contents are replaced: CliOk to go on. With --yes at
// once; on a terminal after the question (the prompt ends in " [y/N] ", No
// by default; declining is CliFailure); otherwise a usage error naming --yes.
int CliConfirmReplace(const CliContext& ctx, const QString& command, const QString& question,
                      const QString& prompt);
