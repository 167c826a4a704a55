#include "analysis/CObjectHistory.h"
#include "tests/analysis/AnalysisTestSupport.h"

#include <QStandardItemModel>
#include <QtTest>
#include <cmath>

// The history of an object over its surveys against figures worked out by
// hand: the rates, the remaining life with its reasons, the next inspection
// date, and the checks of each reading.
namespace
{
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// "2016-01-01: 10.0 9.6 LOS" -> a survey of that date, one reading per cell.
QList<CObjectHistory::Survey> Surveys(const QStringList& texts)
{
    QList<CObjectHistory::Survey> surveys;
    qint64 id = 0;
    for (const QString& text : texts)
    {
        const QDate date = QDate::fromString(text.section(QLatin1Char(':'), 0, 0), Qt::ISODate);
        const QStringList cells =
            text.section(QLatin1Char(':'), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        CObjectHistory::Survey s;
        s.id = ++id;
        s.name = QStringLiteral("Труба %1").arg(date.year());
        s.file = AnalysisTest::File(s.name, cells, date);
        surveys.append(s);
    }
    return surveys;
}

CObjectHistory::Settings Required(double mm)
{
    CObjectHistory::Settings s;
    s.requiredMm = mm;
    return s;
}

bool Same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::fabs(a - b) < 1e-9;
}

QStringList Checks(const CObjectHistory::Location& location)
{
    QStringList list;
    for (const CObjectHistory::Reading& r : location.readings)
        list.append(CObjectHistory::ChecksText(r.checks));
    return list;
}
} // namespace

class TestObjectHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One location over 2, 3 and 5 surveys: its row as shown and its rates.
    void figures_data()
    {
        QTest::addColumn<QStringList>("surveys");
        QTest::addColumn<double>("required");
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<double>("longTerm");
        QTest::addColumn<double>("shortTerm");
        QTest::addColumn<double>("regression");

        // 4 years apart (1461 days = 4.0 years): 0.8 mm lost, 0.2 mm a year;
        // life (9.2 - 8) / 0.2 = 6, next after half of it.
        QTest::newRow("two surveys")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 9.2"} << 8.0
            << QStringList{"1",    "2",   "01.01.2016", "01.01.2020", "10.0",
                           "10.0", "9.2", "0.20",       "0.20",       "—",
                           "0.20", "6.0", "01.01.2023", "",           ""}
            << 0.2 << 0.2 << kNaN;
        // 8 then 4 years: LT 1.8/12 = 0.15, ST 0.8/4 = 0.2 governs; the
        // line through (0, 10), (8, 9), (12, 8.2): slope -32.8/224. Life
        // 0.2/0.2 = 1 year, next after half a year (182.6 days -> 183).
        QTest::newRow("three surveys, unequal intervals")
            << QStringList{"2012-01-01: 10.0", "2020-01-01: 9.0", "2024-01-01: 8.2"} << 8.0
            << QStringList{"1",    "3",   "01.01.2012", "01.01.2024", "10.0",
                           "9.0",  "8.2", "0.15",       "0.20",       "0.15",
                           "0.20", "1.0", "02.07.2024", "",           ""}
            << 0.15 << 0.2 << 32.8 / 224.0;
        // Every 4 years: LT 1.2/16, ST 0.1/4, the line 9.98 - 0.08 x governs;
        // life 0.8/0.08 = 10 years, next after 5 (1826.25 days).
        QTest::newRow("five surveys, the regression governs")
            << QStringList{"2008-01-01: 10.00", "2012-01-01: 9.70", "2016-01-01: 9.30",
                           "2020-01-01: 8.90", "2024-01-01: 8.80"}
            << 8.0 << QStringList{"1",     "5",    "01.01.2008", "01.01.2024", "10.00",
                                  "8.90",  "8.80", "0.075",      "0.025",      "0.080",
                                  "0.080", "10.0", "31.12.2028", "",           ""}
            << 0.075 << 0.025 << 0.08;
        // The LOS reading is listed but skipped: the rates come from 2016 and 2024.
        QTest::newRow("LOS in the middle survey")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: LOS", "2024-01-01: 9.2"} << 8.0
            << QStringList{"1",    "3",    "01.01.2016", "01.01.2024", "10.0",
                           "10.0", "9.2",  "0.10",       "0.10",       "—",
                           "0.10", "12.0", "01.01.2030", "",           ""}
            << 0.1 << 0.1 << kNaN;
        // 0.40 in = 10.16 mm, shown in millimetres as the latest survey is;
        // life 1.76/0.1 = 17.6, next after 8.8 years = 3214 days.
        QTest::newRow("mixed units, shown in mm")
            << QStringList{"2016-01-01: 0.40in", "2020-01-01: 9.76"} << 8.0
            << QStringList{"1",     "2",    "01.01.2016", "01.01.2020", "10.16",
                           "10.16", "9.76", "0.100",      "0.100",      "—",
                           "0.100", "17.6", "19.10.2028", "",           ""}
            << 0.1 << 0.1 << kNaN;
        // 10.16 mm = 0.40 in and 0.38 in = 9.652 mm: 0.127 mm = 0.005 in a
        // year; life 1.652/0.127 = 13.008, next after 2375.6 days.
        QTest::newRow("mixed units, shown in inches")
            << QStringList{"2016-01-01: 10.16", "2020-01-01: 0.38in"} << 8.0
            << QStringList{"1",     "2",    "01.01.2016", "01.01.2020", "0.40",
                           "0.40",  "0.38", "0.005",      "0.005",      "—",
                           "0.005", "13.0", "04.07.2026", "",           ""}
            << 0.127 << 0.127 << kNaN;
    }
    void figures()
    {
        QFETCH(QStringList, surveys);
        QFETCH(double, required);
        QFETCH(QStringList, row);
        QFETCH(double, longTerm);
        QFETCH(double, shortTerm);
        QFETCH(double, regression);

        const CObjectHistory h(QStringLiteral("Труба"), Surveys(surveys), {}, Required(required));
        QCOMPARE(h.Locations().size(), 1);
        QCOMPARE(h.RowTexts(0), row);
        const CObjectHistory::Location& l = h.Locations().first();
        QVERIFY2(Same(l.longTermMm, longTerm), qPrintable(QString::number(l.longTermMm, 'g', 17)));
        QVERIFY2(Same(l.shortTermMm, shortTerm),
                 qPrintable(QString::number(l.shortTermMm, 'g', 17)));
        QVERIFY2(Same(l.regressionMm, regression),
                 qPrintable(QString::number(l.regressionMm, 'g', 17)));
    }

    void regressionLine()
    {
        // The five-survey case: thickness = 9.98 - 0.08 x; it reaches 8.0 mm
        // 24.75 years after the first reading (9039.9 days -> 1 Oct 2032).
        const CObjectHistory h(QStringLiteral("Труба"),
                               Surveys({"2008-01-01: 10.00", "2012-01-01: 9.70", "2016-01-01: 9.30",
                                        "2020-01-01: 8.90", "2024-01-01: 8.80"}),
                               {}, Required(8.0));
        const CObjectHistory::Location& l = h.Locations().first();
        QVERIFY(Same(l.slopeMmPerYear, -0.08));
        QVERIFY(Same(l.interceptMm, 9.98));
        QCOMPARE(l.projectedDate, QDate(2032, 10, 1));
        QCOMPARE(l.governingKind, CObjectHistory::RateRegression);
    }

    void missingLocations()
    {
        // Cell 3 is missing from 2020, cell 4 only measured in 2024.
        const CObjectHistory h(QStringLiteral("Труба"),
                               Surveys({"2016-01-01: 10.0 10.0 10.0", "2020-01-01: 9.6 9.8",
                                        "2024-01-01: 9.2 9.6 9.6 9.9"}),
                               {}, Required(8.0));
        QCOMPARE(h.Locations().size(), 4);
        const QList<int> surveys = {3, 3, 2, 1};
        for (int i = 0; i < 4; ++i)
        {
            QCOMPARE(h.Locations().at(i).cell, i + 1);
            QCOMPARE(h.Locations().at(i).surveys, surveys.at(i));
        }
        QCOMPARE(h.RowTexts(2),
                 (QStringList{"3", "2", "01.01.2016", "01.01.2024", "10.0", "10.0", "9.6", "0.05",
                              "0.05", "—", "0.05", "32.0", "01.01.2034", "", ""}));
        QCOMPARE(
            h.RowTexts(3),
            (QStringList{"4", "1", "01.01.2024", "01.01.2024", "9.9", "—", "9.9", "—", "—", "—",
                         "—", "—", "01.01.2034 (макс. интервал)", "", "Нет скорости коррозии"}));
        QCOMPARE(h.LocationIndex(4), 3);
        QCOMPARE(h.LocationIndex(5), -1);
        // The surveys in the order given are taken oldest first whatever the order.
        QList<CObjectHistory::Survey> shuffled = Surveys(
            {"2016-01-01: 10.0 10.0 10.0", "2020-01-01: 9.6 9.8", "2024-01-01: 9.2 9.6 9.6 9.9"});
        std::swap(shuffled[0], shuffled[2]);
        const CObjectHistory again(QStringLiteral("Труба"), shuffled, {}, Required(8.0));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(again.RowTexts(i), h.RowTexts(i));
    }

    void undatedReadings()
    {
        // A cell without a date takes its survey's; a survey with no date at
        // all cannot be placed in time: its reading is listed last, unused.
        const CObjectHistory h(
            QStringLiteral("Труба"),
            Surveys({"2024-01-01: 9.8@- 9.0@-", "2016-01-01: 10.0 10.0", "2020-01-01: 9.6@- 9.5"}),
            {}, Required(8.0));
        const CObjectHistory::Location& first = h.Locations().at(0);
        QCOMPARE(first.readings.size(), 3);
        QCOMPARE(first.readings.at(1).date, QDate(2020, 1, 1));
        QVERIFY(first.readings.at(1).used);
        QVERIFY(!first.readings.at(2).date.isValid());
        QVERIFY(!first.readings.at(2).used);
        QCOMPARE(h.ReadingTexts(first, 2),
                 (QStringList{"1", "Труба 2024", "—", "—", "9.8", "", "нет (без даты)"}));
        QCOMPARE(h.RowTexts(0).mid(CObjectHistory::InitialColumn, 4),
                 (QStringList{"10.0", "10.0", "9.6", "0.10"}));
        // Undated 9.0 is not taken for t_actual, nor checked against 9.5.
        QCOMPARE(h.RowTexts(1).at(CObjectHistory::ActualColumn), QStringLiteral("9.5"));
        QCOMPARE(h.Locations().at(1).checks, int(CObjectHistory::CheckNone));
    }

    // W, E and T at their boundaries; each reading's checks in date order.
    void checks_data()
    {
        QTest::addColumn<QStringList>("surveys");
        QTest::addColumn<QStringList>("checks");
        QTest::addColumn<bool>("shortTerm");

        QTest::newRow("exactly 10 % thicker: W")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 11.0"} << QStringList{"", "W"} << true;
        QTest::newRow("more than 10 % thicker: E")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 11.1"} << QStringList{"", "E"} << false;
        QTest::newRow("one resolution step: nothing")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 10.1"} << QStringList{"", ""} << true;
        QTest::newRow("two resolution steps: W")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 10.2"} << QStringList{"", "W"} << true;
        QTest::newRow("hundredths: one step")
            << QStringList{"2016-01-01: 10.00", "2020-01-01: 10.01"} << QStringList{"", ""} << true;
        QTest::newRow("hundredths: two steps")
            << QStringList{"2016-01-01: 10.00", "2020-01-01: 10.02"} << QStringList{"", "W"}
            << true;
        QTest::newRow("inches: one step of 0.01 in")
            << QStringList{"2016-01-01: 0.40in", "2020-01-01: 0.41in"} << QStringList{"", ""}
            << true;
        QTest::newRow("inches: two steps")
            << QStringList{"2016-01-01: 0.40in", "2020-01-01: 0.42in"} << QStringList{"", "W"}
            << true;
        // 0.40 in = 10.16 mm after 10.00 mm: less than the inch reading's step.
        QTest::newRow("inches after millimetres")
            << QStringList{"2016-01-01: 10.00", "2020-01-01: 0.40in"} << QStringList{"", ""}
            << true;
        QTest::newRow("exactly 15 % over an earlier reading")
            << QStringList{"2012-01-01: 10.0", "2016-01-01: 10.5", "2020-01-01: 11.5"}
            << QStringList{"", "W", "W"} << true;
        QTest::newRow("more than 15 % over an earlier reading")
            << QStringList{"2012-01-01: 10.0", "2016-01-01: 10.5", "2020-01-01: 11.6"}
            << QStringList{"", "W", "E"} << true;
        // 10.4 is 9.5 % over 9.5 but 15.6 % over the 9.0 before it.
        QTest::newRow("over an earlier thinner reading")
            << QStringList{"2008-01-01: 10.0", "2012-01-01: 9.0", "2016-01-01: 9.5",
                           "2020-01-01: 10.4"}
            << QStringList{"", "", "W", "E"} << true;
        QTest::newRow("LOS is no previous reading")
            << QStringList{"2012-01-01: 10.0", "2016-01-01: LOS", "2020-01-01: 10.5"}
            << QStringList{"", "", "W"} << true;
        QTest::newRow("exactly 6 months apart")
            << QStringList{"2020-01-01: 10.0", "2020-07-01: 9.9"} << QStringList{"", ""} << true;
        QTest::newRow("a day less than 6 months")
            << QStringList{"2020-01-01: 10.0", "2020-06-30: 9.9"} << QStringList{"", "T"} << false;
        // Six calendar months after 31 August is 28 February.
        QTest::newRow("6 months from a month's end")
            << QStringList{"2020-08-31: 10.0", "2021-02-28: 9.9"} << QStringList{"", ""} << true;
        QTest::newRow("a day less from a month's end")
            << QStringList{"2020-08-31: 10.0", "2021-02-27: 9.9"} << QStringList{"", "T"} << false;
        QTest::newRow("the same day")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 9.8", "2020-01-01: 9.7"}
            << QStringList{"", "", "T"} << false;
    }
    void checks()
    {
        QFETCH(QStringList, surveys);
        QFETCH(QStringList, checks);
        QFETCH(bool, shortTerm);
        const CObjectHistory h(QStringLiteral("Труба"), Surveys(surveys), {}, Required(5.0));
        const CObjectHistory::Location& l = h.Locations().first();
        QCOMPARE(Checks(l), checks);
        QCOMPARE(!std::isnan(l.shortTermMm), shortTerm);
        // The location's own checks gather those of its readings.
        int all = 0;
        for (const CObjectHistory::Reading& r : l.readings)
            all |= r.checks;
        QCOMPARE(l.checks, all);
    }

    void acceptedError()
    {
        // 11.5 after 10.0 is an error reading: out of the rates until accepted.
        const QList<CObjectHistory::Survey> surveys =
            Surveys({"2016-01-01: 10.0", "2020-01-01: 11.5", "2024-01-01: 9.2"});
        const CObjectHistory left(QStringLiteral("Труба"), surveys, {{1, 1}, {3, 1}},
                                  Required(8.0));
        const CObjectHistory::Location& l = left.Locations().first();
        QCOMPARE(Checks(l), (QStringList{"", "E", ""}));
        QCOMPARE(l.readings.at(1).used, false);
        QCOMPARE(l.readings.at(1).accepted, false);
        // A mark on a reading without E changes nothing.
        QCOMPARE(l.readings.at(0).accepted, false);
        QVERIFY(Same(l.previousMm, 10.0));
        QVERIFY(Same(l.longTermMm, 0.1));
        QVERIFY(Same(l.shortTermMm, 0.1));
        QVERIFY(std::isnan(l.regressionMm));
        QCOMPARE(left.ReadingTexts(l, 1),
                 (QStringList{"2", "Труба 2020", "01.01.2020", "09:30", "11.5", "E", "нет (E)"}));
        QCOMPARE(left.GetSummary().countE, 1);
        QCOMPARE(left.GetSummary().accepted, 0);

        // Accepted: all three count; ST (11.5 - 9.2)/4 = 0.575 governs, the
        // line through (0, 10), (4, 11.5), (8, 9.2) falls 0.1 a year.
        const CObjectHistory taken(QStringLiteral("Труба"), surveys, {{2, 1}}, Required(8.0));
        const CObjectHistory::Location& a = taken.Locations().first();
        QCOMPARE(Checks(a), (QStringList{"", "E", ""}));
        QVERIFY(a.readings.at(1).used && a.readings.at(1).accepted);
        QVERIFY(Same(a.previousMm, 11.5));
        QVERIFY(Same(a.shortTermMm, 0.575));
        QVERIFY(Same(a.regressionMm, 0.1));
        QVERIFY(Same(a.governingMm, 0.575));
        QCOMPARE(a.governingKind, CObjectHistory::RateShortTerm);
        QCOMPARE(taken.ReadingTexts(a, 1).last(), QStringLiteral("да (E принято)"));
        QCOMPARE(taken.GetSummary().accepted, 1);
    }

    // Every reason a remaining life is "—", and what the next date is then.
    void noLife_data()
    {
        QTest::addColumn<QStringList>("surveys");
        QTest::addColumn<double>("required");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("life");
        QTest::addColumn<QString>("next");
        QTest::addColumn<int>("flag");

        const int none = CObjectHistory::NoFlag, below = CObjectHistory::BelowRequired,
                  noRate = CObjectHistory::NoRate;
        QTest::newRow("no valid reading")
            << QStringList{"2016-01-01: LOS", "2020-01-01: LOS"} << 8.0 << "max"
            << "Нет действительных замеров"
            << "—"
            << "—" << noRate;
        QTest::newRow("one valid reading")
            << QStringList{"2016-01-01: LOS", "2020-01-01: 9.0"} << 8.0 << "max"
            << "Только один действительный замер"
            << "—"
            << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("all on one day")
            << QStringList{"2020-01-01: 10.0", "2020-01-01: 9.8"} << 8.0 << "max"
            << "Все замеры сделаны в один день"
            << "—"
            << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("short-term pinned, last two close")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 9.6", "2020-03-01: 9.5"} << 8.0 << "st"
            << "Последние замеры сделаны с промежутком меньше 6 месяцев: краткосрочной скорости "
               "нет"
            << "—"
            << "01.03.2030 (макс. интервал)" << noRate;
        QTest::newRow("regression pinned, two readings")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 9.6"} << 8.0 << "regression"
            << "Для регрессии нужны не меньше 3 замеров в 3 разные даты"
            << "—"
            << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("regression pinned, three readings on two days")
            << QStringList{"2012-01-01: 10.0", "2020-01-01: 9.6", "2020-01-01: 9.5"} << 8.0
            << "regression"
            << "Для регрессии нужны не меньше 3 замеров в 3 разные даты"
            << "—"
            << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("thicker than before")
            << QStringList{"2016-01-01: 9.0", "2020-01-01: 9.5"} << 8.0 << "max"
            << "Утонения нет: скорость коррозии не больше нуля"
            << "—"
            << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("no loss") << QStringList{"2016-01-01: 9.0", "2020-01-01: 9.0"} << 8.0
                                 << "max"
                                 << "Утонения нет: скорость коррозии не больше нуля"
                                 << "—"
                                 << "01.01.2030 (макс. интервал)" << noRate;
        QTest::newRow("no required thickness")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 9.6"} << kNaN << "max"
            << "Не задана допустимая толщина"
            << "—"
            << "01.01.2030 (макс. интервал)" << none;
        QTest::newRow("below the required thickness")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 7.9"} << 8.0 << "max"
            << ""
            << "исчерпан"
            << "01.01.2020" << below;
        QTest::newRow("below it with a single reading")
            << QStringList{"2020-01-01: 7.9"} << 8.0 << "max"
            << ""
            << "исчерпан"
            << "01.01.2020" << below;
        QTest::newRow("exactly the required thickness")
            << QStringList{"2016-01-01: 10.0", "2020-01-01: 8.0"} << 8.0 << "max"
            << ""
            << "0.0"
            << "01.01.2020" << none;
    }
    void noLife()
    {
        QFETCH(QStringList, surveys);
        QFETCH(double, required);
        QFETCH(QString, rate);
        QFETCH(QString, reason);
        QFETCH(QString, life);
        QFETCH(QString, next);
        QFETCH(int, flag);
        CObjectHistory::Settings settings = Required(required);
        QVERIFY(CObjectHistory::RateKindFromKey(rate, &settings.rate));
        const CObjectHistory h(QStringLiteral("Труба"), Surveys(surveys), {}, settings);
        const CObjectHistory::Location& l = h.Locations().first();
        QCOMPARE(l.lifeReason, reason);
        QCOMPARE(h.LifeText(l), life);
        QCOMPARE(h.NextDateText(l), next);
        QCOMPARE(int(l.flag), flag);
        QCOMPARE(l.nextByMaxInterval, next.endsWith(QStringLiteral("(макс. интервал)")));
        // The reason is the life cell's tool tip.
        QStandardItemModel model;
        h.FillModel(&model);
        QCOMPARE(model.item(0, CObjectHistory::LifeColumn)->toolTip(), reason);
        // A date from the maximum interval says why: the same reason.
        QCOMPARE(model.item(0, CObjectHistory::NextColumn)->toolTip(),
                 l.nextByMaxInterval
                     ? reason + QStringLiteral(
                                    ": дата последнего замера плюс максимальный интервал контроля")
                     : QString());
    }

    // The next inspection date: half the life, at most the maximum interval;
    // the vessel rule under 4 years.
    void nextDate_data()
    {
        QTest::addColumn<double>("required");
        QTest::addColumn<double>("maxInterval");
        QTest::addColumn<bool>("vessel");
        QTest::addColumn<QString>("life");
        QTest::addColumn<QString>("next");

        // 10.0 in 2016, 9.2 in 2020: 0.2 mm a year, life (9.2 - required)/0.2.
        QTest::newRow("half the life, under the maximum") << 8.0 << 10.0 << false << "6.0"
                                                          << "01.01.2023";
        QTest::newRow("half the life, over the maximum") << 3.2 << 10.0 << false << "30.0"
                                                         << "01.01.2030";
        QTest::newRow("maximum of 5 years") << 3.2 << 5.0 << false << "30.0"
                                            << "01.01.2025";
        QTest::newRow("maximum of 15 years") << 3.2 << 15.0 << false << "30.0"
                                             << "01.01.2035";
        // 7.5 years = 2739.4 days.
        QTest::newRow("a maximum in part of a year") << 3.2 << 7.5 << false << "30.0"
                                                     << "02.07.2027";
        // Life 3: without the rule 1.5 years (547.9 days), with it 2 years.
        QTest::newRow("under 4 years, no vessel rule") << 8.6 << 10.0 << false << "3.0"
                                                       << "02.07.2021";
        QTest::newRow("under 4 years, vessel rule") << 8.6 << 10.0 << true << "3.0"
                                                    << "01.01.2022";
        // Life 1.2: the whole of it (438.3 days) rather than 0.6 (219.2 days).
        QTest::newRow("life 1.2, vessel rule") << 8.96 << 10.0 << true << "1.2"
                                               << "14.03.2021";
        QTest::newRow("life 1.2, no vessel rule") << 8.96 << 10.0 << false << "1.2"
                                                  << "07.08.2020";
        QTest::newRow("vessel rule over 4 years") << 8.0 << 10.0 << true << "6.0"
                                                  << "01.01.2023";
        QTest::newRow("vessel rule, maximum shorter") << 8.6 << 1.0 << true << "3.0"
                                                      << "01.01.2021";
    }
    void nextDate()
    {
        QFETCH(double, required);
        QFETCH(double, maxInterval);
        QFETCH(bool, vessel);
        QFETCH(QString, life);
        QFETCH(QString, next);
        CObjectHistory::Settings s = Required(required);
        s.maxIntervalYears = maxInterval;
        s.vesselRule = vessel;
        const CObjectHistory h(QStringLiteral("Труба"),
                               Surveys({"2016-01-01: 10.0", "2020-01-01: 9.2"}), {}, s);
        const CObjectHistory::Location& l = h.Locations().first();
        QCOMPARE(h.LifeText(l), life);
        QCOMPARE(h.NextDateText(l), next);
        QVERIFY(!l.nextByMaxInterval);
    }

    void pinnedRate_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<double>("governing");
        QTest::addColumn<int>("kind");
        // LT 1.8/12 = 0.15, ST 0.2, regression 32.8/224 = 0.1464.
        QTest::newRow("largest") << "max" << 0.2 << int(CObjectHistory::RateShortTerm);
        QTest::newRow("long-term") << "lt" << 0.15 << int(CObjectHistory::RateLongTerm);
        QTest::newRow("short-term") << "st" << 0.2 << int(CObjectHistory::RateShortTerm);
        QTest::newRow("regression")
            << "regression" << 32.8 / 224.0 << int(CObjectHistory::RateRegression);
    }
    void pinnedRate()
    {
        QFETCH(QString, rate);
        QFETCH(double, governing);
        QFETCH(int, kind);
        CObjectHistory::Settings s = Required(8.0);
        QVERIFY(CObjectHistory::RateKindFromKey(rate, &s.rate));
        QCOMPARE(CObjectHistory::RateKindKey(s.rate), rate);
        const CObjectHistory h(QStringLiteral("Труба"),
                               Surveys({"2012-01-01: 10.0", "2020-01-01: 9.0", "2024-01-01: 8.2"}),
                               {}, s);
        const CObjectHistory::Location& l = h.Locations().first();
        QVERIFY(Same(l.governingMm, governing));
        QCOMPARE(int(l.governingKind), kind);
        QVERIFY(Same(l.lifeYears, 0.2 / governing));
    }

    void summary()
    {
        // Cell 1 falls below 8 mm; cell 2 thins slowly; cell 3 has an error
        // reading and is due within a year of 1 Jan 2025; cell 4 is never
        // measured.
        CObjectHistory::Settings s = Required(8.0);
        s.nominalMm = 10.0;
        CObjectHistory::ViewOptions view;
        view.today = QDate(2025, 1, 1);
        QList<CObjectHistory::Survey> surveys =
            Surveys({"2016-01-01: 10.0 10.0 10.0 LOS", "2020-01-01: 9.2 9.9 11.5 LOS",
                     "2024-01-01: 7.6 9.8 8.4 LOS"});
        for (int i = 0; i < surveys.size(); ++i)
            surveys[i].id = 11 + i;
        const CObjectHistory h(QStringLiteral("Труба"), surveys, {}, s, view);

        QCOMPARE(h.Headers(),
                 (QStringList{"Ячейка", "Обследований", "Первый замер", "Последний замер",
                              "Начальная толщина, мм", "Предыдущая толщина, мм",
                              "Фактическая толщина, мм", "Долгосрочная скорость, мм/год",
                              "Краткосрочная скорость, мм/год", "Скорость по регрессии, мм/год",
                              "Определяющая скорость, мм/год", "Остаточный ресурс, лет",
                              "Следующий контроль", "Проверки", "Отметка"}));
        QCOMPARE(h.RowTexts(0), (QStringList{"1", "3", "01.01.2016", "01.01.2024", "10.0", "9.2",
                                             "7.6", "0.30", "0.40", "0.30", "0.40", "исчерпан",
                                             "01.01.2024", "", "Ниже допустимой"}));
        QCOMPARE(h.RowTexts(2),
                 (QStringList{"3", "3", "01.01.2016", "01.01.2024", "10.0", "10.0", "8.4", "0.20",
                              "0.20", "—", "0.20", "2.0", "31.12.2024", "E", "Срок контроля"}));
        QCOMPARE(h.SummaryLines(),
                 (QStringList{
                     "Объект: Труба", "Обследований: 3 (01.01.2016 – 01.01.2024)",
                     "Допустимая толщина: 8.0 мм", "Номинальная толщина: 10.0 мм",
                     "Максимальный интервал контроля: 10 лет",
                     "Определяющая скорость: наибольшая из имеющихся",
                     "Правило для сосудов при ресурсе меньше 4 лет: не применяется",
                     "Наименьший остаточный ресурс: исчерпан (ячейка 1)",
                     "Ближайший контроль: 01.01.2024 (ячейка 1)", "Ниже допустимой толщины: 1 из 3",
                     "Срок контроля в пределах интервала (1 год): 1", "Без скорости коррозии: 1",
                     "Проверки: W — 0, E — 1 (принято 0), T — 0"}));
        const CObjectHistory::Summary& sum = h.GetSummary();
        QCOMPARE(sum.governingLocation, 0);
        QCOMPARE(sum.earliestNext, QDate(2024, 1, 1));
        QCOMPARE(sum.below, 1);
        QCOMPARE(sum.due, 1);
        QCOMPARE(sum.noRate, 1);

        QCOMPARE(h.ReadingHeaders(),
                 (QStringList{"Обследование", "Файл данных", "Дата замера", "Время замера",
                              "Толщина, мм", "Проверки", "В расчёте"}));
        const CObjectHistory::Location& lost = h.Locations().at(3);
        QCOMPARE(h.ReadingTexts(lost, 0),
                 (QStringList{"11", "Труба 2016", "01.01.2016", "09:30", "LOS", "", "нет (LOS)"}));

        // The table sorts by the figures, absent ones last.
        QStandardItemModel model;
        h.FillModel(&model);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.columnCount(), int(CObjectHistory::ColumnCount));
        QCOMPARE(model.item(0, 0)->data(CObjectHistory::FlagRole).toInt(),
                 int(CObjectHistory::BelowRequired));
        model.setSortRole(CObjectHistory::SortRole);
        model.sort(CObjectHistory::GoverningColumn);
        QStringList cells;
        for (int r = 0; r < model.rowCount(); ++r)
            cells.append(model.item(r, 0)->text());
        QCOMPARE(cells, (QStringList{"2", "3", "1", "4"}));
        model.sort(CObjectHistory::LifeColumn);
        cells.clear();
        for (int r = 0; r < model.rowCount(); ++r)
            cells.append(model.item(r, 0)->text());
        QCOMPARE(cells, (QStringList{"1", "3", "2", "4"}));

        // Nothing due without a day to judge it on.
        const CObjectHistory undated(QStringLiteral("Труба"), surveys, {}, s);
        QCOMPARE(undated.GetSummary().due, 0);
        QVERIFY(!undated.SummaryLines().join(QLatin1Char('\n')).contains(QStringLiteral("Срок")));
    }

    void yearsText_data()
    {
        QTest::addColumn<double>("years");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1.0 << "1 год";
        QTest::newRow("2") << 2.0 << "2 года";
        QTest::newRow("5") << 5.0 << "5 лет";
        QTest::newRow("11") << 11.0 << "11 лет";
        QTest::newRow("21") << 21.0 << "21 год";
        QTest::newRow("7.5") << 7.5 << "7.5 года";
    }
    void yearsText()
    {
        QFETCH(double, years);
        QFETCH(QString, text);
        QCOMPARE(CObjectHistory::YearsText(years), text);
    }
};

QTEST_GUILESS_MAIN(TestObjectHistory)
#include "tst_object_history.moc"
