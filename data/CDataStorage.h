#pragma once

#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QString>

// Measurement databases (.kdb, the whole data-file list) and single data
// files (.kdf) on the PC. The functions do the work and return what happened;
// the window and the command line turn that into their messages.
class CDataStorage
{
public:
    static constexpr int kMaxDataFiles = 150;

    static QString DatabaseRootName() { return QStringLiteral("KorvalentDatabase"); }
    static QString DataFileRootName() { return QStringLiteral("KorvalentDataFile"); }

    struct LoadResult
    {
        enum Status
        {
            Ok,
            OpenFailed,  // the file cannot be opened for reading
            ParseFailed, // not well-formed, or refused before reading (no regular
                         // file, over CInputLimits::kKeyFileBytes); parserError
                         // tells why
            WrongKind    // another root element (or none)
        };
        Status status = OpenFailed;
        QString parserError;
        DataFileList files;     // database: every file read; data file: exactly one
        bool damaged = false;   // a row did not decode to a cell and was dropped
        bool truncated = false; // the database announced more than 150 files

        bool Succeeded() const { return status == Status::Ok; }
    };

    // Reads a database: at most 150 files; rows 1..records of every file.
    static LoadResult LoadDatabaseFile(const QString& path);
    // Reads a single data file; its name comes from the file's NAME element.
    static LoadResult LoadDataFile(const QString& path);
    // A database or a data file, whichever the file holds: the suffix (.kdf
    // for a data file) decides which is tried first and whose failure is
    // reported; *dataFile tells which kind was read (or failed). The file is
    // read once.
    static LoadResult LoadEitherKind(const QString& path, bool* dataFile);
    // The same from bytes already in memory.
    static LoadResult ParseDatabase(const QByteArray& content);
    static LoadResult ParseDataFile(const QByteArray& content);

    // The documents as written.
    static QByteArray DatabaseDocument(const DataFileList& files);
    static QByteArray DataFileDocument(const DataFileRecord& file, const QString& name);

    // Atomic writes: a failed write leaves a previous file as it was.
    static bool SaveDatabaseFile(const QString& path, const DataFileList& files);
    // NAME is the base name of path; the record itself is not changed.
    static bool SaveDataFile(const QString& path, const DataFileRecord& file);

    // The file name without its directory and without everything from its
    // first "." on ("C:/x/Tank.A.kdf" -> "Tank").
    static QString BaseName(const QString& path);

    // Decoded name of a data file.
    static QString FileName(const DataFileRecord& file);
    // Index of a file whose name equals name ignoring case, -1 when none.
    static int FindByName(const DataFileList& files, const QString& name);
};
