#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Saves files so that a failure never costs the user the previous file.
//
// Every writer of the program goes through here. Bytes are written to a
// temporary file beside the target, flushed and checked, synced, and only
// then renamed over the target. Qt's QSaveFile alone is not enough: with
// writes buffered under 16 KiB, commit() renames even when the final flush
// failed (disk full, file-size limit), leaving an empty or cut file under the
// user's name. A target that exists and is not a regular file (FIFO, device
// node, directory) is refused before anything is written, and so is one the
// user may not write (as cp refuses it; the superuser may).
//
// The temporary file is named "NAME.korvalent-XXXXXX.part" beside NAME, so
// that one left by a killed process tells whose it is. The process holds an
// flock on it while it lives; the next save of NAME removes every such file
// that nobody holds. With RemoveTemporariesOnSignals() installed, SIGINT,
// SIGTERM and SIGHUP remove the open temporary files before the process
// ends by the signal.
namespace CSafeSave
{
enum class Status
{
    Ok,
    NotRegularFile, // the target exists and is no regular file: nothing written
    NotWritable,    // the target exists and the user may not write it: nothing written
    OpenFailed,     // the temporary file could not be created
    WriteFailed,    // writing, flushing or syncing failed (disk full, limit)
    CommitFailed    // the rename over the target failed
};

struct Result
{
    Result() = default;
    Result(Status s, const QString& reason) : status(s), errorString(reason) {}
    Status status = Status::Ok;
    QString errorString; // the system's reason, empty on success
    // On success, what the replaced file could not keep (its owner or group,
    // when the process may not give them); empty when it kept everything.
    QString notice;
    bool Ok() const { return status == Status::Ok; }
};

// Refuses a target that exists and is not a regular file (or a symlink to
// one), or that the user may not write. Called by both savers; also useful before a long operation,
// so that the user is told before the work is done.
Result CheckTarget(const QString& path);

// Writes bytes to path atomically.
Result WriteBytes(const QString& path, const QByteArray& bytes);

// Two steps, for a writer that replaces several files together (a database
// and its materials table): Prepare writes, checks and syncs a temporary file
// beside the target; Commit renames it over the target. Prepare every file
// first and commit only when all are prepared, so that a failure leaves every
// previous file as it was. A Staged that goes away uncommitted removes its
// temporary file.
class Staged
{
public:
    Staged() = default;
    ~Staged();
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;

    Result Prepare(const QString& path, const QByteArray& bytes);
    Result PrepareWith(const QString& path,
                       const std::function<bool(const QString& tempPath)>& fill);
    // Renames the prepared file over its target; fails when nothing is
    // prepared.
    Result Commit();
    // Removes a prepared, uncommitted temporary file.
    void Discard();

private:
    QString m_target; // the file the rename replaces (links followed)
    QString m_temp;   // the prepared temporary file, empty when none
    QString m_notice; // what the replaced file will not keep
    int m_lock = -1;  // the temporary file, held locked until it is gone
    int m_slot = -1;  // its place among the files a signal removes
};

// For writers that insist on a file name of their own (PDF printer,
// spreadsheet libraries): fill receives the path of an empty temporary file
// in the target's folder and returns false on failure; on success the file is
// checked, synced and renamed over path. The temporary file never outlives
// the call.
Result WriteWith(const QString& path, const std::function<bool(const QString& tempPath)>& fill);

// Installs handlers of SIGINT, SIGTERM and SIGHUP that remove the open
// temporary files and then end the process by the same signal (a signal
// the process ignores stays ignored). Called once at start-up.
void RemoveTemporariesOnSignals();

// Where a notice of a successful save goes (what the replaced file could not
// keep); standard error when none is set.
void SetNoticeHandler(void (*handler)(const QString& text));

// A short Russian description of a failed result naming the file, for the
// command line and for logs ("Не удалось записать файл: PATH (reason)").
QString Describe(const QString& path, const Result& result);
} // namespace CSafeSave
