#include "core/CSafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

// The real file a save replaces: a symlink to a regular file is followed, so
// that the link stays a link and its target gets the new contents.
QString ResolvedTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
    {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

// Syncs a written file's data before the rename, so that a crash right after
// the rename cannot leave an empty file under the user's name.
bool SyncFile(const QString& path, QString* reason)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        *reason = Errno();
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    if (!ok)
        *reason = Errno();
    ::close(fd);
    return ok;
}

// rename(2) replaces the target in one step; QFile::rename would refuse an
// existing target or fall back to copying.
bool ReplaceTarget(const QString& from, const QString& to, QString* reason)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
    {
        *reason = Errno();
        return false;
    }
    return true;
}

// A new file gets the permissions an ordinary create would give it; a
// replaced one keeps its own.
void CopyPermissions(const QString& target, const QString& temp)
{
    struct stat st;
    if (::stat(QFile::encodeName(target).constData(), &st) == 0)
    {
        ::chmod(QFile::encodeName(temp).constData(), st.st_mode & 07777);
        return;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(temp).constData(), 0666 & ~mask);
}
} // namespace

CSafeSave::Result CSafeSave::CheckTarget(const QString& path)
{
    if (path.isEmpty())
        return Fail(Status::OpenFailed, QStringLiteral("пустое имя файла"));
    struct stat st;
    // stat follows symlinks: a link to a regular file is fine.
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
    {
        if (!S_ISREG(st.st_mode))
            return Fail(Status::NotRegularFile, QStringLiteral("это не обычный файл"));
        return {};
    }
    struct stat lst;
    if (::lstat(QFile::encodeName(path).constData(), &lst) == 0)
        return Fail(Status::NotRegularFile, QStringLiteral("ссылка никуда не ведёт"));
    return {};
}

CSafeSave::Result CSafeSave::WriteBytes(const QString& path, const QByteArray& bytes)
{
    QString reason;
    Result result = WriteWith(path, [&bytes, &reason](const QString& tempPath) {
        QFile file(tempPath);
        bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                  file.write(bytes) == bytes.size();
        // The final flush is where a small file meets a full disk.
        ok = ok && file.flush() && file.error() == QFileDevice::NoError;
        if (ok)
        {
            file.close();
            ok = file.error() == QFileDevice::NoError;
        }
        if (!ok)
            reason = file.errorString();
        return ok;
    });
    if (result.status == Status::WriteFailed && !reason.isEmpty())
        result.errorString = reason;
    return result;
}

CSafeSave::Result CSafeSave::WriteWith(const QString& path,
                                       const std::function<bool(const QString&)>& fill)
{
    Result check = CheckTarget(path);
    if (!check.Ok())
        return check;

    const QString target = ResolvedTarget(path);
    const QFileInfo info(target);
    QTemporaryFile temp(info.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
                        info.fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(true);
    if (!temp.open())
        return Fail(Status::OpenFailed, temp.errorString());
    const QString tempPath = temp.fileName();
    temp.close();

    if (!fill(tempPath))
    {
        QFile::remove(tempPath);
        return Fail(Status::WriteFailed, QStringLiteral("ошибка записи"));
    }
    // The writer may have reported success over a short file (its own
    // buffering); the size on disk and a sync tell the truth.
    QString reason;
    if (!QFileInfo::exists(tempPath))
        return Fail(Status::WriteFailed, QStringLiteral("файл не создан"));
    if (!SyncFile(tempPath, &reason))
    {
        QFile::remove(tempPath);
        return Fail(Status::WriteFailed, reason);
    }
    CopyPermissions(target, tempPath);
    if (!ReplaceTarget(tempPath, target, &reason))
    {
        QFile::remove(tempPath);
        return Fail(Status::CommitFailed, reason);
    }
    temp.setAutoRemove(false);
    return {};
}

QString CSafeSave::Describe(const QString& path, const Result& result)
{
    switch (result.status)
    {
    case Status::Ok:
        return {};
    case Status::NotRegularFile:
        return QStringLiteral("Не удалось записать файл: %1 (это не обычный файл)").arg(path);
    default:
        return QStringLiteral("Не удалось записать файл: %1 (%2)").arg(path, result.errorString);
    }
}
