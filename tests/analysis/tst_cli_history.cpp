#include "analysis/CObjectHistory.h"
#include "archive/CDemoArchive.h"
#include "archive/CSurveyArchive.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QImageReader>
#include <QStringEncoder>
#include <QtTest>
#include <cmath>

// `korvalent-cli history` and `archive-accept` as a child process on
// archives of both engines. Expected figures were worked out by hand (or by
// a separate calculation for the demo object's 24 locations), not copied
// from the program.
class TestCliHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    QTemporaryDir m_dir;

    static CProgramRun Cli(const QString& location, const QStringList& args)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI),
                          QStringList{QStringLiteral("--archive"), location} + args, 60000);
    }

    static bool FillDemo(const QString& location)
    {
        CSurveyArchive archive;
        QString error;
        return archive.Open(location) && CDemoArchive::Fill(archive, &error);
    }

    // Three surveys of five locations: 1 steady, 2 thinning faster lately,
    // 3 a middle reading 13 % thicker (E), 4 a slightly thicker one (W),
    // 5 a lost reading in the middle.
    static DataFileList Example(const QString& name = QStringLiteral("Линия-9"))
    {
        using AnalysisTest::File;
        return {File(name, {"10.00", "10.00", "9.00", "8.60", "9.50"}, QDate(2020, 5, 15)),
                File(name, {"9.50", "9.80", "10.20", "8.65", "LOS"}, QDate(2023, 5, 15)),
                File(name, {"9.10", "9.20", "8.80", "8.30", "9.20"}, QDate(2025, 5, 15))};
    }

    static QString ExampleHeader()
    {
        return QStringLiteral(
            "Ячейка\tОбследований\tПервый замер\tПоследний замер\tНачальная толщина, мм\t"
            "Предыдущая толщина, мм\tФактическая толщина, мм\tДолгосрочная скорость, мм/год\t"
            "Краткосрочная скорость, мм/год\tСкорость по регрессии, мм/год\tОпределяющая "
            "скорость, мм/год\tОстаточный ресурс, лет\tСледующий контроль\tПроверки\tОтметка");
    }

    static QStringList Rows(const QString& out, const QString& cell)
    {
        return out.split(QLatin1Char('\n'))
            .filter(QRegularExpression(QStringLiteral("^%1\\t").arg(cell)));
    }

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    // The demo object with no settings stored: rates and next dates by the
    // maximum interval, no remaining life without a required thickness.
    void demo_data() { ArchiveTest::EngineRows(); }
    void demo()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        QVERIFY(FillDemo(location));
        const CProgramRun r =
            Cli(location, {QStringLiteral("history"), CDemoArchive::ObjectName()});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        const QString next = QStringLiteral("—\t14.05.2036 (макс. интервал)\t\t");
        const QString dates = QStringLiteral("5\t14.05.2022\t14.05.2026\t");
        QStringList expected{ExampleHeader()};
        const char* figures[] = {
            "10.02\t9.82\t9.73\t0.072\t0.090\t0.069\t0.090",
            "9.97\t9.81\t9.71\t0.065\t0.100\t0.065\t0.100",
            "9.99\t9.82\t9.81\t0.045\t0.010\t0.052\t0.052",
            "10.01\t8.64\t8.23\t0.445\t0.410\t0.445\t0.445",
            "10.03\t9.80\t9.70\t0.083\t0.100\t0.079\t0.100",
            "9.98\t9.88\t9.80\t0.045\t0.080\t0.045\t0.080",
            "10.00\t9.80\t9.78\t0.055\t0.020\t0.055\t0.055",
            "10.02\t9.79\t9.69\t0.083\t0.100\t0.079\t0.100",
            "9.97\t9.87\t9.79\t0.045\t0.080\t0.045\t0.080",
            "9.99\t9.79\t9.77\t0.055\t0.020\t0.062\t0.062",
            "10.01\t8.19\t7.63\t0.595\t0.560\t0.595\t0.595",
            "10.03\t9.86\t9.78\t0.063\t0.080\t0.059\t0.080",
            "9.98\t9.85\t9.76\t0.055\t0.090\t0.055\t0.090",
            "10.00\t9.77\t9.74\t0.065\t0.030\t0.065\t0.065",
            "10.02\t9.85\t9.77\t0.063\t0.080\t0.059\t0.080",
            "9.97\t9.84\t9.75\t0.055\t0.090\t0.055\t0.090",
            "9.99\t7.57\t6.81\t0.795\t0.761\t0.802\t0.802",
            "10.01\t9.84\t9.83\t0.045\t0.010\t0.045\t0.045",
            "10.03\t9.83\t9.74\t0.072\t0.090\t0.069\t0.090",
            "9.98\t9.82\t9.72\t0.065\t0.100\t0.065\t0.100",
            "10.00\t9.83\t9.82\t0.045\t0.010\t0.045\t0.045",
            "10.02\t9.82\t9.73\t0.072\t0.090\t0.069\t0.090",
            "9.97\t9.81\t9.71\t0.065\t0.100\t0.065\t0.100",
            "9.99\t9.82\t9.81\t0.045\t0.010\t0.052\t0.052",
        };
        for (int cell = 1; cell <= 24; ++cell)
            expected << QStringLiteral("%1\t%2%3\t%4")
                            .arg(cell)
                            .arg(dates, QLatin1String(figures[cell - 1]), next);
        expected << QString() << QStringLiteral("Объект: Трубопровод-3")
                 << QStringLiteral("Обследований: 5 (14.05.2022 – 14.05.2026)")
                 << QStringLiteral("Допустимая толщина не задана")
                 << QStringLiteral("Номинальная толщина не задана")
                 << QStringLiteral("Максимальный интервал контроля: 10 лет")
                 << QStringLiteral("Определяющая скорость: наибольшая из имеющихся")
                 << QStringLiteral("Правило для сосудов при ресурсе меньше 4 лет: не применяется")
                 << QStringLiteral("Наименьший остаточный ресурс: —")
                 << QStringLiteral("Ближайший контроль: 14.05.2036 (макс. интервал) (ячейка 1)")
                 << QStringLiteral("Без скорости коррозии: 0")
                 << QStringLiteral("Проверки: W — 0, E — 0 (принято 0), T — 0");
        QCOMPARE(r.out, JoinedLines(expected));

        // A required thickness for the run: lives, next dates, two locations
        // already below it.
        const CProgramRun required = Cli(
            location, {QStringLiteral("history"), CDemoArchive::ObjectName(), "--required", "8"});
        QCOMPARE(required.exitCode, 0);
        QCOMPARE(Rows(required.out, "4"),
                 QStringList{"4\t" + dates +
                             "10.01\t8.64\t8.23\t0.445\t0.410\t0.445\t0.445\t0.5\t16.08.2026\t\t"});
        QCOMPARE(
            Rows(required.out, "17"),
            QStringList{"17\t" + dates +
                        "9.99\t7.57\t6.81\t0.795\t0.761\t0.802\t0.802\tисчерпан\t14.05.2026\t\t"
                        "Ниже допустимой"});
        QCOMPARE(
            Rows(required.out, "1"),
            QStringList{"1\t" + dates +
                        "10.02\t9.82\t9.73\t0.072\t0.090\t0.069\t0.090\t19.2\t21.12.2035\t\t"});
        QVERIFY(required.out.endsWith(JoinedLines(
            {"Допустимая толщина: 8.00 мм", "Номинальная толщина не задана",
             "Максимальный интервал контроля: 10 лет",
             "Определяющая скорость: наибольшая из имеющихся",
             "Правило для сосудов при ресурсе меньше 4 лет: не применяется",
             "Наименьший остаточный ресурс: исчерпан (ячейка 17 и ещё 1)",
             "Ближайший контроль: 14.05.2026 (ячейка 11)", "Ниже допустимой толщины: 2 из 24",
             "Без скорости коррозии: 0", "Проверки: W — 0, E — 0 (принято 0), T — 0"})));
    }

    // One location: its row, then its readings with their surveys and
    // checks, then what the window tells beside the row.
    void location_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString row17 =
            "17\t5\t14.05.2022\t14.05.2026\t9.99\t7.57\t6.81\t0.795\t0.761\t0.802\t0.802\t";
        const QString readings17 = JoinedLines({"Обследование\tФайл данных\tДата замера\tВремя "
                                                "замера\tТолщина, мм\tПроверки\tВ расчёте",
                                                "1\tТрубопровод-3\t14.05.2022\t10:34\t9.99\t\tда",
                                                "2\tТрубопровод-3\t14.05.2023\t10:34\t9.23\t\tда",
                                                "3\tТрубопровод-3\t14.05.2024\t10:34\t8.40\t\tда",
                                                "4\tТрубопровод-3\t14.05.2025\t10:34\t7.57\t\tда",
                                                "5\tТрубопровод-3\t14.05.2026\t10:34\t6.81\t\tда"});
        for (const QString engine : {"sqlite", "postgresql"})
        {
            QTest::addRow("%s no required", qPrintable(engine))
                << engine << QStringList{"трубопровод-3 ", "--location", "17"}
                << JoinedLines(
                       {ExampleHeader(), row17 + "—\t14.05.2036 (макс. интервал)\t\t", ""}) +
                       readings17 +
                       JoinedLines(
                           {"", "Определяющая скорость: по регрессии",
                            "Остаточный ресурс не определён: Не задана допустимая толщина"});
            // Below the required thickness: the regression line crossed it in
            // the autumn after the third survey.
            QTest::addRow("%s below required", qPrintable(engine))
                << engine << QStringList{"Трубопровод-3", "--location", "17", "--required", "8,0"}
                << JoinedLines(
                       {ExampleHeader(), row17 + "исчерпан\t14.05.2026\t\tНиже допустимой", ""}) +
                       readings17 +
                       JoinedLines({"", "Определяющая скорость: по регрессии",
                                    "Линия регрессии достигает допустимой толщины: 12.11.2024"});
        }
    }
    void location()
    {
        QFETCH(QString, engine);
        QFETCH(QStringList, arguments);
        QString location;
        KV_FRESH_LOCATION(engine, m_dir, location);
        QVERIFY(FillDemo(location));
        const CProgramRun r = Cli(location, QStringList{QStringLiteral("history")} + arguments);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        QTEST(r.out, "expected");
    }

    // The object's stored settings count when nothing is given; what the
    // command line gives counts for that run and is not stored.
    void settings_data() { ArchiveTest::EngineRows(); }
    void settings()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        QVERIFY(ArchiveTest::ArchiveEach(location, Example()));
        CObjectHistory::Settings stored;
        stored.requiredMm = 8.0;
        stored.maxIntervalYears = 5.0;
        stored.rate = CObjectHistory::RateLongTerm;
        {
            CSurveyArchive archive;
            QString error;
            QVERIFY(archive.Open(location));
            QVERIFY2(
                CObjectHistory::StoreSettings(archive, QStringLiteral("Линия-9"), stored, &error),
                qPrintable(error));
        }
        const QStringList history{QStringLiteral("history"), QStringLiteral("Линия-9")};
        const CProgramRun plain = Cli(location, history);
        QCOMPARE(plain.exitCode, 0);
        // Long-term rates: cell 1 (10.00 - 9.10) / (1826 / 365.25) = 0.180,
        // life (9.10 - 8.00) / 0.180 = 6.1, next date 3.06 years later, as
        // the maximum of 5 years allows.
        QCOMPARE(Rows(plain.out, "1"),
                 QStringList{"1\t3\t15.05.2020\t15.05.2025\t10.00\t9.50\t9.10\t0.180\t0.200\t"
                             "0.179\t0.180\t6.1\t04.06.2028\t\t"});
        QVERIFY(plain.out.contains(JoinedLines(
            {"Допустимая толщина: 8.00 мм", "Номинальная толщина не задана",
             "Максимальный интервал контроля: 5 лет", "Определяющая скорость: долгосрочная"})));

        const CProgramRun overridden =
            Cli(location, history + QStringList{"--required", "8.5", "--nominal", "10",
                                                "--max-interval", "15", "--rate", "st"});
        QCOMPARE(overridden.err, QString());
        QCOMPARE(overridden.exitCode, 0);
        // Short-term: (9.50 - 9.10) / (731 / 365.25) = 0.200, life 3.0.
        QCOMPARE(Rows(overridden.out, "1"),
                 QStringList{"1\t3\t15.05.2020\t15.05.2025\t10.00\t9.50\t9.10\t0.180\t0.200\t"
                             "0.179\t0.200\t3.0\t14.11.2026\t\t"});
        QVERIFY(overridden.out.contains(JoinedLines(
            {"Допустимая толщина: 8.50 мм", "Номинальная толщина: 10.00 мм",
             "Максимальный интервал контроля: 15 лет", "Определяющая скорость: краткосрочная"})));

        // Nothing of that run was stored.
        QCOMPARE(Cli(location, history).out, plain.out);
        CSurveyArchive archive;
        QVERIFY(archive.Open(location));
        CObjectHistory::Settings now;
        QString error;
        QVERIFY(CObjectHistory::LoadSettings(archive, QStringLiteral("Линия-9"), &now, &error));
        QCOMPARE(now.requiredMm, 8.0);
        QVERIFY(std::isnan(now.nominalMm));
        QCOMPARE(now.maxIntervalYears, 5.0);
        QCOMPARE(int(now.rate), int(CObjectHistory::RateLongTerm));
    }

    // Thicknesses on the command line are in the object's unit.
    void inchObject()
    {
        const QString location = m_dir.filePath(QStringLiteral("inches.sqlite"));
        using AnalysisTest::File;
        QVERIFY(
            ArchiveTest::ArchiveEach(location, {File("Бак-2", {"0.50in"}, QDate(2020, 5, 15)),
                                                File("Бак-2", {"0.46in"}, QDate(2023, 5, 15)),
                                                File("Бак-2", {"0.44in"}, QDate(2025, 5, 15))}));
        const CProgramRun r =
            Cli(location, {"history", "Бак-2", "--required", "0.3", "--rate", "lt"});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        // LT (0.50 - 0.44) / 4.9993 = 0.012 in/year; life 0.14 / 0.012 = 11.7.
        QCOMPARE(Rows(r.out, "1"),
                 QStringList{"1\t3\t15.05.2020\t15.05.2025\t0.50\t0.46\t0.44\t0.012\t0.010\t0.012\t"
                             "0.012\t11.7\t15.03.2031\t\t"});
        QVERIFY(r.out.contains(QStringLiteral("\nДопустимая толщина: 0.30 дюйм\n")));
    }

    // An E reading is left out of the rates until accepted; accepting and
    // taking the mark back change the figures both ways.
    void accept_data() { ArchiveTest::EngineRows(); }
    void accept()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        QVERIFY(ArchiveTest::ArchiveEach(location, Example()));
        const QStringList history{"history", "Линия-9", "--required", "8"};
        const CProgramRun before = Cli(location, history);
        QCOMPARE(before.exitCode, 0);
        // 10.20 left out: 9.00 -> 8.80 over 4.9993 years, 0.040 mm/year,
        // life 20.0, next date 9.9986 years on.
        QCOMPARE(Rows(before.out, "3"),
                 QStringList{"3\t3\t15.05.2020\t15.05.2025\t9.00\t9.00\t8.80\t0.040\t0.040\t—\t"
                             "0.040\t20.0\t15.05.2035\tE\t"});
        QVERIFY(before.out.endsWith(QStringLiteral("Проверки: W — 1, E — 1 (принято 0), T — 0\n")));

        const QStringList accept{"archive-accept", "--survey", "2", "--location", "3"};
        CProgramRun r = Cli(location, accept);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Замер ячейки 3 обследования 2 принят.\n"));
        const CProgramRun accepted = Cli(location, history);
        // 10.20 -> 8.80 over 731 days: 0.700 mm/year governs, life 1.1,
        // next date 0.572 years (209 days) on.
        QCOMPARE(Rows(accepted.out, "3"),
                 QStringList{"3\t3\t15.05.2020\t15.05.2025\t9.00\t10.20\t8.80\t0.040\t0.700\t"
                             "0.005\t0.700\t1.1\t10.12.2025\tE\t"});
        QVERIFY(
            accepted.out.endsWith(QStringLiteral("Проверки: W — 1, E — 1 (принято 1), T — 0\n")));
        QVERIFY(accepted.out.contains(
            QStringLiteral("\nНаименьший остаточный ресурс: 1.1 года (ячейка 3)\n")));
        const CProgramRun readings =
            Cli(location, {"history", "Линия-9", "--location", "3", "--required", "8"});
        QVERIFY(readings.out.contains(
            QStringLiteral("\n2\tЛиния-9\t15.05.2023\t09:30\t10.20\tE\tда (E принято)\n")));

        // Accepting again changes nothing; --undo takes the mark back.
        QCOMPARE(Cli(location, accept).exitCode, 0);
        r = Cli(location, accept + QStringList{"--undo"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral(
                            "Замер ячейки 3 обследования 2 снова не учитывается в скоростях.\n"));
        QCOMPARE(Cli(location, history).out, before.out);
        const CProgramRun left = Cli(location, {"history", "Линия-9", "--location", "3"});
        QVERIFY(left.out.contains(
            QStringLiteral("\n2\tЛиния-9\t15.05.2023\t09:30\t10.20\tE\tнет (E)\n")));
    }

    void acceptRefused_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        for (const QString engine : {"sqlite", "postgresql"})
        {
            QTest::addRow("%s not an E reading", qPrintable(engine))
                << engine << QStringList{"--survey", "2", "--location", "4"}
                << "Замер ячейки 4 обследования 2 не отмечен E: принимать нечего.\n";
            QTest::addRow("%s no such survey", qPrintable(engine))
                << engine << QStringList{"--survey", "9", "--location", "3"}
                << "Обследование 9 не найдено в архиве.\n";
            QTest::addRow("%s no such cell", qPrintable(engine))
                << engine << QStringList{"--survey", "2", "--location", "6", "--undo"}
                << "В обследовании 2 нет ячейки 6.\n";
        }
    }
    void acceptRefused()
    {
        QFETCH(QString, engine);
        QFETCH(QStringList, arguments);
        QString location;
        KV_FRESH_LOCATION(engine, m_dir, location);
        QVERIFY(ArchiveTest::ArchiveEach(location, Example()));
        const CProgramRun r = Cli(location, QStringList{"archive-accept"} + arguments);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QTEST(r.err, "error");
        CSurveyArchive archive;
        QVERIFY(archive.Open(location));
        CSurveyArchive::ObjectInfo object;
        QVERIFY(archive.FindObject(QStringLiteral("Линия-9"), &object));
        QVERIFY(archive.AcceptedReadings(object.id).isEmpty());
    }

    // Refused before the archive is opened (or made).
    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no object") << QStringList{"history"} << "history needs an object's name";
        QTest::newRow("blank object")
            << QStringList{"history", " "} << "history needs an object's name";
        QTest::newRow("two objects")
            << QStringList{"history", "A", "B"} << "history takes one object";
        QTest::newRow("location zero") << QStringList{"history", "A", "--location", "0"}
                                       << "--location needs a cell number from 1";
        QTest::newRow("location word") << QStringList{"history", "A", "--location", "x"}
                                       << "--location needs a cell number from 1";
        QTest::newRow("required negative") << QStringList{"history", "A", "--required", "-1"}
                                           << "--required needs a thickness above 0, e.g. 8.5";
        QTest::newRow("nominal not a number") << QStringList{"history", "A", "--nominal", "10mm"}
                                              << "--nominal needs a thickness above 0, e.g. 10";
        QTest::newRow("interval zero") << QStringList{"history", "A", "--max-interval", "0"}
                                       << "--max-interval needs a number of years above 0, e.g. 10";
        QTest::newRow("interval beyond") << QStringList{"history", "A", "--max-interval", "1e9"}
                                         << "--max-interval needs a number of years above 0, "
                                            "e.g. 10";
        QTest::newRow("rate unknown") << QStringList{"history", "A", "--rate", "fastest"}
                                      << "--rate takes lt, st, regression or max";
        QTest::newRow("rate in capitals") << QStringList{"history", "A", "--rate", "LT"}
                                          << "--rate takes lt, st, regression or max";
        QTest::newRow("csv without value")
            << QStringList{"history", "A", "--csv"} << "--csv needs a value";
        QTest::newRow("unknown option")
            << QStringList{"history", "A", "--svg", "a.svg"} << "Unknown option: --svg";
        QTest::newRow("one file twice")
            << QStringList{"history", "A", "--csv", "h", "--pdf", "./h"}
            << "--csv 'h' and --pdf './h' are the same file; give two different files";
        QTest::newRow("accept without location") << QStringList{"archive-accept", "--survey", "1"}
                                                 << "archive-accept needs --survey ID --location N";
        QTest::newRow("accept bad survey")
            << QStringList{"archive-accept", "--survey", "x", "--location", "1"}
            << "archive-accept needs --survey ID --location N";
        QTest::newRow("accept extra word")
            << QStringList{"archive-accept", "--survey", "1", "--location", "1", "yes"}
            << "archive-accept needs --survey ID --location N";
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, problem);
        const QString location = m_dir.filePath(QStringLiteral("usage.sqlite"));
        const CProgramRun r = Cli(location, arguments);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err,
                 QStringLiteral("korvalent-cli: %1; see 'korvalent-cli --help'\n").arg(problem));
        QVERIFY(!QFileInfo::exists(location));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QString noFolder = m_dir.filePath(QStringLiteral("no-such-folder"));
        QTest::newRow("unknown object")
            << QStringList{"history", "Нет"} << "Объект 'Нет' не найден в архиве.\n";
        QTest::newRow("unknown location")
            << QStringList{"history", "Трубопровод-3", "--location", "25"}
            << "Ячейки 25 нет в обследованиях объекта 'Трубопровод-3'.\n";
        QTest::newRow("CSV folder missing")
            << QStringList{"history", "Трубопровод-3", "--csv", noFolder + "/h.csv"}
            << "Папка '" + noFolder + "' не существует.\n";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        const QString location = m_dir.filePath(QStringLiteral("failures.sqlite"));
        if (!QFileInfo::exists(location))
            QVERIFY(FillDemo(location));
        const CProgramRun r = Cli(location, arguments);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QTEST(r.err, "error");
    }

    // The trend chart and the report drawn as the window draws them; the
    // chart without --location is the governing location's.
    void pictures()
    {
        const QString location = m_dir.filePath(QStringLiteral("pictures.sqlite"));
        QVERIFY(FillDemo(location));
        const QStringList history{"history", CDemoArchive::ObjectName(), "--required", "8"};
        const QString governing = m_dir.filePath(QStringLiteral("governing.png"));
        const QString pdf = m_dir.filePath(QStringLiteral("history.pdf"));
        const CProgramRun plain = Cli(location, history);
        const CProgramRun drawn =
            Cli(location, history + QStringList{"--png", governing, "--pdf", pdf});
        QCOMPARE(drawn.err, QString());
        QCOMPARE(drawn.exitCode, 0);
        QCOMPARE(drawn.out, plain.out);
        QImageReader reader(governing);
        QCOMPARE(reader.format(), QByteArray("png"));
        QVERIFY(reader.size().width() >= 800 && reader.size().height() >= 400);
        QVERIFY(ReadFile(pdf).startsWith("%PDF-"));

        // Cell 17 is exhausted and the thinner of the two below 8 mm.
        const QString cell17 = m_dir.filePath(QStringLiteral("cell17.png"));
        const QString cell4 = m_dir.filePath(QStringLiteral("cell4.png"));
        QCOMPARE(Cli(location, history + QStringList{"--location", "17", "--png", cell17}).exitCode,
                 0);
        QCOMPARE(Cli(location, history + QStringList{"--location", "4", "--png", cell4}).exitCode,
                 0);
        QCOMPARE(ReadFile(cell17), ReadFile(governing));
        QVERIFY(ReadFile(cell4) != ReadFile(governing));

        // A picture that cannot be written is told before anything is read.
        const QString noFolder = m_dir.filePath(QStringLiteral("no-such-folder"));
        const CProgramRun refused =
            Cli(location, history + QStringList{"--pdf", noFolder + "/h.pdf"});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.out, QString());
        QCOMPARE(refused.err, "Папка '" + noFolder + "' не существует.\n");
    }

    // The table alone runs on Qt Core; the files are written by the drawing
    // module. The dynamic linker tells what it loaded.
    void lean_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("module");
        QTest::newRow("table") << QStringList{} << false;
        QTest::newRow("location") << QStringList{"--location", "4"} << false;
        QTest::newRow("csv") << QStringList{"--csv", "lean.csv"} << true;
        QTest::newRow("pdf") << QStringList{"--pdf", "lean.pdf"} << true;
    }
    void lean()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, module);
        const QString location = m_dir.filePath(QStringLiteral("lean.sqlite"));
        if (!QFileInfo::exists(location))
            QVERIFY(FillDemo(location));
        const QString trace = m_dir.filePath(QStringLiteral("ld"));
        QDir(trace).removeRecursively();
        QVERIFY(QDir().mkpath(trace));
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        env.insert(QStringLiteral("LD_DEBUG_OUTPUT"), trace + QStringLiteral("/ld"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KORVALENT_CLI),
                      QStringList{"--archive", location, "history", CDemoArchive::ObjectName()} +
                          options);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QByteArray loaded;
        for (const QString& name : QDir(trace).entryList(QDir::Files))
            loaded += ReadFile(QDir(trace).filePath(name));
        QVERIFY(loaded.contains("libQt6Core.so"));
        QCOMPARE(loaded.contains("korvalent-cli-draw.so"), module);
        QCOMPARE(loaded.contains("libQt6Gui.so"), module);
    }

    // The CSV of the export: every value a ="…" formula, windows-1251, CR LF;
    // an object name that would break out of its field stays one text.
    void csv_data() { ArchiveTest::EngineRows(); }
    void csv()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        using AnalysisTest::File;
        QVERIFY(ArchiveTest::ArchiveEach(location, {File("Бак", {"10.00"}, QDate(2020, 1, 1)),
                                                    File("Бак", {"9.20"}, QDate(2024, 1, 1))}));
        const QString hostile = QStringLiteral("Бак \"7\"; =2+2\nx");
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(location));
            QVERIFY2(archive.RenameObject(QStringLiteral("Бак"), hostile),
                     qPrintable(archive.ErrorText()));
        }
        const QString out = m_dir.filePath(engine + QStringLiteral("-history.csv"));
        const CProgramRun r = Cli(location, {"history", hostile, "--required", "8", "--csv", out});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        // The terminal gets the line feed escaped.
        QVERIFY(r.out.contains(QStringLiteral("\nОбъект: Бак \"7\"; =2+2\\x0ax\n")));
        // 01.01.2020 -> 01.01.2024 is exactly 4 years: 0.200 mm/year, life
        // 6.0 years, next inspection 3 calendar years on.
        const QString expected =
            "Ячейка;Обследований;Первый замер;Последний замер;Начальная толщина, мм;"
            "Предыдущая толщина, мм;Фактическая толщина, мм;Долгосрочная скорость, мм/год;"
            "Краткосрочная скорость, мм/год;Скорость по регрессии, мм/год;Определяющая "
            "скорость, мм/год;Остаточный ресурс, лет;Следующий контроль;Проверки;Отметка;\r\n"
            "=\"1\";=\"2\";=\"01.01.2020\";=\"01.01.2024\";=\"10.00\";=\"10.00\";=\"9.20\";"
            "=\"0.200\";=\"0.200\";=\"—\";=\"0.200\";=\"6.0\";=\"01.01.2027\";=\"\";=\"\";\r\n"
            "\r\n"
            "\"=\"\"Объект: Бак \"\"\"\"7\"\"\"\"; =2+2\nx\"\"\";\r\n"
            "=\"Обследований: 2 (01.01.2020 – 01.01.2024)\";\r\n"
            "=\"Допустимая толщина: 8.00 мм\";\r\n"
            "=\"Номинальная толщина не задана\";\r\n"
            "=\"Максимальный интервал контроля: 10 лет\";\r\n"
            "=\"Определяющая скорость: наибольшая из имеющихся\";\r\n"
            "=\"Правило для сосудов при ресурсе меньше 4 лет: не применяется\";\r\n"
            "=\"Наименьший остаточный ресурс: 6.0 года (ячейка 1)\";\r\n"
            "=\"Ближайший контроль: 01.01.2027 (ячейка 1)\";\r\n"
            "=\"Ниже допустимой толщины: 0 из 1\";\r\n"
            "=\"Без скорости коррозии: 0\";\r\n"
            "=\"Проверки: W — 0, E — 0 (принято 0), T — 0\";\r\n";
        QStringEncoder encoder("windows-1251");
        const QByteArray bytes = encoder.encode(expected);
        QVERIFY(!encoder.hasError());
        QVERIFY(bytes.contains('\x97') && bytes.contains('\x96')); // the dashes in windows-1251
        QCOMPARE(ReadFile(out), bytes);
    }
};

QTEST_GUILESS_MAIN(TestCliHistory)
#include "tst_cli_history.moc"
