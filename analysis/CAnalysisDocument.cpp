#include "analysis/CAnalysisDocument.h"

#include "analysis/CA4Pdf.h"

#include "analysis/CAnalysisChart.h"
#include "analysis/CSurveyComparison.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <cmath>
#include <memory>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CAnalysisDocument", text);
}

// The chart is laid out at this size and scaled to the text width, so that
// its labels come out at about 8 pt on paper.
const QSize kChartLayout(1000, 470);

const QColor kBelowColor(255, 205, 205);
const QColor kLifeShortColor(255, 226, 160);
const QColor kHeaderColor(230, 230, 230);

std::unique_ptr<CSurveyComparison> Comparison(const CAnalysisChart& chart)
{
    const DataFileRecord* current = chart.CurrentFile();
    if (!current)
        return {};
    const DataFileRecord* previous = chart.PreviousFile();
    return std::unique_ptr<CSurveyComparison>(
        previous ? new CSurveyComparison(*previous, *current, chart.Options())
                 : new CSurveyComparison(*current, chart.Options()));
}

QString Threshold(double value, const QString& unit)
{
    return std::isfinite(value) ? QStringLiteral("%1 %2").arg(QString::number(value, 'g', 6), unit)
                                : Tr("не задана");
}

QString SurveyLine(const QString& caption, const QString& name, const DataFileRecord& file)
{
    return Tr("%1: %2 — %3, ячеек: %4")
        .arg(caption, name, CSurveyComparison::SurveyDateText(file))
        .arg(file.cells.size());
}
} // namespace

CAnalysisDocument::CAnalysisDocument(const CAnalysisChart& chart, const QString& previousSource)
    : m_chart(chart), m_previousSource(previousSource)
{
}

QStringList CAnalysisDocument::HeadLines() const
{
    const DataFileRecord* current = m_chart.CurrentFile();
    if (!current)
        return {};
    QStringList lines;
    lines << Tr("Анализ толщины стенки: %1").arg(m_chart.CurrentName());
    lines << SurveyLine(Tr("Текущее обследование"), m_chart.CurrentName(), *current);
    if (const DataFileRecord* previous = m_chart.PreviousFile())
    {
        const QString name = m_previousSource.isEmpty()
                                 ? m_chart.PreviousName()
                                 : Tr("%1 (%2)").arg(m_chart.PreviousName(), m_previousSource);
        lines << SurveyLine(Tr("Предыдущее обследование"), name, *previous);
    }
    else
        lines << Tr("Предыдущее обследование: не выбрано");
    const QString unit = m_chart.UnitText();
    lines << Tr("Допустимая толщина: %1; номинальная толщина: %2")
                 .arg(Threshold(m_chart.Options().required, unit),
                      Threshold(m_chart.Options().nominal, unit));
    return lines;
}

CSafeSave::Result CAnalysisDocument::SavePdf(const QString& path) const
{
    return CSafeSave::WriteWith(path, [this](const QString& tempPath) { return Write(tempPath); });
}

bool CAnalysisDocument::Write(const QString& path) const
{
    const std::unique_ptr<CSurveyComparison> comparison = Comparison(m_chart);

    CA4Pdf pdf(path, HeadLines().value(0), kTablePoints);
    if (!pdf.Begin())
        return false;
    QPdfWriter& writer = pdf.writer;
    QPainter& painter = pdf.painter;
    const qreal dotsPerPoint = pdf.dotsPerPoint;
    const qreal perPoint = pdf.perPoint;
    const QRectF page = pdf.page;
    const qreal footerHeight = pdf.footerHeight;
    const QSizeF body = pdf.body;

    // Laid out for the writer: point sizes are points on paper. The first
    // page (what was compared, the summary, the chart) and the table (on the
    // pages after it) are two documents.
    QFont font = QGuiApplication::font();
    font.setPointSizeF(kBodyPoints);
    const auto prepare = [&](QTextDocument* doc)
    {
        doc->documentLayout()->setPaintDevice(&writer);
        doc->setDefaultFont(font);
        doc->setDocumentMargin(0);
        doc->setPageSize(body);
    };
    QTextCharFormat plain;
    plain.setFontPointSize(kBodyPoints);

    QTextDocument head;
    prepare(&head);
    QTextCursor cursor(&head);
    QTextCharFormat title = plain;
    title.setFontPointSize(kTitlePoints);
    title.setFontWeight(QFont::Bold);
    QTextBlockFormat spaced;
    spaced.setBottomMargin(2 * perPoint);
    const QStringList headLines = HeadLines();
    for (int i = 0; i < headLines.size(); ++i)
    {
        if (i > 0)
            cursor.insertBlock(spaced);
        else
        {
            QTextBlockFormat first = spaced;
            first.setBottomMargin(8 * perPoint);
            cursor.setBlockFormat(first);
        }
        cursor.insertText(headLines.at(i), i == 0 ? title : plain);
    }
    if (comparison)
    {
        QTextBlockFormat gap = spaced;
        gap.setTopMargin(6 * perPoint);
        bool first = true;
        for (const QString& line : comparison->SummaryLines())
        {
            cursor.insertBlock(first ? gap : spaced);
            cursor.insertText(line, plain);
            first = false;
        }
    }
    cursor.insertBlock(spaced);
    // The chart below the text, as large as the page leaves room for.
    const QRectF headRect(QPointF(0, 0), head.documentLayout()->documentSize());
    const qreal chartTop = headRect.bottom() + 6 * dotsPerPoint;
    const qreal chartHeight =
        qMin(body.width() * kChartLayout.height() / kChartLayout.width(), body.height() - chartTop);
    const QRectF chartRect(0, chartTop, body.width(), chartHeight);

    QTextDocument tableDoc;
    prepare(&tableDoc);
    if (comparison && !comparison->Rows().isEmpty())
    {
        QTextCursor at(&tableDoc);
        // Laid out once at the end, not after every cell.
        at.beginEditBlock();
        const QStringList headers = comparison->Headers();
        const int rows = int(comparison->Rows().size());
        QTextTableFormat table;
        table.setHeaderRowCount(1);
        table.setBorderCollapse(false);
        table.setBorder(0.3 * perPoint);
        table.setBorderBrush(QColor(120, 120, 120));
        table.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        table.setCellPadding(1.2 * perPoint);
        table.setCellSpacing(0);
        table.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        // Room for a date and for the flag texts on one line each.
        const QList<qreal> widths = comparison->HasPrevious()
                                        ? QList<qreal>{6, 11, 10, 11, 10, 8, 8, 11, 10, 15}
                                        : QList<qreal>{12, 20, 20, 16, 32};
        if (widths.size() == headers.size())
        {
            QList<QTextLength> constraints;
            for (qreal w : widths)
                constraints << QTextLength(QTextLength::PercentageLength, w);
            table.setColumnWidthConstraints(constraints);
        }
        QTextTable* t = at.insertTable(rows + 1, int(headers.size()), table);
        QTextCharFormat cellText = plain;
        cellText.setFontPointSize(kTablePoints);
        QTextCharFormat headerText = cellText;
        headerText.setFontWeight(QFont::Bold);
        const auto fill = [&](int row, int column, const QString& text,
                              const QTextCharFormat& format, const QColor& background)
        {
            CA4Pdf::FillCell(t, row, column, text, format, background,
                             column + 1 < headers.size() || row == 0);
        };
        for (int c = 0; c < headers.size(); ++c)
            fill(0, c, headers.at(c), headerText, kHeaderColor);
        for (int r = 0; r < rows; ++r)
        {
            const CSurveyComparison::Flag flag = comparison->Rows().at(r).flag;
            const QColor background = flag == CSurveyComparison::BelowRequired ? kBelowColor
                                      : flag == CSurveyComparison::LifeShort   ? kLifeShortColor
                                                                               : QColor();
            const QStringList texts = comparison->RowTexts(r);
            for (int c = 0; c < texts.size(); ++c)
                fill(r + 1, c, texts.at(c), cellText, background);
        }
        at.endEditBlock();
    }
    const bool hasTable = !tableDoc.isEmpty();

    QFont footerFont = font;
    footerFont.setPointSizeF(kTablePoints);
    const QString stamp =
        Tr("Korvalent, %1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    const int pages = 1 + (hasTable ? tableDoc.pageCount() : 0);
    for (int p = 0; p < pages; ++p)
    {
        if (p > 0 && !writer.newPage())
            return false;
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::black);
        painter.save();
        if (p == 0)
        {
            context.clip = QRectF(QPointF(0, 0), body);
            painter.setClipRect(context.clip);
            head.documentLayout()->draw(&painter, context);
            m_chart.Paint(&painter, chartRect,
                          QSize(kChartLayout.width(),
                                int(kChartLayout.width() * chartRect.height() / chartRect.width())),
                          Qt::AlignRight);
        }
        else
        {
            context.clip = QRectF(QPointF(0, (p - 1) * body.height()), body);
            painter.translate(0, -context.clip.top());
            painter.setClipRect(context.clip);
            tableDoc.documentLayout()->draw(&painter, context);
        }
        painter.restore();

        painter.setFont(footerFont);
        painter.setPen(QColor(80, 80, 80));
        const QRectF foot(0, page.height() - footerHeight * 0.6, page.width(), footerHeight * 0.6);
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, stamp);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                         Tr("Страница %1 из %2").arg(p + 1).arg(pages));
    }
    return painter.end();
}
