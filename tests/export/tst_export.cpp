#include "data/CAnsiText.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "export/CBiff8Workbook.h"
#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"
#include "export/CResultsTable.h"
#include "export/CTableSource.h"
#include "export/CXlsxWorkbook.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/export/ExportTestSupport.h"

#include <QtTest>

namespace
{
const QString kSheetName = QStringLiteral("Отчётная таблица");

// Results texts that exercise the red rule and the texts a spreadsheet
// might otherwise turn into numbers, dates or formulas.
QList<QStringList> RuleRows()
{
    return {
        {"0.39", "мм", "Сталь", "5920 м/c", "П112-5", "012345", "21 C°", "09:05", "01.02.2026"},
        {"600.5", "дюйм", "Нерж. сталь", "5740 м/c", "P112", "123456", "-5 C°", "23:59", ""},
        {"0.4", "мм", "Н/Д", "5920 м/c", "П112", "1", "0 C°", "", "31.12.2026"},
        {"600.00", "мм", "Чугун", "4600 м/c", "П", "2", "1 C°", "00:00", "29.02.2028"},
        {"LOS", "мм", "=1+1", "1e5", "@x", "0001", "", "12:00", "1.5"},
        {"12.50", "мм", "Латунь", "4430 м/c", "П112-10", "99", "45 C°", "07:30", "05.05.2025"},
        {"", "мм", "Сталь", "5920 м/c", "П112", "3", "2 C°", "08:00", "06.05.2025"},
        // Inch results are judged in the same physical range: 0.39 inch is a
        // 10 mm wall, 23.63 inch is beyond 600 mm.
        {"0.39", "дюйм", "Сталь", "5920 м/c", "П112", "4", "2 C°", "08:01", "06.05.2025"},
        {"0.02", "дюйм", "Сталь", "5920 м/c", "П112", "5", "2 C°", "08:02", "06.05.2025"},
        {"0.01", "дюйм", "Сталь", "5920 м/c", "П112", "6", "2 C°", "08:03", "06.05.2025"},
        {"23.62", "дюйм", "Сталь", "5920 м/c", "П112", "7", "2 C°", "08:04", "06.05.2025"},
        {"23.63", "дюйм", "Сталь", "5920 м/c", "П112", "8", "2 C°", "08:05", "06.05.2025"},
    };
}

// Column 0 of RuleRows(): which results are red.
const QList<bool> kRuleRed{true, true,  false, false, true,  false,
                           true, false, false, true,  false, true};

QList<QStringList> HostileRows()
{
    return {{QStringLiteral("a\"b"), QStringLiteral("x;y"), QStringLiteral("line1\nline2")},
            {QStringLiteral("cr\r\nlf"), QStringLiteral("\";=HYPERLINK(\"http://x\")"),
             QStringLiteral(";")},
            {QStringLiteral("\""), QStringLiteral("\"\""), QStringLiteral("Труба \"№1\"; низ")},
            {QStringLiteral("=1+1"), QStringLiteral("plain"), QString()}};
}
} // namespace

class TestExport : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    QString Path(const QString& name) const { return m_env->Root() + QLatin1Char('/') + name; }

    // Everything either workbook writer reads of a sheet.
    static bool SameSheets(const CResultsSheet& a, const CResultsSheet& b)
    {
        if (a.name != b.name || a.rowCount != b.rowCount || a.columnCount != b.columnCount ||
            a.cells.size() != b.cells.size())
            return false;
        for (int i = 0; i < a.cells.size(); ++i)
        {
            const CResultsSheet::Cell& x = a.cells.at(i);
            const CResultsSheet::Cell& y = b.cells.at(i);
            if (x.row != y.row || x.column != y.column || x.text != y.text || x.style != y.style)
                return false;
        }
        return true;
    }

    static bool HaveXlrd()
    {
        return !ExportTest::RunPython(
                    {QStringLiteral("-c"), QStringLiteral("import xlrd; print(1)")})
                    .isEmpty();
    }

    // Every cell of a read-back sheet against the model it came from: text,
    // string type, "@", centred, bold header, the red rule on column A only.
    static void CompareSheet(const QJsonObject& sheet, const QStringList& headers,
                             const QList<QStringList>& rows, const QList<bool>& red)
    {
        QCOMPARE(sheet.value("sheets").toArray().first().toString(), kSheetName);
        QCOMPARE(sheet.value("rows").toInt(), int(rows.size()) + 1);
        QCOMPARE(sheet.value("columns").toInt(), int(headers.size()));
        for (int c = 0; c < headers.size(); ++c)
        {
            const double width =
                sheet.value("widths").toObject().value(QString::number(c)).toDouble();
            // LibreOffice reads 15 × 256 back as 14.99.
            QVERIFY2(width >= 14.98 && width < 16.0, qPrintable(QString::number(width)));
        }
        for (int r = 0; r <= rows.size(); ++r)
        {
            for (int c = 0; c < headers.size(); ++c)
            {
                const QJsonObject cell = ExportTest::Cell(sheet, r, c);
                const QString where = QStringLiteral("row %1 column %2").arg(r).arg(c);
                const QString expected = r == 0 ? headers.at(c) : rows.at(r - 1).at(c);
                if (expected.isEmpty() && cell.value("type").toString() == QLatin1String("blank"))
                    ; // an empty text may be a blank cell
                else
                    QVERIFY2(cell.value("type").toString() == QLatin1String("string"),
                             qPrintable(where));
                QVERIFY2(cell.value("text").toString() == expected, qPrintable(where));
                QVERIFY2(cell.value("format").toString() == QLatin1String("@"), qPrintable(where));
                QVERIFY2(cell.value("align").toString() == QLatin1String("center"),
                         qPrintable(where));
                QVERIFY2(cell.value("bold").toBool() == (r == 0), qPrintable(where));
                const bool isRed = r > 0 && c == 0 && red.at(r - 1);
                QVERIFY2(cell.value("rgb").toString() ==
                             (isRed ? QLatin1String("FF0000") : QLatin1String("000000")),
                         qPrintable(where + QLatin1Char(' ') + cell.value("rgb").toString()));
            }
        }
    }

    // One row per file format.
    static void FormatRows(bool withCsv)
    {
        QTest::addColumn<QString>("kind");
        if (withCsv)
            QTest::newRow("csv") << "csv";
        QTest::newRow("xls") << "xls";
        QTest::newRow("xlsx") << "xlsx";
    }

    QString SaveDatabase(const DataFileList& files)
    {
        const QString path = Path(QStringLiteral("db.kdb"));
        return CDataStorage::SaveDatabaseFile(path, files) ? path : QString();
    }

    using Run = CProgramRun;
    static Run Cli(const QStringList& arguments)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI), arguments, 60000);
    }

private Q_SLOTS:
    void initTestCase() { m_env = std::make_unique<CTestEnvironment>(); }

    // A data file of two cells: three lines ending in ";" CR LF, the bytes
    // in windows-1251 as iconv encodes them.
    void csvTwoCells()
    {
        using namespace DataTest;
        QStandardItemModel model;
        CResultsModels::ResetResults(&model);
        CResultsModels::FillResults(
            &model, File(QStringLiteral("Труба"), {MmCell(12.5), Cell(0x03, 1, 5, 5740, "X9")}),
            {});
        const QByteArray bytes = CCsvWriter::Bytes(model);

        const QString expected = QStringLiteral(
            "Результат;Ед. изм.;Материал;Скорость;ПЭП/Идент;ПЭП/Сер. №;Температура;Время "
            "замера;Дата замера;\r\n"
            "=\"12.50\";=\"мм\";=\"Н/Д\";=\"5920 м/c\";=\"P112\";=\"123456\";=\"21 C°\";"
            "=\"14:05\";=\"15.04.2029\";\r\n"
            "=\"1.5\";=\"дюйм\";=\"Н/Д\";=\"5740 м/c\";=\"X9\";=\"123456\";=\"21 C°\";"
            "=\"14:05\";=\"15.04.2029\";\r\n");
        QProcess iconv;
        iconv.start(QStringLiteral("iconv"),
                    {QStringLiteral("-f"), QStringLiteral("UTF-8"), QStringLiteral("-t"),
                     QStringLiteral("WINDOWS-1251")});
        iconv.write(expected.toUtf8());
        iconv.closeWriteChannel();
        QVERIFY(iconv.waitForFinished(10000));
        const QByteArray expectedBytes = iconv.readAllStandardOutput();
        QVERIFY(!expectedBytes.isEmpty());
        QCOMPARE(bytes, expectedBytes);
        QCOMPARE(bytes.indexOf(';'), 9); // "Результат": one byte a letter
        QCOMPARE(bytes.count("\r\n"), 3);
    }

    void csvFields_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "12.50"
                               << "=\"12.50\";";
        QTest::newRow("empty time") << ""
                                    << "=\"\";";
        QTest::newRow("formula-like stays text") << "=1+1"
                                                 << "=\"=1+1\";";
        QTest::newRow("double quote doubled") << "a\"b"
                                              << "=\"a\"\"b\";";
        QTest::newRow("semicolon: whole field quoted") << "x;y"
                                                       << "\"=\"\"x;y\"\"\";";
        QTest::newRow("line feed") << "a\nb"
                                   << "\"=\"\"a\nb\"\"\";";
        QTest::newRow("carriage return") << "a\rb"
                                         << "\"=\"\"a\rb\"\"\";";
        QTest::newRow("quote and semicolon") << "\";=X(\""
                                             << "\"=\"\"\"\"\"\";=X(\"\"\"\"\"\"\";";
    }
    void csvFields()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(CCsvWriter::ValueField(text), field);
    }

    // Hostile texts come back exactly through Python's csv module.
    void csvHostileReadBack()
    {
        QStandardItemModel model;
        ExportTest::FillModel(&model, {"A;1", "B\"", "C"}, HostileRows());
        const QString path = Path(QStringLiteral("hostile.csv"));
        QVERIFY(CCsvWriter::Save(path, model).Ok());
        QString error;
        const QList<QStringList> rows = ExportTest::ReadCsv(path, &error);
        QVERIFY2(!rows.isEmpty(), qPrintable(error));
        QCOMPARE(rows.first(), QStringList({"A;1", "B\"", "C"}));
        QCOMPARE(rows.mid(1), HostileRows());
    }

    // LibreOffice evaluates the formulas on import: each cell shows the text.
    void csvLibreOffice()
    {
        if (ExportTest::LibreOffice().isEmpty())
            QSKIP("LibreOffice is not installed");
        QStandardItemModel model;
        QList<QStringList> rows = HostileRows();
        rows << QStringList{"Отвод-6", "0012", "01.02.2026"};
        ExportTest::FillModel(&model, {"Результат", "Ед. изм.", "Дата замера"}, rows);
        const QString csv = Path(QStringLiteral("lo.csv"));
        QVERIFY(CCsvWriter::Save(csv, model).Ok());
        const QString out = Path(QStringLiteral("lo-out"));
        // 59 ";", 34 '"', 34 windows-1251, from line 1.
        QVERIFY(ExportTest::ConvertToXlsx({csv}, out, Path(QStringLiteral("lo-profile")),
                                          QStringLiteral("CSV:59,34,34,1")));
        QString error;
        const QJsonObject sheet =
            ExportTest::ReadWorkbook(out + QStringLiteral("/lo.xlsx"), "xlsx", &error);
        QVERIFY2(!sheet.isEmpty(), qPrintable(error));
        QCOMPARE(sheet.value("rows").toInt(), int(rows.size()) + 1);
        QCOMPARE(sheet.value("columns").toInt(), 3);
        QCOMPARE(ExportTest::Cell(sheet, 0, 1).value("text").toString(),
                 QStringLiteral("Ед. изм."));
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < 3; ++c)
            {
                const QString text = rows.at(r).at(c);
                const QString read = ExportTest::Cell(sheet, r + 1, c).value("text").toString();
                // LibreOffice does not evaluate a formula that spans lines:
                // it shows the formula as text, still in its own cell.
                if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
                {
                    QString formula = text;
                    formula.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                    formula.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                    formula = QStringLiteral("=\"") + formula + QStringLiteral("\"");
                    QCOMPARE(read, formula);
                }
                else
                    QCOMPARE(read, text);
            }
    }

    // A missing header or item contributes nothing, not even its ";".
    void csvMissingItems()
    {
        QStandardItemModel model(2, 3);
        model.setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("A")));
        model.setHorizontalHeaderItem(2, new QStandardItem(QStringLiteral("C")));
        model.setItem(0, 0, new QStandardItem(QStringLiteral("1")));
        model.setItem(0, 2, new QStandardItem(QStringLiteral("3")));
        model.setItem(1, 1, new QStandardItem(QString()));
        QCOMPARE(CCsvWriter::Bytes(model), QByteArray("A;C;\r\n=\"1\";=\"3\";\r\n=\"\";\r\n"));
        // The workbook leaves the same positions untouched.
        const CResultsSheet sheet = CResultsSheet::FromModel(model);
        QCOMPARE(sheet.cells.size(), 5);
        QCOMPARE(sheet.cells.at(4).row, 2);
        QCOMPARE(sheet.cells.at(4).column, 1);
    }

    void workbook_data() { FormatRows(false); }
    void workbook()
    {
        QFETCH(QString, kind);
        if (!HaveXlrd())
            QSKIP("python3-xlrd is not installed");
        QStandardItemModel model;
        ExportTest::FillModel(&model, CCellDecoder::Headers(), RuleRows());
        const QString path = Path(QStringLiteral("rule.") + kind);
        QVERIFY(CResultsSheet::FromModel(model).Save(path).Ok());
        QString error;
        const QJsonObject sheet = ExportTest::ReadWorkbook(path, kind, &error);
        QVERIFY2(!sheet.isEmpty(), qPrintable(error));
        CompareSheet(sheet, CCellDecoder::Headers(), RuleRows(), kRuleRed);
    }

    // LibreOffice reads both workbooks with the same texts and formats.
    void workbookLibreOffice()
    {
        if (ExportTest::LibreOffice().isEmpty())
            QSKIP("LibreOffice is not installed");
        QStandardItemModel model;
        ExportTest::FillModel(&model, CCellDecoder::Headers(), RuleRows());
        const CResultsSheet sheet = CResultsSheet::FromModel(model);
        const QString xls = Path(QStringLiteral("lo-book.xls"));
        const QString xlsx = Path(QStringLiteral("lo-book2.xlsx"));
        QVERIFY(sheet.Save(xls).Ok());
        QVERIFY(sheet.Save(xlsx).Ok());
        const QString out = Path(QStringLiteral("lo-books"));
        QVERIFY(ExportTest::ConvertToXlsx({xls, xlsx}, out, Path(QStringLiteral("lo-profile"))));
        for (const QString& name :
             {QStringLiteral("lo-book.xlsx"), QStringLiteral("lo-book2.xlsx")})
        {
            QString error;
            const QJsonObject read =
                ExportTest::ReadWorkbook(out + QLatin1Char('/') + name, "xlsx", &error);
            QVERIFY2(!read.isEmpty(), qPrintable(name + error));
            CompareSheet(read, CCellDecoder::Headers(), RuleRows(), kRuleRed);
        }
    }

    // More distinct texts than one record holds: the shared strings go on
    // in CONTINUE records, texts split across them included.
    void biffManyTexts()
    {
        if (!HaveXlrd())
            QSKIP("python3-xlrd is not installed");
        QList<QStringList> rows;
        for (int r = 0; r < 400; ++r)
            rows << QStringList{QStringLiteral("%1.%2").arg(r).arg(r % 7),
                                QStringLiteral("Нержавеющая сталь марки %1 — ё").arg(r) +
                                    QString(r % 13, QChar(0x0416))};
        QStandardItemModel model;
        ExportTest::FillModel(&model, {"Результат", "Материал"}, rows);
        const CResultsSheet sheet = CResultsSheet::FromModel(model);
        QVERIFY(CBiff8Workbook::WorkbookStream(sheet).size() > 3 * 8224);
        const QString path = Path(QStringLiteral("many.xls"));
        QVERIFY(sheet.Save(path).Ok());
        QString error;
        const QJsonObject read = ExportTest::ReadWorkbook(path, "xls", &error);
        QVERIFY2(!read.isEmpty(), qPrintable(error));
        QCOMPARE(read.value("rows").toInt(), 401);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < 2; ++c)
                QCOMPARE(ExportTest::Cell(read, r + 1, c).value("text").toString(),
                         rows.at(r).at(c));
    }

    // The record frame of the .xls: no record over 8224 bytes, the records
    // every reader needs in their order, and the EXTSST index pointing at the
    // first text of each bucket.
    void biffRecords()
    {
        if (!HaveXlrd())
            QSKIP("python3-xlrd is not installed");
        // Texts in order of first use: the headers A and Б, then "0", "1", …
        // (Б repeats in every row).
        QList<QStringList> rows;
        QStringList unique{QStringLiteral("A"), QStringLiteral("Б")};
        for (int r = 0; r < 1500; ++r)
        {
            rows << QStringList{QString::number(r), QStringLiteral("Б")};
            unique << QString::number(r);
        }
        QStandardItemModel model;
        ExportTest::FillModel(&model, {"A", "Б"}, rows);
        const QString path = Path(QStringLiteral("records.xls"));
        QVERIFY(CResultsSheet::FromModel(model).Save(path).Ok());
        QString error;
        const QJsonObject read =
            QJsonDocument::fromJson(
                ExportTest::RunPython(
                    {QStringLiteral(KORVALENT_EXPORT_TESTS "/biff_records.py"), path}, {}, &error))
                .object();
        QVERIFY2(!read.isEmpty(), qPrintable(error));
        QVERIFY(read.value("maxSize").toInt() <= 8224);
        QStringList ids;
        for (const QJsonValue& id : read.value("ids").toArray())
            ids << id.toString();
        QCOMPARE(ids.first(), QStringLiteral("0809"));
        QCOMPARE(ids.count(QStringLiteral("0809")), 2); // globals and one sheet
        QCOMPARE(ids.count(QStringLiteral("000A")), 2);
        QVERIFY(ids.indexOf(QStringLiteral("0085")) < ids.indexOf(QStringLiteral("00FC")));
        // SST, its CONTINUE records (this many texts need one), EXTSST.
        int next = int(ids.indexOf(QStringLiteral("00FC"))) + 1;
        QCOMPARE(ids.at(next), QStringLiteral("003C"));
        while (ids.at(next) == QLatin1String("003C"))
            ++next;
        QCOMPARE(ids.at(next), QStringLiteral("00FF"));
        QCOMPARE(ids.count(QStringLiteral("00FD")), 2 + 2 * 1500);
        const int perBucket = read.value("perBucket").toInt();
        QVERIFY(perBucket >= 8);
        QVERIFY(read.value("offsetsAgree").toBool());
        const QJsonArray buckets = read.value("buckets").toArray();
        QCOMPARE(buckets.size(), (int(unique.size()) + perBucket - 1) / perBucket);
        for (int b = 0; b < buckets.size(); ++b)
            QVERIFY2(unique.at(b * perBucket).startsWith(buckets.at(b).toString()),
                     qPrintable(QString::number(b)));
    }

    // No data file selected: the results model has only its headers.
    void headerOnly_data() { FormatRows(true); }
    void headerOnly()
    {
        QFETCH(QString, kind);
        QStandardItemModel model;
        CResultsModels::ResetResults(&model);
        const QString path = Path(QStringLiteral("empty.") + kind);
        if (kind == QLatin1String("csv"))
        {
            QVERIFY(CCsvWriter::Save(path, model).Ok());
            const QByteArray bytes = ReadFile(path);
            // One line; one byte a character, as windows-1251 has it.
            const QString line =
                CCellDecoder::Headers().join(QLatin1Char(';')) + QStringLiteral(";\r\n");
            QCOMPARE(bytes.size(), line.size());
            QCOMPARE(bytes.count("\r\n"), 1);
            QVERIFY(bytes.endsWith(";\r\n"));
            return;
        }
        if (!HaveXlrd())
            QSKIP("python3-xlrd is not installed");
        QVERIFY(CResultsSheet::FromModel(model).Save(path).Ok());
        QString error;
        const QJsonObject sheet = ExportTest::ReadWorkbook(path, kind, &error);
        QVERIFY2(!sheet.isEmpty(), qPrintable(error));
        CompareSheet(sheet, CCellDecoder::Headers(), {}, {});
    }

    // Beyond the format's 256 columns the .xls is refused, not cut.
    void biffTooLarge()
    {
        QStandardItemModel model(1, 257);
        const QString path = Path(QStringLiteral("wide.xls"));
        QVERIFY(!CResultsSheet::FromModel(model).Save(path).Ok());
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(
            QDir(m_env->Root()).entryList({QStringLiteral(".wide*")}, QDir::Hidden | QDir::Files),
            QStringList());
    }

    // A write that fails part way (file-size limit, as a full disk) reports
    // failure, keeps the old file and leaves no temporary file.
    void failedSave_data() { FormatRows(true); }
    void failedSave()
    {
        QFETCH(QString, kind);
        QStandardItemModel model;
        QList<QStringList> rows;
        for (int r = 0; r < 254; ++r)
            rows << RuleRows().at(r % RuleRows().size());
        ExportTest::FillModel(&model, CCellDecoder::Headers(), rows);
        QTemporaryDir dir(m_env->Root() + QStringLiteral("/limit-XXXXXX"));
        const QString path = dir.path() + QStringLiteral("/out.") + kind;
        QVERIFY(WriteFile(path, "previous"));
        CSafeSave::Result result;
        {
            CFileSizeLimit guard(3000);
            result = kind == QLatin1String("csv") ? CCsvWriter::Save(path, model)
                                                  : CResultsSheet::FromModel(model).Save(path);
        }
        QVERIFY(!result.Ok());
        QCOMPARE(ReadFile(path), QByteArray("previous"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("out.") + kind});
        // Without the limit the same export succeeds.
        result = kind == QLatin1String("csv") ? CCsvWriter::Save(path, model)
                                              : CResultsSheet::FromModel(model).Save(path);
        QVERIFY(result.Ok());
        QVERIFY(ReadFile(path).size() > 3000);
    }

    // A plain table grows as an item model grows: the same operations on
    // both give the same CSV bytes and the same sheet, missing items and
    // headers included.
    void tableLikeModel_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("results layout") << 9 << CCellDecoder::Headers() << RuleRows();
        QTest::newRow("rows shorter than the headers")
            << 0 << QStringList{"A", "B", "C"}
            << QList<QStringList>{{"1"}, {}, {"1", "2", "3"}, {"", ""}};
        QTest::newRow("rows longer than the headers")
            << 0 << QStringList{"A"} << QList<QStringList>{{"1", "2", "3"}, {"4"}};
        QTest::newRow("columns beyond the headers")
            << 4 << QStringList{"A", "B"} << QList<QStringList>{{"1", "2", "3", "4"}};
        QTest::newRow("no headers") << 2 << QStringList{} << QList<QStringList>{{"x", "y"}};
        QTest::newRow("nothing") << 0 << QStringList{} << QList<QStringList>{};
        QTest::newRow("hostile texts") << 0 << QStringList{"A;1", "B\"", "C"} << HostileRows();
    }
    void tableLikeModel()
    {
        QFETCH(int, columns);
        QFETCH(QStringList, headers);
        QFETCH(QList<QStringList>, rows);
        QStandardItemModel model;
        CTextTable table;
        if (columns > 0)
        {
            model.setColumnCount(columns);
            table.SetColumnCount(columns);
        }
        if (!headers.isEmpty())
        {
            model.setHorizontalHeaderLabels(headers);
            table.SetHeaders(headers);
        }
        model.setRowCount(int(rows.size()));
        table.SetRowCount(int(rows.size()));
        for (int r = 0; r < rows.size(); ++r)
        {
            for (int c = 0; c < rows.at(r).size(); ++c)
                model.setItem(r, c, new QStandardItem(rows.at(r).at(c)));
            table.SetRow(r, rows.at(r));
        }
        QCOMPARE(table.ColumnCount(), model.columnCount());
        QCOMPARE(table.RowCount(), model.rowCount());
        QCOMPARE(CCsvWriter::Bytes(table), CCsvWriter::Bytes(model));
        QVERIFY(SameSheets(CResultsSheet::FromTable(table), CResultsSheet::FromModel(model)));
        QCOMPARE(CBiff8Workbook::WorkbookStream(CResultsSheet::FromTable(table)),
                 CBiff8Workbook::WorkbookStream(CResultsSheet::FromModel(model)));
    }

    // The results table without Qt Gui is the window's results model, text for
    // text, on generated data files of every kind of cell (random bytes,
    // so invalid values, units and dates too) with and without materials.
    void resultsTableAsWindow()
    {
        QRandomGenerator random(2024);
        const MaterialList materials = []
        {
            MaterialList list;
            MaterialRecord steel{};
            CAnsiText::Encode(QStringLiteral("Сталь"), steel.name, int(sizeof(steel.name)));
            steel.velocity = 5920;
            list.append(steel);
            return list;
        }();
        for (int f = 0; f < 40; ++f)
        {
            QList<CellRecord> cells;
            const int count = f == 0 ? 0 : int(random.bounded(1, 255));
            for (int c = 0; c < count; ++c)
            {
                CellRecord cell;
                auto* bytes = reinterpret_cast<quint8*>(&cell);
                for (size_t b = 0; b < sizeof(cell); ++b)
                    bytes[b] = quint8(random.bounded(256));
                // Half of them plausible gauge readings.
                if (c % 2 == 0)
                    cell = DataTest::MmCell(random.bounded(60000) / 100.0);
                cells.append(cell);
            }
            const DataFileRecord file = DataTest::File(QStringLiteral("Файл %1").arg(f), cells);
            const MaterialList used = f % 2 ? materials : MaterialList();
            QStandardItemModel model;
            CResultsModels::ResetResults(&model);
            CResultsModels::FillResults(&model, file, used);
            const CTextTable table = CResultsTable::Of(file, used);
            QCOMPARE(CCsvWriter::Bytes(table), CCsvWriter::Bytes(model));
            const CResultsSheet sheet = CResultsSheet::FromTable(table);
            QVERIFY(SameSheets(sheet, CResultsSheet::FromModel(model)));
            QCOMPARE(CBiff8Workbook::WorkbookStream(sheet),
                     CBiff8Workbook::WorkbookStream(CResultsSheet::FromModel(model)));
        }
    }

    // The command line exports exactly the table `show --file N` prints.
    void cliMatchesShow_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("csv") << "--csv";
        QTest::newRow("xls") << "--xls";
        QTest::newRow("xlsx") << "--xlsx";
    }
    void cliMatchesShow()
    {
        QFETCH(QString, option);
        using namespace DataTest;
        const QString db =
            SaveDatabase({File(QStringLiteral("Первый"), {MmCell(1.0)}),
                          File(QStringLiteral("Котёл-2"),
                               {MmCell(12.5), MmCell(0.39), MmCell(600.0), Cell(0x04, 600, 50),
                                Cell(0x01, 0, 38), Cell(0x04, 5, 0, 5920, "П112", 7, 0xFFFF, 0),
                                Cell(0x05, 0, 23), Cell(0x05, 23, 63)})});
        QVERIFY(!db.isEmpty());
        // The materials table names the cells' material in both outputs.
        const QString materials = Path(QStringLiteral("materials.csv"));
        QVERIFY(WriteFile(materials, "Сталь,5920,-0.5\r\nЛатунь,4430,0.1\r\n"));
        const QStringList source{db, QStringLiteral("--file"), QStringLiteral("2"),
                                 QStringLiteral("--materials"), materials};
        const Run show = Cli(QStringList{QStringLiteral("show")} + source);
        QCOMPARE(show.exitCode, 0);
        const QStringList lines = show.out.split(QLatin1Char('\n'));
        QStringList headers = lines.first().split(QLatin1Char('\t'));
        QList<QStringList> rows;
        QList<bool> red;
        for (int i = 1; i < lines.size() && !lines.at(i).isEmpty(); ++i)
        {
            rows << lines.at(i).split(QLatin1Char('\t'));
            red << CResultsSheet::IsRedResult(rows.last().first(), rows.last().value(1));
        }
        QCOMPARE(rows.size(), 8);
        QCOMPARE(red, QList<bool>({false, true, false, true, true, false, false, true}));
        QCOMPARE(rows.at(5).at(7), QString()); // no time
        QCOMPARE(rows.at(5).at(8), QString()); // no date
        QCOMPARE(rows.first().at(2), QStringLiteral("Сталь"));

        // Outputs named against their format: the option decides.
        const QString out = Path(QStringLiteral("cli-out") + option + QStringLiteral(".dat"));
        const Run run =
            Cli(QStringList{QStringLiteral("export")} + source + QStringList{option, out});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QString error;
        if (option == QLatin1String("--csv"))
        {
            const QList<QStringList> read = ExportTest::ReadCsv(out, &error);
            QVERIFY2(!read.isEmpty(), qPrintable(error));
            QCOMPARE(read.first(), headers);
            QCOMPARE(read.mid(1), rows);
            return;
        }
        if (!HaveXlrd())
            QSKIP("python3-xlrd is not installed");
        const QJsonObject sheet = ExportTest::ReadWorkbook(out, option.mid(2), &error);
        QVERIFY2(!sheet.isEmpty(), qPrintable(error));
        CompareSheet(sheet, headers, rows, red);
    }

    void cliUsageLine()
    {
        const Run run = Cli({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral(
            "korvalent-cli export FILE.kdb|FILE.kdf --file N [--materials FILE.csv] (--csv OUT "
            "| --xls OUT | --xlsx OUT)\n")));
    }

    // A single data file (.kdf) exports like a database's file 1.
    void cliDataFile()
    {
        using namespace DataTest;
        const QString kdf = Path(QStringLiteral("one.kdf"));
        QVERIFY(CDataStorage::SaveDataFile(kdf, File(QStringLiteral("Отвод"), {MmCell(7.25)})));
        const QString out = Path(QStringLiteral("one.csv"));
        const Run run = Cli({QStringLiteral("export"), kdf, QStringLiteral("--file"), "1",
                             QStringLiteral("--csv"), out});
        QCOMPARE(run.exitCode, 0);
        QString error;
        const QList<QStringList> read = ExportTest::ReadCsv(out, &error);
        QCOMPARE(read.size(), 2);
        QCOMPARE(read.at(1).first(), QStringLiteral("7.25"));
        QCOMPARE(Cli({QStringLiteral("export"), kdf, QStringLiteral("--file"), "2",
                      QStringLiteral("--csv"), out})
                     .exitCode,
                 2);
    }

    void cliErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QString db = QStringLiteral("DB");
        const QString out = QStringLiteral("OUT");
        QTest::newRow("file out of range") << QStringList{db, "--file", "3", "--csv", out} << 2
                                           << "No data file 3: the file holds 2";
        QTest::newRow("file zero")
            << QStringList{db, "--file", "0", "--csv", out} << 2 << "--file needs a number from 1";
        QTest::newRow("no --file")
            << QStringList{db, "--xls", out} << 2 << "--file needs a number from 1";
        QTest::newRow("no output")
            << QStringList{db, "--file", "1"} << 2 << "Give one of --csv, --xls, --xlsx";
        QTest::newRow("two outputs") << QStringList{db, "--file", "1", "--csv", out, "--xls", out}
                                     << 2 << "Give one of --csv, --xls, --xlsx";
        QTest::newRow("missing data file")
            << QStringList{"MISSING", "--file", "1", "--xlsx", out} << 1
            << "Не удалось открыть для чтения базу данных Korvalent: ";
        QTest::newRow("output is a directory")
            << QStringList{db, "--file", "1", "--xls", "DIR"} << 1 << "это не обычный файл";
        QTest::newRow("output folder missing")
            << QStringList{db, "--file", "1", "--csv", "NOWHERE"} << 1 << "не существует";
    }
    void cliErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        using namespace DataTest;
        const QString db = SaveDatabase(
            {File(QStringLiteral("A"), {MmCell(1.0)}), File(QStringLiteral("B"), {MmCell(2.0)})});
        const QString out = Path(QStringLiteral("existing.out"));
        QVERIFY(WriteFile(out, "keep me"));
        QDir(m_env->Root()).mkpath(QStringLiteral("a-directory"));
        arguments.replaceInStrings(QStringLiteral("NOWHERE"),
                                   Path(QStringLiteral("no/such/x.csv")));
        arguments.replaceInStrings(QStringLiteral("MISSING"), Path(QStringLiteral("missing.kdb")));
        arguments.replaceInStrings(QStringLiteral("DIR"), Path(QStringLiteral("a-directory")));
        arguments.replaceInStrings(QStringLiteral("DB"), db);
        arguments.replaceInStrings(QStringLiteral("OUT"), out);
        const QStringList before = QDir(m_env->Root()).entryList(QDir::AllEntries | QDir::Hidden);
        const Run run = Cli(QStringList{QStringLiteral("export")} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(error), qPrintable(run.err));
        QCOMPARE(ReadFile(out), QByteArray("keep me"));
        QCOMPARE(QDir(m_env->Root()).entryList(QDir::AllEntries | QDir::Hidden), before);
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("no"))));
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
