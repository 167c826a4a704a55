#include "tools/CScreenImage.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CDeviceScreenshotDialog", text);
}
} // namespace

QRgb CScreenImage::Background()
{
    return qRgb(147, 215, 19);
}

QRgb CScreenImage::Foreground()
{
    return qRgb(0, 0, 0);
}

QImage CScreenImage::Blank()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Background());
    return image;
}

QImage CScreenImage::Decode(const quint8* buffer)
{
    QImage image = Blank();
    for (int page = 0; page < kHeight / 8; ++page)
        for (int x = 0; x < kWidth; ++x)
        {
            const quint8 column = buffer[page * kWidth + x];
            for (int bit = 0; bit < 8; ++bit)
                image.setPixel(x, page * 8 + bit,
                               (column >> bit) & 1 ? Foreground() : Background());
        }
    return image;
}

QImage CScreenImage::Doubled(const QImage& image)
{
    return image.scaled(image.width() * kScale, image.height() * kScale, Qt::IgnoreAspectRatio,
                        Qt::FastTransformation);
}

bool CScreenImage::IsPngName(const QString& path)
{
    return path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

QByteArray CScreenImage::Encode(const QImage& image, const QString& path, QString* error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Qt's BMP writer stores plain 24-bit pixels without compression.
    QImageWriter writer(&buffer, IsPngName(path) ? "png" : "bmp");
    if (!writer.write(image))
    {
        if (error)
            *error = writer.errorString();
        return {};
    }
    return bytes;
}

bool CScreenImage::Save(const QImage& image, const QString& path, QString* error)
{
    const QByteArray bytes = Encode(image, path, error);
    if (bytes.isEmpty())
        return false;
    const CSafeSave::Result result = CSafeSave::WriteBytes(path, bytes);
    if (!result.Ok() && error)
        *error = CSafeSave::Describe(path, result);
    return result.Ok();
}

QString CScreenImage::FailedText()
{
    return Tr("Не удалось получить снимок экрана.");
}

QString CScreenImage::SavedText()
{
    return Tr("Снимок экрана успешно сохранён.");
}

QString CScreenImage::IncompleteText()
{
    return Tr("Снимок не обновлён: экран прибора получен не полностью.");
}
