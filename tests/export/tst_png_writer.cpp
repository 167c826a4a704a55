// The fast PNG writer: what it writes reads back as the same picture.

#include "export/CPngWriter.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
// A chart-like picture: white ground, antialiased lines and text, a gradient.
QImage Drawing(const QSize& size, bool transparent)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(transparent ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(255, 0, 0, transparent ? 90 : 255));
    gradient.setColorAt(1, Qt::blue);
    painter.fillRect(QRect(QPoint(0, 0), size / 3), gradient);
    painter.setPen(QPen(Qt::darkGreen, 2.5));
    painter.drawLine(0, size.height() - 1, size.width() - 1, 0);
    painter.drawEllipse(QRectF(QPointF(0, 0), size / 2));
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Ячейка 254"));
    return image;
}
} // namespace

class PngWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void readsBackExactly_data();
    void readsBackExactly();
    void saveRefusesBeforeDrawing();
};

void PngWriterTest::readsBackExactly_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<bool>("alphaStored");
    QTest::newRow("chart size, opaque") << QSize(1400, 800) << false << false;
    QTest::newRow("odd size, opaque") << QSize(37, 11) << false << false;
    QTest::newRow("one pixel") << QSize(1, 1) << false << false;
    QTest::newRow("one column") << QSize(1, 300) << false << false;
    QTest::newRow("transparent ground") << QSize(203, 97) << true << true;
}

void PngWriterTest::readsBackExactly()
{
    QFETCH(QSize, size);
    QFETCH(bool, transparent);
    QFETCH(bool, alphaStored);
    const QImage drawn = Drawing(size, transparent);
    const QByteArray png = CPngWriter::Encode(drawn);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QImage read;
    QVERIFY(read.loadFromData(png, "PNG"));
    QCOMPARE(read.size(), size);
    QCOMPARE(read.hasAlphaChannel(), alphaStored);
    QCOMPARE(read.convertToFormat(QImage::Format_ARGB32),
             drawn.convertToFormat(QImage::Format_ARGB32));
}

// A target that is a folder is refused without the picture being drawn, and
// a written file is the picture.
void PngWriterTest::saveRefusesBeforeDrawing()
{
    QTemporaryDir dir;
    int drawn = 0;
    const auto draw = [&drawn]
    {
        ++drawn;
        return Drawing(QSize(64, 48), false);
    };
    QVERIFY(!CPngWriter::Save(dir.path(), draw).Ok());
    QCOMPARE(drawn, 0);
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    QVERIFY(CPngWriter::Save(path, draw).Ok());
    QCOMPARE(drawn, 1);
    QCOMPARE(QImage(path).convertToFormat(QImage::Format_ARGB32),
             Drawing(QSize(64, 48), false).convertToFormat(QImage::Format_ARGB32));
}

QTEST_MAIN(PngWriterTest)
#include "tst_png_writer.moc"
