#include "core/CSafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The open temporary files, for the signal handler: fixed storage, claimed
// and released with atomic flags only, so that the handler neither locks
// nor allocates. A slot is free, being filled, armed (the handler removes
// its file) or taken by the handler.
constexpr int kSlots = 32;
constexpr size_t kPathBytes = PATH_MAX;
enum SlotState
{
    SlotFree,
    SlotFilling,
    SlotArmed,
    SlotTaken
};
char s_paths[kSlots][kPathBytes];
std::atomic<int> s_state[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free flags");

void (*s_noticeHandler)(const QString&) = nullptr;

int RegisterTemporary(const QByteArray& native)
{
    if (size_t(native.size()) >= kPathBytes)
        return -1;
    for (int i = 0; i < kSlots; ++i)
    {
        int expected = SlotFree;
        if (s_state[i].compare_exchange_strong(expected, SlotFilling))
        {
            std::memcpy(s_paths[i], native.constData(), size_t(native.size()) + 1);
            s_state[i].store(SlotArmed);
            return i;
        }
    }
    // More open temporaries than slots: this one is left to the next save's
    // clean-up.
    return -1;
}

void UnregisterTemporary(int slot)
{
    if (slot < 0)
        return;
    int expected = SlotArmed;
    // A slot the handler took stays taken: the process is ending.
    s_state[slot].compare_exchange_strong(expected, SlotFree);
}

void RemoveTemporariesAndDie(int signal)
{
    for (int i = 0; i < kSlots; ++i)
    {
        int expected = SlotArmed;
        if (s_state[i].compare_exchange_strong(expected, SlotTaken))
            ::unlink(s_paths[i]);
    }
    struct sigaction fallback;
    std::memset(&fallback, 0, sizeof(fallback));
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    // Pending while this handler runs; on its return the default action ends
    // the process with the signal's status.
    ::raise(signal);
}

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

QString OwnerText(uid_t uid, gid_t gid)
{
    char buffer[4096];
    passwd user;
    passwd* foundUser = nullptr;
    group grp;
    group* foundGroup = nullptr;
    const QString userName =
        ::getpwuid_r(uid, &user, buffer, sizeof(buffer), &foundUser) == 0 && foundUser
            ? QString::fromLocal8Bit(foundUser->pw_name)
            : QString::number(uid);
    const QString groupName =
        ::getgrgid_r(gid, &grp, buffer, sizeof(buffer), &foundGroup) == 0 && foundGroup
            ? QString::fromLocal8Bit(foundGroup->gr_name)
            : QString::number(gid);
    return userName + QLatin1Char(':') + groupName;
}

// A new file gets the permissions an ordinary create would give it. A
// replaced one keeps its permissions, and its owner and group as far as the
// process may give them (the superuser any, an owner the groups it is in);
// what it cannot keep is returned as a notice naming the file. The owner is
// set first: chown clears the set-user and set-group bits.
QString CopyOwnerAndPermissions(const QString& target, const QString& temp)
{
    const QByteArray tempName = Native(temp);
    struct stat st;
    if (::stat(Native(target).constData(), &st) != 0)
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(tempName.constData(), 0666 & ~mask);
        return {};
    }
    QString notice;
    struct stat now;
    if (::stat(tempName.constData(), &now) == 0 &&
        (now.st_uid != st.st_uid || now.st_gid != st.st_gid))
    {
        // Owner and group, else the group alone; the look below tells what stuck.
        [[maybe_unused]] const bool changed =
            ::chown(tempName.constData(), st.st_uid, st.st_gid) == 0 ||
            ::chown(tempName.constData(), uid_t(-1), st.st_gid) == 0;
        if (::stat(tempName.constData(), &now) == 0 &&
            (now.st_uid != st.st_uid || now.st_gid != st.st_gid))
            notice =
                QStringLiteral("Файл %1 заменён, но его владелец и группа теперь %2 (были %3).")
                    .arg(target, OwnerText(now.st_uid, now.st_gid),
                         OwnerText(st.st_uid, st.st_gid));
    }
    ::chmod(tempName.constData(), st.st_mode & 07777);
    return notice;
}

const char kTempMark[] = ".korvalent-";
const char kTempEnd[] = ".part";
constexpr int kTempRandom = 6;

// The name part of a target's temporary files: the target's own name, cut
// (at a character's start) when the whole would pass the length a folder
// entry may have.
QByteArray TempBase(const QString& fileName)
{
    QByteArray base = Native(fileName);
    const qsizetype room =
        NAME_MAX - qsizetype(sizeof(kTempMark) - 1) - kTempRandom - qsizetype(sizeof(kTempEnd) - 1);
    if (base.size() > room)
    {
        qsizetype cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base.at(cut)) & 0xC0) == 0x80)
            --cut;
        base.truncate(cut);
    }
    return base;
}

bool IsTempName(const char* entry, const QByteArray& base)
{
    const size_t length = std::strlen(entry);
    const size_t mark = sizeof(kTempMark) - 1;
    const size_t end = sizeof(kTempEnd) - 1;
    const size_t prefix = size_t(base.size()) + mark;
    return length == prefix + kTempRandom + end &&
           std::memcmp(entry, base.constData(), size_t(base.size())) == 0 &&
           std::memcmp(entry + base.size(), kTempMark, mark) == 0 &&
           std::memcmp(entry + prefix + kTempRandom, kTempEnd, end) == 0;
}

// Removes the temporary files of earlier saves of the same target that no
// process holds any more (one killed while saving). A live save holds an
// flock on its file from the moment it exists to its rename; whatever can
// be locked here is left over. Only what was locked is removed: the name
// must still lead to the locked file.
void RemoveStaleTemporaries(const QString& folder, const QByteArray& base)
{
    const int dirFd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir)
    {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir))
    {
        if (!IsTempName(entry->d_name, base))
            continue;
        const int fd = ::openat(dirFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat held;
        struct stat named;
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// Creates the temporary file beside target, locked and known to the signal
// handler. The lock is taken right after the create; should a clean-up of
// another process have removed the file in between, a new one is made.
bool CreateTemporary(const QString& target, QString* path, int* fd, int* slot, QString* reason)
{
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray base = TempBase(info.fileName());
    RemoveStaleTemporaries(folder, base);
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        QByteArray name = Native(folder) + '/' + base + kTempMark;
        for (int i = 0; i < kTempRandom; ++i)
            name += kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
        name += kTempEnd;
        const int registered = RegisterTemporary(name);
        const int opened =
            ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (opened < 0)
        {
            const int error = errno;
            UnregisterTemporary(registered);
            if (error == EEXIST)
                continue;
            *reason = QString::fromLocal8Bit(std::strerror(error));
            return false;
        }
        struct stat held;
        struct stat named;
        if (::flock(opened, LOCK_EX | LOCK_NB) == 0 && ::fstat(opened, &held) == 0 &&
            ::stat(name.constData(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
        {
            *path = QFile::decodeName(name);
            *fd = opened;
            *slot = registered;
            return true;
        }
        ::close(opened);
        UnregisterTemporary(registered);
    }
    *reason = QStringLiteral("не удалось создать временный файл");
    return false;
}

QString AccessReason(int error)
{
    switch (error)
    {
    case EACCES:
    case EPERM:
        return QStringLiteral("Отказано в доступе");
    case EROFS:
        return QStringLiteral("Файловая система доступна только для чтения");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
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
        // What cp would decide: a file the user may not write is not
        // replaced, even though the folder would allow the rename; the
        // superuser writes any file.
        if (::faccessat(AT_FDCWD, Native(path).constData(), W_OK, AT_EACCESS) != 0 &&
            errno != ENOENT)
            return Fail(Status::NotWritable, AccessReason(errno));
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
        ::unlink(Native(m_temp).constData());
    m_temp.clear();
    m_notice.clear();
    UnregisterTemporary(m_slot);
    m_slot = -1;
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
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
    QString tempPath;
    QString reason;
    if (!CreateTemporary(target, &tempPath, &m_lock, &m_slot, &reason))
        return Fail(Status::OpenFailed, reason);
    m_temp = tempPath;

    if (!fill(tempPath))
    {
        Discard();
        return Fail(Status::WriteFailed, QStringLiteral("ошибка записи"));
    }
    if (!QFileInfo::exists(tempPath))
    {
        m_temp.clear();
        Discard();
        return Fail(Status::WriteFailed, QStringLiteral("файл не создан"));
    }
    if (!CheckAndSyncFile(tempPath, &reason))
    {
        Discard();
        return Fail(Status::WriteFailed, reason);
    }
    m_notice = CopyOwnerAndPermissions(target, tempPath);
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
    Result done;
    done.notice = m_notice;
    Discard();
    SyncFolder(m_target);
    if (!done.notice.isEmpty())
    {
        if (s_noticeHandler)
            s_noticeHandler(done.notice);
        else
        {
            const QByteArray line = done.notice.toUtf8() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
        }
    }
    return done;
}

void CSafeSave::SetNoticeHandler(void (*handler)(const QString&))
{
    s_noticeHandler = handler;
}

void CSafeSave::RemoveTemporariesOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        struct sigaction previous;
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof(action));
        action.sa_handler = RemoveTemporariesAndDie;
        ::sigemptyset(&action.sa_mask);
        ::sigaddset(&action.sa_mask, SIGINT);
        ::sigaddset(&action.sa_mask, SIGTERM);
        ::sigaddset(&action.sa_mask, SIGHUP);
        ::sigaction(signal, &action, nullptr);
    }
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
