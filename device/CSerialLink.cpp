#include "device/CSerialLink.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace
{
qint64 MonotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Longest single wait, so that an abort is noticed promptly.
constexpr qint64 kWaitSlice = 50;
// Longest wait of one blocking read (the driver's timer, in tenths of a second).
constexpr qint64 kReadSlice = 100;
constexpr cc_t kReadSliceTenths = 1;
// A lock file that names no process is taken for a leftover after this long,
// as Qt's serial port does.
constexpr time_t kUnnamedLockStaleSeconds = 30;

// The folders serial port libraries (Qt's among them) keep lock files in, in
// the order they try them: "LCK..ttyACM0" for /dev/ttyACM0, "LCK..pts_3" for
// /dev/pts/3.
const char* const kLockFolders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                    "/var/lock/lockdev", "/run/lock"};

QString LockFileName(const QString& path)
{
    QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("/LCK..") + name;
}

// The first folder this process may create lock files in, looked for once;
// empty when there is none.
const QByteArray& LockFolder()
{
    static const QByteArray folder = []
    {
        for (const char* f : kLockFolders)
            if (::access(f, R_OK | W_OK | X_OK) == 0)
                return QByteArray(f);
        return QByteArray();
    }();
    return folder;
}

// What follows the process id in our lock files: the lines Qt's QLockFile
// writes after it, the executable's file name (which it compares with that
// of the running process, against a reused id) and the host.
const QByteArray& LockFileTail()
{
    static const QByteArray tail = []
    {
        char exe[4096] = {};
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
        const QByteArray path(exe, n > 0 ? qsizetype(n) : 0);
        char host[256] = {};
        ::gethostname(host, sizeof(host) - 1);
        return '\n' + path.mid(path.lastIndexOf('/') + 1) + '\n' + QByteArray(host) + '\n';
    }();
    return tail;
}

enum class Holder
{
    Running, // a running process holds the port
    Gone,    // the process it names has ended: the file may go
    Unnamed  // names no process (empty, or from a program killed while writing it)
};

// Who holds the lock file: the process id at its start (Qt's files, and the
// older "%10d\n" ones, both begin with it).
Holder LockHolder(const QByteArray& file, time_t* age)
{
    *age = 0;
    char text[64] = {};
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT ? Holder::Gone : Holder::Unnamed;
    const ssize_t n = ::read(fd, text, sizeof(text) - 1);
    struct stat st = {};
    if (::fstat(fd, &st) == 0)
        *age = std::time(nullptr) - st.st_mtime;
    ::close(fd);
    if (n <= 0)
        return Holder::Unnamed;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0)
        return Holder::Unnamed;
    if (::kill(pid_t(pid), 0) == 0 || errno == EPERM)
        return Holder::Running;
    return Holder::Gone;
}
} // namespace

QString CSerialLink::ExistingLockFile(const QString& path)
{
    const QString name = LockFileName(path);
    for (const char* folder : kLockFolders)
    {
        const QString file = QString::fromLatin1(folder) + name;
        if (QFileInfo::exists(file))
            return file;
    }
    return {};
}

CSerialLink::CSerialLink() = default;

CSerialLink::~CSerialLink()
{
    Close();
}

bool CSerialLink::IsOpen() const
{
    return m_fd >= 0;
}

// Creates the lock file of the port unless a running program holds one. A
// leftover of a process that has ended is replaced; one that names no
// process is replaced once it is old, and otherwise refuses the port
// (OpenLocked) so that the user can be told which file it is. Without a lock
// folder this process may write to, the port is still exclusive through
// TIOCEXCL and flock().
int CSerialLink::TakeLockFile(const QString& path)
{
    const QByteArray& folder = LockFolder();
    if (folder.isEmpty())
        return OpenOk;
    const QByteArray file = folder + QFile::encodeName(LockFileName(path));
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const int fd =
            ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd >= 0)
        {
            const QByteArray content = QByteArray::number(qint64(::getpid())) + LockFileTail();
            const bool written =
                ::write(fd, content.constData(), size_t(content.size())) == ssize_t(content.size());
            ::close(fd);
            if (!written)
            {
                ::unlink(file.constData());
                SetErrnoError(errno ? errno : EIO);
                return OpenOther;
            }
            m_ownLockFile = file;
            return OpenOk;
        }
        if (errno != EEXIST)
            return OpenOk; // the folder refuses this file: go on without one
        time_t age = 0;
        switch (LockHolder(file, &age))
        {
        case Holder::Running:
            m_lastError = QStringLiteral("port is in use");
            return OpenBusy;
        case Holder::Unnamed:
            if (age <= kUnnamedLockStaleSeconds)
            {
                m_lastError = QStringLiteral("port is locked");
                m_lockFile = QString::fromLocal8Bit(file);
                return OpenLocked;
            }
            break;
        case Holder::Gone:
            break;
        }
        ::unlink(file.constData());
    }
    m_lastError = QStringLiteral("port is locked");
    return OpenBusy;
}

void CSerialLink::ReleaseLockFile()
{
    if (m_ownLockFile.isEmpty())
        return;
    ::unlink(m_ownLockFile.constData());
    m_ownLockFile.clear();
}

int CSerialLink::Open(const QString& path)
{
    Close();
    m_lockFile.clear();
    if (path.isEmpty())
    {
        m_lastError = QStringLiteral("no port path");
        return OpenNoPath;
    }
    const int locked = TakeLockFile(path);
    if (locked != OpenOk)
        return locked;

    // Opened without blocking: a port without carrier would hold the open.
    const QByteArray device = QFile::encodeName(path);
    m_fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
    {
        const int error = errno;
        SetErrnoError(error);
        ReleaseLockFile();
        switch (error)
        {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenNotFound;
        case EACCES:
        case EPERM:
            return OpenPermission;
        case EBUSY:
            return OpenBusy;
        default:
            return OpenOther;
        }
    }
    // The reply descriptor, opened before the port is made exclusive so that
    // this process needs no exception from it; then switched to blocking.
    m_readFd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_readFd >= 0 && ::fcntl(m_readFd, F_SETFL, 0) != 0)
    {
        ::close(m_readFd);
        m_readFd = -1;
    }

    // TIOCEXCL keeps other programs out, but neither stops a second opener
    // inside this process nor one running as root; an advisory lock on the
    // open file does.
    ::ioctl(m_fd, TIOCEXCL);
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
    {
        m_lastError = QStringLiteral("port is in use");
        Close();
        return OpenBusy;
    }

    // Raw 8N1 at 115200 without flow control; reads of the blocking
    // descriptor end at the first bytes or after kReadSliceTenths of silence.
    termios tio{};
    bool configured = ::tcgetattr(m_fd, &tio) == 0;
    if (configured)
    {
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = kReadSliceTenths;
        configured = ::cfsetispeed(&tio, B115200) == 0 && ::cfsetospeed(&tio, B115200) == 0 &&
                     ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
    if (!configured)
    {
        SetErrnoError(errno);
        Close();
        return OpenConfigure;
    }

    // A port without modem lines (a pseudo-terminal) refuses this; that is
    // not a reason to give up on it.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
    ::tcflush(m_fd, TCIOFLUSH);
    m_receivedBegin = m_receivedEnd = 0;
    return OpenOk;
}

void CSerialLink::Close()
{
    if (m_fd >= 0)
    {
        // What was not sent is dropped, so that closing a port whose gauge
        // stopped reading does not wait for the output to drain; the next
        // opener may use the port as anyone may.
        ::tcflush(m_fd, TCIOFLUSH);
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // also drops the flock()
    }
    if (m_readFd >= 0)
        ::close(m_readFd);
    m_readFd = -1;
    m_fd = -1;
    m_receivedBegin = m_receivedEnd = 0;
    ReleaseLockFile();
}

void CSerialLink::ClearError()
{
    // Nothing to do here: a POSIX tty reports no sticky line-error state that
    // would stop later transfers (parity and framing errors are not marked in
    // the data either).
}

void CSerialLink::SetErrnoError(int error)
{
    m_lastError = QString::fromLocal8Bit(std::strerror(error));
}

int CSerialLink::Wait(short events, qint64 ms)
{
    pollfd p = {m_fd, events, 0};
    const int ready = ::poll(&p, 1, int(ms));
    return ready > 0 ? int(p.revents) : ready;
}

int CSerialLink::TakeReceived(quint8* data, int size)
{
    const int n = qMin(size, m_receivedEnd - m_receivedBegin);
    if (n > 0)
    {
        std::memcpy(data, m_received + m_receivedBegin, size_t(n));
        m_receivedBegin += n;
    }
    return n;
}

qint64 CSerialLink::Write(const quint8* data, int size)
{
    if (!IsOpen())
        return -1;
    // The descriptor is non-blocking: a whole frame fits the driver's buffer,
    // so the write normally goes out in one call; a full buffer is waited for
    // within the read time-out.
    qint64 written = 0;
    QDeadlineTimer deadline;
    bool waited = false;
    bool told = false;
    while (written < size)
    {
        const ssize_t n = ::write(m_fd, data + written, size_t(size - written));
        if (n > 0)
        {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
        {
            SetErrnoError(n == 0 ? EIO : errno);
            return -1;
        }
        if (!waited)
            deadline.setRemainingTime(m_readTimeout);
        else
            Waiting(told);
        waited = true;
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0 || Aborted())
        {
            m_lastError = QStringLiteral("write timed out");
            return -1;
        }
        if (Wait(POLLOUT, qMin(remaining, kWaitSlice)) < 0 && errno != EINTR)
        {
            SetErrnoError(errno);
            return -1;
        }
    }
    return written;
}

qint64 CSerialLink::Read(quint8* data, int size)
{
    if (!IsOpen())
        return -1;
    qint64 got = TakeReceived(data, size);
    // One look at the clock per reply that comes in one piece, as most do.
    const qint64 deadline = MonotonicMs() + m_readTimeout;
    qint64 remaining = m_readTimeout;
    bool told = false;
    for (bool first = true; got < size; first = false)
    {
        if (!first)
            remaining = deadline - MonotonicMs();
        if (remaining <= 0 || Aborted())
            break;
        // A blocking read waits a tenth of a second at most; a shorter rest of
        // the time-out is polled for, and so is everything without that descriptor.
        int fd = m_readFd;
        int events = 0;
        if (fd < 0 || remaining < kReadSlice)
        {
            fd = m_fd;
            events = Wait(POLLIN, qMin(remaining, kWaitSlice));
            if (events == 0)
                Waiting(told);
            if (events == 0 || (events < 0 && errno == EINTR))
                continue; // the deadline decides
            if (events < 0)
            {
                SetErrnoError(errno);
                return got > 0 ? got : -1;
            }
        }
        // Take all there is in one call and keep what goes beyond this frame.
        const ssize_t n = ::read(fd, m_received, sizeof(m_received));
        if (n > 0)
        {
            m_receivedBegin = 0;
            m_receivedEnd = int(n);
            got += TakeReceived(data + got, int(size - got));
            continue;
        }
        const int error = n < 0 ? errno : EIO;
        if (n < 0 && (error == EINTR || error == EAGAIN || error == EWOULDBLOCK))
            continue;
        if (n == 0)
        {
            // Silence, unless the port is gone: a hung-up tty reads 0 at once.
            if (fd == m_readFd)
                events = Wait(POLLIN, 0);
            if (events <= 0 || (events & (POLLHUP | POLLERR | POLLNVAL)) == 0)
            {
                Waiting(told);
                continue;
            }
        }
        SetErrnoError(error);
        return got > 0 ? got : -1;
    }
    return got;
}
