#include "analysis/CSurveyComparison.h"
#include "sim/CVirtualGauge.h"
#include "tests/analysis/AnalysisTestSupport.h"

#include <QStandardItemModel>
#include <QtTest>
#include <cmath>

using namespace AnalysisTest;

namespace
{
const double kNone = CSurveyComparison::kNone;

// The earlier survey on 01.01.2020, the current one on 01.01.2024: 1461 days,
// exactly 4 years.
const QDate kBefore(2020, 1, 1);
const QDate kNow(2024, 1, 1);

CSurveyComparison::Options Options(double required, double interval = 5.0)
{
    CSurveyComparison::Options o;
    o.required = required;
    o.intervalYears = interval;
    return o;
}

QStringList Lines(const CSurveyComparison& comparison)
{
    QStringList lines;
    for (int i = 0; i < comparison.Rows().size(); ++i)
        lines.append(comparison.RowTexts(i).join(QLatin1Char('\t')));
    return lines;
}
} // namespace

class TestSurveyComparison : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- one file --------------------------------------------------------
    void readings_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<double>("required");
        QTest::addColumn<bool>("inches");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("average");
        QTest::addColumn<int>("below");
        QTest::newRow("empty file: mm, one decimal")
            << QStringList{} << 8.0 << false << 1 << kNone << 0;
        QTest::newRow("only LOS") << QStringList{"LOS", "LOS"} << 8.0 << false << 1 << kNone << 0;
        // The first valid reading decides; the mm reading is shown in inches.
        QTest::newRow("LOS first, then inches") << QStringList{"LOS", "0.46in", "11.68"} << 0.46
                                                << true << 2 << (0.46 + 11.68 / 25.4) / 2 << 1;
        // Shown 4.1, equal to the limit: not below (4.1f is 4.0999999).
        QTest::newRow("equal to the limit is not below")
            << QStringList{"4.1", "4.0", "4.10", "600.1"} << 4.1 << false << 1
            << (4.1 + 4.0 + 4.1) / 3 << 1;
        QTest::newRow("inch limit met after conversion")
            << QStringList{"0.50in", "12.70", "12.69"} << 0.50 << true << 2
            << (0.5 + 0.5 + 12.69 / 25.4) / 3 << 1;
        QTest::newRow("no required thickness")
            << QStringList{"1.5", "2.5"} << kNone << false << 1 << 2.0 << 0;
        QTest::newRow("whole millimetres")
            << QStringList{"12", "7.5"} << 10.0 << false << 0 << 9.75 << 1;
    }
    void readings()
    {
        QFETCH(QStringList, cells);
        QFETCH(double, required);
        QFETCH(bool, inches);
        QFETCH(double, average);
        const DataFileRecord file = File(QStringLiteral("T"), cells);
        const CSurveyComparison::Unit unit = CSurveyComparison::DisplayUnit(file);
        QCOMPARE(unit == CSurveyComparison::Inches, inches);
        QTEST(CSurveyComparison::Decimals(file), "decimals");
        const QList<CSurveyComparison::Reading> readings = CSurveyComparison::Readings(file, unit);
        QCOMPARE(readings.size(), cells.size());
        const double got = CSurveyComparison::Average(readings);
        if (std::isnan(average))
            QVERIFY(std::isnan(got));
        else
            QVERIFY2(std::fabs(got - average) < 1e-9, qPrintable(QString::number(got, 'g', 17)));
        QTEST(CSurveyComparison::CountBelow(readings, required), "below");
    }

    void readingFields()
    {
        const DataFileRecord file =
            File(QStringLiteral("T"), {"0.40in", "LOS", "9.00@-"}, QDate(2025, 3, 17));
        const QList<CSurveyComparison::Reading> r =
            CSurveyComparison::Readings(file, CSurveyComparison::Millimetres);
        QCOMPARE(r.size(), 3);
        QCOMPARE(r.at(0).cell, 1);
        QCOMPARE(r.at(2).cell, 3);
        QVERIFY(!r.at(0).los);
        QCOMPARE(r.at(0).mm, 10.16);
        QCOMPARE(r.at(0).value, 10.16);
        QCOMPARE(r.at(0).unitText, QStringLiteral("дюйм"));
        QCOMPARE(r.at(0).date, QDate(2025, 3, 17));
        QCOMPARE(r.at(0).time, QTime(9, 30));
        QVERIFY(r.at(1).los);
        QVERIFY(std::isnan(r.at(1).mm) && std::isnan(r.at(1).value));
        QCOMPARE(r.at(2).unitText, QStringLiteral("мм"));
        QVERIFY(!r.at(2).date.isValid());
        // The same file in inches keeps the inch reading exact.
        QCOMPARE(CSurveyComparison::Readings(file, CSurveyComparison::Inches).at(0).value, 0.40);
    }

    void singleFile()
    {
        const CSurveyComparison c(File(QStringLiteral("T"), {"9.20", "LOS", "7.90@-"}),
                                  Options(8.0));
        QVERIFY(!c.HasPrevious());
        QCOMPARE(c.Headers(),
                 (QStringList{"Ячейка", "Толщина, мм", "Дата замера", "Время замера", "Отметка"}));
        QCOMPARE(Lines(c),
                 (QStringList{"1\t9.20\t01.01.2020\t09:30\t", "2\tLOS\t01.01.2020\t09:30\t",
                              "3\t7.90\t—\t09:30\tНиже допустимой"}));
        QCOMPARE(c.SummaryLines(), QStringList{"Ниже допустимой толщины: 1 из 2"});
        QCOMPARE(
            CSurveyComparison(File(QStringLiteral("T"), {"9.20"}), Options(kNone)).SummaryLines(),
            QStringList{"Допустимая толщина не задана"});
    }

    // --- two surveys -----------------------------------------------------
    void rows_data()
    {
        QTest::addColumn<QStringList>("previous");
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<double>("required");
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("reasons");

        // Losses 0.8, 1.2, 0.6 mm in 4 years against a minimum of 8 mm:
        // lives 1.2/0.2 = 6, 0.3/0.3 = 1, and none left at 7.80.
        QTest::newRow("three locations")
            << QStringList{"10.00", "9.50", "8.40"} << QStringList{"9.20", "8.30", "7.80"} << 8.0
            << 5.0
            << QStringList{"1\t10.00\t01.01.2020\t9.20\t01.01.2024\t0.80\t4.00\t0.200\t6.0\t",
                           "2\t9.50\t01.01.2020\t8.30\t01.01.2024\t1.20\t4.00\t0.300\t1.0\tРесурс "
                           "меньше "
                           "интервала",
                           "3\t8.40\t01.01.2020\t7.80\t01.01.2024\t0.60\t4.00\t0."
                           "150\tисчерпан\tНиже "
                           "допустимой"}
            << QStringList{"", "", ""};
        QTest::newRow("one decimal: rate with two")
            << QStringList{"10.0"} << QStringList{"9.2"} << 8.0 << 5.0
            << QStringList{"1\t10.0\t01.01.2020\t9.2\t01.01.2024\t0.8\t4.00\t0.20\t6.0\t"}
            << QStringList{""};
        // 6.0 years computed as 5.9999999 is not shorter than 6.
        QTest::newRow("life equal to the interval")
            << QStringList{"10.00"} << QStringList{"9.20"} << 8.0 << 6.0
            << QStringList{"1\t10.00\t01.01.2020\t9.20\t01.01.2024\t0.80\t4.00\t0.200\t6.0\t"}
            << QStringList{""};
        QTest::newRow("life just under the interval")
            << QStringList{"10.00"} << QStringList{"9.20"} << 8.0 << 6.01
            << QStringList{"1\t10.00\t01.01.2020\t9.20\t01.01.2024\t0.80\t4.00\t0.200\t6.0\t"
                           "Ресурс меньше интервала"}
            << QStringList{""};
        // 0.40 in = 10.16 mm; 1.00 mm in 4 years; (9.16 - 8) / 0.25 = 4.64.
        QTest::newRow("inches before, mm now")
            << QStringList{"0.40in"} << QStringList{"9.16"} << 8.0 << 5.0
            << QStringList{"1\t10.16\t01.01.2020\t9.16\t01.01.2024\t1.00\t4.00\t0.250\t4.6\tРесурс "
                           "меньше интервала"}
            << QStringList{""};
        // 12.70 mm = 0.50 in, 0.46 in = 11.684 mm: 0.04 in in 4 years;
        // (0.46 - 0.40) / 0.01 = 6.
        QTest::newRow("mm before, inches now")
            << QStringList{"12.70"} << QStringList{"0.46in"} << 0.40 << 5.0
            << QStringList{"1\t0.50\t01.01.2020\t0.46\t01.01.2024\t0.04\t4.00\t0.010\t6.0\t"}
            << QStringList{""};
        // No valid reading now: the earlier survey's unit and decimals.
        QTest::newRow("LOS now")
            << QStringList{"9.00"} << QStringList{"LOS"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2020\tLOS\t01.01.2024\t—\t4.00\t—\t—\t"}
            << QStringList{"LOS в текущем замере"};
        QTest::newRow("LOS now, earlier in inches")
            << QStringList{"0.50in"} << QStringList{"LOS"} << 0.40 << 5.0
            << QStringList{"1\t0.50\t01.01.2020\tLOS\t01.01.2024\t—\t4.00\t—\t—\t"}
            << QStringList{"LOS в текущем замере"};
        // Below the limit the life is exhausted whether a rate can be given or not.
        QTest::newRow("LOS before, current below")
            << QStringList{"LOS"} << QStringList{"7.00"} << 8.0 << 5.0
            << QStringList{"1\tLOS\t01.01.2020\t7.00\t01.01.2024\t—\t4.00\t—\tисчерпан\tНиже "
                           "допустимой"}
            << QStringList{QString()};
        QTest::newRow("thicker now, still below")
            << QStringList{"6.00"} << QStringList{"7.00"} << 8.0 << 5.0
            << QStringList{"1\t6.00\t01.01.2020\t7.00\t01.01.2024\t-1.00\t4.00\t-0.250\tисчерпан"
                           "\tНиже допустимой"}
            << QStringList{QString()};
        QTest::newRow("only now, below")
            << QStringList{} << QStringList{"7.00"} << 8.0 << 5.0
            << QStringList{"1\t—\t—\t7.00\t01.01.2024\t—\t—\t—\tисчерпан\tНиже допустимой"}
            << QStringList{QString()};
        // Exactly at the limit some life is computed: zero, not exhausted.
        QTest::newRow("at the limit")
            << QStringList{"8.80"} << QStringList{"8.00"} << 8.0 << 5.0
            << QStringList{"1\t8.80\t01.01.2020\t8.00\t01.01.2024\t0.80\t4.00\t0.200\t0.0\t"
                           "Ресурс меньше интервала"}
            << QStringList{QString()};
        QTest::newRow("LOS in both")
            << QStringList{"LOS"} << QStringList{"LOS"} << 8.0 << 5.0
            << QStringList{"1\tLOS\t01.01.2020\tLOS\t01.01.2024\t—\t4.00\t—\t—\t"}
            << QStringList{"LOS в обоих замерах"};
        QTest::newRow("no loss")
            << QStringList{"9.00"} << QStringList{"9.00"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2020\t9.00\t01.01.2024\t0.00\t4.00\t0.000\t—\t"}
            << QStringList{"Утонения нет: скорость коррозии не больше нуля"};
        QTest::newRow("thicker now")
            << QStringList{"9.00"} << QStringList{"9.20"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2020\t9.20\t01.01.2024\t-0.20\t4.00\t-0.050\t—\t"}
            << QStringList{"Утонения нет: скорость коррозии не больше нуля"};
        QTest::newRow("same day")
            << QStringList{"9.00@2024-01-01"} << QStringList{"8.50"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2024\t8.50\t01.01.2024\t0.50\t0.00\t—\t—\t"}
            << QStringList{"Замеры сделаны в один день"};
        QTest::newRow("no date now") << QStringList{"9.00"} << QStringList{"8.50@-"} << 8.0 << 5.0
                                     << QStringList{"1\t9.00\t01.01.2020\t8.50\t—\t0.50\t—\t—\t—\t"}
                                     << QStringList{"Нет даты замера"};
        QTest::newRow("no date before")
            << QStringList{"9.00@-"} << QStringList{"8.50"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t—\t8.50\t01.01.2024\t0.50\t—\t—\t—\t"}
            << QStringList{"Нет даты замера"};
        // 01.01.2024 -> 01.01.2025 is 366 days.
        QTest::newRow("earlier survey dated later")
            << QStringList{"9.00@2025-01-01"} << QStringList{"8.50"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2025\t8.50\t01.01.2024\t0.50\t-1.00\t—\t—\t"}
            << QStringList{"Предыдущий замер позже текущего"};
        QTest::newRow("location only now")
            << QStringList{"9.00"} << QStringList{"9.00", "8.00"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2020\t9.00\t01.01.2024\t0.00\t4.00\t0.000\t—\t",
                           "2\t—\t—\t8.00\t01.01.2024\t—\t—\t—\t—\t"}
            << QStringList{"Утонения нет: скорость коррозии не больше нуля",
                           "Ячейки нет в предыдущем обследовании"};
        QTest::newRow("location only before")
            << QStringList{"9.00", "7.00"} << QStringList{"9.00"} << 8.0 << 5.0
            << QStringList{"1\t9.00\t01.01.2020\t9.00\t01.01.2024\t0.00\t4.00\t0.000\t—\t",
                           "2\t7.00\t01.01.2020\t—\t—\t—\t—\t—\t—\t"}
            << QStringList{"Утонения нет: скорость коррозии не больше нуля",
                           "Ячейки нет в текущем обследовании"};
        QTest::newRow("no required thickness")
            << QStringList{"10.00"} << QStringList{"9.20"} << kNone << 5.0
            << QStringList{"1\t10.00\t01.01.2020\t9.20\t01.01.2024\t0.80\t4.00\t0.200\t—\t"}
            << QStringList{"Не задана допустимая толщина"};
    }
    void rows()
    {
        QFETCH(QStringList, previous);
        QFETCH(QStringList, current);
        QFETCH(double, required);
        QFETCH(double, interval);
        QFETCH(QStringList, reasons);
        const CSurveyComparison c(File(QStringLiteral("A"), previous, kBefore),
                                  File(QStringLiteral("B"), current, kNow),
                                  Options(required, interval));
        QVERIFY(c.HasPrevious());
        QTEST(Lines(c), "lines");
        QCOMPARE(c.Rows().size(), reasons.size());
        for (int i = 0; i < reasons.size(); ++i)
        {
            const CSurveyComparison::Row& row = c.Rows().at(i);
            QCOMPARE(row.lifeReason, reasons.at(i));
            // A life is given exactly when no reason is.
            QCOMPARE(std::isnan(row.lifeYears), !reasons.at(i).isEmpty());
        }
    }

    void rateAndLifeFigures()
    {
        const CSurveyComparison c(File(QStringLiteral("A"), {"10.00", "9.50", "8.40"}, kBefore),
                                  File(QStringLiteral("B"), {"9.20", "8.30", "7.80"}, kNow),
                                  Options(8.0));
        const QList<CSurveyComparison::Row>& rows = c.Rows();
        QCOMPARE(rows.at(0).years, 4.0);
        QVERIFY(std::fabs(rows.at(0).rateMm - 0.2) < 1e-12);
        QVERIFY(std::fabs(rows.at(1).lifeYears - 1.0) < 1e-12);
        QCOMPARE(rows.at(2).lifeYears, 0.0);
        QVERIFY(rows.at(2).exhausted && !rows.at(1).exhausted);
        QCOMPARE(rows.at(0).flag, CSurveyComparison::NoFlag);
        QCOMPARE(rows.at(1).flag, CSurveyComparison::LifeShort);
        // Below the minimum with a life shorter than the interval: red wins.
        QCOMPARE(rows.at(2).flag, CSurveyComparison::BelowRequired);
    }

    void headers_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QString>("rateUnit");
        QTest::newRow("mm") << "9.20"
                            << QStringList{"Ячейка",
                                           "Предыдущий замер, мм",
                                           "Дата пред. замера",
                                           "Текущий замер, мм",
                                           "Дата тек. замера",
                                           "Утонение, мм",
                                           "Интервал, лет",
                                           "Скорость коррозии, мм/год",
                                           "Остаточный ресурс, лет",
                                           "Отметка"}
                            << "мм/год";
        QTest::newRow("inches") << "0.46in"
                                << QStringList{"Ячейка",
                                               "Предыдущий замер, дюйм",
                                               "Дата пред. замера",
                                               "Текущий замер, дюйм",
                                               "Дата тек. замера",
                                               "Утонение, дюйм",
                                               "Интервал, лет",
                                               "Скорость коррозии, дюйм/год",
                                               "Остаточный ресурс, лет",
                                               "Отметка"}
                                << "дюйм/год";
    }
    void headers()
    {
        QFETCH(QString, current);
        const CSurveyComparison c(File(QStringLiteral("A"), {"10.00"}, kBefore),
                                  File(QStringLiteral("B"), {current}, kNow), Options(kNone));
        QTEST(c.Headers(), "headers");
        QTEST(c.RateUnitText(), "rateUnit");
        QCOMPARE(c.Headers().size(), int(CSurveyComparison::ColumnCount));
    }

    void summary_data()
    {
        QTest::addColumn<QStringList>("previous");
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<double>("required");
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("three locations")
            << QStringList{"10.00", "9.50", "8.40"} << QStringList{"9.20", "8.30", "7.80"} << 8.0
            << 5.0
            << QStringList{"Наибольшая скорость коррозии: 0.300 мм/год (ячейка 2)",
                           "Наименьший остаточный ресурс: исчерпан (ячейка 3)",
                           "Ниже допустимой толщины: 1 из 3",
                           "Ресурс меньше интервала обследования (5 лет): 1", "Без отметок: 1"};
        // Equal rates: the first location is named; negative rates never.
        QTest::newRow("ties, gains, LOS and missing")
            << QStringList{"9.00", "LOS", "9.00", "9.00", "8.00"}
            << QStringList{"9.20", "9.00", "8.60", "8.60"} << 8.0 << 1.0
            << QStringList{"Наибольшая скорость коррозии: 0.100 мм/год (ячейка 3)",
                           "Наименьший остаточный ресурс: 6.0 года (ячейка 3)",
                           "Ниже допустимой толщины: 0 из 4",
                           "Ресурс меньше интервала обследования (1 год): 0", "Без отметок: 5"};
        QTest::newRow("nothing lost, no minimum")
            << QStringList{"9.00"} << QStringList{"9.00"} << kNone << 2.5
            << QStringList{"Наибольшая скорость коррозии: —", "Наименьший остаточный ресурс: —",
                           "Допустимая толщина не задана",
                           "Ресурс меньше интервала обследования (2.5 года): 0", "Без отметок: 1"};
        QTest::newRow("inches, 3-year interval")
            << QStringList{"0.50in", "0.50in"} << QStringList{"0.46in", "0.42in"} << 0.45 << 3.0
            << QStringList{"Наибольшая скорость коррозии: 0.020 дюйм/год (ячейка 2)",
                           "Наименьший остаточный ресурс: исчерпан (ячейка 2)",
                           "Ниже допустимой толщины: 1 из 2",
                           "Ресурс меньше интервала обследования (3 года): 1", "Без отметок: 0"};
        // Two locations past the limit: the thinner wall is named.
        QTest::newRow("two exhausted")
            << QStringList{"9.00", "9.00", "9.00"} << QStringList{"7.50", "8.50", "7.00"} << 8.0
            << 5.0
            << QStringList{"Наибольшая скорость коррозии: 0.500 мм/год (ячейка 3)",
                           "Наименьший остаточный ресурс: исчерпан (ячейка 3 и ещё 1)",
                           "Ниже допустимой толщины: 2 из 3",
                           "Ресурс меньше интервала обследования (5 лет): 1", "Без отметок: 0"};
        QTest::newRow("21 years") << QStringList{"9.00"} << QStringList{"8.80"} << 8.0 << 21.0
                                  << QStringList{
                                         "Наибольшая скорость коррозии: 0.050 мм/год (ячейка 1)",
                                         "Наименьший остаточный ресурс: 16.0 года (ячейка 1)",
                                         "Ниже допустимой толщины: 0 из 1",
                                         "Ресурс меньше интервала обследования (21 год): 1",
                                         "Без отметок: 0"};
        QTest::newRow("12 years") << QStringList{"9.00"} << QStringList{"8.80"} << 8.0 << 12.0
                                  << QStringList{
                                         "Наибольшая скорость коррозии: 0.050 мм/год (ячейка 1)",
                                         "Наименьший остаточный ресурс: 16.0 года (ячейка 1)",
                                         "Ниже допустимой толщины: 0 из 1",
                                         "Ресурс меньше интервала обследования (12 лет): 0",
                                         "Без отметок: 1"};
    }
    void summary()
    {
        QFETCH(QStringList, previous);
        QFETCH(QStringList, current);
        QFETCH(double, required);
        QFETCH(double, interval);
        const CSurveyComparison c(File(QStringLiteral("A"), previous, kBefore),
                                  File(QStringLiteral("B"), current, kNow),
                                  Options(required, interval));
        QTEST(c.SummaryLines(), "lines");
        const CSurveyComparison::Summary& s = c.GetSummary();
        QCOMPARE(s.below + s.lifeShort + s.unflagged, int(c.Rows().size()));
    }

    void model()
    {
        QStandardItemModel model;
        const CSurveyComparison big(File(QStringLiteral("A"), {"10.00", "LOS", "8.40"}, kBefore),
                                    File(QStringLiteral("B"), {"9.20", "8.30", "7.80"}, kNow),
                                    Options(8.0));
        big.FillModel(&model);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), int(CSurveyComparison::ColumnCount));
        for (int column = 0; column < model.columnCount(); ++column)
            QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), big.Headers().at(column));
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < model.columnCount(); ++column)
                QCOMPARE(model.index(row, column).data().toString(), big.RowTexts(row).at(column));
        const QModelIndex life = model.index(1, CSurveyComparison::LifeColumn);
        QCOMPARE(life.data(Qt::ToolTipRole).toString(), QStringLiteral("LOS в предыдущем замере"));
        QVERIFY(model.index(0, CSurveyComparison::LifeColumn).data(Qt::ToolTipRole).isNull());
        QCOMPARE(model.index(2, 0).data(CSurveyComparison::FlagRole).toInt(),
                 int(CSurveyComparison::BelowRequired));
        QCOMPARE(model.index(0, 4).data(CSurveyComparison::FlagRole).toInt(),
                 int(CSurveyComparison::NoFlag));

        // Filled again with a smaller single-file table: nothing of the
        // comparison stays.
        const CSurveyComparison small(File(QStringLiteral("B"), {"9.20"}), Options(8.0));
        small.FillModel(&model);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.columnCount(), int(CSurveyComparison::SingleColumnCount));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Толщина, мм"));
    }

    // The demo gauge's pipeline surveyed twice shows every case of the tab.
    // --- which survey is the earlier one ---------------------------------
    void earlierSurvey_data()
    {
        // Candidates as "name@yyyy-MM-dd"; "=" a copy of the current survey.
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<int>("earlier"); // chosen without asking, -1: none
        QTest::addColumn<int>("offered"); // offered first in a choice list
        const QString line = QStringLiteral("Линия-7 2026@2026-03-17");
        QTest::newRow("the year before of the same line")
            << line << QStringList{"Труба-1@2025-03-17", "Линия-7 2025@2025-03-17"} << 1 << 1;
        QTest::newRow("the latest of several earlier")
            << line
            << QStringList{"Линия-7 2024@2024-03-01", "Линия-7 2025@2025-03-01",
                           "Линия-7 2027@2027-03-01"}
            << 1 << 1;
        QTest::newRow("the same name before a dated one on one day")
            << QStringLiteral("TANK-7@2024-01-01")
            << QStringList{"TANK-7 2020@2020-01-01", "tank-7@2020-01-01"} << 1 << 1;
        QTest::newRow("the current survey itself is never chosen")
            << QStringLiteral("TANK-7@2024-01-01") << QStringList{"=", "TANK-7 2020@2020-01-01"}
            << 1 << 1;
        QTest::newRow("only itself: offered the other file")
            << QStringLiteral("TANK-7@2024-01-01") << QStringList{"=", "PIPE@2020-01-01"} << -1
            << 1;
        QTest::newRow("another object is never chosen")
            << QStringLiteral("Труба-1@2026-03-17") << QStringList{"Линия-7 2025@2025-03-17"} << -1
            << 0;
        QTest::newRow("a number after a dash is another object")
            << QStringLiteral("TANK-7@2024-01-01")
            << QStringList{"TANK-8@2020-01-01", "TANK-70@2020-01-01"} << -1 << 1;
        QTest::newRow("dated dd.MM.yyyy and with an underscore")
            << QStringLiteral("Котёл_17.03.2026@2026-03-17")
            << QStringList{"котёл 17.03.2025@2025-03-17"} << 0 << 0;
        QTest::newRow("the same day is not earlier")
            << line << QStringList{"Линия-7 2025@2026-03-17"} << -1 << 0;
        QTest::newRow("a later survey is not earlier")
            << QStringLiteral("Линия-7 2025@2025-03-17") << QStringList{"Линия-7 2026@2026-03-17"}
            << -1 << 0;
        QTest::newRow("undated candidate") << line << QStringList{"Линия-7 2025@-"} << -1 << 0;
    }
    void earlierSurvey()
    {
        QFETCH(QString, current);
        QFETCH(QStringList, candidates);
        const auto make = [](const QString& text, int salt)
        {
            const QString when = text.section(QLatin1Char('@'), 1);
            const QDate date =
                when == QLatin1String("-") ? QDate() : QDate::fromString(when, Qt::ISODate);
            // Different readings in every file: the same survey only by copy.
            return File(text.section(QLatin1Char('@'), 0, 0),
                        {QStringLiteral("9.%1").arg(salt), QStringLiteral("8.5")}, date);
        };
        const DataFileRecord now = make(current, 9);
        DataFileList files;
        for (int i = 0; i < candidates.size(); ++i)
            files.append(candidates.at(i) == QLatin1String("=") ? now : make(candidates.at(i), i));
        QList<const DataFileRecord*> pointers;
        for (const DataFileRecord& f : files)
            pointers.append(&f);
        QTEST(CSurveyComparison::EarlierSurvey(pointers, now), "earlier");
        QTEST(CSurveyComparison::OfferFirst(pointers, now), "offered");
    }

    void demoSurveys()
    {
        const DataFileList files = CVirtualGauge::DemoFiles(1, 2);
        QVERIFY(files.size() >= 2);
        const DataFileRecord& before = files.at(files.size() - 2);
        const DataFileRecord& now = files.last();
        QCOMPARE(CAnsiText::Decode(before.header.name, 16), QStringLiteral("Линия-7 2025"));
        QCOMPARE(CAnsiText::Decode(now.header.name, 16), QStringLiteral("Линия-7 2026"));
        const CSurveyComparison c(before, now, Options(8.0));
        QCOMPARE(
            c.SummaryLines(),
            (QStringList{"Наибольшая скорость коррозии: 0.851 мм/год (ячейка 12)",
                         "Наименьший остаточный ресурс: исчерпан (ячейка 12)",
                         "Ниже допустимой толщины: 1 из 20",
                         "Ресурс меньше интервала обследования (5 лет): 2", "Без отметок: 18"}));
        QCOMPARE(c.Rows().at(5).lifeReason, QString());
        QCOMPARE(c.RowTexts(5).join(QLatin1Char('\t')),
                 QStringLiteral("6\t9.10\t17.03.2025\t8.30\t17.03.2026\t0.80\t1.00\t0.801\t0.4\t"
                                "Ресурс меньше интервала"));
        QCOMPARE(c.Rows().at(20).lifeReason,
                 QStringLiteral("Ячейки нет в предыдущем обследовании"));
    }
};

QTEST_GUILESS_MAIN(TestSurveyComparison)
#include "tst_survey_comparison.moc"
