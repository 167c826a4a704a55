#include "core/CInputLimits.h"
#include "data/CAnsiText.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "data/CStatistics.h"
#include "data/CXmlDataFileParser.h"
#include "data/CXmlInputCheck.h"
#include "data/CXmlKeyFileWriter.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <libxml/globals.h>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace DataTest;

namespace
{
QList<CStatistics::Reading> Readings(const QList<float>& values,
                                     CCellDecoder::Unit unit = CCellDecoder::Unit::Millimetres)
{
    QList<CStatistics::Reading> readings;
    for (float v : values)
        readings.append({v, unit});
    return readings;
}
} // namespace

class TestDataCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    // --- cells ---------------------------------------------------------
    void cellValue_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("intPart");
        QTest::addColumn<int>("fracPart");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("units");
        QTest::addColumn<bool>("valid");
        QTest::newRow("12.5 mm") << 0x02 << 12 << 5 << "12.5"
                                 << "мм" << true;
        QTest::newRow("0.40 inch lower bound") << 0x05 << 0 << 40 << "0.40"
                                               << "дюйм" << true;
        QTest::newRow("0.39 LOS") << 0x04 << 0 << 39 << "0.39"
                                  << "мм" << false;
        QTest::newRow("600 upper bound") << 0x00 << 600 << 0 << "600"
                                         << "мм" << true;
        QTest::newRow("600.1 LOS") << 0x02 << 600 << 1 << "600.1"
                                   << "мм" << false;
        QTest::newRow("600.01 LOS") << 0x04 << 600 << 1 << "600.01"
                                    << "мм" << false;
        QTest::newRow("3 decimals ignore fraction") << 0x06 << 7 << 9 << "7.000"
                                                    << "мм" << true;
        QTest::newRow("0 decimals ignore fraction") << 0x00 << 7 << 9 << "7"
                                                    << "мм" << true;
        QTest::newRow("zero is LOS") << 0x00 << 0 << 0 << "0"
                                     << "мм" << false;
        QTest::newRow("upper flag bits ignored") << 0xFB << 3 << 5 << "3.5"
                                                 << "дюйм" << true;
        QTest::newRow("tenths beyond nine") << 0x02 << 3 << 25 << "5.5"
                                            << "мм" << true;
        QTest::newRow("largest integer") << 0x00 << 65535 << 0 << "65535"
                                         << "мм" << false;
        QTest::newRow("0.23 inch wall") << 0x05 << 0 << 23 << "0.23"
                                        << "дюйм" << true;
        QTest::newRow("0.01 inch LOS") << 0x05 << 0 << 1 << "0.01"
                                       << "дюйм" << false;
        QTest::newRow("0.02 inch") << 0x05 << 0 << 2 << "0.02"
                                   << "дюйм" << true;
        QTest::newRow("23.62 inch") << 0x05 << 23 << 62 << "23.62"
                                    << "дюйм" << true;
        QTest::newRow("23.63 inch LOS") << 0x05 << 23 << 63 << "23.63"
                                        << "дюйм" << false;
        QTest::newRow("600 inch LOS") << 0x01 << 600 << 0 << "600"
                                      << "дюйм" << false;
    }
    void cellValue()
    {
        QFETCH(int, flags);
        QFETCH(int, intPart);
        QFETCH(int, fracPart);
        const CellRecord c = Cell(quint8(flags), quint16(intPart), quint8(fracPart));
        QTEST(CCellDecoder::ResultText(c), "result");
        QTEST(CCellDecoder::UnitsText(c), "units");
        QTEST(!CCellDecoder::IsLos(c), "valid");
    }

    // The same physical range in both units: the bounds are the
    // single-precision numbers nearest to 0.4 mm and 600 mm, and the
    // neighbouring floats outside them are LOS. Every reader of the rule (cell,
    // texts of a row, statistics) judges alike.
    void validityBounds_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<bool>("inches");
        QTest::addColumn<bool>("valid");
        const float mmLow = 0.4f, mmHigh = 600.0f;
        const float inLow = float(0.4 / 25.4), inHigh = float(600.0 / 25.4);
        QTest::newRow("mm lower bound") << mmLow << false << true;
        QTest::newRow("mm below lower") << std::nextafter(mmLow, 0.0f) << false << false;
        QTest::newRow("mm above lower") << std::nextafter(mmLow, 1.0f) << false << true;
        QTest::newRow("mm upper bound") << mmHigh << false << true;
        QTest::newRow("mm above upper") << std::nextafter(mmHigh, 1e9f) << false << false;
        QTest::newRow("mm below upper") << std::nextafter(mmHigh, 0.0f) << false << true;
        QTest::newRow("mm 0.39") << 0.39f << false << false;
        QTest::newRow("mm 0.2 (an inch reading's range)") << 0.2f << false << false;
        QTest::newRow("mm 0") << 0.0f << false << false;
        QTest::newRow("inch lower bound") << inLow << true << true;
        QTest::newRow("inch below lower") << std::nextafter(inLow, 0.0f) << true << false;
        QTest::newRow("inch upper bound") << inHigh << true << true;
        QTest::newRow("inch above upper") << std::nextafter(inHigh, 1e9f) << true << false;
        QTest::newRow("inch 0.4") << 0.4f << true << true;
        QTest::newRow("inch 0.23") << 0.23f << true << true;
        QTest::newRow("inch 0.015") << 0.015f << true << false;
        QTest::newRow("inch 600") << 600.0f << true << false;
        QTest::newRow("inch 0") << 0.0f << true << false;
    }
    void validityBounds()
    {
        QFETCH(float, value);
        QFETCH(bool, inches);
        QFETCH(bool, valid);
        const CCellDecoder::Unit unit =
            inches ? CCellDecoder::Unit::Inches : CCellDecoder::Unit::Millimetres;
        QCOMPARE(CCellDecoder::IsValidValue(value, unit), valid);
        // Nine significant digits give the float back exactly.
        const QString text = QString::number(double(value), 'g', 9);
        QCOMPARE(CCellDecoder::IsValidResultText(text, inches ? QStringLiteral("дюйм")
                                                              : QStringLiteral("мм")),
                 valid);
        QCOMPARE(CStatistics::Compute({{value, unit}}).validCount, valid ? 1 : 0);
    }

    void cellTexts_data()
    {
        QTest::addColumn<int>("time");
        QTest::addColumn<int>("date");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<QString>("timeText");
        QTest::addColumn<QString>("dateText");
        QTest::addColumn<QString>("temperatureText");
        QTest::newRow("example") << 0x0E05 << 0x3A8F << -20 << "14:05"
                                 << "15.04.2029"
                                 << "-20 C°";
        QTest::newRow("midnight, first day") << 0x0000 << 0x0021 << 0 << "00:00"
                                             << "01.01.2000"
                                             << "0 C°";
        QTest::newRow("last minute, year 2127")
            << 0x173B << int(0xFFFF & ((127 << 9) | (12 << 5) | 31)) << 127 << "23:59"
            << "31.12.2127"
            << "127 C°";
        QTest::newRow("hour 24, date 0") << 0x1800 << 0 << -128 << ""
                                         << ""
                                         << "-128 C°";
        QTest::newRow("minute 60, month 13") << 0x0A3C << ((24 << 9) | (13 << 5) | 1) << 5 << ""
                                             << ""
                                             << "5 C°";
        QTest::newRow("29 Feb leap / day 0")
            << 0x0101 << ((24 << 9) | (2 << 5) | 29) << 1 << "01:01"
            << "29.02.2024"
            << "1 C°";
        QTest::newRow("29 Feb not leap") << 0x0101 << ((25 << 9) | (2 << 5) | 29) << 1 << "01:01"
                                         << ""
                                         << "1 C°";
        QTest::newRow("31 April") << 0x0101 << ((25 << 9) | (4 << 5) | 31) << 1 << "01:01"
                                  << ""
                                  << "1 C°";
    }
    void cellTexts()
    {
        QFETCH(int, time);
        QFETCH(int, date);
        QFETCH(int, temperature);
        const CellRecord c =
            Cell(0x02, 1, 0, 5920, "P", 1, quint16(time), quint16(date), qint8(temperature));
        QTEST(CCellDecoder::TimeText(c), "timeText");
        QTEST(CCellDecoder::DateText(c), "dateText");
        QTEST(CCellDecoder::TemperatureText(c), "temperatureText");
    }

    void cellRowTexts()
    {
        CellRecord c = Cell(0x02, 12, 5, 5920, "", 0);
        const QByteArray ident = CAnsiText::ToAnsi(QStringLiteral("П112-Ж10"));
        QCOMPARE(ident.size(), 8);
        std::memcpy(c.pepIdent, ident.constData(), 8); // no terminating zero
        const quint8 serial[4] = {0x40, 0xE2, 0x01, 0x00};
        std::memcpy(&c.pepSerial, serial, 4);

        MaterialList materials;
        MaterialRecord other{}, steel{}, steel2{};
        CAnsiText::Encode(QStringLiteral("Медь"), other.name, 16);
        other.velocity = 4700;
        CAnsiText::Encode(QStringLiteral("Сталь"), steel.name, 16);
        steel.velocity = 5920;
        CAnsiText::Encode(QStringLiteral("Сталь 2"), steel2.name, 16);
        steel2.velocity = 5920;
        materials << other << steel << steel2;

        const QStringList expected{"12.5",   "мм",    "Сталь", "5920 м/c",  "П112-Ж10",
                                   "123456", "21 C°", "14:05", "15.04.2029"};
        QCOMPARE(CCellDecoder::RowTexts(c, materials), expected);
        QCOMPARE(CCellDecoder::MaterialText(c, {}), QStringLiteral("Н/Д"));
        c.velocity = 1000;
        QCOMPARE(CCellDecoder::MaterialText(c, materials), QStringLiteral("Н/Д"));
        // The unit of the velocity ends in a Latin c.
        QVERIFY(CCellDecoder::VelocityText(c).endsWith(QLatin1String("/c")));
    }

    void ansiNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("short") << "Труба"
                               << "Труба";
        QTest::newRow("exactly 16") << "Резервуар-РВС-01"
                                    << "Резервуар-РВС-01";
        QTest::newRow("17 cut to 16") << "Резервуар-РВС-012"
                                      << "Резервуар-РВС-01";
        QTest::newRow("unmappable becomes ?") << "Tank€漢"
                                              << "Tank€?";
        QTest::newRow("pair is one character")
            << QString::fromUtf8("ABCDEFGHIJKLMNO\U0001F600") << "ABCDEFGHIJKLMNO?";
        QTest::newRow("empty") << ""
                               << "";
    }
    void ansiNames()
    {
        QFETCH(QString, text);
        char field[17];
        std::memset(field, 'x', sizeof(field));
        CAnsiText::Encode(text, field, 16);
        QCOMPARE(field[16], 'x'); // never past the field
        QTEST(CAnsiText::Decode(field, 16), "stored");
    }

    void ansiDecodeStopsAtZero()
    {
        const char field[8] = {'A', 'B', 0, 'C', 'D', 0, 0, 0};
        QCOMPARE(CAnsiText::Decode(field, 8), QStringLiteral("AB"));
        const char full[4] = {'\xCF', '\xD0', '\xC8', '\xC2'};
        QCOMPARE(CAnsiText::Decode(full, 4), QStringLiteral("ПРИВ"));
    }

    void base64_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("23 bytes") << "AgwABSAXzzExMgAAAABA4gEABQ6POuw=" << true;
        QTest::newRow("22 bytes") << "AgwABSAXzzExMgAAAABA4gEABQ6POg==" << false;
        QTest::newRow("24 bytes") << "AgwABSAXzzExMgAAAABA4gEABQ6POuwB" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("23 bytes, blanks kept by the reader")
            << " AgwABSAXzzExMgAAAABA4gEABQ6POuw= " << true;
    }
    void base64()
    {
        QFETCH(QString, text);
        CellRecord cell;
        QTEST(CCellDecoder::FromBase64(text, &cell), "accepted");
    }

    void base64RoundTrip()
    {
        const CellRecord c = Cell(0x02, 12, 5, 5920, "", 123456, 0x0E05, 0x3A8F, -20);
        CellRecord withName = c;
        const QByteArray ident = CAnsiText::ToAnsi(QStringLiteral("П112"));
        std::memcpy(withName.pepIdent, ident.constData(), size_t(ident.size()));
        // Computed independently from the 23 bytes of the record.
        QCOMPARE(CCellDecoder::ToBase64(withName),
                 QStringLiteral("AgwABSAXzzExMgAAAABA4gEABQ6POuw="));
        CellRecord back;
        QVERIFY(CCellDecoder::FromBase64(CCellDecoder::ToBase64(withName), &back));
        QCOMPARE(std::memcmp(&back, &withName, sizeof(back)), 0);

        // Every byte value in every position survives the round trip.
        QRandomGenerator random(7);
        for (int n = 0; n < 500; ++n)
        {
            CellRecord any;
            random.fillRange(reinterpret_cast<quint32*>(&any), 5);
            reinterpret_cast<quint8*>(&any)[20] = quint8(n);
            reinterpret_cast<quint8*>(&any)[21] = quint8(n >> 1);
            reinterpret_cast<quint8*>(&any)[22] = quint8(255 - n);
            const QString text = CCellDecoder::ToBase64(any);
            QCOMPARE(text.size(), 32);
            CellRecord decoded;
            QVERIFY(CCellDecoder::FromBase64(text, &decoded));
            QCOMPARE(std::memcmp(&decoded, &any, sizeof(any)), 0);
        }
    }

    // --- XML key files --------------------------------------------------
    void writerBytes()
    {
        CellRecord c = Cell(0x02, 12, 5, 5920, "", 123456, 0x0E05, 0x3A8F, -20);
        const QByteArray ident = CAnsiText::ToAnsi(QStringLiteral("П112"));
        std::memcpy(c.pepIdent, ident.constData(), size_t(ident.size()));
        DataFileRecord first = File(QStringLiteral("Труба"), {c});
        first.header.serialNumber = 4294967295u;
        DataFileRecord second = File(QStringLiteral("A&B <1>"), {}, 7);
        second.header.audioIndex = 0;
        second.header.serialNumber = 0;

        const QByteArray expected = "<!DOCTYPE KorvalentDatabase>\n"
                                    "<KorvalentDatabase>\n"
                                    " <FILES>2</FILES>\n"
                                    " <FILE1>\n"
                                    "  <NAME>Труба</NAME>\n"
                                    "  <SERIAL_NUMBER>4294967295</SERIAL_NUMBER>\n"
                                    "  <FW_VERSION>258</FW_VERSION>\n"
                                    "  <AUDIO_INDEX>3</AUDIO_INDEX>\n"
                                    "  <RECORDS>1</RECORDS>\n"
                                    "  <DATA_ROW1>AgwABSAXzzExMgAAAABA4gEABQ6POuw=</DATA_ROW1>\n"
                                    " </FILE1>\n"
                                    " <FILE2>\n"
                                    "  <NAME>A&amp;B &lt;1></NAME>\n"
                                    "  <SERIAL_NUMBER>0</SERIAL_NUMBER>\n"
                                    "  <FW_VERSION>258</FW_VERSION>\n"
                                    "  <AUDIO_INDEX>0</AUDIO_INDEX>\n"
                                    "  <RECORDS>7</RECORDS>\n"
                                    " </FILE2>\n"
                                    "</KorvalentDatabase>\n";
        QCOMPARE(CDataStorage::DatabaseDocument({first, second}), expected);

        const QByteArray dataFile = "<!DOCTYPE KorvalentDataFile>\n"
                                    "<KorvalentDataFile>\n"
                                    " <NAME>Y</NAME>\n"
                                    " <SERIAL_NUMBER>0</SERIAL_NUMBER>\n"
                                    " <FW_VERSION>258</FW_VERSION>\n"
                                    " <AUDIO_INDEX>0</AUDIO_INDEX>\n"
                                    " <RECORDS>7</RECORDS>\n"
                                    "</KorvalentDataFile>\n";
        QCOMPARE(CDataStorage::DataFileDocument(second, QStringLiteral("Y")), dataFile);
        QCOMPARE(CDataStorage::DataFileDocument(second, QString()).contains("<NAME></NAME>"), true);
    }

    void readerSemantics_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QByteArray db = "<!DOCTYPE KorvalentDatabase>\n<KorvalentDatabase>\n"
                              " <Files>2</Files>\n"
                              " <file1 kind=\"x\">\n"
                              "  <NAME a='1'>first</NAME>\n"
                              "  <name>second</name>\n"
                              "  <Multi>one\r\n two\tthree\n</Multi>\n"
                              "  <Blanks>  lead and trail  </Blanks>\n"
                              "  <Empty></Empty>\n"
                              "  <Selfclosed/>\n"
                              "  <Mixed>abc<Inner>x</Inner>def</Mixed>\n"
                              "  <Comment>ab<!-- c -->cd</Comment>\n"
                              "  <Cdata>ab<![CDATA[<x>]]></Cdata>\n"
                              "  <Entities>a&amp;b&#65;&lt;</Entities>\n"
                              " </file1>\n"
                              " <FILE1>shadowed</FILE1>\n"
                              " <KorvalentDatabase><X>inner</X></KorvalentDatabase>\n"
                              "</KorvalentDatabase>\n";
        QTest::newRow("case ignored") << db << "FILES"
                                      << "2";
        QTest::newRow("case ignored in every part") << db << "File1.Name"
                                                    << "first";
        QTest::newRow("first of two wins") << db << "FILE1.NAME"
                                           << "first";
        QTest::newRow("line breaks and tabs removed") << db << "FILE1.MULTI"
                                                      << "one twothree";
        QTest::newRow("blanks kept") << db << "FILE1.BLANKS"
                                     << "  lead and trail  ";
        QTest::newRow("empty element") << db << "FILE1.EMPTY"
                                       << "";
        QTest::newRow("self-closed element") << db << "FILE1.SELFCLOSED"
                                             << "";
        QTest::newRow("last run after a child") << db << "FILE1.MIXED"
                                                << "def";
        QTest::newRow("last run after a comment") << db << "FILE1.COMMENT"
                                                  << "cd";
        QTest::newRow("CDATA is its own run") << db << "FILE1.CDATA"
                                              << "<x>";
        QTest::newRow("references inside one run") << db << "FILE1.ENTITIES"
                                                   << "a&bA<";
        QTest::newRow("group holds trailing blanks") << db << "FILE1"
                                                     << " ";
        QTest::newRow("empty part") << db << "FILE1..NAME"
                                    << "";
        QTest::newRow("trailing dot") << db << "FILE1."
                                      << "";
        QTest::newRow("empty key") << db << ""
                                   << "";
        QTest::newRow("missing last part") << db << "FILE1.NO_SUCH"
                                           << "";
        QTest::newRow("missing first part") << db << "FILE9.NAME"
                                            << "";
        QTest::newRow("root name is not a key part") << db << "KorvalentDatabase.FILES"
                                                     << "";
        QTest::newRow("child named like the root") << db << "KORVALENTDATABASE.X"
                                                   << "inner";
        QTest::newRow("leaf has no children") << db << "FILES.X"
                                              << "";
        QTest::newRow("root without children") << QByteArray("<R>text</R>") << "R"
                                               << "";
        // The parser hands long character data over in pieces.
        const QByteArray longText = QByteArray(3000, 'x') + "&amp;\n" + QByteArray(3000, 'y');
        QTest::newRow("long run in pieces")
            << "<R><A>a<!-- -->" + longText + "</A></R>"
            << "A" << QString(3000, QLatin1Char('x')) + "&" + QString(3000, QLatin1Char('y'));
        QTest::newRow("long CDATA section")
            << "<R><A>" + longText + "<![CDATA[" + QByteArray(5000, 'c') + "]]></A></R>"
            << "A" << QString(5000, QLatin1Char('c'));
        QTest::newRow("declared encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?><R><A>\xCF\xF0</A></R>")
            << "A"
            << "Пр";
    }
    void readerSemantics()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, key);
        CXmlDataFileParser parser;
        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
        QVERIFY2(parser.ParseFile(&buffer), qPrintable(parser.errorString()));
        QTEST(parser.GetValue(key), "value");
    }

    void rootCheck()
    {
        CXmlDataFileParser parser;
        QVERIFY(parser.ParseData("<korvalentdatafile><NAME>x</NAME></korvalentdatafile>"));
        QVERIFY(parser.CheckRootName(QStringLiteral("KorvalentDataFile")));
        QVERIFY(!parser.CheckRootName(QStringLiteral("KorvalentDatabase")));
    }

    void hostileDocuments_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("document type only") << QByteArray("<!DOCTYPE KorvalentDatabase>");
        QTest::newRow("unclosed") << QByteArray("<KorvalentDatabase><FILES>1</FILES>");
        QTest::newRow("crossed tags") << QByteArray("<R><A><B></A></B></R>");
        QTest::newRow("two roots") << QByteArray("<R></R><R></R>");
        QTest::newRow("undeclared entity") << QByteArray("<R><A>&nbsp;</A></R>");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff\xfe", 5);
        QByteArray bomb = "<!DOCTYPE R [<!ENTITY a \"aaaaaaaaaa\">";
        for (char c = 'b'; c <= 'j'; ++c)
        {
            QByteArray refs;
            for (int i = 0; i < 10; ++i)
                refs += "&" + QByteArray(1, char(c - 1)) + ";";
            bomb += "<!ENTITY " + QByteArray(1, c) + " \"" + refs + "\">";
        }
        bomb += "]><R><A>&j;</A></R>";
        QTest::newRow("entity expansion bomb") << bomb;
        // Each expansion small, but many of them: a large blow-up all the same.
        QByteArray quadratic = "<!DOCTYPE R [<!ENTITY a \"" + QByteArray(3000, 'a') + "\">]><R><A>";
        for (int i = 0; i < 2000; ++i)
            quadratic += "&a;";
        quadratic += "</A></R>";
        QTest::newRow("many small expansions") << quadratic;
        QTest::newRow("external entity") << QByteArray(
            "<!DOCTYPE R [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><R><A>&x;</A></R>");
    }
    // Documents far from the shape of ours, refused by the look before the
    // reader (quickly: the reader's attribute checks alone would take 19 s
    // on the first one).
    void pathologicalDocuments_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("reason");
        QByteArray attributes = "<KorvalentDatabase><FILES";
        for (int i = 0; i < 100000; ++i)
            attributes += " a" + QByteArray::number(i) + "=\"1\"";
        attributes += ">1</FILES></KorvalentDatabase>";
        QTest::newRow("100 000 attributes (1.1 MB)") << attributes << "атрибутов";
        QByteArray elements = "<KorvalentDatabase>";
        for (int i = 0; i <= CXmlInputCheck::kMaxElements; ++i)
            elements += "<A/>";
        elements += "</KorvalentDatabase>";
        QTest::newRow("too many elements") << elements << "элементов";
        QTest::newRow("too deep") << QByteArray("<R>").repeated(CXmlInputCheck::kMaxDepth + 1)
                                  << "вложенность";
        QTest::newRow("one text too long")
            << "<R><A>" + QByteArray(CXmlInputCheck::kMaxTextRun + 1, 'x') + "</A></R>"
            << "текст одного элемента";
        QByteArray texts = "<R>";
        for (int i = 0; i < 9; ++i)
            texts += "<A>" + QByteArray(CXmlInputCheck::kMaxTextRun - 10, 'x') + "</A>";
        QTest::newRow("too much text") << texts << "текста";
        const QByteArray refs = "<A>" + QByteArray("&#65;").repeated(200000) + "</A>";
        QTest::newRow("too many references") << "<R>" + refs.repeated(6) + "</R>"
                                             << "ссылок";
        QByteArray names;
        for (int i = 0; i <= CXmlDataFileParser::kMaxNames; ++i)
            names += "<N" + QByteArray::number(i) + "/>";
        QTest::newRow("too many names") << "<R>" + names + "</R>"
                                        << "имён";
        QTest::newRow("internal subset")
            << QByteArray("<!DOCTYPE R [<!ATTLIST R a CDATA #IMPLIED>]><R/>") << "типе документа";
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe<\0R\0/\0>\0", 10) << "UTF-8";
    }
    void pathologicalDocuments()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, reason);
        QElapsedTimer timer;
        timer.start();
        CXmlDataFileParser parser;
        QVERIFY(!parser.ParseData(xml));
        QVERIFY2(parser.errorString().contains(reason), qPrintable(parser.errorString()));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }

    // Attributes below the limits stay ignored, wherever they are.
    void fewAttributesIgnored()
    {
        QByteArray xml = "<R><FILES";
        for (int i = 0; i < CXmlInputCheck::kMaxAttributes - 1; ++i)
            xml += " a" + QByteArray::number(i) + "='x>y'";
        xml += ">7</FILES><!-- a=b --></R>";
        CXmlDataFileParser parser;
        QVERIFY2(parser.ParseData(xml), qPrintable(parser.errorString()));
        QCOMPARE(parser.GetValue(QStringLiteral("FILES")), QStringLiteral("7"));
    }

    void hostileDocuments()
    {
        QFETCH(QByteArray, xml);
        CXmlDataFileParser parser;
        QVERIFY(!parser.ParseData(xml));
        QVERIFY(!parser.errorString().isEmpty());
        QVERIFY(!parser.CheckRootName(QStringLiteral("R")));
        QCOMPARE(parser.GetValue(QStringLiteral("A")), QString());
    }

    // The reason shown to the user is libxml2's own, with the line and column
    // where it stopped; xmllint (the same library, another program) tells
    // the line and the words.
    void parseErrorsNamePosition_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank only") << QByteArray(" ");
        QTest::newRow("crossed tags") << QByteArray("<R>\n<A><B></A></B></R>");
        QTest::newRow("undeclared entity") << QByteArray("<R>\n\n<A>&nbsp;</A></R>");
        QTest::newRow("unclosed") << QByteArray("<KorvalentDatabase>\n <FILES>1</FILES>\n");
        QTest::newRow("control character") << QByteArray("<R>\n<A>x\x01</A></R>");
        QTest::newRow("not UTF-8") << QByteArray("<R>\n<NAME>\xC3\x28</NAME></R>");
        QTest::newRow("two roots") << QByteArray("<R/>\n<R/>");
    }
    void parseErrorsNamePosition()
    {
        QFETCH(QByteArray, xml);
        const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
        if (xmllint.isEmpty())
            QSKIP("xmllint is not installed");
        QProcess lint;
        lint.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("-")});
        lint.write(xml);
        lint.closeWriteChannel();
        QVERIFY(lint.waitForFinished(10000));
        // "-:LINE: parser error : WORDS"
        static const QRegularExpression first(QStringLiteral("^-:(\\d+): parser error : (.*)$"),
                                              QRegularExpression::MultilineOption);
        const QRegularExpressionMatch expected =
            first.match(QString::fromUtf8(lint.readAllStandardError()));
        QVERIFY(expected.hasMatch());

        CXmlDataFileParser parser;
        QVERIFY(!parser.ParseData(xml));
        static const QRegularExpression shown(
            QStringLiteral("^строка (\\d+), столбец (\\d+): ([^\\n]*)"));
        const QRegularExpressionMatch got = shown.match(parser.errorString());
        QVERIFY2(got.hasMatch(), qPrintable(parser.errorString()));
        QCOMPARE(got.captured(1), expected.captured(1));
        QVERIFY(got.captured(2).toInt() >= 1);
        QCOMPARE(got.captured(3), expected.captured(2).trimmed());
    }

    // Bytes the declared encoding cannot convert: libxml2 tells it without
    // the parse's context; the box must still say so (not only "premature
    // end"), on any thread, and the handler of the thread is left as it was.
    void encodingFailureIsTheReason()
    {
        const QByteArray xml("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                             "<R>\n<NAME>\x98</NAME></R>");
        const auto check = [&xml]() -> QString
        {
            const xmlGenericErrorFunc before = xmlGenericError;
            CXmlDataFileParser parser;
            if (parser.ParseData(xml))
                return QStringLiteral("accepted");
            if (xmlGenericError != before)
                return QStringLiteral("handler not restored");
            return parser.errorString();
        };
        const QString here = check();
        QVERIFY2(here.startsWith(QStringLiteral("строка ")), qPrintable(here));
        QVERIFY2(here.endsWith(QStringLiteral(": input conversion failed due to input error, "
                                              "bytes 0x98 0x3C 0x2F 0x4E")),
                 qPrintable(here));
        QString there;
        std::thread other([&] { there = check(); });
        other.join();
        QCOMPARE(there, here);
    }

    // Parses on several threads at once keep their trees and their error
    // texts apart.
    void parsesOnThreads()
    {
        QList<QString> failures;
        QMutex lock;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back(
                [&, t]
                {
                    const QByteArray good = "<R><A>" + QByteArray::number(t) + "</A>" +
                                            QByteArray("<B>x</B>").repeated(200) + "</R>";
                    // The error on line t + 2.
                    const QByteArray bad = "<R>" + QByteArray(t + 1, '\n') + "<A></B></R>";
                    for (int i = 0; i < 200; ++i)
                    {
                        CXmlDataFileParser parser;
                        const bool ok = parser.ParseData(good) &&
                                        parser.GetValue(QStringLiteral("a")) == QString::number(t);
                        CXmlDataFileParser broken;
                        const bool refused =
                            !broken.ParseData(bad) && broken.errorString().startsWith(
                                                          QStringLiteral("строка %1, ").arg(t + 2));
                        if (!ok || !refused)
                        {
                            QMutexLocker locked(&lock);
                            failures << broken.errorString();
                            return;
                        }
                    }
                });
        for (std::thread& thread : threads)
            thread.join();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('|'))));
    }

    // --- storage ----------------------------------------------------------
    void roundTrip()
    {
        const QString path = m_env->Root() + QStringLiteral("/round.kdb");
        DataFileList files;
        files << File(QStringLiteral("Резервуар-РВС-01"), {MmCell(5.2), MmCell(0.3), MmCell(12.25)})
              << File(QStringLiteral("tank"), {}, 255) << File(QString(), {MmCell(1)}, 0);
        QVERIFY(CDataStorage::SaveDatabaseFile(path, files));
        const CDataStorage::LoadResult r = CDataStorage::LoadDatabaseFile(path);
        QCOMPARE(r.status, CDataStorage::LoadResult::Ok);
        QCOMPARE(r.files.size(), 3);
        QVERIFY(SameFiles(r.files.at(0), files.at(0)));
        QCOMPARE(CDataStorage::FileName(r.files.at(1)), QStringLiteral("tank"));
        QCOMPARE(int(r.files.at(1).header.records), 255);
        // 255 announced rows, none present: every one is damaged.
        QVERIFY(r.damaged);
        // RECORDS 0: the row that was written is not read.
        QCOMPARE(r.files.at(2).cells.size(), 0);
        QVERIFY(!r.truncated);
        // Writing what was read gives the same bytes.
        QCOMPARE(CDataStorage::DatabaseDocument({r.files.at(0)}),
                 CDataStorage::DatabaseDocument({files.at(0)}));
    }

    // A name as the gauge may hold it must not make the saved file unreadable.
    void savedNamesStayReadable_data()
    {
        QTest::addColumn<QByteArray>("nameBytes"); // windows-1251, as in the record
        QTest::addColumn<QString>("readBack");
        QTest::newRow("control byte") << QByteArray("A\x01"
                                                    "B\x1F")
                                      << "A?B?";
        QTest::newRow("tab kept, dropped on reading") << QByteArray("A\tB") << "AB";
        QTest::newRow("markup characters") << QByteArray("<&]]>\"'") << "<&]]>\"'";
        QTest::newRow("undefined byte") << QByteArray("\x98\xFF") << QStringLiteral(u"\u0098я");
    }
    void savedNamesStayReadable()
    {
        QFETCH(QByteArray, nameBytes);
        DataFileRecord file = File(QString(), {MmCell(5.2)});
        std::memcpy(file.header.name, nameBytes.constData(), size_t(nameBytes.size()));
        const QString path = m_env->Root() + QStringLiteral("/names.kdb");
        QVERIFY(CDataStorage::SaveDatabaseFile(path, {file}));

        const CDataStorage::LoadResult r = CDataStorage::LoadDatabaseFile(path);
        QCOMPARE(r.status, CDataStorage::LoadResult::Ok);
        QCOMPARE(r.files.size(), 1);
        QTEST(CDataStorage::FileName(r.files.first()), "readBack");
        QCOMPARE(r.files.first().cells.size(), 1);

        const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
        if (xmllint.isEmpty())
            QSKIP("xmllint is not installed");
        QProcess lint;
        lint.start(xmllint, {QStringLiteral("--noout"), path});
        QVERIFY(lint.waitForFinished(30000));
        QCOMPARE(lint.exitCode(), 0);
    }

    void loaderCases_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("cellsOfFirst");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("truncated");
        const QByteArray row = "<DATA_ROW1>AgwABSAXzzExMgAAAABA4gEABQ6POuw=</DATA_ROW1>";
        QByteArray two00 = "<!DOCTYPE KorvalentDatabase><KorvalentDatabase><FILES>200</FILES>";
        for (int i = 1; i <= 200; ++i)
            two00 += "<FILE" + QByteArray::number(i) + "><NAME>F" + QByteArray::number(i) +
                     "</NAME><RECORDS>1</RECORDS>" + row + "</FILE" + QByteArray::number(i) + ">";
        two00 += "</KorvalentDatabase>";
        QTest::newRow("FILES 200") << two00 << 150 << 1 << false << true;
        QTest::newRow("FILES 3, only FILE1")
            << QByteArray("<KorvalentDatabase><FILES>3</FILES><FILE1><RECORDS>1</RECORDS>" + row +
                          "</FILE1></KorvalentDatabase>")
            << 3 << 1 << false << false;
        QByteArray five = "<KorvalentDatabase><FILES>1</FILES><FILE1><RECORDS>5</RECORDS>";
        for (int i = 1; i <= 3; ++i)
            five += QByteArray(row).replace("ROW1", "ROW" + QByteArray::number(i));
        five += "</FILE1></KorvalentDatabase>";
        QTest::newRow("RECORDS 5, rows 1-3") << five << 1 << 3 << true << false;
        QTest::newRow("FILES 0")
            << QByteArray("<KorvalentDatabase><FILES>0</FILES><FILE1><RECORDS>1</RECORDS>" + row +
                          "</FILE1></KorvalentDatabase>")
            << 0 << 0 << false << false;
        QTest::newRow("FILES malformed reads 0")
            << QByteArray("<KorvalentDatabase><FILES>2x</FILES></KorvalentDatabase>") << 0 << 0
            << false << false;
        QTest::newRow("FILES -1 is damaged")
            << QByteArray("<KorvalentDatabase><FILES>-1</FILES></KorvalentDatabase>") << 0 << 0
            << true << false;
        QTest::newRow("FILES beyond 32 bits is damaged")
            << QByteArray("<KorvalentDatabase><FILES>4294967296</FILES></KorvalentDatabase>") << 0
            << 0 << true << false;
        QTest::newRow("FILES far beyond 64 bits is damaged")
            << QByteArray("<KorvalentDatabase><FILES>99999999999999999999999</FILES>"
                          "</KorvalentDatabase>")
            << 0 << 0 << true << false;
        QTest::newRow("FILES huge")
            << QByteArray("<KorvalentDatabase><FILES>4294967295</FILES></KorvalentDatabase>") << 150
            << 0 << false << true;
        QTest::newRow("mixed case, row of 22 bytes")
            << QByteArray("<korvalentdatabase><files>1</files><File1><Records>2</Records>"
                          "<data_row1>AgwABSAXzzExMgAAAABA4gEABQ6POuw=</data_row1>"
                          "<Data_Row2>AgwABSAXzzExMgAAAABA4gEABQ6POg==</Data_Row2>"
                          "</File1></korvalentdatabase>")
            << 1 << 1 << true << false;
    }
    void loaderCases()
    {
        QFETCH(QByteArray, xml);
        const CDataStorage::LoadResult r = CDataStorage::ParseDatabase(xml);
        QCOMPARE(r.status, CDataStorage::LoadResult::Ok);
        QTEST(int(r.files.size()), "files");
        if (!r.files.isEmpty())
            QTEST(int(r.files.first().cells.size()), "cellsOfFirst");
        QTEST(r.damaged, "damaged");
        QTEST(r.truncated, "truncated");
        for (const DataFileRecord& f : r.files)
            QVERIFY(f.cells.size() <= f.header.records);
    }

    void loaderNumbers()
    {
        const CDataStorage::LoadResult r = CDataStorage::ParseDataFile(
            "<KorvalentDataFile><NAME>Очень длинное имя файла</NAME>"
            "<SERIAL_NUMBER>4294967296</SERIAL_NUMBER><FW_VERSION>4294967295</FW_VERSION>"
            "<AUDIO_INDEX>258</AUDIO_INDEX><RECORDS>-1</RECORDS></KorvalentDataFile>");
        QCOMPARE(r.status, CDataStorage::LoadResult::Ok);
        const DataFileHeader& h = r.files.first().header;
        QCOMPARE(CDataStorage::FileName(r.files.first()), QStringLiteral("Очень длинное им"));
        QCOMPARE(quint32(h.serialNumber), 0u); // does not fit 32 bits: malformed
        QCOMPARE(quint32(h.fwVersion), 4294967295u);
        QCOMPARE(int(h.audioIndex), 2);
        QCOMPARE(int(h.records), 255);
        QVERIFY(r.damaged);
    }

    // Key files over 64 MB and paths that are no regular files are refused
    // before reading, with the load failure naming the reason and the limit.
    void loaderRefusesHugeAndSpecialFiles()
    {
        QTemporaryDir dir;
        const QString big = dir.filePath(QStringLiteral("big.kdb"));
        QVERIFY(WriteBytes(big, ""));
        QVERIFY(QFile::resize(big, CInputLimits::kKeyFileBytes + 1));
        for (const auto load : {&CDataStorage::LoadDatabaseFile, &CDataStorage::LoadDataFile})
        {
            CDataStorage::LoadResult r = load(big);
            QCOMPARE(r.status, CDataStorage::LoadResult::ParseFailed);
            QCOMPARE(r.parserError, QStringLiteral("файл больше допустимого размера 64 МБ"));
            r = load(QStringLiteral("/dev/zero"));
            QCOMPARE(r.status, CDataStorage::LoadResult::ParseFailed);
            QCOMPARE(r.parserError, QStringLiteral("это не обычный файл"));
        }
        // Exactly at the limit the file is read (and then found not to be ours).
        QVERIFY(QFile::resize(big, CInputLimits::kKeyFileBytes));
        const CDataStorage::LoadResult r = CDataStorage::LoadDatabaseFile(big);
        QCOMPARE(r.status, CDataStorage::LoadResult::ParseFailed);
        QVERIFY(r.parserError.contains(QStringLiteral("UTF-8")));
    }

    void loaderKinds()
    {
        QCOMPARE(CDataStorage::ParseDatabase("<KorvalentDataFile/>").status,
                 CDataStorage::LoadResult::WrongKind);
        QCOMPARE(CDataStorage::ParseDataFile("<KorvalentDatabase/>").status,
                 CDataStorage::LoadResult::WrongKind);
        const CDataStorage::LoadResult bad = CDataStorage::ParseDataFile("<KorvalentDataFile>");
        QCOMPARE(bad.status, CDataStorage::LoadResult::ParseFailed);
        QVERIFY(!bad.parserError.isEmpty());
        QCOMPARE(CDataStorage::LoadDatabaseFile(m_env->Root() + QStringLiteral("/none.kdb")).status,
                 CDataStorage::LoadResult::OpenFailed);
    }

    // The earlier survey may be picked from a file of either kind: what it
    // holds decides, the suffix only which kind is tried (and reported) first.
    void loadEitherKind_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("holds"); // "database", "data file" or "garbage"
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("dataFile");
        QTest::addColumn<int>("files");
        const int ok = int(CDataStorage::LoadResult::Ok);
        const int parse = int(CDataStorage::LoadResult::ParseFailed);
        QTest::newRow("database as .kdb") << ".kdb"
                                          << "database" << ok << false << 2;
        QTest::newRow("database under .kdf") << ".kdf"
                                             << "database" << ok << false << 2;
        QTest::newRow("data file as .kdf") << ".kdf"
                                           << "data file" << ok << true << 1;
        QTest::newRow("data file under .KDB") << ".KDB"
                                              << "data file" << ok << true << 1;
        QTest::newRow("garbage .kdf: data file's failure") << ".kdf"
                                                           << "garbage" << parse << true << 0;
        QTest::newRow("garbage .kdb: database's failure") << ".kdb"
                                                          << "garbage" << parse << false << 0;
    }
    void loadEitherKind()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, holds);
        QFETCH(int, status);
        QFETCH(bool, dataFile);
        QFETCH(int, files);
        const QString path = m_env->Root() + QStringLiteral("/either") + suffix;
        QFile::remove(path);
        const DataFileList two{File(QStringLiteral("A"), {MmCell(5.2)}),
                               File(QStringLiteral("B"), {MmCell(7.1), MmCell(0.3)})};
        if (holds == QLatin1String("database"))
            QVERIFY(CDataStorage::SaveDatabaseFile(path, two));
        else if (holds == QLatin1String("data file"))
            QVERIFY(CDataStorage::SaveDataFile(path, two.at(1)));
        else
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<KorvalentDatabase><unclosed>");
        }
        bool single = !dataFile;
        const CDataStorage::LoadResult r = CDataStorage::LoadEitherKind(path, &single);
        QCOMPARE(int(r.status), status);
        QCOMPARE(single, dataFile);
        QCOMPARE(int(r.files.size()), files);
        if (files == 1)
            QCOMPARE(r.files.first().cells.size(), 2);
    }

    void baseName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::newRow("plain") << "/data/Y.kdf"
                               << "Y";
        QTest::newRow("first dot") << "/data/Tank.A.kdf"
                                   << "Tank";
        QTest::newRow("dot in folder") << "/da.ta/Tank.kdf"
                                       << "Tank";
        QTest::newRow("no suffix") << "/data/Tank"
                                   << "Tank";
        QTest::newRow("hidden") << "/data/.kdf"
                                << "";
    }
    void baseName()
    {
        QFETCH(QString, path);
        QTEST(CDataStorage::BaseName(path), "base");
    }

    void interruptedSaveKeepsOldFile()
    {
        const QString path = m_env->Root() + QStringLiteral("/keep.kdb");
        const DataFileList small{File(QStringLiteral("old"), {MmCell(5)})};
        QVERIFY(CDataStorage::SaveDatabaseFile(path, small));
        const QByteArray before = ReadBytes(path);

        DataFileList large;
        for (int i = 0; i < 20; ++i)
            large << File(QStringLiteral("new%1").arg(i), QList<CellRecord>(200, MmCell(7)));

        // The disk "fills up" halfway through the write: the process may not
        // write files larger than the old one plus a little.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = rlim_t(before.size() + 100);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool saved1 = CDataStorage::SaveDatabaseFile(path, large);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!saved1);
        QCOMPARE(ReadBytes(path), before);
        QCOMPARE(QDir(m_env->Root()).entryList(QDir::Files).filter(QStringLiteral("keep")).size(),
                 1);
    }

    // A small file meets a full disk only at its final flush: every key-file
    // save must see that, keep the old file and leave no temporary file.
    void smallSaveOverLimitKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("prev.kdb"));
        const QString dataFile = dir.filePath(QStringLiteral("prev.kdf"));
        QVERIFY(WriteBytes(database, "old database"));
        QVERIFY(WriteBytes(dataFile, "old data file"));
        const DataFileRecord file = File(QStringLiteral("Tank"), QList<CellRecord>(150, MmCell(7)));
        const QByteArray document = CDataStorage::DatabaseDocument({file});
        QVERIFY(document.size() > 4096 && document.size() < 16384);

        bool databaseSaved = true;
        bool dataFileSaved = true;
        bool written = true;
        QString error;
        {
            CFileSizeLimit guard(4096);
            databaseSaved = CDataStorage::SaveDatabaseFile(database, {file});
            dataFileSaved = CDataStorage::SaveDataFile(dataFile, file);
            written = CXmlKeyFileWriter::WriteFile(database, document, &error);
        }
        QVERIFY(!databaseSaved);
        QVERIFY(!dataFileSaved);
        QVERIFY(!written);
        QVERIFY2(error.contains(database), qPrintable(error));
        QCOMPARE(ReadBytes(database), QByteArray("old database"));
        QCOMPARE(ReadBytes(dataFile), QByteArray("old data file"));
        QCOMPARE(FolderEntries(dir.path()), (QStringList{"prev.kdb", "prev.kdf"}));
    }

    void saveOntoSpecialFileRefused()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.kdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const DataFileRecord file = File(QStringLiteral("Tank"), {MmCell(7)});
        QVERIFY(!CDataStorage::SaveDatabaseFile(fifo, {file}));
        QVERIFY(!CDataStorage::SaveDataFile(fifo, file));
        QString error;
        QVERIFY(!CXmlKeyFileWriter::WriteFile(QStringLiteral("/dev/null"), "x", &error));
        QVERIFY(error.contains(QStringLiteral("/dev/null")));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(FolderEntries(dir.path()), QStringList{"pipe.kdb"});
    }

    // --- statistics ---------------------------------------------------------
    void statistics_data()
    {
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<QStringList>("expected"); // rows 0-10, "" = not written
        QTest::addColumn<int>("reach");
        QTest::newRow("worked example")
            << QList<float>{2, 4, 4, 4, 5, 5, 7, 9}
            << QStringList{"8",    "8",    "0",     "2.00",  "9.00", "5.00",
                           "4.50", "7.00", "2.138", "2.000", "4.000"}
            << int(CStatistics::AllRows);
        QTest::newRow("odd count median")
            << QList<float>{3, 1, 2}
            << QStringList{"3",    "3",    "0",     "1.00",  "3.00", "2.00",
                           "2.00", "2.00", "1.000", "0.816", "0.667"}
            << int(CStatistics::AllRows);
        QTest::newRow("even count median")
            << QList<float>{4, 1, 3, 2}
            << QStringList{"4",    "4",    "0",     "1.00",  "4.00", "2.50",
                           "2.50", "3.00", "1.291", "1.118", "1.250"}
            << int(CStatistics::AllRows);
        QTest::newRow("two values")
            << QList<float>{10, 12}
            << QStringList{"2",     "2",    "0",     "10.00", "12.00", "11.00",
                           "11.00", "2.00", "1.414", "1.000", "1.000"}
            << int(CStatistics::AllRows);
        // Exact halves (1.125, 1.0625, 0.125, 0.0625 in binary) go to the
        // even digit, as printf prints the same single-precision figures.
        QTest::newRow("exact halves")
            << QList<float>{1.0f, 1.125f}
            << QStringList{"2",    "2",    "0",     "1.00",  "1.12", "1.06",
                           "1.06", "0.12", "0.088", "0.062", "0.004"}
            << int(CStatistics::AllRows);
        QTest::newRow("exact half mean and median")
            << QList<float>{5.0f, 5.25f}
            << QStringList{"2",    "2",    "0",     "5.00",  "5.25", "5.12",
                           "5.12", "0.25", "0.177", "0.125", "0.016"}
            << int(CStatistics::AllRows);
        QTest::newRow("one valid value")
            << QList<float>{0.39f, 5.0f, 700.0f}
            << QStringList{"3", "1", "2", "5.00", "5.00", "5.00", "", "0.00", "", "", ""}
            << int(CStatistics::OneValidValue);
        QTest::newRow("bounds are valid")
            << QList<float>{0.4f, 600.0f, 600.01f, 0.39f}
            << QStringList{"4",      "2",      "2",       "0.40",    "600.00",   "300.20",
                           "300.20", "599.60", "423.981", "299.800", "89880.047"}
            << int(CStatistics::AllRows);
        QTest::newRow("readings of a pipe")
            << QList<float>{5.21f, 5.19f, 5.2f, 4.98f, 5.33f}
            << QStringList{"5",    "5",    "0",     "4.98",  "5.33", "5.18",
                           "5.20", "0.35", "0.126", "0.113", "0.013"}
            << int(CStatistics::AllRows);
        QTest::newRow("all LOS") << QList<float>{0.1f, 0.0f, 601.0f}
                                 << QStringList{"3", "0", "3", "", "", "", "", "", "", "", ""}
                                 << int(CStatistics::NoValidValues);
        QTest::newRow("empty file")
            << QList<float>{} << QStringList{"0", "0", "0", "", "", "", "", "", "", "", ""}
            << int(CStatistics::NoValidValues);
    }

    void statisticsOfInchReadings()
    {
        // Thin walls measured in inches count; the figures stay in inches.
        const CStatistics::Result r = CStatistics::Compute(
            Readings({0.23f, 0.25f, 0.24f, 0.01f, 24.0f}, CCellDecoder::Unit::Inches));
        QCOMPARE(r.validCount, 3);
        QCOMPARE(r.values[CStatistics::LosCountRow], QStringLiteral("2"));
        QCOMPARE(r.values[CStatistics::MinRow], QStringLiteral("0.23"));
        QCOMPARE(r.values[CStatistics::MaxRow], QStringLiteral("0.25"));
        QCOMPARE(r.values[CStatistics::MedianRow], QStringLiteral("0.24"));
        // A file of both units judges each reading in its own unit.
        const CStatistics::Result mixed =
            CStatistics::Compute({{0.3f, CCellDecoder::Unit::Millimetres},
                                  {0.3f, CCellDecoder::Unit::Inches},
                                  {500.0f, CCellDecoder::Unit::Millimetres},
                                  {500.0f, CCellDecoder::Unit::Inches}});
        QCOMPARE(mixed.validCount, 2);
        QCOMPARE(mixed.values[CStatistics::MinRow], QStringLiteral("0.30"));
        QCOMPARE(mixed.values[CStatistics::MaxRow], QStringLiteral("500.00"));
    }
    void statistics()
    {
        QFETCH(QList<float>, values);
        QFETCH(QStringList, expected);
        const CStatistics::Result r = CStatistics::Compute(Readings(values));
        QTEST(int(r.reach), "reach");
        for (int row = 0; row < CStatistics::RowCount; ++row)
        {
            QCOMPARE(r.written[row], !expected.at(row).isEmpty());
            if (r.written[row])
                QCOMPARE(r.values[row], expected.at(row));
        }
    }

    void statisticsKeepUnwrittenCells()
    {
        QStandardItemModel model(11, 3);
        for (int row = 0; row < 11; ++row)
            for (int column = 0; column < 3; ++column)
                model.setItem(row, column, new QStandardItem(QStringLiteral("old")));
        CStatistics::WriteToModel(&model, CStatistics::Compute(Readings({0.39f, 5.0f, 700.0f})));
        QCOMPARE(model.item(1, 2)->text(), QStringLiteral("1"));
        QCOMPARE(model.item(6, 2)->text(), QStringLiteral("old"));
        QCOMPARE(model.item(10, 2)->text(), QStringLiteral("old"));
        QCOMPARE(model.item(10, 2)->textAlignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        QCOMPARE(model.item(0, 0)->textAlignment(), Qt::Alignment());
    }

    void resultTextsAsInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("value");
        QTest::newRow("decimal") << "12.5" << 12.5f;
        QTest::newRow("three decimals") << "7.000" << 7.0f;
        QTest::newRow("comma is no number") << "12,5" << 0.0f;
        QTest::newRow("empty") << "" << 0.0f;
        QTest::newRow("text") << "н/д" << 0.0f;
    }
    void resultTextsAsInput()
    {
        QFETCH(QString, text);
        QTEST(CStatistics::ValueFromResultText(text), "value");
    }

    void filesTableTexts_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("cells");
        QTest::addColumn<QString>("countText");
        QTest::newRow("none") << 0 << 0 << "Нет записей";
        QTest::newRow("255 from a PC file") << 255 << 3 << "Нет записей";
        QTest::newRow("fewer received") << 12 << 2 << "1 - 2 из 12";
        QTest::newRow("none received") << 12 << 0 << "0 из 12";
        QTest::newRow("more held than announced") << 2 << 5 << "1 - 2";
        QTest::newRow("one") << 1 << 1 << "1 - 1";
        QTest::newRow("254") << 254 << 0 << "0 из 254";
        QTest::newRow("254 held") << 254 << 254 << "1 - 254";
    }
    void filesTableTexts()
    {
        QFETCH(int, records);
        QFETCH(int, cells);
        const DataFileRecord file =
            File(QStringLiteral("Резервуар-РВС-01"), QList<CellRecord>(cells, MmCell(1)), records);
        QStandardItemModel model;
        CResultsModels::FillFiles(&model, {file, file});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.item(1, 0)->text(), QStringLiteral("Резервуар-РВС-01"));
        QTEST(model.item(1, 1)->text(), "countText");
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Исп. ячейки"));
    }

    void reportCallerReadsResultTexts()
    {
        // The report computes from the texts of the results table; for cells
        // those texts are exact, so both callers agree.
        const QList<CellRecord> cells{MmCell(5.21),       MmCell(0.39),   Cell(0x02, 600, 1),
                                      Cell(0x00, 600, 0), MmCell(0.4),    Cell(0x06, 7, 9),
                                      InchCell(0.23),     InchCell(0.01), InchCell(23.63)};
        QList<CStatistics::Reading> values;
        QList<CStatistics::Reading> fromRowTexts;
        for (const CellRecord& c : cells)
        {
            values.append({CCellDecoder::Value(c), CCellDecoder::UnitOf(c)});
            fromRowTexts.append(CStatistics::ReadingFromTexts(CCellDecoder::ResultText(c),
                                                              CCellDecoder::UnitsText(c)));
        }
        fromRowTexts.append(CStatistics::ReadingFromTexts(QStringLiteral("н/д"), QString()));
        const CStatistics::Result fromCells = CStatistics::Compute(values);
        QCOMPARE(fromCells.validCount, 5);
        const CStatistics::Result fromTexts = CStatistics::Compute(fromRowTexts);
        QCOMPARE(fromTexts.count, fromCells.count + 1); // the non-number counts, as LOS
        QCOMPARE(fromTexts.validCount, fromCells.validCount);
        for (int row = CStatistics::MinRow; row < CStatistics::RowCount; ++row)
            QCOMPARE(fromTexts.values[row], fromCells.values[row]);
    }

private:
    QScopedPointer<CTestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestDataCore)
#include "tst_data_core.moc"
