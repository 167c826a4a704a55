#include "analysis/CHistoryRateChart.h"

#include "analysis/CAnalysisChart.h"

#include <QAreaSeries>
#include <QCoreApplication>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CHistoryRateChart", text);
}

const QColor kGroupColors[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(240, 170, 40)};
const QColor kNoRateColor(130, 130, 130);
// Half a bar's width, in cells.
constexpr double kHalfBar = 0.38;

double NiceStep(double span, double ticks, double smallest)
{
    const double raw = std::max(smallest, span / ticks);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}
} // namespace

CHistoryRateChart::CHistoryRateChart(QObject* parent) : QObject(parent)
{
    // Thickness labels such as "10.5" are never cut to "1...".
    m_chart = CAnalysisChart::NewChart(Tr("Ячейка"), 0, true, &m_axisX, &m_axisY);

    const QString names[GroupCount] = {Tr("Определяющая скорость коррозии"),
                                       Tr("Ниже допустимой толщины"),
                                       Tr("Срок обследования близок")};
    // Each group's bars are one area under a stepped line: one item to draw
    // however many locations the object has.
    for (int g = 0; g < GroupCount; ++g)
    {
        m_upper[g] = new QLineSeries(this);
        m_bars[g] = new QAreaSeries(m_upper[g]);
        m_bars[g]->setName(names[g]);
        m_bars[g]->setColor(kGroupColors[g]);
        m_bars[g]->setBorderColor(kGroupColors[g].darker(130));
        m_chart->addSeries(m_bars[g]);
        m_bars[g]->attachAxis(m_axisX);
        m_bars[g]->attachAxis(m_axisY);
        connect(m_bars[g], &QAreaSeries::clicked, this,
                [this](const QPointF& point) { emit CellClicked(int(std::lround(point.x()))); });
    }
    m_noRate = new QScatterSeries();
    m_noRate->setName(Tr("Нет скорости"));
    m_noRate->setColor(kNoRateColor);
    m_noRate->setBorderColor(kNoRateColor.darker(130));
    m_noRate->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    m_noRate->setMarkerSize(10);
    m_chart->addSeries(m_noRate);
    m_noRate->attachAxis(m_axisX);
    m_noRate->attachAxis(m_axisY);
    connect(m_noRate, &QScatterSeries::clicked, this,
            [this](const QPointF& point) { emit CellClicked(int(std::lround(point.x()))); });
    Clear();
}

CHistoryRateChart::~CHistoryRateChart()
{
    if (m_chart && !m_chart->scene())
        delete m_chart;
}

void CHistoryRateChart::Clear()
{
    for (int g = 0; g < GroupCount; ++g)
    {
        m_rates[g].clear();
        m_upper[g]->clear();
        m_bars[g]->setVisible(false);
    }
    m_noRate->clear();
    m_noRate->setVisible(false);
    m_chart->setTitle(QString());
    m_axisX->setRange(0, 10);
    m_axisX->setTickInterval(1);
    m_axisY->setRange(0, 1);
    m_axisY->setTickInterval(0.2);
    m_axisY->setTitleText(Tr("Скорость коррозии"));
}

void CHistoryRateChart::SetHistory(const CObjectHistory& history)
{
    for (QList<QPointF>& rates : m_rates)
        rates.clear();
    const bool inches = history.DisplayUnit() == CSurveyComparison::Inches;
    QList<QPointF> steps[GroupCount];
    QList<int> noRate;
    double lo = 0, hi = 0;
    int lastCell = 1;
    for (const CObjectHistory::Location& l : history.Locations())
    {
        lastCell = std::max(lastCell, l.cell);
        if (!std::isfinite(l.governingMm))
        {
            noRate << l.cell;
            continue;
        }
        const double rate = inches ? l.governingMm / CSurveyComparison::kMmPerInch : l.governingMm;
        const int g = l.flag == CObjectHistory::BelowRequired ? Below
                      : l.flag == CObjectHistory::Due         ? Due
                                                              : Plain;
        m_rates[g] << QPointF(l.cell, rate);
        steps[g] << QPointF(l.cell - kHalfBar, 0) << QPointF(l.cell - kHalfBar, rate)
                 << QPointF(l.cell + kHalfBar, rate) << QPointF(l.cell + kHalfBar, 0);
        lo = std::min(lo, rate);
        hi = std::max(hi, rate);
    }
    for (int g = 0; g < GroupCount; ++g)
    {
        m_upper[g]->replace(steps[g]);
        m_bars[g]->setVisible(!steps[g].isEmpty());
    }
    if (hi <= lo)
        hi = lo + (inches ? 0.01 : 0.1);
    const double pad = (hi - lo) * 0.08;
    m_axisY->setRange(lo < 0 ? lo - pad : 0.0, hi + pad);
    const double step = NiceStep(m_axisY->max() - m_axisY->min(), 6.0, inches ? 0.0005 : 0.01);
    m_axisY->setTickInterval(step);
    m_axisY->setLabelFormat(
        QStringLiteral("%.%1f").arg(std::max(0, int(std::ceil(-std::log10(step) - 1e-9)))));
    m_axisY->setTitleText(inches ? Tr("Скорость коррозии, дюйм/год")
                                 : Tr("Скорость коррозии, мм/год"));
    m_axisX->setRange(0.5, lastCell + 0.5);
    m_axisX->setTickInterval(NiceStep(lastCell, 12.0, 1.0));

    QList<QPointF> marks;
    const double markY = m_axisY->min() + (m_axisY->max() - m_axisY->min()) * 0.015;
    for (int cell : std::as_const(noRate))
        marks << QPointF(cell, markY);
    m_noRate->replace(marks);
    m_noRate->setVisible(!marks.isEmpty());
    m_chart->setTitle(
        Tr("%1: определяющая скорость коррозии по ячейкам").arg(history.ObjectName()));
}

QList<QPointF> CHistoryRateChart::Rates(CObjectHistory::Flag flag) const
{
    switch (flag)
    {
    case CObjectHistory::NoFlag:
        return m_rates[Plain];
    case CObjectHistory::BelowRequired:
        return m_rates[Below];
    case CObjectHistory::Due:
        return m_rates[Due];
    case CObjectHistory::NoRate:
        break;
    }
    return {};
}

QList<int> CHistoryRateChart::NoRateCells() const
{
    QList<int> cells;
    if (m_noRate->isVisible())
        for (const QPointF& p : m_noRate->points())
            cells << int(std::lround(p.x()));
    return cells;
}
