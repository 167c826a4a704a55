#pragma once

#include "data/GaugeRecords.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <Qt>
#include <limits>

class QStandardItemModel;

// Readings of one data file prepared for the analysis tab, and the comparison
// of two surveys of the same object (an earlier and a current data file):
// corrosion rate = metal lost per year between two readings at the same
// location, remaining life = (current - required) / rate.
//
// Everything here is widget-free: the window, the command line and the tests
// use it alike. Thicknesses are computed in millimetres (1 inch = 25.4 mm) and
// shown in the display unit: the unit of the current file's first valid
// reading (in a comparison, of the earlier file's when the current one has
// none; millimetres when neither has one).
class CSurveyComparison
{
public:
    static constexpr double kMmPerInch = 25.4;
    static constexpr double kDaysPerYear = 365.25;
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

    enum Unit
    {
        Millimetres,
        Inches
    };

    // What the user typed: thicknesses in the display unit, NaN when not given.
    struct Options
    {
        double required = kNone;
        double nominal = kNone;
        double intervalYears = 5.0; // remaining life shorter than this is amber
    };

    // One reading of one file (a location = a cell number, from 1).
    struct Reading
    {
        int cell = 0;
        bool los = true;      // LOS: no thickness
        double mm = kNone;    // thickness in mm, NaN when LOS
        double value = kNone; // thickness in the display unit, NaN when LOS
        QString unitText; // the reading's own unit text ("мм" / "дюйм" as the tables show it)
        QDate date;       // invalid when the cell's date is not a date
        QTime time;
    };

    enum Flag
    {
        NoFlag,
        BelowRequired, // red: current reading below the required thickness
        LifeShort      // amber: remaining life shorter than the inspection interval
    };

    // One location of the comparison.
    struct Row
    {
        int cell = 0;
        bool inPrevious = false, inCurrent = false; // location present in that survey
        Reading previous, current;
        double lossMm = kNone;    // previous - current, mm
        double years = kNone;     // interval between the two cells' dates
        double rateMm = kNone;    // mm per year; NaN when no rate can be given
        double lifeYears = kNone; // NaN when not given ("—"); 0 when exhausted
        bool exhausted = false;   // the current reading is already below the required thickness
        QString lifeReason;       // why the life is "—" (tool tip), empty otherwise
        Flag flag = NoFlag;
    };

    struct Summary
    {
        int maxRateRow = -1; // row index of the highest rate, -1 when none
        int minLifeRow = -1; // row index of the shortest remaining life, -1 when none
        int below = 0;       // rows flagged BelowRequired
        int lifeShort = 0;   // rows flagged LifeShort
        int unflagged = 0;
    };

    // Readings of one file in its display unit, one per cell in cell order.
    static QList<Reading> Readings(const DataFileRecord& file, Unit unit);
    static Unit DisplayUnit(const DataFileRecord& file);
    // Decimals of the display: those of the file's first valid reading (1 when none).
    static int Decimals(const DataFileRecord& file);

    // Counts of valid readings and of those below the required thickness
    // (display unit); "Ниже допустимой толщины: N из M".
    static int CountBelow(const QList<Reading>& readings, double required);
    static double Average(const QList<Reading>& readings); // of valid readings, NaN when none

    // Surveys: the date of a survey is its earliest cell date (invalid when
    // no cell has one); its text a date or a span "dd.MM.yyyy – dd.MM.yyyy".
    static QDate SurveyDate(const DataFileRecord& file);
    static QString SurveyDateText(const DataFileRecord& file);
    // One survey whatever it is called: the same readings taken at the same times.
    static bool SameSurvey(const DataFileRecord& a, const DataFileRecord& b);
    // The object a data-file name stands for: the name without case and
    // without a trailing year or date ("Линия-7 2025" -> "линия-7").
    static QString ObjectName(const QString& fileName);
    // The earlier survey of the current one's object among the candidates:
    // the same object name, dated before the current survey, the latest such;
    // a file of the very same name before one that only differs in its date.
    // -1 when there is none. The current survey itself is never chosen.
    static int EarlierSurvey(const QList<const DataFileRecord*>& candidates,
                             const DataFileRecord& current);
    // The item a choice list offers first: EarlierSurvey(), else the file
    // whose name begins like the current one longest that is not the current
    // survey itself; 0 when nothing fits better.
    static int OfferFirst(const QList<const DataFileRecord*>& candidates,
                          const DataFileRecord& current);

    // Single-file analysis (no earlier survey): rows with only the current side.
    CSurveyComparison(const DataFileRecord& current, const Options& options);
    // Comparison: locations matched by cell number, every location of either side listed.
    CSurveyComparison(const DataFileRecord& previous, const DataFileRecord& current,
                      const Options& options);

    Unit DisplayUnit() const { return m_unit; }
    int Decimals() const { return m_decimals; } // thickness decimals
    int RateDecimals() const { return m_decimals + 1; }
    bool HasPrevious() const { return m_hasPrevious; }
    const QList<Row>& Rows() const { return m_rows; }
    const Summary& GetSummary() const { return m_summary; }

    // Display texts (display unit; "—" when absent).
    QString ThicknessText(double valueInUnit) const;
    QString RateText(const Row& row) const; // display unit per year
    QString LifeText(const Row& row) const; // one decimal, or ExhaustedText()
    static QString ExhaustedText();         // "исчерпан"
    QString UnitText() const;               // "мм" or "дюйм"
    QString RateUnitText() const; // "мм/год" or "дюйм/год" (the unit as the tables name it)

    // The table as it is shown, exported and printed by the command line:
    // header texts and one list of texts per row.
    QStringList Headers() const;
    QStringList RowTexts(int row) const;
    // Summary lines shown above the table and after it on the command line.
    QStringList SummaryLines() const;

    // A model holding Headers() and RowTexts() (for the view and the CSV export).
    // Every item carries its row's Flag under FlagRole; the life item of a row
    // without a life carries the reason as its tool tip.
    void FillModel(QStandardItemModel* model) const;

    // Columns of the comparison table (with an earlier survey).
    enum Column
    {
        CellColumn = 0,
        PreviousColumn,
        PreviousDateColumn,
        CurrentColumn,
        CurrentDateColumn,
        LossColumn,
        YearsColumn,
        RateColumn,
        LifeColumn,
        FlagColumn,
        ColumnCount
    };
    // Columns of the single-file table.
    enum SingleColumn
    {
        SingleCellColumn = 0,
        SingleThicknessColumn,
        SingleDateColumn,
        SingleTimeColumn,
        SingleFlagColumn,
        SingleColumnCount
    };
    static constexpr int FlagRole = Qt::UserRole + 1;

    static QString FlagText(Flag flag); // the flag column's text, empty for NoFlag
    int ValidCurrentCount() const { return m_validCurrent; } // M of "N из M"
    const Options& GetOptions() const { return m_options; }

private:
    void Compare(Row* row) const;
    void Summarise();
    static bool ShorterLife(const Row& a, const Row& b);
    double ToMm(double valueInUnit) const;
    double FromMm(double mm) const;
    QString ReadingText(const Reading& reading, bool present) const;
    QString IntervalText() const;

    Unit m_unit = Millimetres;
    int m_decimals = 1;
    bool m_hasPrevious = false;
    Options m_options;
    QList<Row> m_rows;
    Summary m_summary;
    int m_validCurrent = 0;
};
