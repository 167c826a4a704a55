#include "report/CReportDocument.h"

#include "report/CReportTextDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace
{
using Field = CReportData::Field;

const QLatin1String s_rowOpen("<tr>\n");
const QLatin1String s_cellClose("</td>\n");
const QLatin1String s_rowClose("</tr>\n");
const QLatin1String s_paragraph("<p align=\"center\">\n");
const QLatin1String s_spacer(
    "<span style=\"font-size:12pt;font-family:'Times New Roman','serif'\">&nbsp;</span>\n");
const QLatin1String s_valueOpen("<span style=\"font-size:8.5pt;font-family:'Times New "
                                "Roman','serif'\">");
const QLatin1String s_valueClose("</span></p>\n");

QLatin1String CellOpen(int column)
{
    switch (column)
    {
    case 7:
        return QLatin1String("<td width=\"90\">\n");
    case 8:
        return QLatin1String("<td width=\"57\">\n");
    case 9:
        return QLatin1String("<td width=\"66\">\n");
    default:
        return QLatin1String("<td width=\"71\">\n");
    }
}

// A complete PDF ends with its trailer; a writer that met a full disk or a
// size limit leaves a file without one.
bool EndsAsPdf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    file.seek(file.size() - 16);
    return file.read(16).contains("%%EOF");
}
} // namespace

QString CReportDocument::Template()
{
    QFile file(TemplatePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString CReportDocument::DataRows(const CReportData& report)
{
    QString rows;
    for (int r = 0; r < report.rows.size(); ++r)
    {
        rows += s_rowOpen;
        for (int column = 0; column < CReportData::kResultColumns; ++column)
        {
            if (column > 0)
                rows += s_cellClose;
            rows += CellOpen(column);
            rows += s_paragraph;
            if (column == 0)
                rows += s_spacer;
            rows += s_valueOpen;
            // A reading outside the valid range is no thickness: the printed
            // table says so instead of showing its figure.
            if (column == CReportData::ResultColumn &&
                !CReportData::IsValidResult(report.rows.at(r)))
                rows += LosText();
            else
                rows += Escaped(report.Cell(r, column));
            rows += s_valueClose;
        }
        rows += s_cellClose;
        rows += s_rowClose;
    }
    return rows;
}

QString CReportDocument::Escaped(const QString& text)
{
    QString html;
    html.reserve(text.size() + text.size() / 8);
    qsizetype run = 0; // characters since the last blank or line break
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        const QChar c = text.at(i);
        // The toolkit's line breaking takes time quadratic in the length of
        // a word it must cut: a run longer than any word gets invisible
        // break opportunities, never inside a character or before a mark.
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongRun && run % kRunPiece == 1 && !c.isLowSurrogate() && !c.isMark())
            html += QChar(0x200B);
        switch (c.unicode())
        {
        case '<':
            html += QLatin1String("&lt;");
            break;
        case '>':
            html += QLatin1String("&gt;");
            break;
        case '&':
            html += QLatin1String("&amp;");
            break;
        case '"':
            html += QLatin1String("&quot;");
            break;
        case '\'':
            html += QLatin1String("&#39;");
            break;
        case '\r':
            // CR LF is one break, a lone CR one too.
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            html += QLatin1String("<br />");
            break;
        case '\n':
        case 0x2028: // line separator
        case 0x2029: // paragraph separator
            html += QLatin1String("<br />");
            break;
        default:
            html += c;
        }
    }
    return html;
}

QList<std::pair<QString, QString>>
CReportDocument::Values(const CReportData& report, const QDate& today, const QString& appName)
{
    const QString date = today.toString(CReportData::DateFormat());
    QList<std::pair<QString, QString>> values;
    values.reserve(kPlaceholderCount);
    values.append({QStringLiteral("#DOCUMENT_TITLE"),
                   QStringLiteral("%1 - Заключение по ультразвуковой толщинометрии").arg(appName)});
    auto field = [&values, &report](Field f) {
        values.append({QLatin1Char('#') + CReportData::Key(f), report.Text(f)});
    };

    for (int f = CReportData::ConclutionNumber; f <= CReportData::AccessCardNumber; ++f)
        field(Field(f));
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        values.append(
            {QLatin1Char('#') + CReportData::StatisticsKey(row), report.statistics.value(row)});
    field(CReportData::Conclusion);
    // Each signatory's date follows the card date, the third one its level.
    field(CReportData::Name1);
    field(CReportData::Card1);
    field(CReportData::CardDate1);
    values.append({QStringLiteral("#DATE1"), date});
    field(CReportData::Level1);
    field(CReportData::Name2);
    field(CReportData::Card2);
    field(CReportData::CardDate2);
    values.append({QStringLiteral("#DATE2"), date});
    field(CReportData::Level2);
    field(CReportData::Name3);
    field(CReportData::Card3);
    field(CReportData::CardDate3);
    field(CReportData::Level3);
    values.append({QStringLiteral("#DATE3"), date});
    return values;
}

QString CReportDocument::Generate(const QString& templateText, const CReportData& report,
                                  const QDate& today, const QString& appName)
{
    // Every value escaped once; the data rows are markup made here, their
    // texts escaped cell by cell.
    QList<std::pair<QString, QString>> values = Values(report, today, appName);
    for (auto& [placeholder, value] : values)
        value = Escaped(value);
    values.append({QStringLiteral("#DATA_TABLE_ROWS"), DataRows(report)});
    // Where one placeholder begins another, the longer one is meant.
    std::stable_sort(values.begin(), values.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    // One pass over the template: what a value brings in is never searched
    // for placeholders, so the document is the template plus the values.
    QString document;
    qsizetype size = templateText.size();
    for (const auto& [placeholder, value] : std::as_const(values))
        size += value.size();
    document.reserve(size);
    qsizetype done = 0;
    for (qsizetype at = templateText.indexOf(QLatin1Char('#')); at >= 0;
         at = templateText.indexOf(QLatin1Char('#'), at))
    {
        const QStringView rest = QStringView(templateText).mid(at);
        const auto match = std::find_if(values.cbegin(), values.cend(),
                                        [rest](const auto& v)
                                        { return rest.startsWith(v.first, Qt::CaseSensitive); });
        if (match == values.cend())
        {
            ++at;
            continue;
        }
        document += QStringView(templateText).mid(done, at - done);
        document += match->second;
        at += match->first.size();
        done = at;
    }
    document += QStringView(templateText).mid(done);
    return document;
}

QSizeF CReportDocument::PageFor(QPagedPaintDevice* device)
{
    // The layout works in screen pixels; the page's printable area in those
    // units is the width the document is laid out for.
    const QRectF paint = device->pageLayout().paintRectPixels(device->logicalDpiX());
    const qreal toScreen = qreal(kScreenDpi) / qreal(device->logicalDpiX());
    return QSizeF(paint.width() * toScreen, paint.height() * toScreen);
}

void CReportDocument::LayOut(QTextDocument* document, const QSizeF& page)
{
    // The results table's fixed column widths add up to more than the width
    // of A4 within its margins: rather than cut the right-hand columns off,
    // lay out on a proportionally larger page, which printing scales down.
    // The width is measured without pages, which costs far less than the
    // paginated layout, so that one is made only once.
    document->setTextWidth(page.width());
    const qreal needed = document->size().width();
    document->setPageSize(needed > page.width() ? page * (needed / page.width()) : page);
}

void CReportDocument::PrintToFit(QTextDocument* document, QPagedPaintDevice* device)
{
    if (!document || !device)
        return;
    LayOut(document, PageFor(device));
    document->print(device);
}

void CReportDocument::SetUpPdf(QPdfWriter* writer)
{
    // The PDF engine of Qt's printer, without the widgets the printer class
    // brings, so that the command line writes the same file; the page set up
    // as printing sets it.
    writer->setResolution(1200);
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
}

CSafeSave::Result CReportDocument::WritePdf(const QString& html, const QString& path)
{
    return CSafeSave::WriteWith(path,
                                [&html](const QString& tempPath)
                                {
                                    {
                                        CReportTextDocument document;
                                        document.setHtml(html);
                                        QPdfWriter writer(tempPath);
                                        SetUpPdf(&writer);
                                        writer.setTitle(
                                            document.metaInformation(QTextDocument::DocumentTitle));
                                        writer.setCreator(QCoreApplication::applicationName());
                                        PrintToFit(&document, &writer);
                                    }
                                    return EndsAsPdf(tempPath);
                                });
}
