#include "core/CInputLimits.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CInputLimits::ReadResult CInputLimits::ReadFile(const QString& path, qint64 limit)
{
    ReadResult result;
    result.limit = limit;
    if (path.isEmpty())
        return result;
    // Non-blocking, so that opening a FIFO without a writer does not hang;
    // the descriptor is then checked, not the name, so nothing can be swapped
    // in between.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        ::close(fd);
        return result;
    }
    if (!S_ISREG(st.st_mode))
    {
        ::close(fd);
        result.status = Status::NotRegularFile;
        return result;
    }
    result.size = qint64(st.st_size);
    if (result.size > limit)
    {
        ::close(fd);
        result.status = Status::TooLarge;
        return result;
    }

    // The file may grow while it is read: never read more than the limit.
    QByteArray bytes;
    bytes.resize(result.size);
    qint64 got = 0;
    while (true)
    {
        if (got == bytes.size())
        {
            if (got > limit)
                break;
            bytes.resize(qMin(limit + 1, got + 65536));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got > limit)
    {
        result.size = got;
        result.status = Status::TooLarge;
        return result;
    }
    bytes.resize(got);
    result.bytes = bytes;
    result.size = got;
    result.status = Status::Ok;
    return result;
}

QString CInputLimits::SizeText(qint64 bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 МБ").arg(bytes / (1024 * 1024));
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 КБ").arg(bytes / 1024);
    return QStringLiteral("%1 байт").arg(bytes);
}

QString CInputLimits::Reason(const ReadResult& result)
{
    switch (result.status)
    {
    case Status::NotRegularFile:
        return QStringLiteral("это не обычный файл");
    case Status::TooLarge:
        return QStringLiteral("файл больше допустимого размера %1").arg(SizeText(result.limit));
    default:
        return {};
    }
}
