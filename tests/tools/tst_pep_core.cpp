#include "tests/tools/PepTestSupport.h"
#include "tools/CPEPImage.h"

#include <QtTest>
#include <cmath>
#include <cstring>

// The transducer memory image codec: the bytes the form's fields become and
// the fields an image fills.
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

} // namespace

class TestPepCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_GUILESS_MAIN(TestPepCore)
#include "tst_pep_core.moc"
