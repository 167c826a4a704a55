#include "core/CInputLimits.h"
#include "tests/common/TestSupport.h"
#include "tools/CMaterialsCsv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Row = CMaterialsCsv::Row;
Q_DECLARE_METATYPE(CMaterialsCsv::ReadResult::Status)

namespace
{
MaterialRecord Record(const QByteArray& name, quint16 velocity, qint16 coefficient)
{
    MaterialRecord r;
    std::memset(&r, 0, sizeof(r));
    std::memcpy(r.name, name.constData(), size_t(std::min<qsizetype>(name.size(), 16)));
    r.velocity = velocity;
    r.tempCoefficient = coefficient;
    return r;
}
QByteArray NameBytes(const MaterialRecord& r)
{
    return QByteArray(r.name, 16);
}
} // namespace

class TestMaterialsCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    void cellRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        const QString twenty = QStringLiteral("Нержавеющая сталь 12");
        QTest::newRow("name 20 chars") << 0 << twenty << twenty.left(13);
        QTest::newRow("name 13 chars")
            << 0 << QStringLiteral("Алюминий АМГ6") << QStringLiteral("Алюминий АМГ6");
        QTest::newRow("name emoji at the cut")
            << 0 << QStringLiteral("123456789012😀x") << QStringLiteral("123456789012😀");
        QTest::newRow("velocity 999") << 1 << "999"
                                      << "1000";
        QTest::newRow("velocity 1000") << 1 << "1000"
                                       << "1000";
        QTest::newRow("velocity 19999") << 1 << "19999"
                                        << "19999";
        QTest::newRow("velocity 20000") << 1 << "20000"
                                        << "19999";
        QTest::newRow("velocity no number") << 1 << "быстро"
                                            << "1000";
        QTest::newRow("velocity empty") << 1 << ""
                                        << "1000";
        QTest::newRow("velocity fraction") << 1 << "5920.5"
                                           << "1000";
        QTest::newRow("velocity negative") << 1 << "-5920"
                                           << "1000";
        QTest::newRow("coefficient 1500") << 2 << "1500"
                                          << "999";
        QTest::newRow("coefficient -1500") << 2 << "-1500"
                                           << "-999";
        QTest::newRow("coefficient 1000") << 2 << "1000"
                                          << "999";
        QTest::newRow("coefficient 999 stays") << 2 << "999"
                                               << "999";
        QTest::newRow("coefficient -999 stays") << 2 << "-999"
                                                << "-999";
        QTest::newRow("coefficient fraction stays") << 2 << "12.5"
                                                    << "12.5";
        QTest::newRow("coefficient big fraction stays") << 2 << "1500.5"
                                                        << "1500.5";
        QTest::newRow("coefficient no number stays") << 2 << "abc"
                                                     << "abc";
        QTest::newRow("coefficient decimal comma stays") << 2 << "0,5"
                                                         << "0,5";
    }
    void cellRules()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QCOMPARE(CMaterialsCsv::CorrectCell(column, typed), shown);
        // The corrected text is reported again and must then stay.
        QCOMPARE(CMaterialsCsv::CorrectCell(column, shown), shown);
    }

    void recordToRow_data()
    {
        QTest::addColumn<int>("velocity");
        QTest::addColumn<int>("coefficient");
        QTest::addColumn<QString>("velocityText");
        QTest::addColumn<QString>("coefficientText");
        QTest::newRow("-0.5") << 5920 << -50 << "5920"
                              << "-0.5";
        QTest::newRow("5") << 6300 << 500 << "6300"
                           << "5";
        QTest::newRow("12.25") << 2700 << 1225 << "2700"
                               << "12.25";
        QTest::newRow("zero velocity shown by the rule") << 0 << 0 << "1000"
                                                         << "0";
        QTest::newRow("fast velocity cut") << 30000 << 0 << "19999"
                                           << "0";
        QTest::newRow("field maximum") << 5000 << 32767 << "5000"
                                       << "327.67";
        QTest::newRow("field minimum") << 5000 << -32768 << "5000"
                                       << "-327.68";
    }
    void recordToRow()
    {
        QFETCH(int, velocity);
        QFETCH(int, coefficient);
        QFETCH(QString, velocityText);
        QFETCH(QString, coefficientText);
        const Row row =
            CMaterialsCsv::RecordToRow(Record("Steel", quint16(velocity), qint16(coefficient)));
        QCOMPARE(row.name, QStringLiteral("Steel"));
        QCOMPARE(row.velocity, velocityText);
        QCOMPARE(row.coefficient, coefficientText);
    }

    void names_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("cyrillic") << QStringLiteral("Сталь")
                                  << QByteArray("\xD1\xF2\xE0\xEB\xFC", 5).leftJustified(16, '\0')
                                  << QStringLiteral("Сталь");
        QTest::newRow("exactly 16")
            << QStringLiteral("Алюминиевый спла")
            << QByteArray("\xC0\xEB\xFE\xEC\xE8\xED\xE8\xE5\xE2\xFB\xE9 \xF1\xEF\xEB\xE0", 16)
            << QStringLiteral("Алюминиевый спла");
        QTest::newRow("longer is cut at 16")
            << QStringLiteral("Алюминиевый сплав Д16")
            << QByteArray("\xC0\xEB\xFE\xEC\xE8\xED\xE8\xE5\xE2\xFB\xE9 \xF1\xEF\xEB\xE0", 16)
            << QStringLiteral("Алюминиевый спла");
        QTest::newRow("missing in the code page")
            << QStringLiteral("Fe😀漢") << QByteArray("Fe??").leftJustified(16, '\0')
            << QStringLiteral("Fe??");
        QTest::newRow("empty") << QString() << QByteArray(16, '\0') << QString();
    }
    void names()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        QFETCH(QString, readBack);
        char bytes[16];
        std::memset(bytes, 0x55, sizeof(bytes));
        CMaterialsCsv::EncodeName(text, bytes);
        QCOMPARE(QByteArray(bytes, 16), field);
        QCOMPARE(CMaterialsCsv::DecodeName(bytes), readBack);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<CMaterialsCsv::ReadResult::Status>("status");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("line");
        using S = CMaterialsCsv::ReadResult;
        const QByteArray bom("\xEF\xBB\xBF");
        QTest::newRow("bom, one line") << bom + "Сталь,5920,0.5\n" << S::Ok << 1 << 0;
        QTest::newRow("no bom") << QByteArray("Сталь,5920,0.5\n") << S::Ok << 1 << 0;
        QTest::newRow("no final line end") << QByteArray("a,1000,0\nb,2000,1") << S::Ok << 2 << 0;
        QTest::newRow("crlf and tabs")
            << QByteArray("a\t,1000,0\r\nb,2000,1\r\n") << S::Ok << 2 << 0;
        QTest::newRow("empty file") << QByteArray() << S::Ok << 0 << 0;
        QTest::newRow("bom only") << bom << S::Ok << 0 << 0;
        QTest::newRow("empty line inside") << bom + "a,1000,0\n\nb,2000,1\n"
                                           << S::FormatError << 1 << 2;
        QTest::newRow("two line ends at the end")
            << QByteArray("a,1000,0\n\n") << S::FormatError << 1 << 2;
        QTest::newRow("comma in a name")
            << QByteArray("a,1000,0\nСталь, лист,5920,0.5\nc,1,1\n") << S::FormatError << 1 << 2;
        QTest::newRow("decimal comma")
            << QByteArray("Сталь,5920,0,5\n") << S::FormatError << 0 << 1;
        QTest::newRow("two parts") << QByteArray("a,1000\n") << S::FormatError << 0 << 1;

        QTest::newRow("coefficient at the ends")
            << QByteArray("a,1000,327.67\nb,1000,-327.68\n") << S::Ok << 2 << 0;
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(CMaterialsCsv::ReadResult::Status, status);
        QFETCH(int, records);
        QFETCH(int, line);
        const CMaterialsCsv::ReadResult r = CMaterialsCsv::ReadBytes(content);
        QCOMPARE(r.status, status);
        QCOMPARE(int(r.records.size()), records);
        QCOMPARE(r.line, line);
        if (status == CMaterialsCsv::ReadResult::FormatError)
            QCOMPARE(r.errorText,
                     QStringLiteral(
                         "Не удалось прочитать из файла список материалов: не верный формат!"));
        QVERIFY(r.clampedLines.isEmpty());
        QVERIFY(r.clampText.isEmpty());
    }

    void readValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("velocity");
        QTest::addColumn<int>("coefficient");
        QTest::newRow("example") << QByteArray("Сталь,5920,0.5") << "Сталь" << 5920 << 50;
        QTest::newRow("truncated toward zero")
            << QByteArray("a,1000,12.349") << "a" << 1000 << 1234;
        QTest::newRow("negative truncated toward zero")
            << QByteArray("a,1000,-12.349") << "a" << 1000 << -1234;
        QTest::newRow("decimal hundredths exact") << QByteArray("a,1000,0.29") << "a" << 1000 << 29;
        // Values that single-precision truncation takes one hundredth short.
        QTest::newRow("1.05 exact") << QByteArray("a,1000,1.05") << "a" << 1000 << 105;
        QTest::newRow("0.53 exact") << QByteArray("a,1000,0.53") << "a" << 1000 << 53;
        QTest::newRow("-327.61 exact") << QByteArray("a,1000,-327.61") << "a" << 1000 << -32761;
        QTest::newRow("no number is 0") << QByteArray("a,abc,x") << "a" << 0 << 0;
        QTest::newRow("velocity beyond 16 bits is 0") << QByteArray("a,70000,1") << "a" << 0 << 100;
        QTest::newRow("name kept beyond 13 chars")
            << QByteArray("Нержавеющая сталь,5720,0") << "Нержавеющая стал" << 5720 << 0;
    }
    void readValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, name);
        QFETCH(int, velocity);
        QFETCH(int, coefficient);
        const CMaterialsCsv::ReadResult r = CMaterialsCsv::ReadBytes(line + "\n");
        QCOMPARE(r.status, CMaterialsCsv::ReadResult::Ok);
        QCOMPARE(r.records.size(), 1);
        QCOMPARE(CMaterialsCsv::DecodeName(r.records[0].name), name);
        QCOMPARE(int(r.records[0].velocity), velocity);
        QCOMPARE(int(r.records[0].tempCoefficient), coefficient);
    }

    void clamped_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<QList<int>>("coefficients");
        QTest::newRow("999 from the grid")
            << QByteArray("a,1000,1\nb,1000,999\n") << QList<int>{2} << QList<int>{100, 32767};
        QTest::newRow("just below")
            << QByteArray("b,1000,-327.69\n") << QList<int>{1} << QList<int>{-32768};
        QTest::newRow("huge") << QByteArray("b,1000,1e300\nc,1000,-1e300\n") << QList<int>{1, 2}
                              << QList<int>{32767, -32768};
        QTest::newRow("before a format error")
            << QByteArray("b,1000,-999\nbad\n") << QList<int>{1} << QList<int>{-32768};
    }
    void clamped()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<int>, lines);
        QFETCH(QList<int>, coefficients);
        const CMaterialsCsv::ReadResult r = CMaterialsCsv::ReadBytes(content);
        QCOMPARE(r.clampedLines, lines);
        QCOMPARE(r.records.size(), coefficients.size());
        for (int i = 0; i < coefficients.size(); ++i)
            QCOMPARE(int(r.records[i].tempCoefficient), coefficients[i]);
        QVERIFY(r.clampText.contains(QStringLiteral("-327.68 ... 327.67")));
        QVERIFY(r.clampText.contains(QString::number(lines.first())));
    }

    void writeBytes()
    {
        const QList<Row> rows{{"Сталь", "5920", "0.5"}, {"Typed", "1000", "0,5"}, {"", "1000", ""}};
        QCOMPARE(CMaterialsCsv::ToBytes(rows),
                 QByteArray("\xEF\xBB\xBF") + "Сталь,5920,0.5\nTyped,1000,0,5\n,1000,\n");
    }

    void roundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Материалы.csv"));
        const MaterialList original{Record("Steel", 5920, -50),
                                    Record("\xC0\xEB\xFE\xEC", 6320, 1225),
                                    Record("Brass", 4430, 0), Record("Lead", 2160, 32767)};
        const QList<Row> rows = CMaterialsCsv::RecordsToRows(original);
        QVERIFY(CMaterialsCsv::Write(path, rows));
        const CMaterialsCsv::ReadResult back = CMaterialsCsv::Read(path);
        QCOMPARE(back.status, CMaterialsCsv::ReadResult::Ok);
        QCOMPARE(back.records.size(), original.size());
        for (int i = 0; i < original.size(); ++i)
        {
            QCOMPARE(NameBytes(back.records[i]), NameBytes(original[i]));
            QCOMPARE(back.records[i].velocity, original[i].velocity);
            QCOMPARE(back.records[i].tempCoefficient, original[i].tempCoefficient);
        }
        QCOMPARE(CMaterialsCsv::RecordsToRows(back.records), rows);
    }

    void failedWriteKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("prev.csv"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old,1000,0\n");
        }
        const QList<Row> rows(100, Row{"Сталь", "5920", "0.5"});
        QVERIFY(CMaterialsCsv::ToBytes(rows).size() > 1000);
        CSafeSave::Result result;
        bool written = true;
        {
            CFileSizeLimit guard(1000);
            written = CMaterialsCsv::Write(path, rows, &result);
        }
        QVERIFY(!written);
        QCOMPARE(result.status, CSafeSave::Status::WriteFailed);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old,1000,0\n"));
        QCOMPARE(FolderEntries(dir.path()), QStringList{"prev.csv"});

        QVERIFY(!CMaterialsCsv::Write(QStringLiteral("/dev/full"), rows, &result));
        QCOMPARE(result.status, CSafeSave::Status::NotRegularFile);
    }

    void hugeOrSpecialFilesRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.csv"));
        QByteArray line = "Сталь,5920,0.5\n";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(line.repeated(int(CInputLimits::kMaterialsCsvBytes / line.size()) + 1));
        }
        CMaterialsCsv::ReadResult r = CMaterialsCsv::Read(path);
        QCOMPARE(r.status, CMaterialsCsv::ReadResult::Refused);
        QVERIFY(r.records.isEmpty());
        QVERIFY(r.errorText.contains(path));
        QVERIFY(r.errorText.contains(QStringLiteral("1 МБ")));
        r = CMaterialsCsv::Read(QStringLiteral("/dev/zero"));
        QCOMPARE(r.status, CMaterialsCsv::ReadResult::Refused);
        QVERIFY(r.errorText.contains(QStringLiteral("/dev/zero")));
    }

    void unreadableFiles()
    {
        QCOMPARE(CMaterialsCsv::Read(QString()).status, CMaterialsCsv::ReadResult::NotOpened);
        QCOMPARE(CMaterialsCsv::Read(QStringLiteral("/nonexistent/dir/x.csv")).status,
                 CMaterialsCsv::ReadResult::NotOpened);
        QVERIFY(!CMaterialsCsv::Write(QStringLiteral("/nonexistent/dir/x.csv"), {}));
    }

    void gaugeListLimits_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("coefficient");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("254 rows") << 254 << "1.5" << true;
        QTest::newRow("255 rows") << 255 << "1.5" << false;
        QTest::newRow("coefficient 999") << 3 << "999" << false;
        QTest::newRow("coefficient 327.67") << 3 << "327.67" << true;
        QTest::newRow("coefficient 327.68") << 3 << "327.68" << false;
        QTest::newRow("coefficient not a number") << 3 << "x" << true;
    }
    void gaugeListLimits()
    {
        QFETCH(int, rows);
        QFETCH(QString, coefficient);
        QFETCH(bool, accepted);
        QList<Row> grid;
        for (int i = 0; i < rows; ++i)
            grid.append({QStringLiteral("M%1").arg(i), QStringLiteral("5000"),
                         i == 1 ? coefficient : QStringLiteral("0")});
        MaterialList list;
        QString error;
        QCOMPARE(CMaterialsCsv::RowsToGaugeList(grid, &list, &error), accepted);
        if (accepted)
        {
            QCOMPARE(int(list.size()), rows);
            QVERIFY(error.isEmpty());
        }
        else
        {
            QVERIFY(list.isEmpty());
            QVERIFY(error.startsWith(
                QStringLiteral("Не удалось сохранить в устройство список материалов: ")));
        }
    }

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestMaterialsCore)
#include "tst_materials_core.moc"
