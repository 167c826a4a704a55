#include "analysis/CA4Pdf.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPageLayout>
#include <QScreen>
#include <QTextCursor>
#include <QTextTable>

CA4Pdf::CA4Pdf(const QString& path, const QString& title, qreal footerPoints)
    : writer(path), footerPoints(footerPoints)
{
    writer.setCreator(QCoreApplication::applicationName());
    writer.setTitle(title);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    writer.setResolution(kDpi);
}

bool CA4Pdf::Begin()
{
    if (!painter.begin(&writer))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    const QScreen* screen = QGuiApplication::primaryScreen();
    perPoint = (screen ? screen->logicalDotsPerInchY() : 96.0) / 72.0;
    page = painter.viewport();
    footerHeight = footerPoints * dotsPerPoint * 1.8;
    body = QSizeF(page.width(), page.height() - footerHeight);
    return true;
}

void CA4Pdf::FillCell(QTextTable* table, int row, int column, const QString& text,
                      const QTextCharFormat& format, const QColor& background, bool centred)
{
    QTextTableCell cell = table->cellAt(row, column);
    if (background.isValid())
    {
        QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
        cellFormat.setBackground(background);
        cell.setFormat(cellFormat);
    }
    QTextCursor in = cell.firstCursorPosition();
    if (centred)
    {
        QTextBlockFormat block;
        block.setAlignment(Qt::AlignHCenter);
        in.setBlockFormat(block);
    }
    in.insertText(text, format);
}
