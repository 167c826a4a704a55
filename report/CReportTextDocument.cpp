#include "report/CReportTextDocument.h"

#include <QFile>
#include <QImage>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>

CReportTextDocument::CReportTextDocument(QObject* parent) : QTextDocument(parent)
{
    // A provider set for the whole application would otherwise be asked for
    // what loadResource refuses.
    setResourceProvider([](const QUrl&) { return QVariant(); });
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
    return name.scheme().isEmpty() && name.toString().startsWith(QLatin1String(":/"));
}

QVariant CReportTextDocument::loadResource(int type, const QUrl& name)
{
    // The base class would ask the parent widget (a text browser reads any
    // local file) and then read the file itself, a device or a pipe included.
    if (!IsOwnResource(name))
        return {};
    const QString path = name.scheme().isEmpty() ? name.toString() : QLatin1Char(':') + name.path();
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
