#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// The serial port of one device task, opened at the start of the task and
// closed at its end. Its I/O is virtual so that tests and the fuzzers can put
// a gauge of their own behind a task (CDeviceManager::SetLinkFactory). Must be created, used and
// destroyed on one thread (the device worker): it blocks on the port without an event loop.
class CSerialLink
{
public:
    // Why an open failed (0 = it did not).
    enum OpenError
    {
        OpenOk = 0,
        OpenNoPath = 1,
        OpenNotFound = 2,
        OpenPermission = 3,
        OpenBusy = 4,
        OpenConfigure = 5,
        OpenOther = 6,
        OpenLocked = 7 // a lock file of no running process holds the port
    };

    static constexpr int kDefaultReadTimeout = 5000;

    CSerialLink();
    virtual ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Opens path exclusively, 115200 8N1, no flow control, DTR/RTS inactive,
    // both buffers discarded. Returns an OpenError.
    //
    // Exclusive: TIOCEXCL keeps other users' programs out, an flock() on the
    // port other openers in this process and root, and a lock file in the
    // lock folder (in the format Qt's QLockFile writes, whose first line is
    // the process id as the older lock file readers expect) the programs that
    // honour only those. The lock file lives in a memory file system and is
    // written without a disk sync.
    virtual int Open(const QString& path);
    virtual void Close();
    virtual bool IsOpen() const;

    // Clears a pending line error so that one bad frame does not block the next.
    virtual void ClearError();

    // Writes all bytes and hands them to the driver at once; returns the count
    // written, -1 when the write failed.
    virtual qint64 Write(const quint8* data, int size);

    // Reads up to size bytes, returning when all have arrived or when the read
    // time-out has passed in total; returns the count (maybe 0), -1 on a port failure.
    // Bytes that arrive beyond size are kept for the next read, as the driver
    // would keep them.
    virtual qint64 Read(quint8* data, int size);

    // When the flag turns true, a waiting read or write gives up at once
    // (the program is closing); it is checked at least every 100 ms.
    void SetAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }

    // Called when a read or write has waited a slice (at most 100 ms) in
    // vain and goes on waiting; once per call.
    void SetWaitHook(std::function<void()> hook) { m_waitHook = std::move(hook); }

    void SetReadTimeout(int ms) { m_readTimeout = ms; }
    int ReadTimeout() const { return m_readTimeout; }

    QString LastErrorText() const { return m_lastError; }

    // The lock file of an OpenLocked failure (empty otherwise).
    QString LockFilePath() const { return m_lockFile; }

    // The lock file that serial port libraries (Qt's among them) create for
    // the port at path, when one exists; empty when there is none.
    static QString ExistingLockFile(const QString& path);

private:
    bool Aborted() const { return m_abort && m_abort->load(); }
    void Waiting(bool& told) const
    {
        if (!told && m_waitHook)
            m_waitHook();
        told = true;
    }
    // Waits at most ms for events on the port; the poll() result.
    int Wait(short events, qint64 ms);
    int TakeLockFile(const QString& path);
    void ReleaseLockFile();
    int TakeReceived(quint8* data, int size);
    void SetErrnoError(int error);

    // The port's descriptor while open (non-blocking): one write per request.
    int m_fd = -1;
    // A second descriptor of the port, blocking, for replies: the driver ends
    // its reads at the first bytes or after a tenth of a second of silence,
    // so a reply takes one call where the non-blocking one needs a poll
    // before each read. -1 when the driver refused it; replies are then
    // polled for on m_fd.
    int m_readFd = -1;
    // The lock file this link created, removed when the port is closed.
    QByteArray m_ownLockFile;
    // What the last read took from the driver beyond what was asked for.
    quint8 m_received[512] = {};
    int m_receivedBegin = 0;
    int m_receivedEnd = 0;
    const std::atomic<bool>* m_abort = nullptr;
    std::function<void()> m_waitHook;
    int m_readTimeout = kDefaultReadTimeout;
    QString m_lastError;
    QString m_lockFile;
};
