#include "analysis/CObjectHistory.h"

#include "archive/CSurveyArchive.h"
#include "data/CCellDecoder.h"

#include <QCoreApplication>
#include <QStandardItemModel>
#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CObjectHistory", text);
}

QString Dash()
{
    return QStringLiteral("—");
}

// Unit conversions and divisions leave last-bit differences: a reading
// exactly 10 % thicker, or exactly one resolution step, must not count as
// more.
constexpr double kSlack = 1e-9;

bool Below(double value, double limit)
{
    return !std::isnan(value) && !std::isnan(limit) && value < limit - kSlack;
}

QString Number(double value, int decimals)
{
    if (std::isnan(value))
        return Dash();
    // No "-0.00" for a value that rounds to zero.
    const QString text = QString::number(value, 'f', decimals);
    return text.toDouble() == 0.0 ? QString::number(0.0, 'f', decimals) : text;
}

double YearsBetween(const QDate& from, const QDate& to)
{
    return double(from.daysTo(to)) / CObjectHistory::kDaysPerYear;
}

// A span computed from the figures, in whole days (years of 365.25 days,
// half a day and more counting as a day: 6 years are 2191.5 days -> 2192,
// whatever last bit the division left).
QDate AddDays(const QDate& date, double years)
{
    if (!date.isValid() || !(std::fabs(years) < 5000.0))
        return {};
    return date.addDays(qint64(std::floor(years * CObjectHistory::kDaysPerYear + 0.5 + 1e-6)));
}

// A span the user set: whole years as the calendar counts them (ten years
// after 14 May is 14 May), a part of a year in days.
QDate AddYears(const QDate& date, double years)
{
    if (date.isValid() && years == std::floor(years) && std::fabs(years) < 5000.0)
        return date.addYears(int(years));
    return AddDays(date, years);
}

// Older first; readings without a date (that cannot be placed in time)
// last; of one moment, the earlier survey first.
bool Older(const CObjectHistory::Reading& a, const CObjectHistory::Reading& b)
{
    if (a.date.isValid() != b.date.isValid())
        return a.date.isValid();
    if (a.date != b.date)
        return a.date < b.date;
    const int ta = a.time.isValid() ? a.time.msecsSinceStartOfDay() : -1;
    const int tb = b.time.isValid() ? b.time.msecsSinceStartOfDay() : -1;
    if (ta != tb)
        return ta < tb;
    return a.survey < b.survey;
}

bool ShorterLife(const CObjectHistory::Location& a, const CObjectHistory::Location& b)
{
    // An exhausted life is shorter than any other; of two, the thinner wall.
    if (a.exhausted != b.exhausted)
        return a.exhausted;
    if (a.exhausted)
        return a.actualMm < b.actualMm;
    return a.lifeYears < b.lifeYears;
}

CObjectHistory::Settings FromArchive(const CSurveyArchive::ObjectSettings& stored)
{
    CObjectHistory::Settings s;
    s.requiredMm = stored.requiredMm;
    s.nominalMm = stored.nominalMm;
    s.maxIntervalYears = stored.maxIntervalYears;
    if (!CObjectHistory::RateKindFromKey(stored.rateKey, &s.rate))
        s.rate = CObjectHistory::RateMax;
    s.vesselRule = stored.vesselRule;
    return s;
}
} // namespace

// ------------------------------------------------------------------ kinds

QString CObjectHistory::RateKindKey(RateKind kind)
{
    switch (kind)
    {
    case RateLongTerm:
        return QStringLiteral("lt");
    case RateShortTerm:
        return QStringLiteral("st");
    case RateRegression:
        return QStringLiteral("regression");
    case RateMax:
        break;
    }
    return QStringLiteral("max");
}

bool CObjectHistory::RateKindFromKey(const QString& key, RateKind* kind)
{
    for (RateKind k : {RateMax, RateLongTerm, RateShortTerm, RateRegression})
        if (key == RateKindKey(k))
        {
            *kind = k;
            return true;
        }
    return false;
}

QString CObjectHistory::RateKindText(RateKind kind)
{
    switch (kind)
    {
    case RateLongTerm:
        return Tr("долгосрочная");
    case RateShortTerm:
        return Tr("краткосрочная");
    case RateRegression:
        return Tr("по регрессии");
    case RateMax:
        break;
    }
    return Tr("наибольшая из имеющихся");
}

// ------------------------------------------------------------------ build

CObjectHistory::CObjectHistory(const QString& objectName, const QList<Survey>& surveys,
                               const QSet<QPair<qint64, int>>& accepted, const Settings& settings,
                               const ViewOptions& view)
    : m_object(objectName), m_surveys(surveys), m_settings(settings), m_view(view)
{
    if (!(m_settings.maxIntervalYears > 0.0) || std::isinf(m_settings.maxIntervalYears))
        m_settings.maxIntervalYears = Settings().maxIntervalYears;
    Build(accepted);
    for (Location& location : m_locations)
        Figures(&location);
    Summarise();
}

void CObjectHistory::Build(const QSet<QPair<qint64, int>>& accepted)
{
    // Surveys oldest first, by the date each stands for.
    QList<QPair<QDate, int>> order;
    order.reserve(m_surveys.size());
    for (int i = 0; i < m_surveys.size(); ++i)
        order.append({CSurveyComparison::SurveyDate(m_surveys.at(i).file), i});
    std::stable_sort(order.begin(), order.end(),
                     [this](const QPair<QDate, int>& a, const QPair<QDate, int>& b)
                     {
                         if (a.first != b.first)
                             return a.first < b.first;
                         return m_surveys.at(a.second).id < m_surveys.at(b.second).id;
                     });
    QList<Survey> sorted;
    QList<QDate> dates;
    sorted.reserve(m_surveys.size());
    for (const auto& o : order)
    {
        sorted.append(m_surveys.at(o.second));
        dates.append(o.first);
    }
    m_surveys = sorted;

    // The display: the latest survey's first valid reading.
    for (int i = int(m_surveys.size()) - 1; i >= 0; --i)
    {
        const DataFileRecord& file = m_surveys.at(i).file;
        if (std::any_of(file.cells.begin(), file.cells.end(),
                        [](const CellRecord& c) { return !CCellDecoder::IsLos(c); }))
        {
            m_unit = CSurveyComparison::DisplayUnit(file);
            m_decimals = CSurveyComparison::Decimals(file);
            break;
        }
    }

    for (int i = 0; i < m_surveys.size(); ++i)
    {
        const Survey& survey = m_surveys.at(i);
        const QList<CSurveyComparison::Reading> readings =
            CSurveyComparison::Readings(survey.file, m_unit);
        if (m_locations.size() < readings.size())
        {
            const int from = int(m_locations.size());
            m_locations.resize(readings.size());
            for (int k = from; k < m_locations.size(); ++k)
                m_locations[k].cell = k + 1;
        }
        for (int k = 0; k < readings.size(); ++k)
        {
            const CSurveyComparison::Reading& r = readings.at(k);
            const CellRecord& cell = survey.file.cells.at(k);
            Reading h;
            h.surveyId = survey.id;
            h.survey = i;
            h.date = r.date.isValid() ? r.date : dates.at(i);
            h.time = r.date.isValid() ? r.time : QTime();
            h.los = r.los;
            h.mm = r.mm;
            h.value = r.value;
            h.resolutionMm = std::pow(10.0, -CCellDecoder::Decimals(cell)) *
                             (CCellDecoder::IsInches(cell) ? CSurveyComparison::kMmPerInch : 1.0);
            m_locations[k].readings.append(h);
        }
    }

    for (Location& location : m_locations)
    {
        location.surveys = int(location.readings.size());
        std::stable_sort(location.readings.begin(), location.readings.end(), Older);
        // The checks: each valid reading against the one before it and
        // against every earlier one. A reading without a date has no place
        // in time: listed, never checked nor used.
        const Reading* previous = nullptr;
        double thinnest = kNone;
        for (Reading& r : location.readings)
        {
            if (r.los || !r.date.isValid())
                continue;
            if (previous)
            {
                if (r.mm > previous->mm * 1.10 + kSlack || r.mm > thinnest * 1.15 + kSlack)
                    r.checks |= CheckE;
                else if (r.mm - previous->mm > r.resolutionMm + kSlack)
                    r.checks |= CheckW;
                if (r.date < previous->date.addMonths(6))
                    r.checks |= CheckT;
            }
            r.accepted = (r.checks & CheckE) && accepted.contains({r.surveyId, location.cell});
            r.used = !(r.checks & CheckE) || r.accepted;
            thinnest = previous ? std::min(thinnest, r.mm) : r.mm;
            previous = &r;
            location.checks |= r.checks;
        }
    }
}

void CObjectHistory::Figures(Location* location) const
{
    Location& l = *location;
    QList<const Reading*> used;
    for (const Reading& r : l.readings)
        if (r.used)
            used.append(&r);
    const int n = int(used.size());
    const double required = m_settings.requiredMm;

    if (n >= 1)
    {
        const Reading& first = *used.first();
        const Reading& last = *used.last();
        l.first = first.date;
        l.last = last.date;
        l.initialMm = first.mm;
        l.initialDate = first.date;
        l.actualMm = last.mm;
        l.actualDate = last.date;
    }
    if (n >= 2)
    {
        const Reading& previous = *used.at(n - 2);
        l.previousMm = previous.mm;
        l.previousDate = previous.date;
        const double longYears = YearsBetween(l.initialDate, l.actualDate);
        if (longYears > 0.0)
            l.longTermMm = (l.initialMm - l.actualMm) / longYears;
        // Two readings under six months apart give no short-term rate.
        const double shortYears = YearsBetween(l.previousDate, l.actualDate);
        if (shortYears > 0.0 && l.actualDate >= l.previousDate.addMonths(6))
            l.shortTermMm = (l.previousMm - l.actualMm) / shortYears;
    }
    int dates = 0;
    for (int i = 0; i < n; ++i)
        if (i == 0 || used.at(i)->date != used.at(i - 1)->date)
            ++dates;
    if (n >= 3 && dates >= 3)
    {
        double mx = 0.0, my = 0.0;
        for (const Reading* r : used)
        {
            mx += YearsBetween(l.first, r->date);
            my += r->mm;
        }
        mx /= n;
        my /= n;
        double sxx = 0.0, sxy = 0.0;
        for (const Reading* r : used)
        {
            const double dx = YearsBetween(l.first, r->date) - mx;
            sxx += dx * dx;
            sxy += dx * (r->mm - my);
        }
        l.slopeMmPerYear = sxy / sxx;
        l.interceptMm = my - l.slopeMmPerYear * mx;
        l.regressionMm = -l.slopeMmPerYear;
        if (!std::isnan(required) && l.slopeMmPerYear < 0.0)
            l.projectedDate = AddDays(l.first, (required - l.interceptMm) / l.slopeMmPerYear);
    }

    // The governing rate.
    const QList<QPair<RateKind, double>> rates = {{RateLongTerm, l.longTermMm},
                                                  {RateShortTerm, l.shortTermMm},
                                                  {RateRegression, l.regressionMm}};
    for (const auto& rate : rates)
    {
        if (std::isnan(rate.second))
            continue;
        const bool pinned = m_settings.rate == rate.first;
        if (pinned || (m_settings.rate == RateMax &&
                       (std::isnan(l.governingMm) || rate.second > l.governingMm)))
        {
            l.governingKind = rate.first;
            l.governingMm = rate.second;
        }
    }

    // The remaining life, or why there is none.
    if (n >= 1 && Below(l.actualMm, required))
    {
        l.exhausted = true;
        l.lifeYears = 0.0;
    }
    else if (n == 0)
        l.lifeReason = Tr("Нет действительных замеров");
    else if (n == 1)
        l.lifeReason = Tr("Только один действительный замер");
    else if (std::isnan(l.governingMm))
    {
        if (std::isnan(l.longTermMm))
            l.lifeReason = Tr("Все замеры сделаны в один день");
        else if (m_settings.rate == RateShortTerm)
            l.lifeReason = Tr("Последние замеры сделаны с промежутком меньше 6 месяцев: "
                              "краткосрочной скорости нет");
        else
            l.lifeReason = Tr("Для регрессии нужны не меньше 3 замеров в 3 разные даты");
    }
    else if (!(l.governingMm > 0.0))
        l.lifeReason = Tr("Утонения нет: скорость коррозии не больше нуля");
    else if (std::isnan(required))
        l.lifeReason = Tr("Не задана допустимая толщина");
    else
        l.lifeYears = std::max(0.0, (l.actualMm - required) / l.governingMm);

    // The next inspection.
    const double maxInterval = m_settings.maxIntervalYears;
    if (l.actualDate.isValid())
    {
        if (std::isnan(l.lifeYears))
        {
            l.nextDate = AddYears(l.actualDate, maxInterval);
            l.nextByMaxInterval = true;
        }
        else
        {
            // The part of the life in days; when a limit is shorter, the
            // limit as the calendar counts it.
            const bool vessel = m_settings.vesselRule && Below(l.lifeYears, 4.0);
            const double fromLife = vessel ? l.lifeYears : l.lifeYears / 2.0;
            const double limit = vessel ? std::min(2.0, maxInterval) : maxInterval;
            l.nextDate =
                fromLife < limit ? AddDays(l.actualDate, fromLife) : AddYears(l.actualDate, limit);
        }
    }

    if (l.exhausted)
        l.flag = BelowRequired;
    else if (m_view.today.isValid() && l.nextDate.isValid() &&
             l.nextDate <= AddYears(m_view.today, m_view.dueWithinYears))
        l.flag = Due;
    else if (!(l.governingMm > 0.0))
        l.flag = NoRate;
}

void CObjectHistory::Summarise()
{
    Summary s;
    for (int i = 0; i < m_locations.size(); ++i)
    {
        const Location& l = m_locations.at(i);
        for (const Reading& r : l.readings)
        {
            s.countW += (r.checks & CheckW) ? 1 : 0;
            s.countE += (r.checks & CheckE) ? 1 : 0;
            s.countT += (r.checks & CheckT) ? 1 : 0;
            s.accepted += r.accepted ? 1 : 0;
        }
        if (!std::isnan(l.actualMm))
            ++s.withActual;
        if (!std::isnan(l.lifeYears) &&
            (s.governingLocation < 0 || ShorterLife(l, m_locations.at(s.governingLocation))))
            s.governingLocation = i;
        if (l.nextDate.isValid() && (!s.earliestNext.isValid() || l.nextDate < s.earliestNext))
        {
            s.earliestNext = l.nextDate;
            s.earliestNextLocation = i;
        }
        switch (l.flag)
        {
        case BelowRequired:
            ++s.below;
            break;
        case Due:
            ++s.due;
            break;
        case NoRate:
            ++s.noRate;
            break;
        case NoFlag:
            break;
        }
    }
    m_summary = s;
}

int CObjectHistory::LocationIndex(int cell) const
{
    for (int i = 0; i < m_locations.size(); ++i)
        if (m_locations.at(i).cell == cell)
            return i;
    return -1;
}

// ------------------------------------------------------------------- load

bool CObjectHistory::Load(CSurveyArchive& archive, const QString& objectName,
                          CObjectHistory** history, QString* error, const Settings* overrides,
                          const ViewOptions& view)
{
    *history = nullptr;
    if (!archive.IsOpen())
    {
        *error =
            archive.ErrorText().isEmpty() ? Tr("Архив Korvalent не открыт.") : archive.ErrorText();
        return false;
    }
    CSurveyArchive::ObjectInfo object;
    if (!archive.FindObject(objectName, &object))
    {
        *error = Tr("Объект '%1' не найден в архиве.").arg(objectName.trimmed());
        return false;
    }
    QList<CSurveyArchive::SurveyInfo> infos;
    DataFileList files;
    QSet<QPair<qint64, int>> accepted;
    CSurveyArchive::ObjectSettings stored;
    if (!archive.ObjectData(object.id, &infos, &files) ||
        !archive.AcceptedReadings(object.id, &accepted) ||
        (!overrides && !archive.GetObjectSettings(object.id, &stored)))
    {
        *error = archive.ErrorText();
        return false;
    }
    QList<Survey> surveys;
    surveys.reserve(infos.size());
    for (int i = 0; i < infos.size(); ++i)
        surveys.append({infos.at(i).id, infos.at(i).name, files.at(i)});
    *history = new CObjectHistory(object.name, surveys, accepted,
                                  overrides ? *overrides : FromArchive(stored), view);
    return true;
}

bool CObjectHistory::LoadSettings(CSurveyArchive& archive, const QString& objectName,
                                  Settings* settings, QString* error)
{
    CSurveyArchive::ObjectSettings stored;
    if (!archive.GetObjectSettings(objectName, &stored))
    {
        *error = archive.ErrorText();
        return false;
    }
    *settings = FromArchive(stored);
    return true;
}

bool CObjectHistory::StoreSettings(CSurveyArchive& archive, const QString& objectName,
                                   const Settings& settings, QString* error)
{
    CSurveyArchive::ObjectSettings stored;
    stored.requiredMm = settings.requiredMm;
    stored.nominalMm = settings.nominalMm;
    stored.maxIntervalYears = settings.maxIntervalYears;
    stored.rateKey = RateKindKey(settings.rate);
    stored.vesselRule = settings.vesselRule;
    if (!archive.SetObjectSettings(objectName, stored))
    {
        *error = archive.ErrorText();
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ texts

double CObjectHistory::FromMm(double mm) const
{
    return m_unit == CSurveyComparison::Inches ? mm / CSurveyComparison::kMmPerInch : mm;
}

double CObjectHistory::ToMm(double valueInUnit) const
{
    return m_unit == CSurveyComparison::Inches ? valueInUnit * CSurveyComparison::kMmPerInch
                                               : valueInUnit;
}

QString CObjectHistory::UnitText() const
{
    return m_unit == CSurveyComparison::Inches ? Tr("дюйм") : Tr("мм");
}

QString CObjectHistory::RateUnitText() const
{
    return m_unit == CSurveyComparison::Inches ? Tr("дюйм/год") : Tr("мм/год");
}

QString CObjectHistory::ThicknessText(double mm) const
{
    return Number(FromMm(mm), m_decimals);
}

QString CObjectHistory::RateText(double mmPerYear) const
{
    return Number(FromMm(mmPerYear), RateDecimals());
}

QString CObjectHistory::LifeText(const Location& location) const
{
    return location.exhausted ? CSurveyComparison::ExhaustedText() : Number(location.lifeYears, 1);
}

QString CObjectHistory::DateText(const QDate& date)
{
    if (!date.isValid())
        return Dash();
    return QStringLiteral("%1.%2.%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString CObjectHistory::NextDateText(const Location& location) const
{
    if (!location.nextDate.isValid())
        return Dash();
    const QString date = DateText(location.nextDate);
    return location.nextByMaxInterval ? Tr("%1 (макс. интервал)").arg(date) : date;
}

QString CObjectHistory::ChecksText(int checks)
{
    QStringList parts;
    if (checks & CheckW)
        parts.append(QStringLiteral("W"));
    if (checks & CheckE)
        parts.append(QStringLiteral("E"));
    if (checks & CheckT)
        parts.append(QStringLiteral("T"));
    return parts.join(QLatin1Char(' '));
}

QString CObjectHistory::FlagText(Flag flag)
{
    switch (flag)
    {
    case BelowRequired:
        return Tr("Ниже допустимой");
    case Due:
        return Tr("Срок контроля");
    case NoRate:
        return Tr("Нет скорости коррозии");
    case NoFlag:
        break;
    }
    return {};
}

QString CObjectHistory::YearsText(double years)
{
    if (std::isnan(years))
        return Dash();
    const QString number = QString::number(years, 'g', 6);
    if (years != std::floor(years))
        return Tr("%1 года").arg(number);
    const qint64 whole = qint64(std::fabs(years));
    const qint64 lastTwo = whole % 100, last = whole % 10;
    if (lastTwo >= 11 && lastTwo <= 14)
        return Tr("%1 лет").arg(number);
    if (last == 1)
        return Tr("%1 год").arg(number);
    if (last >= 2 && last <= 4)
        return Tr("%1 года").arg(number);
    return Tr("%1 лет").arg(number);
}

QStringList CObjectHistory::Headers() const
{
    const QString unit = UnitText();
    const QString rate = RateUnitText();
    return {Tr("Ячейка"),
            Tr("Обследований"),
            Tr("Первый замер"),
            Tr("Последний замер"),
            Tr("Начальная толщина, %1").arg(unit),
            Tr("Предыдущая толщина, %1").arg(unit),
            Tr("Фактическая толщина, %1").arg(unit),
            Tr("Долгосрочная скорость, %1").arg(rate),
            Tr("Краткосрочная скорость, %1").arg(rate),
            Tr("Скорость по регрессии, %1").arg(rate),
            Tr("Определяющая скорость, %1").arg(rate),
            Tr("Остаточный ресурс, лет"),
            Tr("Следующий контроль"),
            Tr("Проверки"),
            Tr("Отметка")};
}

QStringList CObjectHistory::RowTexts(int index) const
{
    if (index < 0 || index >= m_locations.size())
        return {};
    const Location& l = m_locations.at(index);
    return {QString::number(l.cell),   QString::number(l.surveys), DateText(l.first),
            DateText(l.last),          ThicknessText(l.initialMm), ThicknessText(l.previousMm),
            ThicknessText(l.actualMm), RateText(l.longTermMm),     RateText(l.shortTermMm),
            RateText(l.regressionMm),  RateText(l.governingMm),    LifeText(l),
            NextDateText(l),           ChecksText(l.checks),       FlagText(l.flag)};
}

QStringList CObjectHistory::SummaryLines() const
{
    const Summary& s = m_summary;
    QStringList lines;
    lines.append(Tr("Объект: %1").arg(m_object));
    QDate first, last;
    for (const Survey& survey : m_surveys)
    {
        const QDate date = CSurveyComparison::SurveyDate(survey.file);
        if (!date.isValid())
            continue;
        if (!first.isValid() || date < first)
            first = date;
        if (!last.isValid() || date > last)
            last = date;
    }
    if (first.isValid())
        lines.append(Tr("Обследований: %1 (%2 – %3)")
                         .arg(m_surveys.size())
                         .arg(DateText(first), DateText(last)));
    else
        lines.append(Tr("Обследований: %1").arg(m_surveys.size()));
    const QString unit = UnitText();
    lines.append(
        std::isnan(m_settings.requiredMm)
            ? Tr("Допустимая толщина не задана")
            : Tr("Допустимая толщина: %1 %2").arg(ThicknessText(m_settings.requiredMm), unit));
    lines.append(
        std::isnan(m_settings.nominalMm)
            ? Tr("Номинальная толщина не задана")
            : Tr("Номинальная толщина: %1 %2").arg(ThicknessText(m_settings.nominalMm), unit));
    lines.append(
        Tr("Максимальный интервал контроля: %1").arg(YearsText(m_settings.maxIntervalYears)));
    lines.append(Tr("Определяющая скорость: %1").arg(RateKindText(m_settings.rate)));
    lines.append(m_settings.vesselRule
                     ? Tr("Правило для сосудов при ресурсе меньше 4 лет: применяется")
                     : Tr("Правило для сосудов при ресурсе меньше 4 лет: не применяется"));

    if (s.governingLocation >= 0 && m_locations.at(s.governingLocation).exhausted)
    {
        const Location& l = m_locations.at(s.governingLocation);
        const int others = s.below - 1;
        lines.append(others > 0
                         ? Tr("Наименьший остаточный ресурс: исчерпан (ячейка %1 и ещё %2)")
                               .arg(l.cell)
                               .arg(others)
                         : Tr("Наименьший остаточный ресурс: исчерпан (ячейка %1)").arg(l.cell));
    }
    else if (s.governingLocation >= 0)
    {
        const Location& l = m_locations.at(s.governingLocation);
        lines.append(
            Tr("Наименьший остаточный ресурс: %1 года (ячейка %2)").arg(LifeText(l)).arg(l.cell));
    }
    else
        lines.append(Tr("Наименьший остаточный ресурс: —"));
    if (s.earliestNextLocation >= 0)
        lines.append(Tr("Ближайший контроль: %1 (ячейка %2)")
                         .arg(NextDateText(m_locations.at(s.earliestNextLocation)))
                         .arg(m_locations.at(s.earliestNextLocation).cell));
    else
        lines.append(Tr("Ближайший контроль: —"));
    if (!std::isnan(m_settings.requiredMm))
        lines.append(Tr("Ниже допустимой толщины: %1 из %2").arg(s.below).arg(s.withActual));
    if (m_view.today.isValid())
        lines.append(Tr("Срок контроля в пределах интервала (%1): %2")
                         .arg(YearsText(m_view.dueWithinYears))
                         .arg(s.due));
    lines.append(Tr("Без скорости коррозии: %1").arg(s.noRate));
    lines.append(Tr("Проверки: W — %1, E — %2 (принято %3), T — %4")
                     .arg(s.countW)
                     .arg(s.countE)
                     .arg(s.accepted)
                     .arg(s.countT));
    return lines;
}

QStringList CObjectHistory::ReadingHeaders() const
{
    return {Tr("Обследование"),
            Tr("Файл данных"),
            Tr("Дата замера"),
            Tr("Время замера"),
            Tr("Толщина, %1").arg(UnitText()),
            Tr("Проверки"),
            Tr("В расчёте")};
}

QStringList CObjectHistory::ReadingTexts(const Location& location, int index) const
{
    if (index < 0 || index >= location.readings.size())
        return {};
    const Reading& r = location.readings.at(index);
    const QString name =
        r.survey >= 0 && r.survey < m_surveys.size() ? m_surveys.at(r.survey).name : QString();
    QString used;
    if (r.used)
        used = r.accepted ? Tr("да (E принято)") : Tr("да");
    else if (r.los)
        used = Tr("нет (LOS)");
    else if (!r.date.isValid())
        used = Tr("нет (без даты)");
    else
        used = Tr("нет (E)");
    return {QString::number(r.surveyId),
            name,
            DateText(r.date),
            r.time.isValid() ? r.time.toString(QStringLiteral("hh:mm")) : Dash(),
            r.los ? QStringLiteral("LOS") : Number(r.value, m_decimals),
            ChecksText(r.checks),
            used};
}

void CObjectHistory::FillModel(QStandardItemModel* model) const
{
    if (!model)
        return;
    model->clear();
    const QStringList headers = Headers();
    model->setColumnCount(int(headers.size()));
    model->setRowCount(int(m_locations.size()));
    model->setHorizontalHeaderLabels(headers);
    // Absent figures sort after every present one.
    const double absent = std::numeric_limits<double>::max();
    auto number = [absent](double v) { return QVariant(std::isnan(v) ? absent : v); };
    auto date = [](const QDate& d)
    { return QVariant(d.isValid() ? d.toJulianDay() : std::numeric_limits<qint64>::max()); };
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int r = 0; r < m_locations.size(); ++r)
    {
        const Location& l = m_locations.at(r);
        const QStringList texts = RowTexts(r);
        const QVariant sort[ColumnCount] = {
            l.cell,
            l.surveys,
            date(l.first),
            date(l.last),
            number(l.initialMm),
            number(l.previousMm),
            number(l.actualMm),
            number(l.longTermMm),
            number(l.shortTermMm),
            number(l.regressionMm),
            number(l.governingMm),
            number(l.lifeYears),
            date(l.nextDate),
            texts.at(ChecksColumn),
            texts.at(FlagColumn),
        };
        for (int c = 0; c < texts.size(); ++c)
        {
            auto* item = new QStandardItem(texts.at(c));
            item->setData(int(l.flag), FlagRole);
            item->setData(sort[c], SortRole);
            if (c + 1 < texts.size())
                item->setTextAlignment(centred);
            model->setItem(r, c, item);
        }
        if (!l.lifeReason.isEmpty())
            model->item(r, LifeColumn)->setToolTip(l.lifeReason);
        if (l.governingKind != RateMax)
            model->item(r, GoverningColumn)->setToolTip(RateKindText(l.governingKind));
        if (l.nextByMaxInterval)
            model->item(r, NextColumn)
                ->setToolTip(Tr("Скорости коррозии нет: дата последнего замера плюс "
                                "максимальный интервал контроля"));
    }
}
