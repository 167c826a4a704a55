#include "report/CReportTextDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPaintDevice>
#include <QPixmap>
#include <QTextObjectInterface>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>

namespace
{
// Images of a report document, taken only from the document's resources.
// The toolkit's own image handler loads a picture straight from its file
// when the document has none under that name, a pipe or a device included.
class COwnImages : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override
    {
        const QImage image = Image(document, format);
        const QTextImageFormat imageFormat = format.toImageFormat();
        QSizeF size = image.isNull() ? QSizeF(kPlaceholder, kPlaceholder) : QSizeF(image.size());
        const bool width = imageFormat.hasProperty(QTextFormat::ImageWidth);
        const bool height = imageFormat.hasProperty(QTextFormat::ImageHeight);
        if (width && height)
            size = QSizeF(imageFormat.width(), imageFormat.height());
        else if (width && size.width() > 0)
            size = QSizeF(imageFormat.width(), imageFormat.width() * size.height() / size.width());
        else if (height && size.height() > 0)
            size =
                QSizeF(imageFormat.height() * size.width() / size.height(), imageFormat.height());
        // Sizes written in the markup are kept to what a page can show.
        size = size.boundedTo(QSizeF(kLargest, kLargest)).expandedTo(QSizeF(0, 0));
        if (QPaintDevice* device = document->documentLayout()->paintDevice())
            size *= qreal(device->logicalDpiY()) / 96.0;
        return size;
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                    const QTextFormat& format) override
    {
        const QImage image = Image(document, format);
        if (!image.isNull())
            painter->drawImage(rect, image);
    }

private:
    static constexpr qreal kPlaceholder = 16;
    static constexpr qreal kLargest = 4096;

    static QImage Image(QTextDocument* document, const QTextFormat& format)
    {
        QString name = format.toImageFormat().name();
        if (name.startsWith(QLatin1String(":/")))
            name.prepend(QLatin1String("qrc"));
        const QVariant data = document->resource(QTextDocument::ImageResource, QUrl(name));
        if (data.userType() == QMetaType::QImage)
            return data.value<QImage>();
        if (data.userType() == QMetaType::QPixmap)
            return data.value<QPixmap>().toImage();
        return QImage();
    }
};
} // namespace

CReportTextDocument::CReportTextDocument(QObject* parent) : QTextDocument(parent)
{
    // A provider set for the whole application would otherwise be asked for
    // what loadResource refuses.
    setResourceProvider([](const QUrl&) { return QVariant(); });
    documentLayout()->registerHandler(QTextFormat::ImageObject, new COwnImages(this));
}

CReportTextDocument* CReportTextDocument::CopyOf(const QTextDocument* source, QObject* parent)
{
    auto* copy = new CReportTextDocument(parent);
    if (!source)
        return copy;
    copy->setDefaultFont(source->defaultFont());
    copy->setDefaultStyleSheet(source->defaultStyleSheet());
    copy->setDefaultTextOption(source->defaultTextOption());
    copy->setIndentWidth(source->indentWidth());
    copy->setMetaInformation(DocumentTitle, source->metaInformation(DocumentTitle));
    if (!source->isEmpty())
        QTextCursor(copy).insertFragment(QTextDocumentFragment(source));
    copy->rootFrame()->setFrameFormat(source->rootFrame()->frameFormat());
    copy->setPageSize(source->pageSize());
    return copy;
}

bool CReportTextDocument::IsOwnResource(const QUrl& name)
{
    if (name.scheme().compare(QLatin1String("qrc"), Qt::CaseInsensitive) == 0)
        return name.host().isEmpty();
    // ":/..." is no valid URL; its text stays in the path.
    return name.scheme().isEmpty() && name.path().startsWith(QLatin1String(":/"));
}

QVariant CReportTextDocument::loadResource(int type, const QUrl& name)
{
    // The base class would ask the parent widget (a text browser reads any
    // local file) and then read the file itself, a device or a pipe included.
    if (!IsOwnResource(name))
        return {};
    const QString path = name.scheme().isEmpty() ? name.path() : QLatin1Char(':') + name.path();
    QFile file(path);
    if (!path.startsWith(QLatin1String(":/")) || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (type == ImageResource)
    {
        QImage image;
        if (!image.loadFromData(bytes))
            return {};
        return image;
    }
    return bytes;
}

#include "CReportTextDocument.moc"

// Compiled here rather than with the other meta-object code of the library,
// so that a program using the device manager does not take in Qt Gui.
#include "moc_CReportTextDocument.cpp"
