// Generation of the report document for the largest results table (254
// rows) and the writing of its PDF, each interleaved with a reference run in
// the same process:
//  - generation against the least any generation does: copying the template
//    and appending the same rows;
//  - the PDF against Qt's own document printing into a plain file (no fitting
//    to the page, no atomic save).
//
//   korvalent-bench-report [--runs N]

#include "report/CReportDocument.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextDocument>
#include <algorithm>
#include <ctime>
#include <cstdio>

namespace
{
CReportData LargestReport()
{
    CReportData report;
    for (int f = 0; f < CReportData::FieldCount; ++f)
        if (CReportData::KindOf(CReportData::Field(f)) != CReportData::DateText)
            report.SetText(CReportData::Field(f), QStringLiteral("Поле отчёта %1").arg(f));
    for (int r = 0; r < 254; ++r)
        report.rows.append({QStringLiteral("Труба %1").arg(r % 150 + 1), QString::number(r + 1),
                            QString::number(5.0 + (r % 97) / 10.0, 'f', 2), QStringLiteral("мм"),
                            QStringLiteral("Сталь 20"), QStringLiteral("5920 м/c"),
                            QStringLiteral("Н/Д"), QStringLiteral("21 C°"), QStringLiteral("14:05"),
                            QStringLiteral("15.04.2026")});
    return report;
}

// CPU time of this thread: on a busy shared machine the wall clock mostly
// measures the other processes.
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Figures
{
    double min, median, max;
};

Figures Summary(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.first(), v.at(v.size() / 2), v.last()};
}

void Print(const char* name, const QList<double>& subject, const QList<double>& reference)
{
    const Figures s = Summary(subject), r = Summary(reference);
    std::printf("%-10s min %8.2f  median %8.2f  max %8.2f ms\n", name, s.min, s.median, s.max);
    std::printf("%-10s min %8.2f  median %8.2f  max %8.2f ms   ratio of medians %.2f\n",
                "  reference", r.min, r.median, r.max, s.median / r.median);
}

bool PlainPrint(const QString& html, const QString& path)
{
    QTextDocument document;
    document.setHtml(html);
    QPdfWriter writer(path);
    CReportDocument::SetUpPdf(&writer);
    document.print(&writer);
    return QFile(path).size() > 0;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 15;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(1, args.at(i + 1).toInt());

    const QString templateText = CReportDocument::Template();
    if (templateText.isEmpty())
    {
        std::fprintf(stderr, "no report template\n");
        return 1;
    }
    const CReportData report = LargestReport();
    const QDate today(2026, 3, 5);
    QTemporaryDir dir;

    QList<double> generate, copy, pdf, plain, pdfCpu, plainCpu;
    QString html;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer t;
        t.start();
        html = CReportDocument::Generate(templateText, report, today, QStringLiteral("Korvalent"));
        generate.append(t.nsecsElapsed() / 1e6);

        t.start();
        QString floor = templateText;
        floor += CReportDocument::DataRows(report);
        copy.append(t.nsecsElapsed() / 1e6);
        if (floor.size() < templateText.size())
            return 1;

        double cpu = ThreadCpuMs();
        t.start();
        if (!CReportDocument::WritePdf(html, dir.filePath(QStringLiteral("report.pdf"))).Ok())
        {
            std::fprintf(stderr, "PDF failed\n");
            return 1;
        }
        pdf.append(t.nsecsElapsed() / 1e6);
        pdfCpu.append(ThreadCpuMs() - cpu);

        cpu = ThreadCpuMs();
        t.start();
        if (!PlainPrint(html, dir.filePath(QStringLiteral("plain.pdf"))))
            return 1;
        plain.append(t.nsecsElapsed() / 1e6);
        plainCpu.append(ThreadCpuMs() - cpu);
    }

    std::printf("254 rows, document %lld characters, PDF %lld bytes, %d runs\n",
                qint64(html.size()), QFile(dir.filePath(QStringLiteral("report.pdf"))).size(),
                runs);
    Print("generation", generate, copy);
    Print("PDF", pdf, plain);
    Print("PDF (CPU)", pdfCpu, plainCpu);
    return 0;
}
