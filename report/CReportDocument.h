#pragma once

#include "core/CSafeSave.h"
#include "report/CReportData.h"

#include <QDate>
#include <QList>
#include <QSizeF>
#include <QString>

#include <utility>

class QPagedPaintDevice;
class QPdfWriter;
class QTextDocument;

// The report document: the HTML template with every placeholder replaced by
// the report's texts, and its PDF.
class CReportDocument
{
public:
    static constexpr int kScreenDpi = 96;

    static QString TemplatePath()
    {
        return QStringLiteral(":/Korvalent/Resources/ReportTemplate.html");
    }
    // The template as compiled into the program, decoded as UTF-8.
    static QString Template();

    // The template with every placeholder replaced in one pass by its value,
    // escaped (a value shows as typed, its line breaks as line breaks, and is
    // never searched for placeholders), "#DATA_TABLE_ROWS" by the data rows.
    // today fills the three signature dates.
    static QString Generate(const QString& templateText, const CReportData& report,
                            const QDate& today, const QString& appName);

    // The placeholders and their texts as typed, in the order of the form,
    // the data rows left out.
    static constexpr int kPlaceholderCount = 46;
    static QList<std::pair<QString, QString>> Values(const CReportData& report, const QDate& today,
                                                     const QString& appName);

    // A text as HTML that shows it as it is: markup characters escaped, each
    // line break (CR LF, LF, CR) a line break of the document. A run of more
    // than kLongRun characters without a blank may wrap after every
    // kRunPiece characters (zero-width spaces, which print as nothing).
    static QString Escaped(const QString& text);
    static constexpr int kLongRun = 64;
    static constexpr int kRunPiece = 16;

    // The rows of the results table, one <tr> per row, ten cells each, the
    // texts escaped; a result outside the valid range shows as "LOS".
    static QString DataRows(const CReportData& report);
    static QString LosText() { return QStringLiteral("LOS"); }

    // The printable area of a paged device in the layout's screen pixels.
    static QSizeF PageFor(QPagedPaintDevice* device);
    // Lays a document out on pages of that size, as printing does: a
    // document wider than the page gets proportionally larger pages.
    static void LayOut(QTextDocument* document, const QSizeF& page);

    // Prints a document on a paged device (printer, PDF) as the toolkit
    // prints it, scaled down to the page's width when it is wider. Sets the
    // document's page size: pass a copy of a document that is on show.
    static void PrintToFit(QTextDocument* document, QPagedPaintDevice* device);

    // A4 at high resolution with 10 mm margins on every side.
    static void SetUpPdf(QPdfWriter* writer);

    // Lays the document out on A4 with 10 mm margins, as printing does, and
    // writes it atomically. A failed write keeps a previous file.
    static CSafeSave::Result WritePdf(const QString& html, const QString& path);
};
