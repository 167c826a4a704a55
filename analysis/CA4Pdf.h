#pragma once

#include <QColor>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QTextCharFormat;
class QTextTable;

// An A4 landscape PDF being drawn, as the analysis and history documents
// print (landscape: their tables' columns take their headers' words whole): the writer, its painter
// and the page's measures in the writer's dots.
struct CA4Pdf
{
    static constexpr qreal kMarginMm = 15;
    static constexpr int kDpi = 300;

    // footerPoints: the size of the text at each page's foot.
    CA4Pdf(const QString& path, const QString& title, qreal footerPoints);
    // False when the file cannot be written.
    bool Begin();
    // One cell of a printed table: its text, centred or not, on its
    // background (none when invalid).
    static void FillCell(QTextTable* table, int row, int column, const QString& text,
                         const QTextCharFormat& format, const QColor& background, bool centred);

    QPdfWriter writer;
    QPainter painter;
    qreal footerPoints;
    const qreal dotsPerPoint = qreal(kDpi) / 72.0;
    // Margins, paddings and borders of a text format are in screen pixels
    // the layout scales: the screen's pixels per point.
    qreal perPoint = 96.0 / 72.0;
    QRectF page; // the painter's viewport
    qreal footerHeight = 0;
    QSizeF body; // the page less the foot
};
