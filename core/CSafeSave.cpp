#include "core/CSafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
CSafeSave::Result Fail(CSafeSave::Status status, const QString& reason)
{
    return {status, reason};
}

QString Errno()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// The real file a save replaces: a symlink (or a chain of them) to a regular
// file is followed, so that the link stays a link and the file it finally
// names gets the new contents.
QString ResolvedTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
    {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

// Syncs a written file's data before the rename, so that a crash right after
// the rename cannot leave an empty file under the user's name. Also checks
// what a writer with buffering of its own may have hidden: a file that
// reached the process's file-size limit was cut there.
bool CheckAndSyncFile(const QString& path, QString* reason)
{
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        *reason = Errno();
        return false;
    }
    bool ok = true;
    struct stat st;
    rlimit limit;
    if (::fstat(fd, &st) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && rlim_t(st.st_size) >= limit.rlim_cur)
    {
        *reason = QString::fromLocal8Bit(std::strerror(EFBIG));
        ok = false;
    }
    if (ok && ::fsync(fd) != 0)
    {
        *reason = Errno();
        ok = false;
    }
    ::close(fd);
    return ok;
}

// After the rename the folder's entry is synced too, so that the new name
// survives a crash. Failing to do so is no reason to report a failed save.
void SyncFolder(const QString& file)
{
    const int fd = ::open(Native(QFileInfo(file).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// rename(2) replaces the target in one step; QFile::rename would refuse an
// existing target or fall back to copying.
bool ReplaceTarget(const QString& from, const QString& to, QString* reason)
{
    if (::rename(Native(from).constData(), Native(to).constData()) != 0)
    {
        *reason = Errno();
        return false;
    }
    return true;
}

// Writes bytes into an existing empty file, the final flush checked: that
// flush is where a small file meets a full disk.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString* reason)
{
    QFile file(path);
    errno = 0;
    bool ok =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    ok = ok && file.flush() && file.error() == QFileDevice::NoError;
    if (ok)
    {
        file.close();
        ok = file.error() == QFileDevice::NoError;
    }
    if (!ok)
    {
        // Qt's text of a failed flush is "Unknown error"; the system's says
        // what happened (disk full, file too large).
        const int error = errno;
        *reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    }
    return ok;
}

// A new file gets the permissions an ordinary create would give it; a
// replaced one keeps its own.
void CopyPermissions(const QString& target, const QString& temp)
{
    struct stat st;
    if (::stat(Native(target).constData(), &st) == 0)
    {
        ::chmod(Native(temp).constData(), st.st_mode & 07777);
        return;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(Native(temp).constData(), 0666 & ~mask);
}
} // namespace

CSafeSave::Result CSafeSave::CheckTarget(const QString& path)
{
    if (path.isEmpty())
        return Fail(Status::OpenFailed, QStringLiteral("пустое имя файла"));
    struct stat st;
    // stat follows symlinks: a link to a regular file is fine.
    if (::stat(Native(path).constData(), &st) == 0)
    {
        if (!S_ISREG(st.st_mode))
            return Fail(Status::NotRegularFile, QStringLiteral("это не обычный файл"));
        return {};
    }
    struct stat lst;
    if (::lstat(Native(path).constData(), &lst) == 0)
        return Fail(Status::NotRegularFile, QStringLiteral("ссылка никуда не ведёт"));
    return {};
}

CSafeSave::Result CSafeSave::WriteBytes(const QString& path, const QByteArray& bytes)
{
    Staged staged;
    const Result prepared = staged.Prepare(path, bytes);
    return prepared.Ok() ? staged.Commit() : prepared;
}

CSafeSave::Result CSafeSave::WriteWith(const QString& path,
                                       const std::function<bool(const QString&)>& fill)
{
    Staged staged;
    const Result prepared = staged.PrepareWith(path, fill);
    return prepared.Ok() ? staged.Commit() : prepared;
}

CSafeSave::Staged::~Staged()
{
    Discard();
}

void CSafeSave::Staged::Discard()
{
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
    m_temp.clear();
}

CSafeSave::Result CSafeSave::Staged::Prepare(const QString& path, const QByteArray& bytes)
{
    QString reason;
    Result result = PrepareWith(path, [&bytes, &reason](const QString& tempPath)
                                { return WriteWhole(tempPath, bytes, &reason); });
    if (result.status == Status::WriteFailed && !reason.isEmpty())
        result.errorString = reason;
    return result;
}

CSafeSave::Result CSafeSave::Staged::PrepareWith(const QString& path,
                                                 const std::function<bool(const QString&)>& fill)
{
    Discard();
    Result check = CheckTarget(path);
    if (!check.Ok())
        return check;

    const QString target = ResolvedTarget(path);
    const QFileInfo info(target);
    QString tempPath;
    {
        QTemporaryFile temp(info.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
                            info.fileName() + QStringLiteral(".XXXXXX"));
        if (!temp.open())
            return Fail(Status::OpenFailed, temp.errorString());
        temp.setAutoRemove(false);
        tempPath = temp.fileName();
    }
    m_temp = tempPath;

    if (!fill(tempPath))
    {
        Discard();
        return Fail(Status::WriteFailed, QStringLiteral("ошибка записи"));
    }
    QString reason;
    if (!QFileInfo::exists(tempPath))
    {
        m_temp.clear();
        return Fail(Status::WriteFailed, QStringLiteral("файл не создан"));
    }
    if (!CheckAndSyncFile(tempPath, &reason))
    {
        Discard();
        return Fail(Status::WriteFailed, reason);
    }
    CopyPermissions(target, tempPath);
    m_target = target;
    return {};
}

CSafeSave::Result CSafeSave::Staged::Commit()
{
    if (m_temp.isEmpty())
        return Fail(Status::CommitFailed, QStringLiteral("нет подготовленного файла"));
    QString reason;
    if (!ReplaceTarget(m_temp, m_target, &reason))
    {
        Discard();
        return Fail(Status::CommitFailed, reason);
    }
    m_temp.clear();
    SyncFolder(m_target);
    return {};
}

QString CSafeSave::Describe(const QString& path, const Result& result)
{
    switch (result.status)
    {
    case Status::Ok:
        return {};
    case Status::NotRegularFile:
        return QStringLiteral("Не удалось записать файл: %1 (%2)")
            .arg(path, result.errorString.isEmpty() ? QStringLiteral("это не обычный файл")
                                                    : result.errorString);
    default:
        return QStringLiteral("Не удалось записать файл: %1 (%2)").arg(path, result.errorString);
    }
}
