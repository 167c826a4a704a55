// Build-time tool: renders the icon SVGs to PNG at their own size, so that the
// program loads ready pixels instead of rasterising every icon at start-up.
//
//   korvalent-icon-render OUTDIR FILE.svg...
//   korvalent-icon-render --size N OUT.png FILE.svg
//
// Each FILE.svg becomes OUTDIR/FILE.png; with --size, one SVG becomes an N x N
// PNG (the application icon for the desktop's icon theme). Text in an icon
// needs the font database, hence a (headless) GUI application.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("--size"))
    {
        const int size = args.at(2).toInt();
        QSvgRenderer svg(args.at(4));
        if (size <= 0 || !svg.isValid())
        {
            std::fprintf(stderr, "%s: not a drawable SVG\n", qPrintable(args.at(4)));
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (!image.save(args.at(3), "PNG"))
        {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(args.at(3)));
            return 1;
        }
        return 0;
    }
    if (args.size() < 3)
    {
        std::fprintf(stderr, "usage: korvalent-icon-render OUTDIR FILE.svg...\n"
                             "       korvalent-icon-render --size N OUT.png FILE.svg\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral(".")))
    {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (int i = 2; i < args.size(); ++i)
    {
        QSvgRenderer svg(args.at(i));
        if (!svg.isValid() || svg.defaultSize().isEmpty())
        {
            std::fprintf(stderr, "%s: not a drawable SVG\n", qPrintable(args.at(i)));
            return 1;
        }
        QImage image(svg.defaultSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        const QString target = out.filePath(QFileInfo(args.at(i)).completeBaseName() + ".png");
        if (!image.save(target, "PNG"))
        {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    return 0;
}
