#include "device/CSerialLink.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{
// Longest single wait, so that an abort is noticed promptly.
constexpr qint64 kWaitSlice = 50;
// Longest wait of one blocking read (the driver's timer, in tenths of a second).
constexpr qint64 kReadSlice = 100;
constexpr cc_t kReadSliceTenths = 1;

// A lock file whose process no longer runs (or that names none, as an empty
// file left by a process killed while creating it).
bool IsStaleLockFile(const QString& lockFile)
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (!QLockFile(lockFile).getLockInfo(&pid, &host, &application) || pid <= 0)
        return true;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}
} // namespace

QString CSerialLink::ExistingLockFile(const QString& path)
{
    // The folders and the name the serial port libraries use:
    // "LCK..ttyACM0" for /dev/ttyACM0, "LCK..pts_3" for /dev/pts/3.
    static const char* const folders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                          "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                          "/var/lock/lockdev", "/run/lock"};
    QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder : folders)
    {
        const QString file = QString::fromLatin1(folder) + QStringLiteral("/LCK..") + name;
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

int CSerialLink::Open(const QString& path)
{
    Close();
    m_lockFile.clear();
    if (path.isEmpty())
    {
        m_lastError = QStringLiteral("no port path");
        return OpenNoPath;
    }

    m_port = new QSerialPort();
    m_port->setPortName(path);
    if (!m_port->open(QIODevice::ReadWrite))
    {
        const QSerialPort::SerialPortError error = m_port->error();
        m_lastError = m_port->errorString();
        delete m_port;
        m_port = nullptr;
        switch (error)
        {
        case QSerialPort::DeviceNotFoundError:
            return OpenNotFound;
        case QSerialPort::PermissionError:
        {
            // A lock file left behind by a process that is gone (killed,
            // crashed) keeps the port locked: say which file it is.
            const QString lockFile = ExistingLockFile(path);
            if (!lockFile.isEmpty() && IsStaleLockFile(lockFile))
            {
                m_lockFile = lockFile;
                return OpenLocked;
            }
        }
            // Qt reports a port held by another program as a permission error
            // too; tell the two apart by whether we may open the node at all.
            if (QFileInfo(path).isReadable() && QFileInfo(path).isWritable())
                return OpenBusy;
            return OpenPermission;
        default:
            return OpenOther;
        }
    }

    // The lock file and TIOCEXCL keep other programs out, but neither stops a
    // second opener inside this process or one running as root; an advisory
    // lock on the open file does.
    if (::flock(int(m_port->handle()), LOCK_EX | LOCK_NB) != 0)
    {
        m_lastError = QStringLiteral("port is in use");
        m_port->close();
        delete m_port;
        m_port = nullptr;
        return OpenBusy;
    }
    m_flocked = true;

    const bool configured =
        m_port->setBaudRate(QSerialPort::Baud115200) && m_port->setDataBits(QSerialPort::Data8) &&
        m_port->setParity(QSerialPort::NoParity) && m_port->setStopBits(QSerialPort::OneStop) &&
        m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured)
    {
        m_lastError = m_port->errorString();
        Close();
        return OpenConfigure;
    }

    // A port without modem lines (a pseudo-terminal) refuses these; that is
    // not a reason to give up on it.
    m_port->setDataTerminalReady(false);
    m_port->setRequestToSend(false);
    m_port->clearError();

    m_port->clear(QSerialPort::Input);
    m_port->clear(QSerialPort::Output);
    m_port->clearError();
    m_receivedBegin = m_receivedEnd = 0;
    m_fd = int(m_port->handle());
    OpenReadDescriptor(path);
    return OpenOk;
}

// Replies are read through a second, blocking descriptor of the port, whose
// reads the driver ends at the first bytes or after a tenth of a second of
// silence: one call per reply, where the non-blocking descriptor needs a poll
// before each read. Requests keep the non-blocking one, so that a gauge that
// stops taking bytes cannot hold a write past its deadline. When a step is
// refused, replies are polled for on the one descriptor.
void CSerialLink::OpenReadDescriptor(const QString& path)
{
#ifndef TIOCGEXCL
    Q_UNUSED(path);
#else
    // The port is exclusive by now: let this process in once more.
    int exclusive = 0;
    if (::ioctl(m_fd, TIOCGEXCL, &exclusive) != 0 || (exclusive && ::ioctl(m_fd, TIOCNXCL) != 0))
        return;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (exclusive)
        ::ioctl(m_fd, TIOCEXCL);
    if (fd < 0)
        return;
    // Opened without blocking (a port without carrier would hold the open),
    // then switched to blocking reads.
    termios tio{};
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::tcgetattr(fd, &tio) != 0)
    {
        ::close(fd);
        return;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = kReadSliceTenths;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
    {
        ::close(fd);
        return;
    }
    m_readFd = fd;
#endif
}

void CSerialLink::Close()
{
    if (m_readFd >= 0)
        ::close(m_readFd);
    m_readFd = -1;
    m_fd = -1;
    m_receivedBegin = m_receivedEnd = 0;
    if (!m_port)
        return;
    if (m_port->isOpen())
    {
        m_port->clear(QSerialPort::Output);
        m_port->clear(QSerialPort::Input);
        if (m_flocked)
            ::flock(int(m_port->handle()), LOCK_UN);
        m_port->close();
    }
    m_flocked = false;
    delete m_port;
    m_port = nullptr;
}

void CSerialLink::ClearError()
{
    // Nothing to do here: a POSIX tty reports no sticky line-error state that
    // would stop later transfers (parity and framing errors are not marked in
    // the data either), and the frames bypass QSerialPort, whose error the
    // open has already reset.
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
    QDeadlineTimer deadline(m_readTimeout);
    while (got < size)
    {
        const qint64 remaining = deadline.remainingTime();
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
                continue;
        }
        SetErrnoError(error);
        return got > 0 ? got : -1;
    }
    return got;
}
