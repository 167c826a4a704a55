#include "analysis/CSurveyComparison.h"

#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <cmath>
#include <cstring>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CSurveyComparison", text);
}

QString Dash()
{
    return QStringLiteral("—");
}

// The thickness exactly as the gauge shows it (4.1 stays 4.1, not the single
// precision 4.0999999): a reading equal to the required thickness on the
// screen must not count as below it.
double ExactValue(const CellRecord& cell)
{
    const double whole = double(cell.intPart);
    switch (CCellDecoder::Decimals(cell))
    {
    case 1:
        return whole + double(cell.fracPart) / 10.0;
    case 2:
        return whole + double(cell.fracPart) / 100.0;
    default:
        return whole;
    }
}

QDate CellDate(const CellRecord& cell)
{
    const quint16 packed = cell.date;
    const int year = (packed >> 9) + 2000;
    const int month = (packed >> 5) & 0x0F;
    const int day = packed & 0x1F;
    if (!QDate::isValid(year, month, day))
        return {};
    return QDate(year, month, day);
}

QTime CellTime(const CellRecord& cell)
{
    const quint16 packed = cell.time;
    const int hour = packed >> 8;
    const int minute = packed & 0xFF;
    if (!QTime::isValid(hour, minute, 0))
        return {};
    return QTime(hour, minute, 0);
}

// Conversions to and from the display unit and the divisions leave a
// last-bit difference (0.25 in -> 6.35 mm -> 0.25 in; a life of 6.0 years
// computed as 5.9999999); a figure shown equal to its limit is not below it.
constexpr double kCompareSlack = 1e-9;

bool Below(double value, double limit)
{
    return !std::isnan(value) && !std::isnan(limit) && value < limit - kCompareSlack;
}

const CellRecord* FirstValid(const DataFileRecord& file)
{
    for (const CellRecord& cell : file.cells)
        if (!CCellDecoder::IsLos(cell))
            return &cell;
    return nullptr;
}

QString Number(double value, int decimals)
{
    if (std::isnan(value))
        return Dash();
    // No "-0.00" for a value that rounds to zero.
    const QString text = QString::number(value, 'f', decimals);
    const double rounded = text.toDouble();
    return rounded == 0.0 ? QString::number(0.0, 'f', decimals) : text;
}
} // namespace

// ---------------------------------------------------------------- readings

CSurveyComparison::Unit CSurveyComparison::DisplayUnit(const DataFileRecord& file)
{
    const CellRecord* first = FirstValid(file);
    return first && CCellDecoder::IsInches(*first) ? Inches : Millimetres;
}

int CSurveyComparison::Decimals(const DataFileRecord& file)
{
    const CellRecord* first = FirstValid(file);
    return first ? CCellDecoder::Decimals(*first) : 1;
}

QList<CSurveyComparison::Reading> CSurveyComparison::Readings(const DataFileRecord& file, Unit unit)
{
    // The tables' two unit texts looked up once, not once per cell.
    CellRecord inchCell{};
    inchCell.flags = 1;
    const QString mmText = CCellDecoder::UnitsText(CellRecord{});
    const QString inchText = CCellDecoder::UnitsText(inchCell);
    QList<Reading> readings;
    readings.reserve(file.cells.size());
    int number = 0;
    for (const CellRecord& cell : file.cells)
    {
        Reading r;
        r.cell = ++number;
        r.los = CCellDecoder::IsLos(cell);
        if (!r.los)
        {
            const double own = ExactValue(cell);
            r.mm = CCellDecoder::IsInches(cell) ? own * kMmPerInch : own;
            // A reading already in the display unit keeps its exact value.
            if (CCellDecoder::IsInches(cell) == (unit == Inches))
                r.value = own;
            else
                r.value = unit == Inches ? r.mm / kMmPerInch : r.mm;
        }
        r.unitText = CCellDecoder::IsInches(cell) ? inchText : mmText;
        r.date = CellDate(cell);
        r.time = CellTime(cell);
        readings.append(r);
    }
    return readings;
}

int CSurveyComparison::CountBelow(const QList<Reading>& readings, double required)
{
    int below = 0;
    for (const Reading& r : readings)
        if (!r.los && Below(r.value, required))
            ++below;
    return below;
}

double CSurveyComparison::Average(const QList<Reading>& readings)
{
    double sum = 0.0;
    int count = 0;
    for (const Reading& r : readings)
        if (!r.los)
        {
            sum += r.value;
            ++count;
        }
    return count ? sum / count : kNone;
}

// ----------------------------------------------------------------- surveys

QDate CSurveyComparison::SurveyDate(const DataFileRecord& file)
{
    QDate earliest;
    for (const CellRecord& cell : file.cells)
    {
        const QDate date = CellDate(cell);
        if (date.isValid() && (!earliest.isValid() || date < earliest))
            earliest = date;
    }
    return earliest;
}

QString CSurveyComparison::SurveyDateText(const DataFileRecord& file)
{
    QDate first, last;
    for (const CellRecord& cell : file.cells)
    {
        const QDate date = CellDate(cell);
        if (!date.isValid())
            continue;
        if (!first.isValid() || date < first)
            first = date;
        if (!last.isValid() || date > last)
            last = date;
    }
    if (!first.isValid())
        return Tr("без даты");
    const QString format = QStringLiteral("dd.MM.yyyy");
    if (first == last)
        return first.toString(format);
    return Tr("%1 – %2").arg(first.toString(format), last.toString(format));
}

bool CSurveyComparison::SameSurvey(const DataFileRecord& a, const DataFileRecord& b)
{
    return a.cells.size() == b.cells.size() &&
           (a.cells.isEmpty() || std::memcmp(a.cells.constData(), b.cells.constData(),
                                             size_t(a.cells.size()) * sizeof(CellRecord)) == 0);
}

QString CSurveyComparison::ObjectName(const QString& fileName)
{
    // A year or a date after a blank or an underscore tells surveys of one
    // object apart; any other ending (a number after a dash) names another object.
    static const QRegularExpression dated(
        QStringLiteral("[\\s_]+((19|20)\\d\\d|\\d{1,2}[./-]\\d{1,2}[./-](\\d\\d|(19|20)\\d\\d)|"
                       "\\d{1,2}[./-](19|20)\\d\\d|(19|20)\\d\\d[./-]\\d{1,2}([./-]\\d{1,2})?)$"));
    QString name = fileName.trimmed().toLower();
    name.remove(dated);
    return name.trimmed();
}

int CSurveyComparison::EarlierSurvey(const QList<const DataFileRecord*>& candidates,
                                     const DataFileRecord& current)
{
    const QDate now = SurveyDate(current);
    if (!now.isValid())
        return -1;
    const QString name = CDataStorage::FileName(current);
    const QString object = ObjectName(name);
    int best = -1;
    QDate bestDate;
    bool bestExact = false;
    for (int i = 0; i < candidates.size(); ++i)
    {
        const DataFileRecord* file = candidates.at(i);
        if (!file || SameSurvey(*file, current))
            continue;
        const QString candidateName = CDataStorage::FileName(*file);
        const QDate date = SurveyDate(*file);
        if (!date.isValid() || date >= now || ObjectName(candidateName) != object)
            continue;
        const bool exact = candidateName.compare(name, Qt::CaseInsensitive) == 0;
        if (best < 0 || date > bestDate || (date == bestDate && exact && !bestExact))
        {
            best = i;
            bestDate = date;
            bestExact = exact;
        }
    }
    return best;
}

int CSurveyComparison::OfferFirst(const QList<const DataFileRecord*>& candidates,
                                  const DataFileRecord& current)
{
    const int earlier = EarlierSurvey(candidates, current);
    if (earlier >= 0)
        return earlier;
    const QString name = CDataStorage::FileName(current);
    int best = -1, bestLength = -1;
    for (int i = 0; i < candidates.size(); ++i)
    {
        if (!candidates.at(i) || SameSurvey(*candidates.at(i), current))
            continue;
        const QString other = CDataStorage::FileName(*candidates.at(i));
        int length = 0;
        while (length < other.size() && length < name.size() &&
               other.at(length).toLower() == name.at(length).toLower())
            ++length;
        if (length > bestLength)
        {
            best = i;
            bestLength = length;
        }
    }
    return qMax(best, 0);
}

// -------------------------------------------------------------- comparison

CSurveyComparison::CSurveyComparison(const DataFileRecord& current, const Options& options)
    : m_unit(DisplayUnit(current)), m_decimals(Decimals(current)), m_options(options)
{
    const QList<Reading> readings = Readings(current, m_unit);
    m_rows.reserve(readings.size());
    for (const Reading& reading : readings)
    {
        Row row;
        row.cell = reading.cell;
        row.inCurrent = true;
        row.current = reading;
        if (!reading.los && Below(reading.value, m_options.required))
            row.flag = BelowRequired;
        m_rows.append(row);
    }
    Summarise();
}

CSurveyComparison::CSurveyComparison(const DataFileRecord& previous, const DataFileRecord& current,
                                     const Options& options)
    : m_unit(DisplayUnit(current)), m_decimals(Decimals(current)), m_hasPrevious(true),
      m_options(options)
{
    // Nothing valid measured now: the earlier survey is shown as it was taken.
    if (!FirstValid(current) && FirstValid(previous))
    {
        m_unit = DisplayUnit(previous);
        m_decimals = Decimals(previous);
    }
    const QList<Reading> before = Readings(previous, m_unit);
    const QList<Reading> now = Readings(current, m_unit);
    const int count = int(qMax(before.size(), now.size()));
    m_rows.reserve(count);
    for (int i = 0; i < count; ++i)
    {
        Row row;
        row.cell = i + 1;
        row.inPrevious = i < before.size();
        row.inCurrent = i < now.size();
        if (row.inPrevious)
            row.previous = before.at(i);
        if (row.inCurrent)
            row.current = now.at(i);
        Compare(&row);
        m_rows.append(row);
    }
    Summarise();
}

void CSurveyComparison::Compare(Row* row) const
{
    const Reading& was = row->previous;
    const Reading& is = row->current;
    if (row->inPrevious && row->inCurrent && was.date.isValid() && is.date.isValid())
        row->years = double(was.date.daysTo(is.date)) / kDaysPerYear;
    const bool bothValid = row->inPrevious && row->inCurrent && !was.los && !is.los;
    if (bothValid)
        row->lossMm = was.mm - is.mm;

    if (!row->inPrevious)
        row->lifeReason = Tr("Ячейки нет в предыдущем обследовании");
    else if (!row->inCurrent)
        row->lifeReason = Tr("Ячейки нет в текущем обследовании");
    else if (was.los && is.los)
        row->lifeReason = Tr("LOS в обоих замерах");
    else if (was.los)
        row->lifeReason = Tr("LOS в предыдущем замере");
    else if (is.los)
        row->lifeReason = Tr("LOS в текущем замере");
    else if (!was.date.isValid() || !is.date.isValid())
        row->lifeReason = Tr("Нет даты замера");
    else if (row->years == 0.0)
        row->lifeReason = Tr("Замеры сделаны в один день");
    else if (row->years < 0.0)
        row->lifeReason = Tr("Предыдущий замер позже текущего");
    else
    {
        row->rateMm = row->lossMm / row->years;
        if (!(row->rateMm > 0.0))
            row->lifeReason = Tr("Утонения нет: скорость коррозии не больше нуля");
        else if (std::isnan(m_options.required))
            row->lifeReason = Tr("Не задана допустимая толщина");
        else
        {
            // A reading shown equal to the limit may lie a last bit below it.
            const double requiredMm = ToMm(m_options.required);
            row->lifeYears = qMax(0.0, (is.mm - requiredMm) / row->rateMm);
        }
    }

    if (row->inCurrent && !is.los && Below(is.value, m_options.required))
    {
        // No life is left whatever the rate, or whether one can be given.
        row->flag = BelowRequired;
        row->exhausted = true;
        row->lifeYears = 0.0;
        row->lifeReason.clear();
    }
    else if (Below(row->lifeYears, m_options.intervalYears))
        row->flag = LifeShort;
}

void CSurveyComparison::Summarise()
{
    Summary s;
    for (int i = 0; i < m_rows.size(); ++i)
    {
        const Row& row = m_rows.at(i);
        if (row.inCurrent && !row.current.los)
            ++m_validCurrent;
        // Only metal actually lost names the worst location.
        if (row.rateMm > 0.0 && (s.maxRateRow < 0 || row.rateMm > m_rows.at(s.maxRateRow).rateMm))
            s.maxRateRow = i;
        if (!std::isnan(row.lifeYears) &&
            (s.minLifeRow < 0 || ShorterLife(row, m_rows.at(s.minLifeRow))))
            s.minLifeRow = i;
        switch (row.flag)
        {
        case BelowRequired:
            ++s.below;
            break;
        case LifeShort:
            ++s.lifeShort;
            break;
        case NoFlag:
            ++s.unflagged;
            break;
        }
    }
    m_summary = s;
}

bool CSurveyComparison::ShorterLife(const Row& a, const Row& b)
{
    // An exhausted life is shorter than any other; of two, the thinner wall.
    if (a.exhausted != b.exhausted)
        return a.exhausted;
    if (a.exhausted)
        return a.current.mm < b.current.mm;
    return a.lifeYears < b.lifeYears;
}

double CSurveyComparison::ToMm(double valueInUnit) const
{
    return m_unit == Inches ? valueInUnit * kMmPerInch : valueInUnit;
}

double CSurveyComparison::FromMm(double mm) const
{
    return m_unit == Inches ? mm / kMmPerInch : mm;
}

// ------------------------------------------------------------------- texts

QString CSurveyComparison::ThicknessText(double valueInUnit) const
{
    return Number(valueInUnit, m_decimals);
}

QString CSurveyComparison::RateText(const Row& row) const
{
    return Number(FromMm(row.rateMm), RateDecimals());
}

QString CSurveyComparison::LifeText(const Row& row) const
{
    return row.exhausted ? ExhaustedText() : Number(row.lifeYears, 1);
}

QString CSurveyComparison::ExhaustedText()
{
    return Tr("исчерпан");
}

QString CSurveyComparison::UnitText() const
{
    return m_unit == Inches ? Tr("дюйм") : Tr("мм");
}

QString CSurveyComparison::RateUnitText() const
{
    return m_unit == Inches ? Tr("дюйм/год") : Tr("мм/год");
}

QString CSurveyComparison::FlagText(Flag flag)
{
    switch (flag)
    {
    case BelowRequired:
        return Tr("Ниже допустимой");
    case LifeShort:
        return Tr("Ресурс меньше интервала");
    case NoFlag:
        break;
    }
    return {};
}

QString CSurveyComparison::ReadingText(const Reading& reading, bool present) const
{
    if (!present)
        return Dash();
    if (reading.los)
        return QStringLiteral("LOS");
    return ThicknessText(reading.value);
}

namespace
{
QString DateText(const CSurveyComparison::Reading& reading, bool present)
{
    if (!present || !reading.date.isValid())
        return Dash();
    // dd.MM.yyyy as the results table shows it, without parsing a format
    // for every cell.
    const QDate& d = reading.date;
    return QStringLiteral("%1.%2.%3")
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}
} // namespace

QStringList CSurveyComparison::Headers() const
{
    const QString unit = UnitText();
    if (!m_hasPrevious)
        return {Tr("Ячейка"), Tr("Толщина, %1").arg(unit), Tr("Дата замера"), Tr("Время замера"),
                Tr("Отметка")};
    return {Tr("Ячейка"),
            Tr("Предыдущий замер, %1").arg(unit),
            Tr("Дата пред. замера"),
            Tr("Текущий замер, %1").arg(unit),
            Tr("Дата тек. замера"),
            Tr("Утонение, %1").arg(unit),
            Tr("Интервал, лет"),
            Tr("Скорость коррозии, %1").arg(RateUnitText()),
            Tr("Остаточный ресурс, лет"),
            Tr("Отметка")};
}

QStringList CSurveyComparison::RowTexts(int index) const
{
    if (index < 0 || index >= m_rows.size())
        return {};
    const Row& row = m_rows.at(index);
    if (!m_hasPrevious)
    {
        const QTime time = row.current.time;
        return {
            QString::number(row.cell), ReadingText(row.current, true), DateText(row.current, true),
            time.isValid() ? time.toString(QStringLiteral("hh:mm")) : Dash(), FlagText(row.flag)};
    }
    return {QString::number(row.cell),
            ReadingText(row.previous, row.inPrevious),
            DateText(row.previous, row.inPrevious),
            ReadingText(row.current, row.inCurrent),
            DateText(row.current, row.inCurrent),
            Number(FromMm(row.lossMm), m_decimals),
            Number(row.years, 2),
            RateText(row),
            LifeText(row),
            FlagText(row.flag)};
}

QStringList CSurveyComparison::SummaryLines() const
{
    QStringList lines;
    const QString belowLine =
        std::isnan(m_options.required)
            ? Tr("Допустимая толщина не задана")
            : Tr("Ниже допустимой толщины: %1 из %2").arg(m_summary.below).arg(m_validCurrent);
    if (!m_hasPrevious)
        return {belowLine};

    if (m_summary.maxRateRow >= 0)
    {
        const Row& row = m_rows.at(m_summary.maxRateRow);
        lines.append(Tr("Наибольшая скорость коррозии: %1 %2 (ячейка %3)")
                         .arg(RateText(row), RateUnitText())
                         .arg(row.cell));
    }
    else
        lines.append(Tr("Наибольшая скорость коррозии: —"));
    if (m_summary.minLifeRow >= 0 && m_rows.at(m_summary.minLifeRow).exhausted)
    {
        const Row& row = m_rows.at(m_summary.minLifeRow);
        const int others = m_summary.below - 1;
        lines.append(others > 0
                         ? Tr("Наименьший остаточный ресурс: исчерпан (ячейка %1 и ещё %2)")
                               .arg(row.cell)
                               .arg(others)
                         : Tr("Наименьший остаточный ресурс: исчерпан (ячейка %1)").arg(row.cell));
    }
    else if (m_summary.minLifeRow >= 0)
    {
        const Row& row = m_rows.at(m_summary.minLifeRow);
        lines.append(Tr("Наименьший остаточный ресурс: %1 года (ячейка %2)")
                         .arg(LifeText(row))
                         .arg(row.cell));
    }
    else
        lines.append(Tr("Наименьший остаточный ресурс: —"));
    lines.append(belowLine);
    lines.append(Tr("Ресурс меньше интервала обследования (%1): %2")
                     .arg(IntervalText())
                     .arg(m_summary.lifeShort));
    lines.append(Tr("Без отметок: %1").arg(m_summary.unflagged));
    return lines;
}

QString CSurveyComparison::IntervalText() const
{
    // "5 лет", "2.5 года": years as the user typed them.
    const double years = m_options.intervalYears;
    if (std::isnan(years))
        return Dash();
    const QString number = QString::number(years, 'g', 6);
    if (years != std::floor(years))
        return Tr("%1 года").arg(number);
    const qint64 whole = qint64(years);
    const qint64 lastTwo = whole % 100, last = whole % 10;
    if (lastTwo >= 11 && lastTwo <= 14)
        return Tr("%1 лет").arg(number);
    if (last == 1)
        return Tr("%1 год").arg(number);
    if (last >= 2 && last <= 4)
        return Tr("%1 года").arg(number);
    return Tr("%1 лет").arg(number);
}
