#include "data/CDataStorage.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QtTest>

using namespace AnalysisTest;

// `korvalent-cli analyse` on files the program's own writers produced.
class TestCliAnalyse : public QObject
{
    Q_OBJECT

    using Run = CProgramRun;

    static Run Cli(const QStringList& arguments)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI), QStringList{"analyse"} + arguments);
    }

    QString Path(const QString& name) const { return m_env->Root() + QLatin1Char('/') + name; }

    CTestEnvironment* m_env = nullptr;
    QString m_before, m_now, m_database;

private Q_SLOTS:
    void initTestCase()
    {
        m_env = new CTestEnvironment;
        m_before = Path(QStringLiteral("before.kdf"));
        m_now = Path(QStringLiteral("now.kdf"));
        m_database = Path(QStringLiteral("both.kdb"));
        // 01.01.2020 -> 01.01.2024: exactly 4 years.
        const DataFileRecord before =
            File(QStringLiteral("Линия 2020"), {"10.00", "9.50", "8.40", "LOS"}, QDate(2020, 1, 1));
        const DataFileRecord now =
            File(QStringLiteral("Линия 2024"), {"9.20", "8.30", "7.80", "9.00", "8.10"},
                 QDate(2024, 1, 1));
        QVERIFY(CDataStorage::SaveDataFile(m_before, before));
        QVERIFY(CDataStorage::SaveDataFile(m_now, now));
        QVERIFY(CDataStorage::SaveDatabaseFile(m_database, {now, before}));
    }
    void cleanupTestCase() { delete m_env; }

    void comparison_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString before = m_before, now = m_now, database = m_database;
        QTest::newRow("two data files")
            << QStringList{now, "--file", "1", "--previous", before, "--required", "8"};
        QTest::newRow("earlier survey from a database, decimal comma")
            << QStringList{now, "--file",     "1",   "--previous", database, "--previous-file",
                           "2", "--required", "8,0", "--interval", "5"};
        QTest::newRow("current from a database")
            << QStringList{database, "--file",     "1",    "--previous", before, "--previous-file",
                           "1",      "--required", "8.00", "--nominal",  "10"};
    }
    void comparison()
    {
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(
            run.out,
            JoinedLines({"Ячейка\tПредыдущий замер, мм\tДата пред. замера\tТекущий замер, "
                         "мм\tДата тек. замера\tУтонение, мм\tИнтервал, лет\tСкорость коррозии, "
                         "мм/год\tОстаточный ресурс, лет\tОтметка",
                         "1\t10.00\t01.01.2020\t9.20\t01.01.2024\t0.80\t4.00\t0.200\t6.0\t",
                         "2\t9.50\t01.01.2020\t8.30\t01.01.2024\t1.20\t4.00\t0.300\t1.0\tРесурс "
                         "меньше интервала",
                         "3\t8.40\t01.01.2020\t7.80\t01.01.2024\t0.60\t4.00\t0.150\tисчерпан\tНиже "
                         "допустимой",
                         "4\tLOS\t01.01.2020\t9.00\t01.01.2024\t—\t4.00\t—\t—\t",
                         "5\t—\t—\t8.10\t01.01.2024\t—\t—\t—\t—\t", "",
                         "Наибольшая скорость коррозии: 0.300 мм/год (ячейка 2)",
                         "Наименьший остаточный ресурс: исчерпан (ячейка 3)",
                         "Ниже допустимой толщины: 1 из 5",
                         "Ресурс меньше интервала обследования (5 лет): 1", "Без отметок: 3"}));
    }

    void help()
    {
        QProcess process;
        process.start(QStringLiteral(KORVALENT_CLI), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(20000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral(
                     "  korvalent-cli analyse FILE.kdb|FILE.kdf --file N [--previous "
                     "FILE.kdb|FILE.kdf [--previous-file K]] [--required T] [--nominal T] "
                     "[--interval YEARS] [--csv OUT] [--png OUT]\n")),
                 qPrintable(out));
    }

    void singleFile()
    {
        const Run run = Cli({m_before, "--file", "1", "--required", "9"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(
            run.out,
            JoinedLines({"Ячейка\tТолщина, мм\tДата замера\tВремя замера\tОтметка",
                         "1\t10.00\t01.01.2020\t09:30\t", "2\t9.50\t01.01.2020\t09:30\t",
                         "3\t8.40\t01.01.2020\t09:30\tНиже допустимой",
                         "4\tLOS\t01.01.2020\t09:30\t", "", "Ниже допустимой толщины: 1 из 3"}));
    }

    // The spreadsheet-safe CSV of the export: every value a ="…" formula,
    // windows-1251, CR LF after every line.
    void csv()
    {
        const QString out = Path(QStringLiteral("analysis.csv"));
        const Run run = Cli({m_now, "--file", "1", "--previous", m_before, "--required", "8",
                             "--interval", "0.5", "--csv", out});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral("(0.5 года): 0\n")));
        const QString expected =
            "Ячейка;Предыдущий замер, мм;Дата пред. замера;Текущий замер, мм;Дата тек. замера;"
            "Утонение, мм;Интервал, лет;Скорость коррозии, мм/год;Остаточный ресурс, лет;"
            "Отметка;\r\n"
            "=\"1\";=\"10.00\";=\"01.01.2020\";=\"9.20\";=\"01.01.2024\";=\"0.80\";=\"4.00\";"
            "=\"0.200\";=\"6.0\";=\"\";\r\n"
            "=\"2\";=\"9.50\";=\"01.01.2020\";=\"8.30\";=\"01.01.2024\";=\"1.20\";=\"4.00\";"
            "=\"0.300\";=\"1.0\";=\"\";\r\n"
            "=\"3\";=\"8.40\";=\"01.01.2020\";=\"7.80\";=\"01.01.2024\";=\"0.60\";=\"4.00\";"
            "=\"0.150\";=\"исчерпан\";=\"Ниже допустимой\";\r\n"
            "=\"4\";=\"LOS\";=\"01.01.2020\";=\"9.00\";=\"01.01.2024\";=\"—\";=\"4.00\";=\"—\";"
            "=\"—\";=\"\";\r\n"
            "=\"5\";=\"—\";=\"—\";=\"8.10\";=\"01.01.2024\";=\"—\";=\"—\";=\"—\";=\"—\";=\"\";\r\n";
        QStringEncoder encoder("windows-1251");
        const QByteArray bytes = encoder.encode(expected);
        QVERIFY(!encoder.hasError());
        QVERIFY(bytes.contains('\x97')); // the dash is a windows-1251 character
        QCOMPARE(ReadFile(out), bytes);
        const QStringList left = QDir(m_env->Root()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(!left.join(' ').contains(QStringLiteral("analysis.csv.")),
                 qPrintable(left.join(' ')));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QString now = m_now, before = m_before, database = m_database;
        const QString see = QStringLiteral("; see 'korvalent-cli --help'\n");
        QTest::newRow("no file") << QStringList{"--file", "1"}
                                 << "korvalent-cli: No file given" + see;
        QTest::newRow("no --file")
            << QStringList{now} << "korvalent-cli: --file needs a number from 1" + see;
        QTest::newRow("--file 0") << QStringList{now, "--file", "0"}
                                  << "korvalent-cli: --file needs a number from 1" + see;
        QTest::newRow("--required not a number")
            << QStringList{now, "--file", "1", "--required", "8mm"}
            << "korvalent-cli: --required needs a thickness above 0, e.g. 8.5" + see;
        QTest::newRow("--required negative")
            << QStringList{now, "--file", "1", "--required", "-1"}
            << "korvalent-cli: --required needs a thickness above 0, e.g. 8.5" + see;
        QTest::newRow("--nominal without value") << QStringList{now, "--file", "1", "--nominal"}
                                                 << "korvalent-cli: --nominal needs a value" + see;
        QTest::newRow("--interval zero")
            << QStringList{now, "--file", "1", "--interval", "0"}
            << "korvalent-cli: --interval needs a number of years above 0, e.g. 5" + see;
        QTest::newRow("--interval infinite")
            << QStringList{now, "--file", "1", "--interval", "inf"}
            << "korvalent-cli: --interval needs a number of years above 0, e.g. 5" + see;
        QTest::newRow("--previous-file alone")
            << QStringList{now, "--file", "1", "--previous-file", "1"}
            << "korvalent-cli: --previous-file needs --previous FILE" + see;
        QTest::newRow("unknown option") << QStringList{now, "--file", "1", "--svg", "x.svg"}
                                        << "korvalent-cli: Unknown option: --svg" + see;
        QTest::newRow("two current files") << QStringList{now, before, "--file", "1"}
                                           << "korvalent-cli: Only one current file can be "
                                              "analysed" +
                                                  see;
        QTest::newRow("no such data file")
            << QStringList{database, "--file", "3"} << "No data file 3: the file holds 2\n";
        QTest::newRow("no such earlier data file")
            << QStringList{now, "--file", "1", "--previous", database, "--previous-file", "3"}
            << "No data file 3: the file holds 2\n";
        QTest::newRow("earlier database needs its number")
            << QStringList{now, "--file", "1", "--previous", database}
            << "korvalent-cli: --previous-file is needed: " + database + " holds 2 data files" +
                   see;
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QString());
        QTEST(run.err, "error");
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QString missing = Path(QStringLiteral("missing.kdf"));
        const QString noFolder = Path(QStringLiteral("no-such-folder"));
        QTest::newRow("current missing")
            << QStringList{missing, "--file", "1"}
            << "Не удалось открыть для чтения файл данных Korvalent: " + missing + "\n";
        QTest::newRow("earlier missing")
            << QStringList{m_now, "--file", "1", "--previous", missing}
            << "Не удалось открыть для чтения файл данных Korvalent: " + missing + "\n";
        QTest::newRow("CSV folder missing")
            << QStringList{m_now, "--file", "1", "--csv", noFolder + "/a.csv"}
            << "Папка '" + noFolder + "' не существует.\n";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString());
        QTEST(run.err, "error");
    }
};

QTEST_GUILESS_MAIN(TestCliAnalyse)
#include "tst_cli_analyse.moc"
