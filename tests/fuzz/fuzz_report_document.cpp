// A report file through the whole document: read, generated with every value
// escaped, laid out on A4 pages as printing lays it out. The document must be
// no larger than the template plus the escaped values, a plain value must be
// in its text as it was written, and each input has 2 s.
#include "report/CReportDocument.h"
#include "report/CReportFile.h"
#include "report/CReportTextDocument.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QGuiApplication>

#include <cstdlib>
#include <vector>

namespace
{
QString g_template;
const QDate g_today(2026, 3, 5);

// Texts whose characters the document shows unchanged: printable ASCII and
// Cyrillic letters.
bool Plain(const QString& text)
{
    for (const QChar c : text)
        if (!(c.unicode() >= 0x20 && c.unicode() < 0x7F) &&
            !(c.unicode() >= 0x0400 && c.unicode() < 0x0460))
            return false;
    return !text.trimmed().isEmpty();
}
} // namespace

// The font system keeps patterns of the fallback fonts it looked up for the
// rest of the process; they are not this code's, nor do they grow per input.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    static QGuiApplication app(qtArgc, qtArgv);
    g_template = CReportDocument::Template();
    if (g_template.isEmpty())
        std::abort(); // the program's resources are not linked in

    // The per-input time limit, last so that it wins over a general one.
    static std::vector<char*> args(*argv, *argv + *argc);
    static char timeout[] = "-timeout=2";
    args.push_back(timeout);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CReportFile::LoadResult loaded = CReportFile::Parse(FuzzBytes(data, size));
    if (!loaded.Succeeded())
        return 0;
    const CReportData& report = loaded.report;
    const QString appName = QStringLiteral("Korvalent");
    const QString html = CReportDocument::Generate(g_template, report, g_today, appName);

    qsizetype bound = g_template.size() + CReportDocument::DataRows(report).size();
    const auto values = CReportDocument::Values(report, g_today, appName);
    for (const auto& [placeholder, value] : values)
        bound += CReportDocument::Escaped(value).size();
    if (html.size() > bound)
        std::abort();

    CReportTextDocument document;
    document.setHtml(html);
    // A4 within 10 mm margins in the layout's screen pixels.
    CReportDocument::LayOut(&document, QSizeF(190 / 25.4 * 96, 277 / 25.4 * 96));
    if (document.pageCount() < 1)
        std::abort();

    // (long runs carry invisible break opportunities)
    const QString text = document.toPlainText().remove(QChar(0x200B));
    for (int f = 0; f < CReportData::FieldCount; ++f)
    {
        const QString value = report.Text(CReportData::Field(f));
        if (Plain(value) && !text.contains(value))
            std::abort();
    }
    return 0;
}
