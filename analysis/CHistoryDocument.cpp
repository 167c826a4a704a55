#include "analysis/CHistoryDocument.h"

#include "analysis/CA4Pdf.h"

#include "analysis/CHistoryChart.h"
#include "analysis/CObjectHistory.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <cmath>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CHistoryDocument", text);
}

// A4 landscape: the table's columns take their headers' words whole at 9 pt.
// The chart is laid out at this width and scaled to the text width, so that
// its labels come out at about 8 pt on paper.
constexpr int kChartLayoutWidth = 1000;
constexpr qreal kChartAspect = 0.47;
constexpr qreal kOwnPageAspect = 0.62;
// Below this share of the page the chart goes onto a page of its own.
constexpr qreal kChartMinShare = 0.45;

const QColor kBelowColor(255, 205, 205);
const QColor kDueColor(255, 226, 160);
const QColor kNoRateColor(225, 225, 225);
const QColor kHeaderColor(230, 230, 230);

// The table's columns: each at least as wide as the longest word of its
// heading and of its values (so that no word is broken), the width left
// over shared by how much longer their whole texts are. The values stay at
// 9 pt; when the words do not fit the page, the heading loses its bold,
// then its size, half a point at a time.
struct Columns
{
    QList<qreal> shares; // of the table's width
    qreal headingPoints = CHistoryDocument::kTablePoints;
    bool boldHeading = true;
};

Columns FitColumns(const QStringList& headers, const QList<QStringList>& rows, QFont font,
                   QPaintDevice* device, qreal width, qreal padding)
{
    Columns out;
    const int n = int(headers.size());
    // A word measured a little wider than it is, so that rounding in the
    // layout never breaks it.
    const auto longestWord = [](const QFontMetricsF& fm, const QString& text)
    {
        qreal widest = 0;
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widest = std::max(widest, fm.horizontalAdvance(word));
        return widest * 1.03;
    };
    font.setPointSizeF(CHistoryDocument::kTablePoints);
    const QFontMetricsF plain(font, device);
    QList<qreal> values(n), whole(n), least(n);
    for (int c = 0; c < n; ++c)
        for (const QStringList& row : rows)
        {
            const QString text = row.value(c);
            values[c] = std::max(values[c], longestWord(plain, text));
            whole[c] = std::max(whole[c], plain.horizontalAdvance(text));
        }
    for (qreal points = CHistoryDocument::kTablePoints; points >= 6.0; points -= 0.5)
        for (bool bold : {true, false})
        {
            font.setPointSizeF(points);
            font.setBold(bold);
            const QFontMetricsF heading(font, device);
            qreal sum = 0;
            for (int c = 0; c < n; ++c)
            {
                least[c] = std::max(values[c], longestWord(heading, headers.at(c))) + padding;
                sum += least[c];
            }
            out.headingPoints = points;
            out.boldHeading = bold;
            if (sum > width && points > 6.0)
                continue;
            const qreal spare = std::max(0.0, width - sum);
            qreal wants = 0;
            for (int c = 0; c < n; ++c)
                wants += std::max(0.0, whole[c] + padding - least[c]);
            for (int c = 0; c < n; ++c)
            {
                const qreal want = std::max(0.0, whole[c] + padding - least[c]);
                const qreal extra = wants > 0 ? spare * want / wants : spare / n;
                out.shares << (least[c] + extra) / std::max(width, sum);
            }
            return out;
        }
    return out;
}

} // namespace

CHistoryDocument::CHistoryDocument(const CObjectHistory& history) : m_history(history) {}

QStringList CHistoryDocument::HeadLines() const
{
    // The core's summary under the title, the object's surveys listed after
    // their count.
    QStringList lines;
    lines << Tr("История объекта: %1").arg(m_history.ObjectName());
    const QStringList summary = m_history.SummaryLines();
    const QList<CObjectHistory::Survey>& surveys = m_history.Surveys();
    for (int i = 1; i < summary.size(); ++i)
    {
        lines << summary.at(i);
        if (i == 1)
            for (int k = 0; k < surveys.size(); ++k)
                lines << Tr("%1. %2 — %3, ячеек: %4")
                             .arg(k + 1)
                             .arg(surveys.at(k).name,
                                  CSurveyComparison::SurveyDateText(surveys.at(k).file))
                             .arg(surveys.at(k).file.cells.size());
    }
    return lines;
}

CSafeSave::Result CHistoryDocument::SavePdf(const QString& path) const
{
    return CSafeSave::WriteWith(path, [this](const QString& tempPath) { return Write(tempPath); });
}

bool CHistoryDocument::WritePdf(const CObjectHistory& history, const QString& path, QString* error)
{
    const CSafeSave::Result saved = CHistoryDocument(history).SavePdf(path);
    if (!saved.Ok() && error)
        *error = CSafeSave::Describe(path, saved);
    return saved.Ok();
}

bool CHistoryDocument::Write(const QString& path) const
{
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

    // Arial's metrics (a stand-in where it is missing): the table's fifteen
    // columns fit the page at 9 pt.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(kBodyPoints);
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setPageSize(body);

    QTextCharFormat plain;
    plain.setFontPointSize(kBodyPoints);
    QTextCharFormat bold = plain;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat title = bold;
    title.setFontPointSize(kTitlePoints);
    QTextBlockFormat spaced;
    spaced.setBottomMargin(2 * perPoint);
    QTextBlockFormat gap = spaced;
    gap.setTopMargin(6 * perPoint);

    QTextCursor cursor(&doc);
    // Laid out once at the end, not after every cell.
    cursor.beginEditBlock();
    const QStringList head = HeadLines();
    const int surveys = int(m_history.Surveys().size());
    for (int i = 0; i < head.size(); ++i)
    {
        if (i == 0)
        {
            QTextBlockFormat first = spaced;
            first.setBottomMargin(8 * perPoint);
            cursor.setBlockFormat(first);
        }
        else
            // The surveys' list set apart from the lines around it.
            cursor.insertBlock(i == 2 || i == surveys + 2 ? gap : spaced);
        cursor.insertText(head.at(i), i == 0 ? title : plain);
    }

    QTextTable* table = nullptr;
    const QList<CObjectHistory::Location>& locations = m_history.Locations();
    if (!locations.isEmpty())
    {
        cursor.insertBlock(gap);
        const QStringList headers = m_history.Headers();
        QTextTableFormat format;
        format.setHeaderRowCount(1);
        format.setBorderCollapse(false);
        format.setBorder(0.3 * perPoint);
        format.setBorderBrush(QColor(120, 120, 120));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setCellPadding(1.2 * perPoint);
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        QList<QStringList> rows;
        for (int r = 0; r < locations.size(); ++r)
            rows << m_history.RowTexts(r);
        const Columns columns =
            FitColumns(headers, rows, font, &writer, body.width(), (2 * 1.2 + 0.6) * dotsPerPoint);
        QList<QTextLength> constraints;
        for (qreal share : columns.shares)
            constraints << QTextLength(QTextLength::PercentageLength, share * 100.0);
        format.setColumnWidthConstraints(constraints);
        table = cursor.insertTable(int(locations.size()) + 1, int(headers.size()), format);
        QTextCharFormat cellText = plain;
        cellText.setFontPointSize(kTablePoints);
        QTextCharFormat headerText = cellText;
        headerText.setFontPointSize(columns.headingPoints);
        headerText.setFontWeight(columns.boldHeading ? QFont::Bold : QFont::Normal);
        const auto fill = [&](int row, int column, const QString& text,
                              const QTextCharFormat& charFormat, const QColor& background)
        { CA4Pdf::FillCell(table, row, column, text, charFormat, background, true); };
        for (int c = 0; c < headers.size(); ++c)
            fill(0, c, headers.at(c), headerText, kHeaderColor);
        for (int r = 0; r < locations.size(); ++r)
        {
            const CObjectHistory::Flag flag = locations.at(r).flag;
            const QColor background = flag == CObjectHistory::BelowRequired ? kBelowColor
                                      : flag == CObjectHistory::Due         ? kDueColor
                                      : flag == CObjectHistory::NoRate      ? kNoRateColor
                                                                            : QColor();
            const QStringList& texts = rows.at(r);
            for (int c = 0; c < texts.size() && c < headers.size(); ++c)
                fill(r + 1, c, texts.at(c), cellText, background);
        }
    }
    const int governing = m_history.GetSummary().governingLocation;
    if (governing < 0)
    {
        cursor.insertBlock(gap);
        cursor.insertText(Tr("График определяющей ячейки не построен: ни у одной ячейки нет "
                             "остаточного ресурса."),
                          plain);
    }
    cursor.endEditBlock();

    // The governing location's chart after the table: on its last page when
    // there is room enough, else on a page of its own.
    const int textPages = doc.pageCount();
    const qreal end = doc.documentLayout()->blockBoundingRect(doc.lastBlock()).bottom();
    const qreal usedOnLast = end - (textPages - 1) * body.height();
    const qreal chartWidth = body.width();
    qreal chartHeight = chartWidth * kChartAspect;
    int chartPage = -1;
    QRectF chartRect;
    if (governing >= 0)
    {
        const qreal room = body.height() - usedOnLast - 8 * dotsPerPoint;
        if (room >= body.height() * kChartMinShare)
        {
            chartPage = textPages - 1;
            chartHeight = std::min(chartHeight, room);
            chartRect = QRectF(0, usedOnLast + 8 * dotsPerPoint, chartWidth, chartHeight);
        }
        else
        {
            // A page of its own: as tall as the page lets a chart be read.
            chartPage = textPages;
            chartHeight = std::min(chartWidth * kOwnPageAspect, body.height());
            chartRect = QRectF(0, 0, chartWidth, chartHeight);
        }
    }
    CHistoryChart chart;
    if (governing >= 0)
        chart.SetLocation(m_history, governing);

    QFont footerFont = font;
    footerFont.setPointSizeF(kTablePoints);
    const QString stamp =
        Tr("Korvalent, %1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    const int pages = std::max(textPages, chartPage + 1);
    for (int p = 0; p < pages; ++p)
    {
        if (p > 0 && !writer.newPage())
            return false;
        if (p < textPages)
        {
            QAbstractTextDocumentLayout::PaintContext context;
            context.palette.setColor(QPalette::Text, Qt::black);
            context.clip = QRectF(QPointF(0, p * body.height()), body);
            painter.save();
            painter.translate(0, -context.clip.top());
            painter.setClipRect(context.clip);
            doc.documentLayout()->draw(&painter, context);
            painter.restore();
        }
        if (p == chartPage)
        {
            painter.save();
            chart.Paint(&painter, chartRect,
                        QSize(kChartLayoutWidth,
                              int(kChartLayoutWidth * chartRect.height() / chartRect.width())),
                        Qt::AlignBottom);
            painter.restore();
        }
        painter.setFont(footerFont);
        painter.setPen(QColor(80, 80, 80));
        const QRectF foot(0, page.height() - footerHeight * 0.6, page.width(), footerHeight * 0.6);
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, stamp);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                         Tr("Страница %1 из %2").arg(p + 1).arg(pages));
    }
    return painter.end();
}
