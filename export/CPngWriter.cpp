#include "export/CPngWriter.h"

#include <QCoreApplication>
#include <cstring>
#include <zlib.h>

namespace
{
void Put32(QByteArray& out, quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

// One chunk: length, type, data, and the CRC of type and data.
void Chunk(QByteArray& out, const char* type, const QByteArray& data)
{
    Put32(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4).append(data);
    Put32(out, quint32(crc32(crc32(0, nullptr, 0),
                             reinterpret_cast<const Bytef*>(out.constData() + start),
                             uInt(out.size() - start))));
}

bool IsOpaque(const QImage& argb)
{
    for (int y = 0; y < argb.height(); ++y)
    {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}
} // namespace

// Rows filtered with "Sub" (a chart's long runs of one colour become runs of
// zeros) and compressed at zlib's fastest level, where Qt's writer tries
// every filter on every row and compresses at the default level; an opaque
// picture as RGB, any other as RGBA.
QByteArray CPngWriter::Encode(const QImage& image)
{
    if (image.isNull())
        return {};
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const bool alpha = !IsOpaque(argb);
    const int channels = alpha ? 4 : 3;
    const int width = argb.width();
    const int height = argb.height();

    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    const qsizetype rowBytes = 1 + qsizetype(width) * channels;
    QByteArray idat(qsizetype(deflateBound(&z, uLong(rowBytes * height))), Qt::Uninitialized);
    z.next_out = reinterpret_cast<Bytef*>(idat.data());
    z.avail_out = uInt(idat.size());
    QByteArray row(rowBytes, Qt::Uninitialized);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y)
    {
        const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* out = reinterpret_cast<unsigned char*>(row.data());
        *out++ = 1; // Sub
        unsigned char previous[4] = {0, 0, 0, 0};
        for (int x = 0; x < width; ++x)
        {
            const unsigned char pixel[4] = {uchar(qRed(in[x])), uchar(qGreen(in[x])),
                                            uchar(qBlue(in[x])), uchar(qAlpha(in[x]))};
            for (int c = 0; c < channels; ++c)
                *out++ = uchar(pixel[c] - previous[c]);
            std::memcpy(previous, pixel, 4);
        }
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = uInt(rowBytes);
        ok = deflate(&z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) ==
             (y + 1 == height ? Z_STREAM_END : Z_OK);
    }
    idat.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    if (!ok)
        return {};

    QByteArray header;
    Put32(header, quint32(width));
    Put32(header, quint32(height));
    header.append(char(8)).append(char(alpha ? 6 : 2)).append(3, char(0));
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(idat.size() + 64);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", QByteArray());
    return png;
}

CSafeSave::Result CPngWriter::Save(const QString& path, const std::function<QImage()>& draw)
{
    const CSafeSave::Result target = CSafeSave::CheckTarget(path);
    if (!target.Ok())
        return target;
    const QByteArray bytes = Encode(draw());
    if (bytes.isEmpty())
        return {CSafeSave::Status::WriteFailed,
                QCoreApplication::translate("CPngWriter", "не удалось сжать изображение")};
    return CSafeSave::WriteBytes(path, bytes);
}
