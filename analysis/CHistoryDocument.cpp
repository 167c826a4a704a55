#include "analysis/CHistoryDocument.h"

#include "analysis/CHistoryChart.h"
#include "analysis/CObjectHistory.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDateTime>
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
constexpr qreal kMarginMm = 15;
constexpr int kDpi = 300;
// The chart is laid out at this width and scaled to the text width, so that
// its labels come out at about 8 pt on paper.
constexpr int kChartLayoutWidth = 1000;
constexpr qreal kChartAspect = 0.47;
// Below this share of the page the chart goes onto a page of its own.
constexpr qreal kChartMinShare = 0.45;

const QColor kBelowColor(255, 205, 205);
const QColor kDueColor(255, 226, 160);
const QColor kNoRateColor(225, 225, 225);
const QColor kHeaderColor(230, 230, 230);

QString Thickness(const CObjectHistory& history, double mm)
{
    return std::isfinite(mm)
               ? QStringLiteral("%1 %2").arg(
                     history.ThicknessText(mm),
                     history.DisplayUnit() == CSurveyComparison::Inches ? Tr("дюйм") : Tr("мм"))
               : Tr("не задана");
}

QString RateKindText(CObjectHistory::RateKind kind)
{
    switch (kind)
    {
    case CObjectHistory::RateLongTerm:
        return Tr("долгосрочная (LT)");
    case CObjectHistory::RateShortTerm:
        return Tr("краткосрочная (ST)");
    case CObjectHistory::RateRegression:
        return Tr("по регрессии");
    case CObjectHistory::RateMax:
        break;
    }
    return Tr("наибольшая из LT, ST и регрессии");
}
} // namespace

CHistoryDocument::CHistoryDocument(const CObjectHistory& history) : m_history(history) {}

QStringList CHistoryDocument::SettingsLines(const CObjectHistory& history)
{
    const CObjectHistory::Settings& s = history.GetSettings();
    return {Tr("Допустимая толщина: %1; номинальная толщина: %2")
                .arg(Thickness(history, s.requiredMm), Thickness(history, s.nominalMm)),
            Tr("Наибольший интервал между обследованиями, лет: %1; скорость коррозии для "
               "ресурса: %2; правило сосудов при ресурсе менее 4 лет: %3")
                .arg(QString::number(s.maxIntervalYears, 'g', 4), RateKindText(s.rate),
                     s.vesselRule ? Tr("да") : Tr("нет"))};
}

QStringList CHistoryDocument::HeadLines() const
{
    QStringList lines;
    lines << Tr("История объекта: %1").arg(m_history.ObjectName());
    const QList<CObjectHistory::Survey>& surveys = m_history.Surveys();
    lines << Tr("Обследований: %1, мест: %2").arg(surveys.size()).arg(m_history.Locations().size());
    for (int i = 0; i < surveys.size(); ++i)
        lines << Tr("%1. %2 — %3, ячеек: %4")
                     .arg(i + 1)
                     .arg(surveys.at(i).name, CSurveyComparison::SurveyDateText(surveys.at(i).file))
                     .arg(surveys.at(i).file.cells.size());
    lines << SettingsLines(m_history);
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
    QPdfWriter writer(path);
    writer.setCreator(QCoreApplication::applicationName());
    writer.setTitle(HeadLines().value(0));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    writer.setResolution(kDpi);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);

    // The page is measured in the writer's dots; margins, paddings and
    // borders of a text format are in screen pixels the layout scales.
    const qreal dotsPerPoint = qreal(kDpi) / 72.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal perPoint = (screen ? screen->logicalDotsPerInchY() : 96.0) / 72.0;
    const QRectF page = painter.viewport();
    const qreal footerHeight = kTablePoints * dotsPerPoint * 1.8;
    const QSizeF body(page.width(), page.height() - footerHeight);

    QFont font = QGuiApplication::font();
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
            // The settings start a paragraph of their own after the surveys.
            cursor.insertBlock(i == surveys + 2 ? gap : spaced);
        cursor.insertText(head.at(i), i == 0 ? title : plain);
    }
    bool firstSummary = true;
    for (const QString& line : m_history.SummaryLines())
    {
        cursor.insertBlock(firstSummary ? gap : spaced);
        cursor.insertText(line, firstSummary ? bold : plain);
        firstSummary = false;
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
        table = cursor.insertTable(int(locations.size()) + 1, int(headers.size()), format);
        QTextCharFormat cellText = plain;
        cellText.setFontPointSize(kTablePoints);
        QTextCharFormat headerText = cellText;
        headerText.setFontWeight(QFont::Bold);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        const auto fill = [&](int row, int column, const QString& text,
                              const QTextCharFormat& charFormat, const QColor& background)
        {
            QTextTableCell cell = table->cellAt(row, column);
            if (background.isValid())
            {
                QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
                cellFormat.setBackground(background);
                cell.setFormat(cellFormat);
            }
            QTextCursor in = cell.firstCursorPosition();
            in.setBlockFormat(centred);
            in.insertText(text, charFormat);
        };
        for (int c = 0; c < headers.size(); ++c)
            fill(0, c, headers.at(c), headerText, kHeaderColor);
        for (int r = 0; r < locations.size(); ++r)
        {
            const CObjectHistory::Flag flag = locations.at(r).flag;
            const QColor background = flag == CObjectHistory::BelowRequired ? kBelowColor
                                      : flag == CObjectHistory::Due         ? kDueColor
                                      : flag == CObjectHistory::NoRate      ? kNoRateColor
                                                                            : QColor();
            const QStringList texts = m_history.RowTexts(r);
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
            chartPage = textPages;
            chartHeight = std::min(chartHeight, body.height());
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
                        Qt::AlignRight);
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
