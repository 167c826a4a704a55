#pragma once

#include <QByteArray>
#include <QString>

// Reads an input file whole, but only one that can be a file of ours: a path
// that is not a regular file (a device such as /dev/zero, a FIFO, a folder)
// or a file larger than the limit for its kind is refused before anything is
// read. Every loader of the program reads through here: the key files
// (.kdb, .kdf, .krf) with kKeyFileBytes, the materials CSV with
// kMaterialsCsvBytes.
namespace CInputLimits
{
// The largest real database is about 2.4 MB.
constexpr qint64 kKeyFileBytes = 64LL * 1024 * 1024;
constexpr qint64 kMaterialsCsvBytes = 1LL * 1024 * 1024;

enum class Status
{
    Ok,
    OpenFailed,     // missing, unreadable
    NotRegularFile, // nothing read
    TooLarge        // larger than the limit: nothing read
};

struct ReadResult
{
    Status status = Status::OpenFailed;
    QByteArray bytes; // the whole file when Ok
    qint64 size = 0;  // the file's size when known
    qint64 limit = 0;
    bool Ok() const { return status == Status::Ok; }
};

ReadResult ReadFile(const QString& path, qint64 limit);

// Why a file was refused, in Russian, naming the limit ("файл больше
// допустимого размера 64 МБ"); empty for Ok and OpenFailed. Loaders put it
// where their messages give the reason of a failed load.
QString Reason(const ReadResult& result);

// "64 МБ", "1 МБ", "512 КБ".
QString SizeText(qint64 bytes);
} // namespace CInputLimits
