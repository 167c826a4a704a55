#pragma once

#include "data/CStatistics.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QStandardItemModel;

// The content of one conclusion report, without widgets: the texts of its
// fields, the values column of its statistics table and the rows of its
// results table. The window reads it from and writes it to its widgets; the
// report file, the document and the command line work on it alone.
class CReportData
{
public:
    // In the order of the form, header page first. Every field has a key that
    // names its element in the report file and, after "#", its placeholder.
    enum Field
    {
        ConclutionNumber,
        ConclutionDate,
        OrganizationName,
        ObjectOfControl,
        ObjectDescription,
        ReasonOfTesting,
        ObjectOwner,
        OrganizationOperator,
        StandardDocuments,
        DeviceDescription,
        DeviceSerialNumber,
        PepDescription,
        PepSerialNumber,
        MeasurementMethod,
        ReferenceDescription,
        ContactLiquidDescription,
        AccessCardNumber,
        Conclusion,
        Name1,
        Card1,
        CardDate1,
        Level1,
        Name2,
        Card2,
        CardDate2,
        Level2,
        Name3,
        Card3,
        CardDate3,
        Level3,
        FieldCount
    };

    enum Kind
    {
        LineText,  // one line, cut to its limit
        PlainText, // several lines, no limit
        DateText   // "dd.MM.yyyy"
    };

    static constexpr int kStatisticsRows = 11;
    static constexpr int kResultColumns = 10;
    static constexpr int FileColumn = 0;   // the data file's name
    static constexpr int ResultColumn = 2; // the thickness
    static constexpr int UnitsColumn = 3;
    static constexpr int kNoLimit = 0;

    static QString Key(Field field);
    static Kind KindOf(Field field);
    static int Limit(Field field); // kNoLimit for multi-line fields, dates and card numbers
    static QString StatisticsKey(int row);

    // A text cut to the field's limit, as the field itself cuts what is put in.
    static QString Cut(Field field, const QString& text);

    // Date fields: the format they show and store, the date they start with
    // and the earliest they accept.
    static QString DateFormat() { return QStringLiteral("dd.MM.yyyy"); }
    static QDate InitialDate(); // card dates; the conclusion date starts at today
    static QDate EarliestDate();
    // The field text of a stored date text; empty when it does not parse.
    static QString NormalisedDate(const QString& text);

    // Empty texts, the dates of a fresh form, "н/д" statistics, no rows.
    CReportData();

    const QString& Text(Field field) const { return m_fields[field]; }
    void SetText(Field field, const QString& text) { m_fields[field] = Cut(field, text); }

    QStringList statistics;  // column 2 of rows 0 ... 10
    QList<QStringList> rows; // one per cell; ten texts as filled, any number as loaded

    // Text of a results cell; empty where a loaded row is short.
    QString Cell(int row, int column) const;

    // The results fill of the report from the results table of the shown data
    // file: ten texts per row (file name, ordinal, result, units, material,
    // velocity, "Н/Д", temperature, time, date).
    static QList<QStringList> ResultRows(const QStandardItemModel& results,
                                         const QString& fileName);
    // Whether a row's result passes the validity rule of the measurements
    // (a text that is no number counts as 0, so as a LOS reading).
    static bool IsValidResult(const QStringList& cells);
    // The statistics over the result column of such rows.
    static CStatistics::Result RowStatistics(const QList<QStringList>& rows);
    // Takes the values reached; rows a short computation did not reach show
    // "н/д" rather than a figure of an earlier file.
    void SetStatistics(const CStatistics::Result& result);

private:
    QString m_fields[FieldCount];
};
