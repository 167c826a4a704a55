#pragma once

#include "analysis/CSurveyComparison.h"
#include "data/GaugeRecords.h"

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QPair>
#include <Qt>

class CSurveyArchive;
class QStandardItemModel;

// The wall of one object followed over every archived survey: per location
// (a cell number across the surveys, ordered by the readings' dates) the
// long-term, short-term and regression corrosion rates, the governing rate,
// the remaining life, the next inspection date and the checks of each
// reading (W growth warning, E error, T readings too close in time).
//
// Widget-free: the analysis tab, the command line and the tests use it
// alike. Thicknesses are computed in millimetres and shown in the display
// unit (the unit of the latest survey's first valid reading, millimetres when
// there is none). Years = days / 365.25.
class CObjectHistory
{
public:
    static constexpr double kNone = CSurveyComparison::kNone;
    static constexpr double kDaysPerYear = CSurveyComparison::kDaysPerYear;

    // Which rate governs the remaining life: the largest of those that exist,
    // or one kind pinned by the user for the object.
    enum RateKind
    {
        RateMax = 0,
        RateLongTerm,
        RateShortTerm,
        RateRegression
    };
    // "max", "lt", "st", "regression" (command line and archive) and back;
    // false for an unknown text.
    static QString RateKindKey(RateKind kind);
    static bool RateKindFromKey(const QString& key, RateKind* kind);
    // "наибольшая", "долгосрочная", "краткосрочная", "по регрессии".
    static QString RateKindText(RateKind kind);

    // The object's settings (kept per object in the archive). Thicknesses in
    // millimetres, NaN when not set.
    struct Settings
    {
        double requiredMm = kNone;
        double nominalMm = kNone;
        double maxIntervalYears =
            10.0; // offered: 5, 10 (piping by class, vessels), 15 (tank shells)
        RateKind rate = RateMax;
        bool vesselRule = false; // remaining life under 4 years: interval = min(life, 2 years)
    };
    // What the view adds: the day the colours are judged on, and the
    // interval within which a next date counts as due (amber).
    struct ViewOptions
    {
        // Spelled out: a default argument of the enclosing class cannot use
        // member initialisers.
        ViewOptions() : dueWithinYears(1.0) {}
        QDate today;           // invalid: nothing is due
        double dueWithinYears; // 1 year unless set
    };

    // One survey of the object as the archive holds it.
    struct Survey
    {
        qint64 id = 0;
        QString name;
        DataFileRecord file;
    };

    // Reading checks, a bit set.
    enum Check
    {
        CheckNone = 0,
        CheckW = 1, // thicker than the previous valid reading by more than the resolution, <= 10 %
        CheckE =
            2,     // > 10 % thicker than the previous, or > 15 % thicker than any earlier valid one
        CheckT = 4 // less than 6 months after the previous valid reading
    };

    struct Reading
    {
        qint64 surveyId = 0;
        int survey = -1; // index into Surveys()
        QDate date;      // the cell's own date (the survey's date when the cell has none)
        QTime time;
        bool los = true;             // LOS: listed, never used in a figure
        double mm = kNone;           // thickness in mm, NaN when LOS
        double value = kNone;        // in the display unit
        double resolutionMm = kNone; // one unit of the reading's last decimal, in mm
        int checks = CheckNone;
        bool accepted = false; // an E reading the user accepted (used in the rates again)
        bool used = false;     // taken into the rates
    };

    enum Flag
    {
        NoFlag,
        BelowRequired, // red: t_actual below the required thickness
        Due,           // amber: next inspection date within ViewOptions::dueWithinYears of today
        NoRate         // grey: no governing rate
    };

    struct Location
    {
        int cell = 0;
        QList<Reading> readings; // every reading of the location, oldest first, LOS included
        int surveys = 0;         // surveys holding this location
        QDate first, last;       // dates of the first and last reading used
        // t_initial, t_previous, t_actual: mm, NaN when absent
        double initialMm = kNone, previousMm = kNone, actualMm = kNone;
        QDate initialDate, previousDate, actualDate;
        // Rates in mm per year, NaN when they cannot be given.
        double longTermMm = kNone, shortTermMm = kNone, regressionMm = kNone;
        // The least-squares line: thickness(mm) = intercept + slope * years
        // after the first used reading's date; NaN when no regression.
        double slopeMmPerYear = kNone, interceptMm = kNone;
        QDate projectedDate; // where the regression line reaches the required thickness
        RateKind governingKind = RateMax; // which rate governs (RateMax when none)
        double governingMm = kNone;
        double lifeYears = kNone; // NaN: "—" with lifeReason; 0 with exhausted
        bool exhausted = false;   // t_actual already below the required thickness
        QString lifeReason;       // why the life is "—"
        QDate nextDate;
        bool nextByMaxInterval = false; // no rate: date of t_actual + maximum interval
        int checks = CheckNone;         // all checks of its readings
        Flag flag = NoFlag;
    };

    struct Summary
    {
        int governingLocation = -1; // index of the shortest remaining life, -1 when none
        QDate earliestNext;
        int countW = 0, countE = 0, countT = 0; // readings with each check
        int below = 0, due = 0, noRate = 0;
        int earliestNextLocation = -1; // index of the location of earliestNext, -1 when none
        int accepted = 0;              // E readings the user accepted
        int withActual = 0;            // locations with a t_actual
    };

    // Columns of Headers()/RowTexts().
    enum Column
    {
        CellColumn = 0,
        SurveysColumn,
        FirstColumn,
        LastColumn,
        InitialColumn,
        PreviousColumn,
        ActualColumn,
        LongTermColumn,
        ShortTermColumn,
        RegressionColumn,
        GoverningColumn,
        LifeColumn,
        NextColumn,
        ChecksColumn,
        FlagColumn,
        ColumnCount
    };
    // Columns of ReadingHeaders()/ReadingTexts().
    enum ReadingColumn
    {
        ReadingSurveyColumn = 0,
        ReadingNameColumn,
        ReadingDateColumn,
        ReadingTimeColumn,
        ReadingThicknessColumn,
        ReadingChecksColumn,
        ReadingUsedColumn,
        ReadingColumnCount
    };

    // accepted: the (survey id, cell) pairs of E readings the user accepted.
    CObjectHistory(const QString& objectName, const QList<Survey>& surveys,
                   const QSet<QPair<qint64, int>>& accepted, const Settings& settings,
                   const ViewOptions& view = ViewOptions());
    // Reads the object's surveys, accepted marks and stored settings from the
    // archive; overrides (when given) replace stored settings for this run.
    // False with *error when the archive cannot give them.
    static bool Load(CSurveyArchive& archive, const QString& objectName, CObjectHistory** history,
                     QString* error, const Settings* overrides = nullptr,
                     const ViewOptions& view = ViewOptions());
    // The settings the archive keeps for an object (the defaults when it
    // keeps none), and storing them; false with *error.
    static bool LoadSettings(CSurveyArchive& archive, const QString& objectName, Settings* settings,
                             QString* error);
    static bool StoreSettings(CSurveyArchive& archive, const QString& objectName,
                              const Settings& settings, QString* error);

    const QString& ObjectName() const { return m_object; }
    const QList<Survey>& Surveys() const { return m_surveys; }
    const QList<Location>& Locations() const { return m_locations; }
    int LocationIndex(int cell) const; // -1 when the object has no such location
    const Summary& GetSummary() const { return m_summary; }
    const Settings& GetSettings() const { return m_settings; }
    const ViewOptions& GetViewOptions() const { return m_view; }
    CSurveyComparison::Unit DisplayUnit() const { return m_unit; }
    int Decimals() const { return m_decimals; } // thickness decimals
    int RateDecimals() const { return m_decimals + 1; }
    QString UnitText() const;     // "мм" or "дюйм"
    QString RateUnitText() const; // "мм/год" or "дюйм/год"

    // Display (display unit, "—" when absent).
    double FromMm(double mm) const;
    double ToMm(double valueInUnit) const;
    QString ThicknessText(double mm) const;
    QString RateText(double mmPerYear) const;
    QString LifeText(const Location& location) const;
    QString NextDateText(const Location& location) const;
    static QString ChecksText(int checks);      // "W", "E", "T" in that order, blank-separated
    static QString FlagText(Flag flag);         // the mark column's text, empty for NoFlag
    static QString DateText(const QDate& date); // dd.MM.yyyy, "—" when invalid
    // "10 лет", "2 года", "1 год", "7.5 года".
    static QString YearsText(double years);

    // The per-location table as shown, exported to CSV and printed by the
    // command line.
    QStringList Headers() const;
    QStringList RowTexts(int location) const;
    QStringList SummaryLines() const;
    // One location's readings with their checks and survey ids.
    QStringList ReadingHeaders() const;
    QStringList ReadingTexts(const Location& location, int reading) const;

    // A model of Headers()/RowTexts(); every item carries its row's Flag under
    // FlagRole and sorts numerically under SortRole.
    void FillModel(QStandardItemModel* model) const;
    static constexpr int FlagRole = Qt::UserRole + 1;
    static constexpr int SortRole = Qt::UserRole + 2;

private:
    void Build(const QSet<QPair<qint64, int>>& accepted);
    void Figures(Location* location) const;
    void Summarise();

    QString m_object;
    QList<Survey> m_surveys;
    Settings m_settings;
    ViewOptions m_view;
    CSurveyComparison::Unit m_unit = CSurveyComparison::Millimetres;
    int m_decimals = 1;
    QList<Location> m_locations;
    Summary m_summary;
};
