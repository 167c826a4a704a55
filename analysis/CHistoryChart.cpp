#include "analysis/CHistoryChart.h"

#include "analysis/CAnalysisChart.h"

#include "export/CPngWriter.h"

#include <QBuffer>
#include <QChart>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CHistoryChart", text);
}

const QColor kReadingColor(31, 119, 180);
const QColor kWColor(230, 140, 30);
const QColor kEColor(214, 39, 40);
const QColor kAcceptedColor(148, 103, 189);
const QColor kLosColor(110, 110, 110);
const QColor kRegressionColor(44, 160, 44);
const QColor kLineColors[CHistoryChart::LineCount] = {QColor(214, 39, 40), QColor(80, 80, 80)};
const Qt::PenStyle kLineStyles[CHistoryChart::LineCount] = {Qt::DashLine, Qt::DashDotLine};

// How far past the last reading the regression line is followed: a wall
// that lasts for decades would squeeze the readings into a corner.
constexpr double kAheadYears = 8.0;

double NiceStep(double span, double ticks, double smallest)
{
    const double raw = std::max(smallest, span / ticks);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}

QString DateText(const QDate& date)
{
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("—");
}

bool Near(const QPointF& a, const QPointF& b)
{
    return std::abs(a.x() - b.x()) < 1e-6 && std::abs(a.y() - b.y()) < 1e-6;
}
} // namespace

CHistoryChart::CHistoryChart(QObject* parent) : QObject(parent)
{
    // Thickness labels such as "10.5" are never cut to "1...".
    m_chart = CAnalysisChart::NewChart(Tr("Дата замера"), 2000, true, &m_axisX, &m_axisY);

    for (int line = 0; line < LineCount; ++line)
    {
        m_lines[line] = new QLineSeries();
        m_lines[line]->setPen(QPen(kLineColors[line], 1.5, kLineStyles[line]));
        AttachSeries(m_lines[line]);
    }
    m_regression = new QLineSeries();
    m_regression->setPen(QPen(kRegressionColor, 1.6, Qt::DashLine));
    AttachSeries(m_regression);

    m_readings = new QLineSeries();
    m_readings->setPen(QPen(kReadingColor, 1.8));
    m_readings->setPointsVisible(true);
    m_readings->setMarkerSize(4);
    m_readings->setName(Tr("Замеры"));
    AttachSeries(m_readings);
    connect(m_readings, &QLineSeries::hovered, this, &CHistoryChart::PointHovered);

    const auto scatter = [this](const QColor& color, qreal size, QScatterSeries::MarkerShape shape,
                                const QString& name, bool hollow = false)
    {
        auto* series = new QScatterSeries();
        series->setColor(hollow ? QColor(Qt::transparent) : color);
        series->setBorderColor(hollow ? color : color.darker(130));
        series->setPen(QPen(hollow ? color : color.darker(130), hollow ? 2.0 : 1.0));
        series->setMarkerSize(size);
        series->setMarkerShape(shape);
        series->setName(name);
        AttachSeries(series);
        connect(series, &QScatterSeries::hovered, this, &CHistoryChart::PointHovered);
        return series;
    };
    m_w = scatter(kWColor, 15, QScatterSeries::MarkerShapeCircle, Tr("W"), true);
    m_e = scatter(kEColor, 12, QScatterSeries::MarkerShapeRectangle, Tr("E, не учтён"));
    m_eAccepted =
        scatter(kAcceptedColor, 12, QScatterSeries::MarkerShapeRectangle, Tr("E, принят"));
    m_los = scatter(kLosColor, 11, QScatterSeries::MarkerShapeTriangle, Tr("LOS"));
    m_projected = scatter(kRegressionColor, 13, QScatterSeries::MarkerShapeStar, QString());
    m_projected->setPointLabelsVisible(true);
    m_projected->setPointLabelsColor(kRegressionColor.darker(140));
    m_projected->setPointLabelsClipping(false);

    Clear();
}

CHistoryChart::~CHistoryChart()
{
    // A chart view showing the chart owns it and may have deleted it already.
    if (m_chart && !m_chart->scene())
        delete m_chart;
}

void CHistoryChart::AttachSeries(QXYSeries* series)
{
    m_chart->addSeries(series);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
}

qreal CHistoryChart::X(const QDate& date)
{
    if (!date.isValid())
        return 0;
    return date.year() + qreal(date.dayOfYear() - 1) / date.daysInYear();
}

QDate CHistoryChart::DateAt(qreal x)
{
    const int year = int(std::floor(x));
    const QDate first(year, 1, 1);
    return first.addDays(qint64(std::lround((x - year) * first.daysInYear())));
}

double CHistoryChart::Value(double mm) const
{
    if (!std::isfinite(mm))
        return CObjectHistory::kNone;
    return m_shown && m_shown->unit == CSurveyComparison::Inches
               ? mm / CSurveyComparison::kMmPerInch
               : mm;
}

QString CHistoryChart::UnitText() const
{
    return m_shown && m_shown->unit == CSurveyComparison::Inches ? Tr("дюйм") : Tr("мм");
}

void CHistoryChart::Clear()
{
    m_shown.reset();
    for (QXYSeries* series : std::initializer_list<QXYSeries*>{
             m_readings, m_w, m_e, m_eAccepted, m_los, m_regression, m_projected,
             m_lines[RequiredLine], m_lines[NominalLine]})
    {
        series->clear();
        series->setVisible(false);
    }
    m_chart->setTitle(QString());
    m_axisX->setRange(2000, 2010);
    m_axisX->setTickInterval(1);
    m_axisY->setRange(0, 10);
    m_axisY->setTickInterval(1);
    m_axisY->setTitleText(Tr("Толщина"));
}

void CHistoryChart::SetLocation(const CObjectHistory& history, int locationIndex)
{
    if (locationIndex < 0 || locationIndex >= history.Locations().size())
    {
        Clear();
        return;
    }
    Shown shown;
    shown.object = history.ObjectName();
    shown.location = history.Locations().at(locationIndex);
    shown.unit = history.DisplayUnit();
    shown.decimals = history.Decimals();
    shown.requiredMm = history.GetSettings().requiredMm;
    shown.nominalMm = history.GetSettings().nominalMm;
    for (const CObjectHistory::Survey& survey : history.Surveys())
        shown.surveyNames << survey.name;
    Draw(shown);
}

void CHistoryChart::Draw(const Shown& shown)
{
    m_shown = shown;
    const CObjectHistory::Location& location = m_shown->location;

    QList<QPointF> used, w, e, accepted;
    QList<QDate> los;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    QDate firstDate, lastDate;
    const auto span = [&lo, &hi](double v)
    {
        if (std::isfinite(v))
        {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    const auto dates = [&firstDate, &lastDate](const QDate& d)
    {
        if (!d.isValid())
            return;
        if (!firstDate.isValid() || d < firstDate)
            firstDate = d;
        if (!lastDate.isValid() || d > lastDate)
            lastDate = d;
    };
    for (const CObjectHistory::Reading& r : location.readings)
    {
        dates(r.date);
        if (r.los || !std::isfinite(r.mm))
        {
            if (r.date.isValid())
                los << r.date;
            continue;
        }
        const QPointF p(X(r.date), Value(r.mm));
        span(p.y());
        if (r.used)
            used << p;
        if (r.checks & CObjectHistory::CheckW)
            w << p;
        if (r.checks & CObjectHistory::CheckE)
            (r.accepted ? accepted : e) << p;
    }

    // The regression line from the first used reading on, to the required
    // thickness when the wall is thinning, not further than kAheadYears past
    // the last reading.
    QList<QPointF> regression;
    QDate projected;
    if (std::isfinite(location.slopeMmPerYear) && std::isfinite(location.interceptMm))
    {
        QDate start;
        for (const CObjectHistory::Reading& r : location.readings)
            if (r.used && r.date.isValid() && (!start.isValid() || r.date < start))
                start = r.date;
        QDate end = lastDate;
        if (location.projectedDate.isValid() && lastDate.isValid())
        {
            const QDate limit =
                lastDate.addDays(qint64(kAheadYears * CObjectHistory::kDaysPerYear));
            projected = location.projectedDate;
            end = std::max(lastDate, std::min(projected, limit));
        }
        if (start.isValid() && end.isValid())
        {
            const auto at = [&](const QDate& d)
            {
                const double years = start.daysTo(d) / CObjectHistory::kDaysPerYear;
                return QPointF(X(d), Value(location.interceptMm + location.slopeMmPerYear * years));
            };
            regression << at(start) << at(end);
            span(regression.first().y());
            span(regression.last().y());
            dates(end);
        }
    }

    const double lineValues[LineCount] = {Value(m_shown->requiredMm), Value(m_shown->nominalMm)};
    for (double v : lineValues)
        span(v);

    // Date axis: whole years around the readings (and the line's end).
    if (!firstDate.isValid())
        firstDate = lastDate = QDate(2000, 1, 1);
    const double xMin = std::floor(X(firstDate) - 0.15);
    // Room after a projected date for its label.
    const double room = projected.isValid() && X(projected) >= X(lastDate) - 1e-9
                            ? 0.08 * (X(lastDate) - X(firstDate)) + 0.4
                            : 0.15;
    const double xMax = std::max(std::ceil(X(lastDate) + room), xMin + 2);
    m_axisX->setRange(xMin, xMax);
    m_axisX->setTickInterval(NiceStep(xMax - xMin, 10.0, 1.0));

    if (lo > hi)
    {
        lo = 0;
        hi = 1;
    }
    const double pad = hi > lo ? (hi - lo) * 0.12 : std::max(std::abs(hi) * 0.1, 0.1);
    m_axisY->setRange(std::max(0.0, lo - pad), hi + pad);
    const double yStep =
        NiceStep(m_axisY->max() - m_axisY->min(), 6.0, std::pow(10.0, -m_shown->decimals));
    m_axisY->setTickInterval(yStep);
    m_axisY->setLabelFormat(
        QStringLiteral("%.%1f").arg(std::max(0, int(std::ceil(-std::log10(yStep) - 1e-9)))));
    m_axisY->setTitleText(Tr("Толщина, %1").arg(UnitText()));
    const double losY = m_axisY->min() + (m_axisY->max() - m_axisY->min()) * 0.015;

    const auto fill = [](QXYSeries* series, const QList<QPointF>& points)
    {
        series->replace(points);
        series->setVisible(!points.isEmpty());
    };
    fill(m_readings, used);
    fill(m_w, w);
    fill(m_e, e);
    fill(m_eAccepted, accepted);
    QList<QPointF> losPoints;
    for (const QDate& d : std::as_const(los))
        losPoints << QPointF(X(d), losY);
    fill(m_los, losPoints);
    fill(m_regression, regression);
    const QString rateUnit = Tr("%1/год").arg(UnitText());
    if (!regression.isEmpty())
        m_regression->setName(
            Tr("Регрессия %1 %2")
                .arg(QString::number(-Value(location.slopeMmPerYear), 'f', m_shown->decimals + 1),
                     rateUnit));
    // The projected date is a point on the required line, its date written
    // beside it rather than in the legend (no room to spare beside a chart
    // half a window wide). A date too far ahead is written at the line's end.
    QList<QPointF> projectedPoint;
    QString projectedLabel = DateText(projected);
    if (projected.isValid() && std::isfinite(lineValues[RequiredLine]) && !regression.isEmpty())
    {
        // The line was followed to the projected date unless that lies too far ahead.
        if (regression.last().x() >= X(projected) - 1e-9)
            projectedPoint << QPointF(X(projected), lineValues[RequiredLine]);
        else
        {
            projectedPoint << regression.last();
            projectedLabel = Tr("→ %1").arg(DateText(projected));
        }
    }
    fill(m_projected, projectedPoint);
    m_projected->setPointLabelsFormat(projectedLabel);
    const bool onLine = projectedLabel == DateText(projected);
    m_projected->setMarkerShape(onLine ? QScatterSeries::MarkerShapeStar
                                       : QScatterSeries::MarkerShapeCircle);
    m_projected->setMarkerSize(onLine ? 13 : 5);
    for (QLegendMarker* marker : m_chart->legend()->markers(m_projected))
        marker->setVisible(false);

    const QString lineNames[LineCount] = {Tr("Допустимая %1 %2"), Tr("Номинальная %1 %2")};
    for (int line = 0; line < LineCount; ++line)
    {
        const double v = lineValues[line];
        if (!std::isfinite(v))
        {
            fill(m_lines[line], {});
            continue;
        }
        fill(m_lines[line], {QPointF(xMin, v), QPointF(xMax, v)});
        m_lines[line]->setName(
            lineNames[line].arg(QString::number(v, 'f', m_shown->decimals), UnitText()));
    }
    m_chart->setTitle(Title());
}

QList<QPointF> CHistoryChart::Points() const
{
    return m_readings->isVisible() ? m_readings->points() : QList<QPointF>();
}

QList<QPointF> CHistoryChart::MarkPoints(CObjectHistory::Check check) const
{
    QList<QPointF> out;
    if (check == CObjectHistory::CheckW)
        return m_w->isVisible() ? m_w->points() : out;
    if (check != CObjectHistory::CheckE)
        return out;
    if (m_e->isVisible())
        out << m_e->points();
    if (m_eAccepted->isVisible())
        out << m_eAccepted->points();
    std::sort(out.begin(), out.end(),
              [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return out;
}

QList<QPointF> CHistoryChart::LeftOutPoints() const
{
    return m_e->isVisible() ? m_e->points() : QList<QPointF>();
}

QList<QDate> CHistoryChart::LosDates() const
{
    QList<QDate> out;
    if (m_los->isVisible())
        for (const QPointF& p : m_los->points())
            out << DateAt(p.x());
    return out;
}

QList<QPointF> CHistoryChart::RegressionPoints() const
{
    return m_regression->isVisible() ? m_regression->points() : QList<QPointF>();
}

QDate CHistoryChart::ProjectedDate() const
{
    return m_shown && std::isfinite(m_shown->location.slopeMmPerYear)
               ? m_shown->location.projectedDate
               : QDate();
}

double CHistoryChart::LineValue(Line line) const
{
    const QLineSeries* series = m_lines[line];
    return series->isVisible() && series->count() > 0 ? series->at(0).y() : CObjectHistory::kNone;
}

QString CHistoryChart::LineName(Line line) const
{
    return m_lines[line]->isVisible() ? m_lines[line]->name() : QString();
}

QString CHistoryChart::Title() const
{
    return m_shown ? Tr("%1: ячейка %2").arg(m_shown->object).arg(m_shown->location.cell)
                   : QString();
}

int CHistoryChart::Cell() const
{
    return m_shown ? m_shown->location.cell : 0;
}

QString CHistoryChart::PointText(const QPointF& point) const
{
    if (!m_shown)
        return {};
    for (const CObjectHistory::Reading& r : m_shown->location.readings)
    {
        if (r.los || !Near(QPointF(X(r.date), Value(r.mm)), point))
            continue;
        QStringList lines;
        lines << Tr("Ячейка %1, %2").arg(m_shown->location.cell).arg(DateText(r.date));
        lines << Tr("Обследование: %1").arg(m_shown->surveyNames.value(r.survey));
        lines << Tr("Толщина: %1 %2")
                     .arg(QString::number(Value(r.mm), 'f', m_shown->decimals), UnitText());
        if (r.checks != CObjectHistory::CheckNone)
            lines << Tr("Проверка: %1").arg(CObjectHistory::ChecksText(r.checks));
        if ((r.checks & CObjectHistory::CheckE) && !r.used)
            lines << Tr("Не учитывается в скоростях коррозии");
        else if (r.accepted)
            lines << Tr("Принят пользователем");
        return lines.join(QLatin1Char('\n'));
    }
    return {};
}

void CHistoryChart::RenderTo(QPainter* painter, const QRectF& target, const QSize& size) const
{
    CAnalysisChart::RenderChart(m_chart, painter, target, size);
}

void CHistoryChart::Paint(QPainter* painter, const QRectF& target, const QSize& layout,
                          Qt::Alignment legend) const
{
    // A copy laid out at the asked size, so that a view showing this chart
    // is not disturbed.
    CHistoryChart copy;
    copy.m_chart->legend()->setAlignment(legend);
    if (m_shown)
        copy.Draw(*m_shown);
    copy.RenderTo(painter, target, layout);
}

QImage CHistoryChart::Render(const QSize& size) const
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(&painter, QRectF(QPointF(0, 0), size), size);
    painter.end();
    return image;
}

CSafeSave::Result CHistoryChart::SavePng(const QString& path, const QSize& size) const
{
    return CPngWriter::Save(path, [this, size] { return Render(size); });
}

bool CHistoryChart::SavePng(const CObjectHistory& history, int locationIndex, const QString& path,
                            QString* error)
{
    if (locationIndex < 0 || locationIndex >= history.Locations().size())
    {
        if (error)
            *error = Tr("У объекта «%1» нет такого места.").arg(history.ObjectName());
        return false;
    }
    CHistoryChart chart;
    chart.SetLocation(history, locationIndex);
    const CSafeSave::Result saved = chart.SavePng(path);
    if (!saved.Ok())
    {
        if (error)
            *error = CSafeSave::Describe(path, saved);
        return false;
    }
    return true;
}
