#include "core/CClock.h"
#include "data/StatisticsRows.h"
#include "report/CReportDocument.h"
#include "report/CReportFile.h"
#include "report/CReportSource.h"
#include "report/CReportTextDocument.h"
#include "tests/common/TestSupport.h"
#include "tests/report/ReportTestSupport.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace ReportTest;

namespace
{
QString Nd()
{
    return StatisticsRows::EmptyValue();
}

QStringList Texts(const CReportData& report)
{
    QStringList texts;
    for (int f = 0; f < CReportData::FieldCount; ++f)
        texts << report.Text(CReportData::Field(f));
    return texts;
}
} // namespace

// The report without widgets: file, generation, PDF.
class TestReportCore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void saveThenLoadRestoresEverything()
    {
        CReportData report = FullReport();
        // Line breaks and tabs of the multi-line fields are lost on the way;
        // a ";" inside a cell splits it.
        report.SetText(CReportData::OrganizationName, QStringLiteral("ООО\n«Вектор»\tНК"));
        report.SetText(CReportData::Conclusion, QStringLiteral("Годен.\r\nРемонт не нужен."));
        report.rows[1][4] = QStringLiteral("Сталь;20");

        const CReportFile::LoadResult loaded = CReportFile::Parse(CReportFile::Document(report));
        QCOMPARE(loaded.status, CReportFile::LoadResult::Ok);

        CReportData expected = report;
        expected.SetText(CReportData::OrganizationName, QStringLiteral("ООО«Вектор»НК"));
        expected.SetText(CReportData::Conclusion, QStringLiteral("Годен.Ремонт не нужен."));
        QCOMPARE(Texts(loaded.report), Texts(expected));
        QCOMPARE(loaded.report.statistics, report.statistics);
        QCOMPARE(loaded.report.rows.at(0), report.rows.at(0));
        QCOMPARE(loaded.report.rows.at(1),
                 (QStringList{"Труба-1", "2", "0.00", "мм", "Сталь", "20", "5920 м/c", "Н/Д",
                              "-3 C°", "14:06", "15.04.2029"}));
    }

    void keysInFileOrder()
    {
        const QStringList expected = {"KorvalentReport",
                                      "CONCLUTION_NUMBER",
                                      "CONCLUTION_DATE",
                                      "ORGANIZATION_NAME",
                                      "OBJECT_OF_CONTROL",
                                      "OBJECT_DESCRIPTION",
                                      "REASON_OF_TESTING",
                                      "OBJECT_OWNER",
                                      "ORGANIZATION_OPERATOR",
                                      "STANDARD_DOCUMENTS",
                                      "DEVICE_DESCRIPTION",
                                      "DEVICE_SERIAL_NUMBER",
                                      "PEP_DESCRIPTION",
                                      "PEP_SERIAL_NUMBER",
                                      "MEASUREMENT_METHOD",
                                      "PEP_SERIAL_NUMBER",
                                      "REFERENCE_DESCRIPTION",
                                      "CONTACT_LIQUID_DESCRIPTION",
                                      "ACCESS_CARD_NUMBER",
                                      "COUNT_OF_VALUES",
                                      "COUNT_OF_ACTUAL_VALUES",
                                      "COUNT_OF_LOS_VALUES",
                                      "MIN_VALUE",
                                      "MAX_VALUE",
                                      "AVG_VALUE",
                                      "MEDIANA_VALUE",
                                      "RANG_AMPLITUDE_VALUE",
                                      "STD_DEV_VALUE",
                                      "STD_SQUARE_DEV_VALUE",
                                      "DISPERSION_VALUE",
                                      "CONCLUSION",
                                      "NAME1",
                                      "CARD1",
                                      "CARD_DATE1",
                                      "LEVEL1",
                                      "NAME2",
                                      "CARD2",
                                      "CARD_DATE2",
                                      "LEVEL2",
                                      "NAME3",
                                      "CARD3",
                                      "CARD_DATE3",
                                      "LEVEL3",
                                      "RESULTS_TABLE",
                                      "ROW1",
                                      "ROW2"};
        const QByteArray document = CReportFile::Document(FullReport());
        QCOMPARE(ElementNames(document), expected);
        QVERIFY(document.startsWith("<!DOCTYPE KorvalentReport>\n<KorvalentReport>\n"));
        // Both serial number elements carry the same text; cells joined by ";".
        QCOMPARE(document.count("<PEP_SERIAL_NUMBER>PEP_SERIAL</PEP_SERIAL_NUMBER>"), 2);
        QVERIFY(document.contains(
            "<ROW1>Труба-1;1;5.20;мм;Сталь;5920 м/c;Н/Д;21 C°;14:05;15.04.2029</ROW1>"));
    }

    void rowsBeyond150AreNotLoaded()
    {
        CReportData report;
        for (int r = 0; r < 151; ++r)
            report.rows.append({"F", QString::number(r + 1), "1.00", "мм", "", "", "", "", "", ""});
        const QByteArray document = CReportFile::Document(report);
        QVERIFY(document.contains("<ROW151>F;151;1.00;мм;;;;;;</ROW151>"));
        const CReportData loaded = CReportFile::Parse(document).report;
        QCOMPARE(loaded.rows.size(), 150);
        QCOMPARE(loaded.rows.last().at(1), QStringLiteral("150"));
    }

    void shortRowsAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("rows"); // rows joined back with ";"
        QTest::newRow("empty row last")
            << QByteArray("<ROW1>a;b;c;d;e;f</ROW1><ROW2>;;;;;;;;;</ROW2>")
            << QStringList{"a;b;c;d;e;f"};
        QTest::newRow("empty row between")
            << QByteArray("<ROW1>;;;;;;;;;</ROW1><ROW2>0123456789</ROW2>")
            << QStringList{"", "0123456789"};
        QTest::newRow("nine characters") << QByteArray("<ROW1>012345678</ROW1>") << QStringList{};
        QTest::newRow("missing first row")
            << QByteArray("<ROW2>;;;;;;;;;x</ROW2>") << QStringList{"", ";;;;;;;;;x"};
        QTest::newRow("case ignored")
            << QByteArray("<row1>1;2;3;4;5;6</row1>") << QStringList{"1;2;3;4;5;6"};
    }
    void shortRowsAreSkipped()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, rows);
        const QByteArray document = "<!DOCTYPE KorvalentReport><KorvalentReport><RESULTS_TABLE>" +
                                    table + "</RESULTS_TABLE></KorvalentReport>";
        const CReportFile::LoadResult loaded = CReportFile::Parse(document);
        QCOMPARE(loaded.status, CReportFile::LoadResult::Ok);
        QStringList joined;
        for (const QStringList& cells : loaded.report.rows)
            joined << cells.join(QLatin1Char(';'));
        QCOMPARE(joined, rows);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        QTest::newRow("data file root")
            << QByteArray("<!DOCTYPE KorvalentDataFile>\n<KorvalentDataFile>\n <NAME>x</NAME>\n"
                          "</KorvalentDataFile>\n")
            << int(CReportFile::LoadResult::WrongKind);
        QTest::newRow("not closed") << QByteArray("<KorvalentReport><NAME1>x</KorvalentReport>")
                                    << int(CReportFile::LoadResult::ParseFailed);
        QTest::newRow("empty file") << QByteArray() << int(CReportFile::LoadResult::ParseFailed);
        QTest::newRow("root in other case")
            << QByteArray("<korvalentreport><NAME1>x</NAME1></korvalentreport>")
            << int(CReportFile::LoadResult::Ok);
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        const CReportFile::LoadResult loaded = CReportFile::Parse(content, FullReport());
        QCOMPARE(int(loaded.status), status);
        if (status == CReportFile::LoadResult::ParseFailed)
            QVERIFY(!loaded.parserError.isEmpty());
    }

    void fieldValuesOnLoad_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        const QString longText(300, QLatin1Char('x'));
        QTest::newRow("number cut to 128") << "CONCLUTION_NUMBER" << longText << longText.left(128);
        QTest::newRow("gauge cut to 16") << "DEVICE_DESCRIPTION" << longText << longText.left(16);
        QTest::newRow("gauge serial cut to 10")
            << "DEVICE_SERIAL_NUMBER" << longText << longText.left(10);
        QTest::newRow("transducer serial cut to 10") << "PEP_SERIAL_NUMBER"
                                                     << "12345678901"
                                                     << "1234567890";
        QTest::newRow("name cut to 64") << "NAME2" << longText << longText.left(64);
        QTest::newRow("level cut to 1") << "LEVEL3"
                                        << "23"
                                        << "2";
        QTest::newRow("card number whole") << "CARD1" << longText << longText;
        QTest::newRow("conclusion whole") << "CONCLUSION" << longText << longText;
        QTest::newRow("missing key empties") << "NO_SUCH"
                                             << "x"
                                             << "";
        QTest::newRow("date read") << "CARD_DATE2"
                                   << "29.02.2024"
                                   << "29.02.2024";
        QTest::newRow("unparsable date kept") << "CARD_DATE2"
                                              << "31.02.2024"
                                              << "16.03.2024";
        QTest::newRow("missing date kept") << "NO_SUCH"
                                           << "x"
                                           << "16.03.2024";
        QTest::newRow("early date raised") << "CARD_DATE2"
                                           << "01.01.1999"
                                           << "01.01.2000";
        QTest::newRow("key case ignored") << "name2"
                                          << "Петров"
                                          << "Петров";
    }
    void fieldValuesOnLoad()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const QByteArray document = "<!DOCTYPE KorvalentReport><KorvalentReport><" + key.toUtf8() +
                                    ">" + stored.toUtf8() + "</" + key.toUtf8() +
                                    "></KorvalentReport>";
        const CReportFile::LoadResult loaded = CReportFile::Parse(document, FullReport());
        QCOMPARE(loaded.status, CReportFile::LoadResult::Ok);
        const bool dateRow = QByteArray(QTest::currentDataTag()).contains("date");
        const CReportData::Field field =
            dateRow ? CReportData::CardDate2
                    : (key.compare("name2", Qt::CaseSensitive) == 0 ? CReportData::Name2
                                                                    : CReportData::Field(-1));
        for (int f = 0; f < CReportData::FieldCount; ++f)
            if (CReportData::Key(CReportData::Field(f)) == key)
                QCOMPARE(loaded.report.Text(CReportData::Field(f)), shown);
        if (field >= 0)
            QCOMPARE(loaded.report.Text(field), shown);
        // Every other field that is no date is emptied by the missing key.
        QCOMPARE(loaded.report.Text(CReportData::ObjectOwner), QString());
        QCOMPARE(loaded.report.statistics.first(), QString());
    }

    void generationPlacesEachValueOnce()
    {
        CReportData report = FullReport();
        report.SetText(CReportData::ObjectOfControl, QStringLiteral("<b>Котёл</b> #NAME1"));
        report.SetText(CReportData::Name1, QStringLiteral("Иванов #CONCLUTION_NUMBER"));
        report.SetText(CReportData::CardDate3, QStringLiteral("01.01.2020"));
        report.rows = {{"R", "1", "#NAME2", "", "", "", "", "", "", ""}};
        const QString html = CReportDocument::Generate(CReportDocument::Template(), report,
                                                       QDate(2026, 3, 5), QStringLiteral("Korv"));

        QVERIFY(html.contains(
            QStringLiteral("<title>Korv - Заключение по ультразвуковой толщинометрии</title>")));
        // Markup escaped; a placeholder inside a value, earlier or later, stays text.
        QVERIFY(html.contains(QStringLiteral(">&lt;b&gt;Котёл&lt;/b&gt; #NAME1</span>")));
        QVERIFY(html.contains(QStringLiteral(">Иванов #CONCLUTION_NUMBER</span>")));
        QVERIFY(html.contains(QStringLiteral(">LOS</span></p>"))); // "#NAME2" is no thickness
        QCOMPARE(html.count(QStringLiteral(">05.03.2026</span>")), 3);
        QVERIFY(html.contains(QStringLiteral("от 01.01.2020</span>")));
        QVERIFY(html.contains(QStringLiteral(">CONCLUTION_NUMBER поле0 от 11.03.2024</span>")));
        QVERIFY(html.contains(QStringLiteral(">10.5</span>"))); // dispersion
        QVERIFY(!html.contains(QStringLiteral("#DATA_TABLE_ROWS")));
        QVERIFY(!html.contains(QStringLiteral("#DATE")));
    }

    // Fields that repeat placeholders do not multiply: the document is the
    // template plus the values, whatever they hold.
    void documentSizeIsBoundedByTheValues()
    {
        CReportData report;
        QString placeholders;
        for (const auto& [placeholder, value] :
             CReportDocument::Values(report, QDate(2026, 3, 5), QStringLiteral("K")))
            placeholders += placeholder;
        placeholders += QStringLiteral("#DATA_TABLE_ROWS");
        qsizetype values = 0;
        for (int f = 0; f < CReportData::FieldCount; ++f)
        {
            report.SetText(CReportData::Field(f), placeholders.repeated(20));
            values += CReportDocument::Escaped(report.Text(CReportData::Field(f))).size();
        }
        const QString templateText = CReportDocument::Template();
        const QString html =
            CReportDocument::Generate(templateText, report, QDate(2026, 3, 5), QStringLiteral("K"));
        QVERIFY(html.size() <= templateText.size() + values + 200);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        QTest::newRow("markup") << "t<8 mm & \"a\" 'b' >"
                                << "t&lt;8 mm &amp; &quot;a&quot; &#39;b&#39; &gt;";
        QTest::newRow("entity stays text") << "&nbsp;&#60;"
                                           << "&amp;nbsp;&amp;#60;";
        QTest::newRow("CR LF, LF, CR") << "a\r\nb\nc\rd\r\n\r\n"
                                       << "a<br />b<br />c<br />d<br /><br />";
        QTest::newRow("LF CR is two") << "a\n\rb"
                                      << "a<br /><br />b";
        QTest::newRow("separators") << QString::fromUtf16(u"a\u2028b\u2029c") << "a<br />b<br />c";
        const QString zwsp(QChar(0x200B));
        QTest::newRow("long run wraps")
            << QString(100, 'x') + " " + QString(65, 'y')
            << QString(64, 'x') + zwsp + QString(16, 'x') + zwsp + QString(16, 'x') + zwsp +
                   QString(4, 'x') + " " + QString(64, 'y') + zwsp + "y";
        QTest::newRow("plain") << "Иванов И.И. #NAME1"
                               << "Иванов И.И. #NAME1";
    }
    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, html);
        QCOMPARE(CReportDocument::Escaped(text), html);
    }

    // Whatever a field holds comes out of the PDF as it was typed.
    void pdfShowsTextsAsTyped_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown"); // as pdftotext gives it
        const int line = CReportData::ReasonOfTesting;
        const int plain = CReportData::Conclusion;
        QTest::newRow("less than") << line << "НК плановый, t<8 mm"
                                   << "НК плановый, t<8 mm";
        QTest::newRow("markup characters") << line << "a > b & c \"d\" 'e'"
                                           << "a > b & c \"d\" 'e'";
        QTest::newRow("placeholder") << int(CReportData::ObjectOwner) << "#NAME1 и #DATE1"
                                     << "#NAME1 и #DATE1";
        QTest::newRow("rows placeholder") << line << "#DATA_TABLE_ROWS"
                                          << "#DATA_TABLE_ROWS";
        QTest::newRow("device image") << line << "<img src=\"/dev/zero\">"
                                      << "<img src=\"/dev/zero\">";
        QTest::newRow("file URL image") << line << "<img src='file:///etc/shadow'>"
                                        << "<img src='file:///etc/shadow'>";
        const QString nested = QString("<table><tr><td>").repeated(16) + "x" +
                               QString("</td></tr></table>").repeated(16);
        QTest::newRow("nested tables") << plain << nested << nested;
        const QString word = QStringLiteral("Ремонт").repeated(40);
        QTest::newRow("long word") << plain << word << word;
        QTest::newRow("CR LF lines") << plain << "Годен.\r\nРемонт не нужен.\rСрок 1 год.\nВсё"
                                     << "Годен.\nРемонт не нужен.\nСрок 1 год.\nВсё";
        QTest::newRow("multi-line organisation")
            << int(CReportData::OrganizationName) << "ООО «Вектор»\nлаборатория НК"
            << "ООО «Вектор»\nлаборатория НК";
    }
    void pdfShowsTextsAsTyped()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        KV_REQUIRE_PDFTOTEXT();
        CReportData report = FullReport();
        report.SetText(CReportData::Field(field), text);
        const QString path = m_dir.filePath(QStringLiteral("typed.pdf"));
        const QString html = CReportDocument::Generate(CReportDocument::Template(), report,
                                                       QDate(2026, 3, 5), QStringLiteral("K"));
        QVERIFY(CReportDocument::WritePdf(html, path).Ok());
        QString pdf = PdfToText(path);
        // A long line is wrapped on the page.
        if (!shown.contains(QLatin1Char('\n')))
            pdf.remove(QLatin1Char('\n'));
        QVERIFY2(pdf.contains(shown), qPrintable(pdf.left(2000)));
        // The other fields are where they were, not replaced by this one.
        QCOMPARE(pdf.count(QStringLiteral("NAME1 поле")), 1);
    }

    // The document's own loader refuses every outside resource, whatever
    // the markup names (the template is the only markup left).
    void outsideResourcesAreRefused_data()
    {
        QTest::addColumn<QString>("markup"); // %1: a 300 x 200 picture on disk
        QTest::addColumn<QString>("name");   // the resource name it asks for
        QTest::newRow("device") << "<img src=\"/dev/zero\">"
                                << "/dev/zero";
        QTest::newRow("picture path") << "<img src=\"%1\">"
                                      << "%1";
        QTest::newRow("picture URL") << "<img src=\"file://%1\">"
                                     << "file://%1";
        QTest::newRow("relative picture") << "<img src=\"picture.png\">"
                                          << "picture.png";
        QTest::newRow("network") << "<img src=\"http://127.0.0.1:9/x.png\">"
                                 << "http://127.0.0.1:9/x.png";
        QTest::newRow("background") << "<table background=\"%1\"><tr><td>x</td></tr></table>"
                                    << "%1";
        QTest::newRow("style sheet")
            << "<link rel=\"stylesheet\" type=\"text/css\" href=\"%1\"><p>x</p>"
            << "%1";
    }
    void outsideResourcesAreRefused()
    {
        QFETCH(QString, markup);
        QFETCH(QString, name);
        const QString picture = m_dir.filePath(QStringLiteral("picture.png"));
        if (!QFile::exists(picture))
        {
            QImage image(300, 200, QImage::Format_RGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(picture));
        }
        QVERIFY(QDir::setCurrent(m_dir.path()));

        CReportTextDocument document;
        document.setHtml(markup.arg(picture));
        CReportDocument::LayOut(&document, QSizeF(600, 800));
        QVERIFY(document.pageCount() >= 1);
        // A refused image is drawn as the toolkit's small placeholder.
        const QUrl url(name.arg(picture));
        QVERIFY(document.resource(QTextDocument::ImageResource, url).value<QImage>().size() !=
                QSize(300, 200));
        QVERIFY(document.resource(QTextDocument::StyleSheetResource, url).isNull());
        QVERIFY(!CReportTextDocument::IsOwnResource(url));
    }

    void ownResourcesAreLoaded()
    {
        QVERIFY(CReportTextDocument::IsOwnResource(QUrl(QStringLiteral("qrc:/a/b.png"))));
        QVERIFY(CReportTextDocument::IsOwnResource(QUrl(QStringLiteral(":/a/b.png"))));
        QVERIFY(!CReportTextDocument::IsOwnResource(QUrl(QStringLiteral("qrc://host/a.png"))));
        QVERIFY(
            !CReportTextDocument::IsOwnResource(QUrl(QStringLiteral("data:image/png;base64,AA"))));
        CReportTextDocument document;
        const QUrl own(QLatin1String("qrc") + CReportDocument::TemplatePath());
        QCOMPARE(document.resource(QTextDocument::StyleSheetResource, own).toByteArray().left(9),
                 QByteArray("<!DOCTYPE"));
    }

    void dataRowFragment()
    {
        CReportData report;
        report.rows = {{"F", "1", "2.5", "мм", "<i>M</i>", "6", "Н/Д", "8", "9", "10"}};
        const QString open = QStringLiteral("<p align=\"center\">\n");
        auto value = [](const char* text)
        {
            return QStringLiteral("<span style=\"font-size:8.5pt;font-family:'Times New "
                                  "Roman','serif'\">%1</span></p>\n")
                .arg(QString::fromUtf8(text));
        };
        const QString expected =
            "<tr>\n<td width=\"71\">\n" + open +
            "<span style=\"font-size:12pt;font-family:'Times New Roman','serif'\">&nbsp;</span>\n" +
            value("F") + "</td>\n<td width=\"71\">\n" + open + value("1") +
            "</td>\n<td width=\"71\">\n" + open + value("2.5") + "</td>\n<td width=\"71\">\n" +
            open + value("мм") + "</td>\n<td width=\"71\">\n" + open +
            value("&lt;i&gt;M&lt;/i&gt;") + "</td>\n<td width=\"71\">\n" + open + value("6") +
            "</td>\n<td width=\"71\">\n" + open + value("Н/Д") + "</td>\n<td width=\"90\">\n" +
            open + value("8") + "</td>\n<td width=\"57\">\n" + open + value("9") +
            "</td>\n<td width=\"66\">\n" + open + value("10") + "</td>\n</tr>\n";
        QCOMPARE(CReportDocument::DataRows(report), expected);

        // No rows: the table keeps its two header rows only.
        const QString empty = CReportDocument::Generate(CReportDocument::Template(), CReportData(),
                                                        QDate(2026, 3, 5), "K");
        QVERIFY(empty.contains(QStringLiteral(">10</span></p></td>\n</tr>\n</thead>\n\n</table>")));
    }

    // The printed table says LOS where a result fails the validity rule; the
    // rows themselves (model, report file) keep their texts.
    void losResults_data()
    {
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("units");
        const QString mm = QStringLiteral("мм");
        QTest::newRow("zero") << "0.00"
                              << "LOS" << mm;
        QTest::newRow("below") << "0.39"
                               << "LOS" << mm;
        QTest::newRow("lowest valid") << "0.40"
                                      << "0.40" << mm;
        QTest::newRow("highest valid") << "600.00"
                                       << "600.00" << mm;
        QTest::newRow("above") << "600.01"
                               << "LOS" << mm;
        QTest::newRow("no number") << "abc"
                                   << "LOS" << mm;
        QTest::newRow("typical") << "5.20"
                                 << "5.20" << mm;
        // Inches are judged in the same physical range: 0.4 ... 600 mm.
        QTest::newRow("thin wall in inches") << "0.24"
                                             << "0.24"
                                             << "дюйм";
        QTest::newRow("beyond the range in inches") << "24.00"
                                                    << "LOS"
                                                    << "дюйм";
    }
    void losResults()
    {
        QFETCH(QString, result);
        QFETCH(QString, printed);
        QFETCH(QString, units);
        CReportData report;
        report.rows = {{"F", "1", result, units, "", "", "", "", "", ""}};
        const QString cell = QStringLiteral("'serif'\">%1</span></p>\n</td>\n<td width=\"71\">\n"
                                            "<p align=\"center\">\n<span style=\"font-size:8.5pt;"
                                            "font-family:'Times New Roman','serif'\">%2<");
        QVERIFY(CReportDocument::DataRows(report).contains(cell.arg(printed, units)));
        QCOMPARE(report.rows.first().at(2), result);
    }

    // A long table continues on the next page under its two header rows.
    void headerRowsRepeatOnEveryPage()
    {
        KV_REQUIRE_PDFTOTEXT();
        CReportData report = FullReport();
        report.rows.clear();
        for (int r = 0; r < 150; ++r)
            report.rows.append({"Труба-1", QString::number(r + 1), "5.20", "мм", "Сталь",
                                "5920 м/c", "Н/Д", "21 C°", "14:05", "15.04.2029"});
        const QString path = m_dir.filePath(QStringLiteral("long.pdf"));
        const QString html = CReportDocument::Generate(CReportDocument::Template(), report,
                                                       QDate(2026, 3, 5), QStringLiteral("K"));
        QVERIFY(CReportDocument::WritePdf(html, path).Ok());
        const QStringList pages = PdfPages(path);
        QVERIFY(pages.size() >= 3);
        for (int page = 1; page < 3; ++page)
            QVERIFY2(pages.at(page).simplified().startsWith(HeaderRowsText()),
                     qPrintable(pages.at(page).left(300)));
        QVERIFY(!pages.at(0).simplified().startsWith(HeaderRowsText()));
    }

    void sourceOfLoadedRows_data()
    {
        QTest::addColumn<QStringList>("names"); // column 0 of each row
        QTest::addColumn<QString>("source");
        QTest::newRow("one file") << QStringList{"Труба-1", "Труба-1"} << "Труба-1";
        QTest::newRow("empty rows between") << QStringList{"", "Труба-1", ""} << "Труба-1";
        QTest::newRow("two files") << QStringList{"Труба-1", "Котёл-2"} << "";
        QTest::newRow("no rows") << QStringList{} << "";
    }
    void sourceOfLoadedRows()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, source);
        QList<QStringList> rows;
        for (const QString& name : names)
            rows.append({name, "1", "5.20"});
        const CReportSource fromRows = CReportSource::FromRows(rows);
        QCOMPARE(fromRows.Name(), source);
        QCOMPARE(fromRows.IsKnown(), !source.isEmpty());
    }

    void statisticsNotReachedShowNd_data()
    {
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("values");
        const QString nd = Nd();
        QTest::newRow("all LOS") << QStringList{"0.00", "700.00", "LOS"}
                                 << QStringList{"3", "0", "3", nd, nd, nd, nd, nd, nd, nd, nd};
        QTest::newRow("one valid")
            << QStringList{"0.39", "5.00", "600.01"}
            << QStringList{"3", "1", "2", "5.00", "5.00", "5.00", nd, "0.00", nd, nd, nd};
        QTest::newRow("boundaries valid")
            << QStringList{"0.4", "600"}
            << QStringList{"2",      "2",      "0",       "0.40",    "600.00",   "300.20",
                           "300.20", "599.60", "423.981", "299.800", "89880.047"};
    }
    void statisticsNotReachedShowNd()
    {
        QFETCH(QStringList, results);
        QFETCH(QStringList, values);
        QList<QStringList> rows;
        for (const QString& r : results)
            rows.append({"F", "1", r, "", "", "", "", "", "", ""});
        CReportData report;
        report.statistics = QStringList(11, QStringLiteral("old"));
        report.SetStatistics(CReportData::RowStatistics(rows));
        QCOMPARE(report.statistics, values);
    }

    void pdfHoldsTheReport()
    {
        KV_REQUIRE_PDFTOTEXT();
        CReportData report = FullReport();
        report.SetText(CReportData::OrganizationName, QStringLiteral("ООО «Вектор-НК»"));
        const QString path = m_dir.filePath(QStringLiteral("Заключение.pdf"));
        const QString html = CReportDocument::Generate(
            CReportDocument::Template(), report, QDate(2026, 3, 5), QStringLiteral("Korvalent"));
        QVERIFY(CReportDocument::WritePdf(html, path).Ok());
        const QString text = PdfToText(path).simplified();
        for (const char* expected :
             {"ООО «Вектор-НК»", "Заключение № CONCLUTION_NUMBER поле0 от 11.03.2024",
              "По ультразвуковой толщинометрии объекта контроля", "Результаты контроля объекта",
              "15.04.2029", "Приложение к результатам контроля",
              "Контроль проведен:", "Специалист 1 уровня АК,", "(подпись)", "05.03.2026"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        // The rightmost column is on the page, not cut off.
        QVERIFY(text.contains(QStringLiteral("Дата")));
        QVERIFY(!text.contains(QStringLiteral("#")));
    }

    void failedPdfKeepsOldFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("old.pdf"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous");
        }
        const QString html = CReportDocument::Generate(CReportDocument::Template(), FullReport(),
                                                       QDate(2026, 3, 5), "K");
        CSafeSave::Result result;
        {
            CFileSizeLimit limit(8192);
            result = CReportDocument::WritePdf(html, path);
        }
        QVERIFY(!result.Ok());
        QCOMPARE(ReadFile(path), QByteArray("previous"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("old.pdf").size(),
                 1);
        QVERIFY(!CReportDocument::WritePdf(html, m_dir.path()).Ok());
    }
};

QTEST_MAIN(TestReportCore)
#include "tst_report_core.moc"
