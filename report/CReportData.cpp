#include "report/CReportData.h"

#include "core/CClock.h"
#include "data/CCellDecoder.h"
#include "data/StatisticsRows.h"

#include <QCoreApplication>
#include <QDate>
#include <QStandardItemModel>

namespace
{
struct FieldInfo
{
    const char* key;
    CReportData::Kind kind;
    int limit;
};

// Limits are those of the form's fields; card numbers take any length.
const FieldInfo s_fields[CReportData::FieldCount] = {
    {"CONCLUTION_NUMBER", CReportData::LineText, 128},
    {"CONCLUTION_DATE", CReportData::DateText, CReportData::kNoLimit},
    {"ORGANIZATION_NAME", CReportData::PlainText, CReportData::kNoLimit},
    {"OBJECT_OF_CONTROL", CReportData::LineText, 128},
    {"OBJECT_DESCRIPTION", CReportData::LineText, 128},
    {"REASON_OF_TESTING", CReportData::LineText, 128},
    {"OBJECT_OWNER", CReportData::LineText, 128},
    {"ORGANIZATION_OPERATOR", CReportData::LineText, 128},
    {"STANDARD_DOCUMENTS", CReportData::LineText, 128},
    {"DEVICE_DESCRIPTION", CReportData::LineText, 16},
    {"DEVICE_SERIAL_NUMBER", CReportData::LineText, 10},
    {"PEP_DESCRIPTION", CReportData::LineText, 128},
    {"PEP_SERIAL_NUMBER", CReportData::LineText, 10},
    {"MEASUREMENT_METHOD", CReportData::LineText, 128},
    {"REFERENCE_DESCRIPTION", CReportData::LineText, 128},
    {"CONTACT_LIQUID_DESCRIPTION", CReportData::LineText, 128},
    {"ACCESS_CARD_NUMBER", CReportData::LineText, 128},
    {"CONCLUSION", CReportData::PlainText, CReportData::kNoLimit},
    {"NAME1", CReportData::LineText, 64},
    {"CARD1", CReportData::LineText, CReportData::kNoLimit},
    {"CARD_DATE1", CReportData::DateText, CReportData::kNoLimit},
    {"LEVEL1", CReportData::LineText, 1},
    {"NAME2", CReportData::LineText, 64},
    {"CARD2", CReportData::LineText, CReportData::kNoLimit},
    {"CARD_DATE2", CReportData::DateText, CReportData::kNoLimit},
    {"LEVEL2", CReportData::LineText, 1},
    {"NAME3", CReportData::LineText, 64},
    {"CARD3", CReportData::LineText, CReportData::kNoLimit},
    {"CARD_DATE3", CReportData::DateText, CReportData::kNoLimit},
    {"LEVEL3", CReportData::LineText, 1},
};

const char* const s_statisticsKeys[CReportData::kStatisticsRows] = {
    "COUNT_OF_VALUES",     "COUNT_OF_ACTUAL_VALUES",
    "COUNT_OF_LOS_VALUES", "MIN_VALUE",
    "MAX_VALUE",           "AVG_VALUE",
    "MEDIANA_VALUE",       "RANG_AMPLITUDE_VALUE",
    "STD_DEV_VALUE",       "STD_SQUARE_DEV_VALUE",
    "DISPERSION_VALUE",
};

bool ValidField(CReportData::Field field)
{
    return field >= 0 && field < CReportData::FieldCount;
}
} // namespace

QString CReportData::Key(Field field)
{
    return ValidField(field) ? QString::fromLatin1(s_fields[field].key) : QString();
}

CReportData::Kind CReportData::KindOf(Field field)
{
    return ValidField(field) ? s_fields[field].kind : LineText;
}

int CReportData::Limit(Field field)
{
    return ValidField(field) ? s_fields[field].limit : kNoLimit;
}

QString CReportData::StatisticsKey(int row)
{
    if (row < 0 || row >= kStatisticsRows)
        return {};
    return QString::fromLatin1(s_statisticsKeys[row]);
}

QString CReportData::Cut(Field field, const QString& text)
{
    const int limit = Limit(field);
    return (limit == kNoLimit || text.size() <= limit) ? text : text.left(limit);
}

QDate CReportData::InitialDate()
{
    return QDate(2016, 1, 1);
}

QDate CReportData::EarliestDate()
{
    return QDate(2000, 1, 1);
}

QString CReportData::NormalisedDate(const QString& text)
{
    QDate date = QDate::fromString(text, DateFormat());
    if (!date.isValid())
        return {};
    // The date fields do not go below their earliest date.
    if (date < EarliestDate())
        date = EarliestDate();
    return date.toString(DateFormat());
}

CReportData::CReportData()
{
    const QString initialDate = InitialDate().toString(DateFormat());
    for (int f = 0; f < FieldCount; ++f)
        if (s_fields[f].kind == DateText)
            m_fields[f] = initialDate;
    // A form left untouched dates its conclusion today, not years ago.
    m_fields[ConclutionDate] = CClock::Today().toString(DateFormat());
    for (int row = 0; row < kStatisticsRows; ++row)
        statistics.append(StatisticsRows::EmptyValue());
}

QString CReportData::Cell(int row, int column) const
{
    if (row < 0 || row >= rows.size())
        return {};
    const QStringList& cells = rows.at(row);
    return column >= 0 && column < cells.size() ? cells.at(column) : QString();
}

QList<QStringList> CReportData::ResultRows(const QStandardItemModel& results,
                                           const QString& fileName)
{
    // Results columns copied into report columns 2 ... 9; the transducer's
    // identity and serial number are not part of the report table, and its
    // column 6 ("Настройка") has no source.
    static const int sources[] = {CCellDecoder::ResultColumn,
                                  CCellDecoder::UnitsColumn,
                                  CCellDecoder::MaterialColumn,
                                  CCellDecoder::VelocityColumn,
                                  -1,
                                  CCellDecoder::TemperatureColumn,
                                  CCellDecoder::TimeColumn,
                                  CCellDecoder::DateColumn};
    const QString notAvailable = QCoreApplication::translate("CKorvalent", "Н/Д");
    QList<QStringList> rows;
    rows.reserve(results.rowCount());
    for (int r = 0; r < results.rowCount(); ++r)
    {
        QStringList cells;
        cells.reserve(kResultColumns);
        cells << fileName << QString::number(r + 1);
        for (int source : sources)
            cells << (source < 0 ? notAvailable : results.index(r, source).data().toString());
        rows.append(cells);
    }
    return rows;
}

bool CReportData::IsValidResult(const QStringList& cells)
{
    // Valid exactly when the report's statistics count the row as valid.
    return RowStatistics({cells}).validCount == 1;
}

CStatistics::Result CReportData::RowStatistics(const QList<QStringList>& rows)
{
    QList<CStatistics::Reading> values;
    values.reserve(rows.size());
    for (const QStringList& cells : rows)
        values.append(CStatistics::ReadingFromTexts(cells.value(2), cells.value(3)));
    return CStatistics::Compute(values);
}

void CReportData::SetStatistics(const CStatistics::Result& result)
{
    for (int row = 0; row < kStatisticsRows; ++row)
        statistics[row] = result.written[row] ? result.values[row] : StatisticsRows::EmptyValue();
}
