// Compiled into the program, not loaded from a plug-in folder.
#define QT_STATICPLUGIN

#include "app/CDeferredIcons.h"

#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QIconEngine>
#include <QIconEnginePlugin>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QtPlugin>

namespace
{
// A reader of `path` that knows it is a PNG (as the program's own pictures
// are, whatever their names say): asked to guess, Qt asks every image
// plug-in first. Anything else is read as Qt reads it, by its content.
bool ReadPng(const QString& path, QImageReader* reader)
{
    reader->setFileName(path);
    reader->setFormat("png");
    reader->setAutoDetectImageFormat(false);
    if (reader->canRead())
        return true;
    reader->setFileName(path);
    reader->setFormat(QByteArray());
    reader->setAutoDetectImageFormat(true);
    return false;
}

// An icon whose files are read the first time it is painted, measured or
// asked for a pixmap; from then on it is what Qt's own pixmap engine makes
// of the same files.
class CDeferredIconEngine : public QIconEngine
{
public:
    CDeferredIconEngine() = default;

    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode,
                 QIcon::State state) override
    {
        if (fileName.isEmpty())
            return;
        // A file that is not there adds nothing, as with Qt's engine.
        const QString path = fileName.startsWith(QLatin1Char(':'))
                                 ? fileName
                                 : QFileInfo(fileName).absoluteFilePath();
        if (!QFile::exists(path))
            return;
        const Source source{path, size, mode, state};
        if (m_loaded)
            Read(source);
        else
            m_sources.append(source);
    }

    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override
    {
        Load();
        m_icon.addPixmap(pixmap, mode, state);
    }

    // As Qt's pixmap engine paints: the pixmap for the rectangle's size in
    // device pixels, drawn into the rectangle.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        Load();
        // Ratio 1: the size asked for is in device pixels already.
        return m_icon.pixmap(size, 1.0, mode, state);
    }

    // The size of the image the pixmap would come from, made smaller to fit
    // when it is larger (as Qt's engine answers, in device pixels).
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        Load();
        QList<QSize> sizes = m_icon.availableSizes(mode, state);
        if (sizes.isEmpty())
            sizes = m_icon.availableSizes(QIcon::Normal, state);
        if (sizes.isEmpty())
            sizes = m_icon.availableSizes(QIcon::Normal, QIcon::Off);
        if (sizes.isEmpty())
            return QSize();
        // The smallest image at least as large as asked for, else the largest.
        QSize best;
        for (const QSize& s : sizes)
        {
            const bool fits = s.width() >= size.width() && s.height() >= size.height();
            const bool bestFits =
                best.isValid() && best.width() >= size.width() && best.height() >= size.height();
            if (!best.isValid() ||
                (fits && (!bestFits || s.width() * s.height() < best.width() * best.height())) ||
                (!fits && !bestFits && s.width() * s.height() > best.width() * best.height()))
                best = s;
        }
        if (best.width() > size.width() || best.height() > size.height())
            best.scale(size, Qt::KeepAspectRatio);
        return best;
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        Load();
        return m_icon.availableSizes(mode, state);
    }

    bool isNull() override { return m_loaded ? m_icon.isNull() : m_sources.isEmpty(); }

    QString key() const override { return QStringLiteral("CDeferredIconEngine"); }

    QIconEngine* clone() const override { return new CDeferredIconEngine(*this); }

private:
    CDeferredIconEngine(const CDeferredIconEngine& other)
        : QIconEngine(other), m_sources(other.m_sources), m_icon(other.m_icon),
          m_loaded(other.m_loaded)
    {
    }

    struct Source
    {
        QString path;
        QSize size;
        QIcon::Mode mode;
        QIcon::State state;
    };

    void Load()
    {
        if (m_loaded)
            return;
        m_loaded = true;
        for (const Source& source : std::as_const(m_sources))
            Read(source);
        m_sources.clear();
    }

    // What Qt's pixmap engine takes from a file: every image in it, or the
    // one of the size given; of an icon-format file one image per size.
    void Read(const Source& source)
    {
        QImageReader reader;
        const bool icoFormat = !ReadPng(source.path, &reader) && reader.format() == "ico";
        const bool anySize = !source.size.isValid();
        QList<QSize> taken;
        QImage image;
        while (reader.read(&image))
        {
            if (!anySize && image.size() != source.size)
                continue;
            if (icoFormat && taken.contains(image.size()))
                continue;
            taken.append(image.size());
            m_icon.addPixmap(QPixmap::fromImage(image), source.mode, source.state);
            if (!anySize && !icoFormat)
                break;
        }
    }

    QList<Source> m_sources; // not read yet
    QIcon m_icon;            // Qt's pixmap engine, once read
    bool m_loaded = false;
};

class CDeferredIconPlugin : public QIconEnginePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QIconEngineFactoryInterface_iid FILE "DeferredIcons.json")

public:
    QIconEngine* create(const QString&) override { return new CDeferredIconEngine(); }
};
} // namespace

// Made by moc (CDeferredIcons.moc, below).
extern const QStaticPlugin qt_static_plugin_CDeferredIconPlugin();

void CDeferredIcons::Install()
{
    static const bool installed = []
    {
        qRegisterStaticPluginFunction(qt_static_plugin_CDeferredIconPlugin());
        return true;
    }();
    Q_UNUSED(installed);
}

#include "CDeferredIcons.moc"
