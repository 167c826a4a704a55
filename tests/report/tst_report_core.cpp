#include "core/CClock.h"
#include "data/StatisticsRows.h"
#include "report/CReportDocument.h"
#include "report/CReportFile.h"
#include "tests/report/ReportTestSupport.h"

#include <QDir>
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

    void generationReplacesInOrder()
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
        // Markup verbatim; a later placeholder inside a value replaced, an
        // earlier one left; the data rows come last and stay as they are.
        QVERIFY(html.contains(QStringLiteral("<b>Котёл</b> Иванов #CONCLUTION_NUMBER</span>")));
        QVERIFY(html.contains(QStringLiteral(">#NAME2</span></p>")));
        QCOMPARE(html.count(QStringLiteral(">05.03.2026</span>")), 3);
        QVERIFY(html.contains(QStringLiteral("от 01.01.2020</span>")));
        QVERIFY(html.contains(QStringLiteral(">CONCLUTION_NUMBER поле0 от 11.03.2024</span>")));
        QVERIFY(html.contains(QStringLiteral(">10.5</span>"))); // dispersion
        QVERIFY(!html.contains(QStringLiteral("#DATA_TABLE_ROWS")));
        QVERIFY(!html.contains(QStringLiteral("#DATE")));
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
            open + value("мм") + "</td>\n<td width=\"71\">\n" + open + value("<i>M</i>") +
            "</td>\n<td width=\"71\">\n" + open + value("6") + "</td>\n<td width=\"71\">\n" + open +
            value("Н/Д") + "</td>\n<td width=\"90\">\n" + open + value("8") +
            "</td>\n<td width=\"57\">\n" + open + value("9") + "</td>\n<td width=\"66\">\n" + open +
            value("10") + "</td>\n</tr>\n";
        QCOMPARE(CReportDocument::DataRows(report), expected);

        // No rows: the table keeps its two header rows only.
        const QString empty = CReportDocument::Generate(CReportDocument::Template(), CReportData(),
                                                        QDate(2026, 3, 5), "K");
        QVERIFY(empty.contains(QStringLiteral(">10</span></p></td>\n</tr>\n\n</table>")));
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
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        CReportData report = FullReport();
        report.SetText(CReportData::OrganizationName, QStringLiteral("ООО «Вектор-НК»"));
        const QString path = m_dir.filePath(QStringLiteral("Заключение.pdf"));
        const QString html = CReportDocument::Generate(
            CReportDocument::Template(), report, QDate(2026, 3, 5), QStringLiteral("Korvalent"));
        QVERIFY(CReportDocument::WritePdf(html, path).Ok());
        const QString text = PdfText(path).simplified();
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
            FileSizeLimit limit(8192);
            result = CReportDocument::WritePdf(html, path);
        }
        QVERIFY(!result.Ok());
        QCOMPARE(ReadAll(path), QByteArray("previous"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("old.pdf").size(),
                 1);
        QVERIFY(!CReportDocument::WritePdf(html, m_dir.path()).Ok());
    }
};

QTEST_MAIN(TestReportCore)
#include "tst_report_core.moc"
