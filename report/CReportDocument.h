#pragma once

#include "core/CSafeSave.h"
#include "report/CReportData.h"

#include <QDate>
#include <QString>

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

    // Replaces the placeholders in their fixed order (values verbatim, so a
    // value holding a later placeholder is replaced in turn), then the data
    // rows last. today fills the three signature dates.
    static QString Generate(const QString& templateText, const CReportData& report,
                            const QDate& today, const QString& appName);

    // The rows of the results table, one <tr> per row, ten cells each.
    static QString DataRows(const CReportData& report);

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
