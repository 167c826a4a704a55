#include "tests/tools/PepTestSupport.h"
#include "tools/CPEPImage.h"
#include "tools/CPEPList.h"
#include "tools/CScreenImage.h"

#include <QtTest>
#include <cmath>
#include <cstring>

// The widget-free transducer image, transducer list and screen codecs.
namespace
{
// An image given as raw bytes at their offsets, with a correct checksum.
QByteArray ImageBytes(const QList<QPair<int, QByteArray>>& fields, char fill = 0)
{
    QByteArray bytes(128, fill);
    for (const auto& f : fields)
        bytes.replace(f.first, f.second.size(), f.second);
    return WithCrc(bytes);
}

QByteArray Le16(quint16 v)
{
    QByteArray bytes;
    bytes.append(char(v & 0xFF));
    bytes.append(char(v >> 8));
    return bytes;
}

QByteArray Float(float f)
{
    return QByteArray(reinterpret_cast<const char*>(&f), 4);
}

PEPListRecord ListRecord(quint16 frequency, quint32 delay, quint8 from, quint16 to)
{
    PEPListRecord r;
    std::memset(&r, 0, sizeof(r));
    std::memcpy(r.name, "P112", 4);
    r.frequency = frequency;
    r.delay = delay;
    r.rangeFrom = from;
    r.rangeTo = to;
    r.serialNumber = 4000000000u;
    return r;
}

void FillVPath(PEPListRecord& r, int entries)
{
    for (int k = 0; k < entries; ++k)
    {
        const VPathEntry e{quint16(10 + k), 1.0f + k, 0.1f};
        std::memcpy(r.vpath + 10 * k, &e, sizeof(e));
    }
}
} // namespace

class TestPepCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksumAgreesWithBitwiseCrc()
    {
        // The catalogue's check value first, then a whole image.
        QCOMPARE(BitwiseCrc("123456789"), quint16(0x6F91));
        const QByteArray bytes = ImageBytes({{0, "D1771"}, {10, QByteArray(1, char(50))}});
        const CPEPImage::Decoded decoded = CPEPImage::DecodeFile(bytes);
        QVERIFY(decoded.crcOk);
        QCOMPARE(CPEPImage::ComputeCrc(decoded.image),
                 quint16(quint8(bytes[126]) | quint8(bytes[127]) << 8));
    }

    void decodeFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("crcOk");
        const QByteArray good = ImageBytes({{0, "ABC"}});
        QTest::newRow("erased transducer") << QByteArray(128, char(0xFF)) << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("good image") << good << true;
        QTest::newRow("one bit flipped") << QByteArray(good).replace(3, 1, "\x01") << false;
        QTest::newRow("longer file: first 128 bytes count") << good + QByteArray(500, 'x') << true;
        // A short file is laid over FF bytes: its missing checksum is FFFF.
        QTest::newRow("short file") << good.left(100) << false;
    }
    void decodeFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, crcOk);
        const CPEPImage::Decoded decoded = CPEPImage::DecodeFile(bytes);
        QCOMPARE(decoded.crcOk, crcOk);
        QByteArray expected = bytes.left(128);
        expected += QByteArray(128 - expected.size(), char(0xFF));
        QCOMPARE(CPEPImage::ToBytes(decoded.image), expected);
    }

    void fieldsFromImage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::newRow("worked image") << ImageBytes({{10, QByteArray(1, char(50))},
                                                     {11, Le16(1200)},
                                                     {13, Le16(300)},
                                                     {15, QByteArray(1, char(5))},
                                                     {16, Le16(1000)}})
                                      << "5.0"
                                      << "1200"
                                      << "300" << 0.5 << 100.0;
        QTest::newRow("not given") << ImageBytes({{10, QByteArray(1, char(0xFF))},
                                                  {11, Le16(0xFFFF)},
                                                  {13, Le16(0xFFFF)},
                                                  {15, QByteArray(1, char(0xFF))},
                                                  {16, Le16(1000)}})
                                   << "0"
                                   << "0"
                                   << "0" << 0.0 << 0.0;
        QTest::newRow("upper bound not given") << ImageBytes({{10, QByteArray(1, char(25))},
                                                              {13, Le16(0xFFFE)},
                                                              {15, QByteArray(1, char(5))},
                                                              {16, Le16(0xFFFF)}})
                                               << "2.5"
                                               << "0"
                                               << "65534" << 0.0 << 0.0;
    }
    void fieldsFromImage()
    {
        QFETCH(QByteArray, bytes);
        const CPEPImage::Decoded decoded = CPEPImage::DecodeFile(bytes);
        QVERIFY(decoded.crcOk);
        QTEST(decoded.form.frequency, "frequency");
        QTEST(decoded.form.delay, "delay");
        QTEST(decoded.form.probeLength, "probe");
        QTEST(decoded.form.rangeFrom, "from");
        QTEST(decoded.form.rangeTo, "to");
    }

    void typeWordCodes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("material");
        QTest::addColumn<int>("typeWord");
        QTest::newRow("ПС, Тип 3, пластик") << 1 << 2 << 1 << ((1 << 14) | (2 << 7) | 1);
        QTest::newRow("РС, Тип 1, металл") << 0 << 0 << 0 << 0;
        QTest::newRow("all Н/Д: the cleared form") << 2 << 3 << 2 << 0xBFFF;
    }
    void typeWordCodes()
    {
        QFETCH(int, type);
        QFETCH(int, mode);
        QFETCH(int, material);
        QFETCH(int, typeWord);
        CPEPImage::Form form;
        form.typeIndex = type;
        form.modeIndex = mode;
        form.materialIndex = material;
        form.manufactureDate = form.revisionDate = QDate(2026, 1, 2);
        PEPEepromImage image = CPEPImage::Erased();
        QVERIFY(CPEPImage::FromForm(form, &image, nullptr));
        QCOMPARE(int(image.typeWord), typeWord);
        const CPEPImage::Form back = CPEPImage::ToForm(image);
        QCOMPARE(back.typeIndex, type);
        QCOMPARE(back.modeIndex, mode);
        QCOMPARE(back.materialIndex, material);
    }

    void codesAtOrAboveTheItemCountShowNotGiven_data()
    {
        QTest::addColumn<int>("typeWord");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("material");
        QTest::newRow("FFFF") << 0xFFFF << 2 << 3 << 2;
        QTest::newRow("type 3, mode 4, material 3") << ((3 << 14) | (4 << 7) | 3) << 2 << 3 << 2;
        QTest::newRow("mode 3 is Н/Д itself") << ((0 << 14) | (3 << 7) | 2) << 0 << 3 << 2;
    }
    void codesAtOrAboveTheItemCountShowNotGiven()
    {
        QFETCH(int, typeWord);
        const CPEPImage::Decoded decoded =
            CPEPImage::DecodeFile(ImageBytes({{8, Le16(quint16(typeWord))}}));
        QTEST(decoded.form.typeIndex, "type");
        QTEST(decoded.form.modeIndex, "mode");
        QTEST(decoded.form.materialIndex, "material");
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("8 ASCII characters, no zero")
            << "ABCDEFGH" << QByteArray("ABCDEFGH") << "ABCDEFGH";
        QTest::newRow("short") << "D17" << QByteArray("D17\0\0\0\0\0", 8) << "D17";
        // Cyrillic letters take two bytes: four fit, the fifth is not cut in half.
        QTest::newRow("UTF-8, whole characters") << QStringLiteral("П112-5")
                                                 << QByteArray("\xD0\x9F"
                                                               "112-5\0",
                                                               8)
                                                 << QStringLiteral("П112-5");
        QTest::newRow("UTF-8, cut at a character")
            << QStringLiteral("ПЭПЭП") << QByteArray("\xD0\x9F\xD0\xAD\xD0\x9F\xD0\xAD", 8)
            << QStringLiteral("ПЭПЭ");
        QTest::newRow("UTF-8, no room for the last one")
            << QStringLiteral("1234567Ж") << QByteArray("1234567\0", 8) << "1234567";
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, field);
        CPEPImage::Form form;
        form.name = name;
        form.manufactureDate = form.revisionDate = QDate(2026, 1, 2);
        PEPEepromImage image = CPEPImage::Erased();
        QVERIFY(CPEPImage::FromForm(form, &image, nullptr));
        QCOMPARE(CPEPImage::ToBytes(image).left(8), field);
        QTEST(CPEPImage::ToForm(image).name, "readBack");
    }

    void numbersWritten_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QByteArray>("bytes10to21");
        QTest::newRow("worked") << "5.0"
                                << "1200"
                                << "300"
                                << "770412" << 0.5 << 100.0
                                << (QByteArray(1, char(50)) + Le16(1200) + Le16(300) +
                                    QByteArray(1, char(5)) + Le16(1000) +
                                    QByteArray("\x6C\xC1\x0B\x00", 4));
        QTest::newRow("no numbers give 0") << "abc"
                                           << ""
                                           << "x"
                                           << "12a" << 0.0 << 0.0 << QByteArray(12, 0);
        QTest::newRow("signed probe length, 25.4 MHz, 2.3 MHz truncation")
            << "25.4"
            << "65535"
            << "-2"
            << "4294967295" << 25.4 << 300.0
            << (QByteArray(1, char(254)) + Le16(0xFFFF) + Le16(0xFFFE) + QByteArray(1, char(254)) +
                Le16(3000) + QByteArray(4, char(0xFF)));
        QTest::newRow("2.3 truncated in single precision")
            << "2.3"
            << "1"
            << "1"
            << "1" << 0.1 << 0.1
            << (QByteArray(1, char(23)) + Le16(1) + Le16(1) + QByteArray(1, char(1)) + Le16(1) +
                QByteArray("\x01\0\0\0", 4));
    }
    void numbersWritten()
    {
        CPEPImage::Form form;
        QFETCH(QString, frequency);
        QFETCH(QString, delay);
        QFETCH(QString, probe);
        QFETCH(QString, serial);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QByteArray, bytes10to21);
        form.frequency = frequency;
        form.delay = delay;
        form.probeLength = probe;
        form.serialNumber = serial;
        form.rangeFrom = from;
        form.rangeTo = to;
        form.manufactureDate = form.revisionDate = QDate(2026, 1, 2);
        PEPEepromImage image = CPEPImage::Erased();
        QVERIFY(CPEPImage::FromForm(form, &image, nullptr));
        QCOMPARE(CPEPImage::ToBytes(image).mid(10, 12), bytes10to21);
        QVERIFY(CPEPImage::CrcMatches(image));
    }

    void byteOverflowRefused_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<double>("from");
        QTest::addColumn<QString>("message");
        const QString freq =
            QStringLiteral("Значение поля \"Частота, МГц\" не может быть записано в "
                           "ПЭП: допустимы значения от 0.0 до 25.4.");
        const QString range = QStringLiteral("Нижняя граница поля \"Диапазон, мм\" не может быть "
                                             "записана в ПЭП: допустимы значения от 0.0 до 25.4.");
        QTest::newRow("frequency 25.5 (the byte FF)") << "25.5" << 0.0 << freq;
        QTest::newRow("frequency 30") << "30" << 0.0 << freq;
        QTest::newRow("frequency negative") << "-0.1" << 0.0 << freq;
        QTest::newRow("frequency infinite") << "inf" << 0.0 << freq;
        QTest::newRow("range from 25.5") << "5" << 25.5 << range;
        QTest::newRow("range from 100") << "5" << 100.0 << range;
    }
    void byteOverflowRefused()
    {
        QFETCH(QString, frequency);
        QFETCH(double, from);
        CPEPImage::Form form;
        form.frequency = frequency;
        form.rangeFrom = from;
        form.name = QStringLiteral("NEW");
        form.manufactureDate = form.revisionDate = QDate(2026, 1, 2);
        PEPEepromImage image = CPEPImage::Erased();
        QString error;
        QVERIFY(!CPEPImage::FromForm(form, &image, &error));
        QTEST(error, "message");
        QCOMPARE(CPEPImage::ToBytes(image), QByteArray(128, char(0xFF)));
    }

    void dates_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QDate>("date");
        QTest::newRow("17.05.2024") << ((17 << 11) | (5 << 7) | 24) << QDate(2024, 5, 17);
        QTest::newRow("31.12.2127") << ((31 << 11) | (12 << 7) | 127) << QDate(2127, 12, 31);
        QTest::newRow("0 is not given") << 0 << QDate();
        QTest::newRow("FFFF is not given") << 0xFFFF << QDate();
        QTest::newRow("31 February is no day") << ((31 << 11) | (2 << 7) | 26) << QDate();
    }
    void dates()
    {
        QFETCH(int, word);
        QFETCH(QDate, date);
        QCOMPARE(CPEPImage::UnpackDate(quint16(word)), date);
        if (date.isValid())
            QCOMPARE(int(CPEPImage::PackDate(date)), word);
    }

    void vpathFillRule()
    {
        // Entry 0 filled, 1 zero word, 2 zero measured, 3 NaN, rest FF.
        QByteArray bytes(128, char(0xFF));
        bytes.replace(22, 10, Le16(50) + Float(5.04f) + Float(-0.0456f));
        bytes.replace(32, 10, Le16(0) + Float(1.0f) + Float(1.0f));
        bytes.replace(42, 10, Le16(10) + Float(0.0f) + Float(1.0f));
        bytes.replace(52, 10, Le16(12345) + QByteArray(4, char(0xFF)) + Float(1234.5f));
        const CPEPImage::Form form =
            CPEPImage::ToForm(CPEPImage::Overlay(CPEPImage::Erased(), bytes));
        QCOMPARE(form.vpath[0][0], QStringLiteral("5.0"));
        QCOMPARE(form.vpath[1][0], QStringLiteral("5.04"));
        QCOMPARE(form.vpath[2][0], QStringLiteral("-0.0456"));
        QVERIFY(form.vpath[0][1].isEmpty() && form.vpath[1][1].isEmpty());
        QVERIFY(form.vpath[0][2].isEmpty() && form.vpath[2][2].isEmpty());
        QCOMPARE(form.vpath[0][3], QStringLiteral("1234.5"));
        QCOMPARE(form.vpath[1][3], QStringLiteral("nan"));
        QCOMPARE(form.vpath[2][3], QStringLiteral("1.23e+03"));
        for (int k = 4; k < 10; ++k)
        {
            QCOMPARE(form.vpath[0][k], QStringLiteral("6553.5"));
            QCOMPARE(form.vpath[1][k], QStringLiteral("nan"));
        }
    }

    void vpathColumnsWrittenOnlyWhenComplete()
    {
        CPEPImage::Form form;
        form.manufactureDate = form.revisionDate = QDate(2026, 1, 2);
        form.vpath[0][0] = "5.0";
        form.vpath[1][0] = "5.05";
        form.vpath[2][0] = "0.05";
        form.vpath[0][1] = "7.0"; // column 2 lacks its third cell
        form.vpath[1][1] = "7.1";
        PEPEepromImage image = CPEPImage::Erased();
        QVERIFY(CPEPImage::FromForm(form, &image, nullptr));
        const QByteArray bytes = CPEPImage::ToBytes(image);
        QCOMPARE(bytes.mid(22, 10), Le16(50) + Float(5.05f) + Float(0.05f));
        QCOMPARE(bytes.mid(32, 90), QByteArray(90, char(0xFF)));
        // The shown erased columns written back keep their FF word.
        const CPEPImage::Form back = CPEPImage::ToForm(image);
        PEPEepromImage again = image;
        QVERIFY(CPEPImage::FromForm(back, &again, nullptr));
        QCOMPARE(again.vpath[5].actual, quint16(0xFFFF));
        QVERIFY(std::isnan(again.vpath[5].measured));
    }

    void showLines()
    {
        const QByteArray bytes = ImageBytes({{0, "D1771"},
                                             {8, Le16((1 << 14) | (2 << 7) | 1)},
                                             {10, QByteArray(1, char(50))},
                                             {11, Le16(1200)},
                                             {13, Le16(0xFFFF)},
                                             {15, QByteArray(1, char(5))},
                                             {16, Le16(1000)},
                                             {18, QByteArray("\x6C\xC1\x0B\x00", 4)},
                                             {22, Le16(50) + Float(5.1f) + Float(0.1f)},
                                             {122, Le16((17 << 11) | (5 << 7) | 24)},
                                             {124, Le16(0)}});
        const CPEPImage::Decoded decoded = CPEPImage::DecodeFile(bytes);
        QVERIFY(decoded.crcOk);
        const auto lines = CPEPImage::ShowLines(decoded.image, QDate(2026, 12, 7));
        QStringList texts;
        for (const auto& l : lines)
            texts.append(l.first + '\t' + l.second.join('\t'));
        const QString tail = QString("\t").repeated(9);
        QCOMPARE(texts, (QStringList{
                            "Наименование ПЭП\tD1771",
                            "Тип ПЭП\tПС",
                            "Частота, МГц\t5.0",
                            "Задержка, нс\t1200",
                            "Длительность ЗИ, нс\t0",
                            "Диапазон, мм\t0.5",
                            "-\t100.0",
                            "Серийный номер ПЭП\t770412",
                            "Режим измерения\tТип 3/Э1-Э2",
                            "Исследуемый материал\tП (пластик/полимер)",
                            "Дата изготовления\t17.05.2024",
                            "Дата проверки\t07.12.2026",
                            "Фактическая толщина тест-блока, мм\t5.0" + tail,
                            "Измеренная (реальная) толщина, мм\t5.1" + tail,
                            "Погрешность (обхода) V-образного пути, мм\t0.1" + tail,
                        }));
    }

    void listRows_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QStringList>("texts");
        PEPListRecord r = ListRecord(50, 125, 5, 3000);
        QTest::newRow("worked record")
            << QByteArray(reinterpret_cast<const char*>(&r), sizeof(r))
            << QStringList{"P112",           "РС",         "5.0 МГц", "12.5 нс",
                           "0.5 - 300.0 мм", "4000000000", "Нет"};
        r = ListRecord(0, 4294967295u, 0xFF, 0xFFFF);
        r.type = 7;
        FillVPath(r, 10);
        QTest::newRow("range not given, type 7, full V-path")
            << QByteArray(reinterpret_cast<const char*>(&r), sizeof(r))
            << QStringList{"P112",         "Н/Д",        "0.0 МГц", "429496729.5 нс",
                           "0.0 - 0.0 мм", "4000000000", "Да"};
        r = ListRecord(65535, 0, 254, 65534);
        r.type = 1;
        FillVPath(r, 10);
        std::memset(r.vpath + 20, 0, 10); // third entry empty, later ones filled
        std::memcpy(r.name, "\xCF\xDD\xCF-1\0", 6);
        QTest::newRow("third entry empty, windows-1251 name")
            << QByteArray(reinterpret_cast<const char*>(&r), sizeof(r))
            << QStringList{"ПЭП-1",      "ПС", "6553.5 МГц", "0.0 нс", "25.4 - 6553.4 мм",
                           "4000000000", "Нет"};
        r = ListRecord(50, 125, 5, 3000);
        r.type = 2;
        for (int k = 0; k < 10; ++k)
            std::memset(r.vpath + 10 * k + 2, 0xFF, 8); // NaN values count as filled
        QTest::newRow("NaN values, zero words")
            << QByteArray(reinterpret_cast<const char*>(&r), sizeof(r))
            << QStringList{"P112",           "Н/Д",        "5.0 МГц", "12.5 нс",
                           "0.5 - 300.0 мм", "4000000000", "Да"};
    }
    void listRows()
    {
        QFETCH(QByteArray, record);
        PEPListRecord r;
        std::memcpy(&r, record.constData(), sizeof(r));
        QTEST(CPEPList::RowTexts(r), "texts");
    }

    void screenDecoding_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<int>("dark");
        QTest::addColumn<QPoint>("darkPixel");
        QTest::newRow("all zero") << QByteArray(1024, 0) << 0 << QPoint(-1, -1);
        QTest::newRow("all FF") << QByteArray(1024, char(0xFF)) << 128 * 64 << QPoint(127, 63);
        QTest::newRow("byte 0 = 01")
            << QByteArray(1024, 0).replace(0, 1, "\x01") << 1 << QPoint(0, 0);
        QTest::newRow("byte 128 = 80")
            << QByteArray(1024, 0).replace(128, 1, "\x80") << 1 << QPoint(0, 15);
        QTest::newRow("byte 1023 = 80")
            << QByteArray(1024, 0).replace(1023, 1, "\x80") << 1 << QPoint(127, 63);
        QTest::newRow("byte 900 = 04")
            << QByteArray(1024, 0).replace(900, 1, "\x04") << 1 << QPoint(4, 58);
    }
    void screenDecoding()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(int, dark);
        QFETCH(QPoint, darkPixel);
        const QImage image =
            CScreenImage::Decode(reinterpret_cast<const quint8*>(buffer.constData()));
        QCOMPARE(image.size(), QSize(128, 64));
        int count = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x)
            {
                const QRgb p = image.pixel(x, y);
                QVERIFY(p == qRgb(0, 0, 0) || p == qRgb(147, 215, 19));
                count += p == qRgb(0, 0, 0);
            }
        QCOMPARE(count, dark);
        if (dark > 0)
            QCOMPARE(image.pixel(darkPixel), qRgb(0, 0, 0));
        const QImage doubled = CScreenImage::Doubled(image);
        QCOMPARE(doubled.size(), QSize(256, 128));
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 256; ++x)
                if (doubled.pixel(x, y) != image.pixel(x / 2, y / 2))
                    QFAIL(qPrintable(QString("doubled pixel %1,%2").arg(x).arg(y)));
    }

    void pictureFormats_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("bmp") << "shot.bmp" << QByteArray("BM");
        QTest::newRow("other extension is BMP") << "shot.jpg" << QByteArray("BM");
        QTest::newRow("no extension is BMP") << "shot" << QByteArray("BM");
        QTest::newRow("png") << "shot.png" << QByteArray("\x89PNG");
        QTest::newRow("PNG upper case") << "SHOT.PNG" << QByteArray("\x89PNG");
    }
    void pictureFormats()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        const QImage picture = CScreenImage::Doubled(CScreenImage::Blank());
        QString error;
        const QByteArray bytes = CScreenImage::Encode(picture, name, &error);
        QVERIFY2(bytes.startsWith(magic), qPrintable(error));
        if (magic == "BM")
        {
            QVERIFY(IsPlainBmp256x128(bytes));
        }
    }
};

QTEST_GUILESS_MAIN(TestPepCore)
#include "tst_pep_core.moc"
