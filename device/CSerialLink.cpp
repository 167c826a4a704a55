#include "device/CSerialLink.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>

#include <cerrno>
#include <csignal>
#include <sys/file.h>

namespace
{
// Longest single wait, so that an abort is noticed promptly.
constexpr qint64 kWaitSlice = 50;

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
    return m_port && m_port->isOpen();
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
    return OpenOk;
}

void CSerialLink::Close()
{
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
    if (m_port)
        m_port->clearError();
}

qint64 CSerialLink::Write(const quint8* data, int size)
{
    if (!IsOpen())
        return -1;
    const qint64 written = m_port->write(reinterpret_cast<const char*>(data), size);
    if (written < 0)
    {
        m_lastError = m_port->errorString();
        return -1;
    }
    // Hand the request to the driver now: a whole frame fits the tty buffer, so
    // the wait below is rarely needed and costs no poll round.
    m_port->flush();
    QDeadlineTimer deadline(m_readTimeout);
    while (m_port->bytesToWrite() > 0)
    {
        if (Aborted())
            return -1;
        if (!m_port->waitForBytesWritten(
                int(qBound<qint64>(1, deadline.remainingTime(), kWaitSlice))))
        {
            if (m_port->error() != QSerialPort::TimeoutError || deadline.hasExpired())
            {
                m_lastError = m_port->errorString();
                return -1;
            }
        }
    }
    return written;
}

qint64 CSerialLink::Read(quint8* data, int size)
{
    if (!IsOpen())
        return -1;
    qint64 got = 0;
    QDeadlineTimer deadline(m_readTimeout);
    while (got < size)
    {
        if (m_port->bytesAvailable() > 0)
        {
            const qint64 n = m_port->read(reinterpret_cast<char*>(data) + got, size - got);
            if (n < 0)
            {
                m_lastError = m_port->errorString();
                return -1;
            }
            got += n;
            continue;
        }
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0 || Aborted())
            break;
        if (!m_port->waitForReadyRead(int(qMin(remaining, kWaitSlice))))
        {
            const QSerialPort::SerialPortError error = m_port->error();
            if (error == QSerialPort::TimeoutError || error == QSerialPort::NoError)
            {
                m_port->clearError();
                continue; // the deadline decides
            }
            m_lastError = m_port->errorString();
            return got > 0 ? got : -1;
        }
    }
    return got;
}
