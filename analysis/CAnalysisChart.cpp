#include "analysis/CAnalysisChart.h"

#include "data/CCellDecoder.h"

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
    return QCoreApplication::translate("CAnalysisChart", text);
}

const QColor kCurrentColor(31, 119, 180);
const QColor kBelowColor(214, 39, 40);
const QColor kPreviousColor(230, 140, 30);
const QColor kLosColor(110, 110, 110);
// Points a line draws itself take the size as a radius, a scatter series as
// a diameter.
constexpr qreal kCurrentMarker = 4;
constexpr qreal kPreviousMarker = 3;
const QColor kLineColors[CAnalysisChart::LineCount] = {QColor(44, 160, 44), QColor(214, 39, 40),
                                                       QColor(80, 80, 80)};
const Qt::PenStyle kLineStyles[CAnalysisChart::LineCount] = {Qt::DashLine, Qt::DashLine,
                                                             Qt::DashDotLine};

// The pieces of the line between LOS readings.
QList<QList<QPointF>> SplitAtLos(const QList<CSurveyComparison::Reading>& readings)
{
    QList<QList<QPointF>> segments;
    QList<QPointF> piece;
    for (const CSurveyComparison::Reading& r : readings)
    {
        if (r.los)
        {
            if (!piece.isEmpty())
                segments.append(piece);
            piece.clear();
            continue;
        }
        piece.append(QPointF(r.cell, r.value));
    }
    if (!piece.isEmpty())
        segments.append(piece);
    return segments;
}

// A tick step of 1, 2 or 5 times a power of ten giving about `ticks` ticks,
// never below `smallest`.
double NiceStep(double span, double ticks = 10.0, double smallest = 1.0)
{
    const double raw = std::max(smallest, span / ticks);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10.0 * power;
}

void SetMarkerVisible(QLegend* legend, QAbstractSeries* series, bool visible)
{
    for (QLegendMarker* marker : legend->markers(series))
        marker->setVisible(visible);
}
} // namespace

CAnalysisChart::CAnalysisChart(QObject* parent) : QObject(parent)
{
    m_chart = NewChart(Tr("Ячейка"), 0, false, &m_axisX, &m_axisY);

    for (int line = 0; line < LineCount; ++line)
    {
        m_lines[line] = new QLineSeries();
        QPen pen(kLineColors[line], 1.5, kLineStyles[line]);
        m_lines[line]->setPen(pen);
        AttachSeries(m_lines[line]);
    }

    const auto scatter = [this](const QColor& color, qreal size, QScatterSeries::MarkerShape shape)
    {
        auto* series = new QScatterSeries();
        series->setColor(color);
        series->setBorderColor(color.darker(130));
        series->setMarkerSize(size);
        series->setMarkerShape(shape);
        AttachSeries(series);
        return series;
    };
    m_below = scatter(kBelowColor, 2 * kCurrentMarker + 1, QScatterSeries::MarkerShapeCircle);
    m_los = scatter(kLosColor, 11, QScatterSeries::MarkerShapeTriangle);
    m_los->setName(Tr("LOS"));
    m_below->setName(Tr("Ниже допустимой толщины"));

    const auto hover = [this](QScatterSeries* series, bool previous)
    {
        connect(series, &QScatterSeries::hovered, this,
                [this, previous](const QPointF& point, bool state)
                { emit PointHovered(int(std::lround(point.x())), previous, state); });
    };
    hover(m_below, false);
    hover(m_los, false);
    for (QScatterSeries* series : {m_below, m_los})
        connect(series, &QScatterSeries::clicked, this,
                [this](const QPointF& point) { emit PointClicked(int(std::lround(point.x()))); });

    Clear();
}

namespace
{
bool HasValid(const DataFileRecord& file)
{
    for (const CellRecord& cell : file.cells)
        if (!CCellDecoder::IsLos(cell))
            return true;
    return false;
}

// The file whose first valid reading sets the unit and the decimals.
const DataFileRecord& UnitSource(const DataFileRecord& current, const DataFileRecord* previous)
{
    return previous && !HasValid(current) && HasValid(*previous) ? *previous : current;
}
} // namespace

CSurveyComparison::Unit CAnalysisChart::ShownUnit(const DataFileRecord& current,
                                                  const DataFileRecord* previous)
{
    return CSurveyComparison::DisplayUnit(UnitSource(current, previous));
}

int CAnalysisChart::ShownDecimals(const DataFileRecord& current, const DataFileRecord* previous)
{
    return CSurveyComparison::Decimals(UnitSource(current, previous));
}

CAnalysisChart::~CAnalysisChart()
{
    // A chart view showing the chart owns it and may have deleted it already.
    if (m_chart && !m_chart->scene())
        delete m_chart;
}

void CAnalysisChart::AttachSeries(QXYSeries* series)
{
    m_chart->addSeries(series);
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
}

QLineSeries* CAnalysisChart::NewSegment(bool previous)
{
    // The readings are the line's own points: a line draws them itself,
    // where a scatter series would make a graphics item per point.
    auto* series = new QLineSeries();
    const QColor color = previous ? kPreviousColor : kCurrentColor;
    series->setPen(QPen(color, previous ? 1.2 : 1.6));
    series->setPointsVisible(true);
    series->setMarkerSize(previous ? kPreviousMarker : kCurrentMarker);
    AttachSeries(series);
    // Over a line the mouse is nearest to one cell: that reading is meant.
    connect(series, &QLineSeries::hovered, this,
            [this, previous](const QPointF& point, bool state)
            { emit PointHovered(int(std::lround(point.x())), previous, state); });
    if (!previous)
        connect(series, &QLineSeries::clicked, this,
                [this](const QPointF& point) { emit PointClicked(int(std::lround(point.x()))); });
    return series;
}

void CAnalysisChart::FillSegments(QList<QLineSeries*>* pool, bool previous,
                                  const QList<QList<QPointF>>& segments, const QList<QPointF>& red)
{
    while (pool->size() < segments.size())
        pool->append(NewSegment(previous));
    for (int i = 0; i < pool->size(); ++i)
    {
        QLineSeries* series = pool->at(i);
        if (i < segments.size())
        {
            series->replace(segments.at(i));
            // The red points are the line's own, so that the line's marker
            // never covers them.
            series->clearPointsConfiguration();
            const QList<QPointF>& points = segments.at(i);
            for (int p = 0; p < points.size(); ++p)
                if (red.contains(points.at(p)))
                    series->setPointConfiguration(p, QXYSeries::PointConfiguration::Color,
                                                  kBelowColor);
            series->setVisible(true);
        }
        else if (series->count() > 0 || series->isVisible())
        {
            series->clear();
            series->setVisible(false);
        }
    }
}

void CAnalysisChart::HideSegmentMarkers()
{
    // The pieces of a line are one survey: the legend names it once, by its
    // first piece.
    QLegend* legend = m_chart->legend();
    for (const QList<QLineSeries*>* pool : {&m_segments, &m_previousSegments})
        for (int i = 0; i < pool->size(); ++i)
            SetMarkerVisible(legend, pool->at(i), i == 0 && pool->at(i)->isVisible());
}

void CAnalysisChart::Clear()
{
    m_current.reset();
    m_previous.reset();
    FillSegments(&m_segments, false, {});
    FillSegments(&m_previousSegments, true, {});
    for (QXYSeries* series : std::initializer_list<QXYSeries*>{m_below, m_los})
    {
        series->clear();
        series->setVisible(false);
    }
    for (QLineSeries* line : m_lines)
    {
        line->clear();
        line->setVisible(false);
    }
    m_chart->setTitle(QString());
    m_axisX->setRange(0, 10);
    m_axisX->setTickInterval(1);
    m_axisY->setRange(0, 10);
    m_axisY->setTickInterval(1);
    m_axisY->setTitleText(Tr("Толщина"));
    HideSegmentMarkers();
}

void CAnalysisChart::SetData(const DataFileRecord& current, const QString& currentName,
                             const CSurveyComparison::Options& options,
                             const DataFileRecord* previous, const QString& previousName)
{
    m_current = Survey{current, currentName};
    if (previous)
        m_previous = Survey{*previous, previousName};
    else
        m_previous.reset();
    m_options = options;
    m_unit = ShownUnit(current, previous);
    m_decimals = ShownDecimals(current, previous);

    const QList<CSurveyComparison::Reading> readings = CSurveyComparison::Readings(current, m_unit);
    QList<CSurveyComparison::Reading> earlier;
    if (previous)
        earlier = CSurveyComparison::Readings(*previous, m_unit);

    // The red points and the LOS cells.
    QList<QPointF> below;
    QList<int> losCells;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    const auto span = [&lo, &hi](double v)
    {
        if (std::isfinite(v))
        {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    const bool hasRequired = std::isfinite(options.required);
    for (const CSurveyComparison::Reading& r : readings)
    {
        if (r.los)
        {
            losCells.append(r.cell);
            continue;
        }
        span(r.value);
        // The table's own test, so that the red points and the count agree.
        if (hasRequired && CSurveyComparison::CountBelow({r}, options.required) == 1)
            below.append(QPointF(r.cell, r.value));
    }
    for (const CSurveyComparison::Reading& r : std::as_const(earlier))
        span(r.value);

    const double lineValues[LineCount] = {CSurveyComparison::Average(readings), options.required,
                                          options.nominal};
    for (double v : lineValues)
        span(v);

    // Cell axis: every cell of either survey, half a cell of room at each end.
    const int cells = int(std::max(current.cells.size(), previous ? previous->cells.size() : 0));
    const double xMin = 0.5, xMax = std::max(cells, 1) + 0.5;
    m_axisX->setRange(xMin, xMax);
    m_axisX->setTickInterval(NiceStep(cells));

    // Thickness axis: the drawn values with some room, never below zero.
    if (lo > hi)
    {
        lo = 0;
        hi = 1;
    }
    const double pad = hi > lo ? (hi - lo) * 0.12 : std::max(std::abs(hi) * 0.1, 0.1);
    m_axisY->setRange(std::max(0.0, lo - pad), hi + pad);
    // Round thickness steps (0.5 mm, 1 mm, 0.02 in ...), not fifths of the range.
    const double yStep =
        NiceStep(m_axisY->max() - m_axisY->min(), 6.0, std::pow(10.0, -m_decimals));
    m_axisY->setTickInterval(yStep);
    m_axisY->setLabelFormat(
        QStringLiteral("%.%1f").arg(std::max(0, int(std::ceil(-std::log10(yStep) - 1e-9)))));
    m_axisY->setTitleText(Tr("Толщина, %1").arg(UnitText()));
    // The LOS markers sit on the cell axis, just inside the plot.
    const double losY = m_axisY->min() + (m_axisY->max() - m_axisY->min()) * 0.015;

    FillSegments(&m_segments, false, SplitAtLos(readings), below);
    FillSegments(&m_previousSegments, true, SplitAtLos(earlier));

    if (!m_segments.isEmpty())
        m_segments.first()->setName(currentName);
    m_below->replace(below);
    m_below->setVisible(!below.isEmpty());
    QList<QPointF> losPoints;
    for (int cell : std::as_const(losCells))
        losPoints.append(QPointF(cell, losY));
    m_los->replace(losPoints);
    m_los->setVisible(!losPoints.isEmpty());
    if (!m_previousSegments.isEmpty())
        m_previousSegments.first()->setName(Tr("%1 (предыдущее обследование)").arg(previousName));

    const QString lineNames[LineCount] = {Tr("X(avg) = %1 %2"), Tr("Допустимая толщина %1 %2"),
                                          Tr("Номинальная толщина %1 %2")};
    for (int line = 0; line < LineCount; ++line)
    {
        const double v = lineValues[line];
        QLineSeries* series = m_lines[line];
        if (!std::isfinite(v))
        {
            series->clear();
            series->setVisible(false);
            continue;
        }
        // The average is a statistic shown with the file's decimals; typed
        // thresholds keep the digits the user gave.
        const QString text =
            line == AverageLine ? QString::number(v, 'f', m_decimals) : QString::number(v, 'g', 6);
        series->replace({QPointF(xMin, v), QPointF(xMax, v)});
        series->setName(lineNames[line].arg(text, UnitText()));
        series->setVisible(true);
    }

    m_chart->setTitle(previous ? Tr("%1: сравнение с %2").arg(currentName, previousName)
                               : currentName);
    HideSegmentMarkers();
}

QList<QList<QPointF>> CAnalysisChart::Segments(bool previous) const
{
    QList<QList<QPointF>> out;
    for (QLineSeries* series : previous ? m_previousSegments : m_segments)
        if (series->isVisible() && series->count() > 0)
            out.append(series->points());
    return out;
}

QList<QPointF> CAnalysisChart::Points() const
{
    // The line's points, less those drawn red over it.
    const QList<QPointF> red = BelowPoints();
    QList<QPointF> out;
    for (const QList<QPointF>& segment : Segments())
        for (const QPointF& p : segment)
            if (!red.contains(p))
                out.append(p);
    return out;
}

QList<QPointF> CAnalysisChart::BelowPoints() const
{
    return m_below->isVisible() ? m_below->points() : QList<QPointF>();
}

QList<QPointF> CAnalysisChart::PreviousPoints() const
{
    QList<QPointF> out;
    for (const QList<QPointF>& segment : Segments(true))
        out.append(segment);
    return out;
}

QList<int> CAnalysisChart::LosCells() const
{
    QList<int> cells;
    if (m_los->isVisible())
        for (const QPointF& p : m_los->points())
            cells.append(int(std::lround(p.x())));
    return cells;
}

double CAnalysisChart::LineValue(Line line) const
{
    const QLineSeries* series = m_lines[line];
    if (!series->isVisible() || series->count() == 0)
        return CSurveyComparison::kNone;
    return series->at(0).y();
}

QString CAnalysisChart::LineName(Line line) const
{
    return m_lines[line]->isVisible() ? m_lines[line]->name() : QString();
}

QString CAnalysisChart::UnitText() const
{
    return m_unit == CSurveyComparison::Inches ? Tr("дюйм") : Tr("мм");
}

QString CAnalysisChart::PointText(int cell, bool previous) const
{
    const std::optional<Survey>& survey = previous ? m_previous : m_current;
    if (!survey || cell < 1 || cell > survey->file.cells.size())
        return {};
    const CellRecord& c = survey->file.cells.at(cell - 1);
    QStringList lines;
    lines << (previous ? Tr("%1 (предыдущее обследование)").arg(survey->name) : survey->name);
    lines << Tr("Ячейка %1").arg(cell);
    if (CCellDecoder::IsLos(c))
        lines << Tr("Толщина: LOS");
    else
    {
        QString thickness =
            Tr("Толщина: %1 %2").arg(CCellDecoder::ResultText(c), CCellDecoder::UnitsText(c));
        // A reading in the other unit is drawn converted: say to what.
        const bool inches = CCellDecoder::IsInches(c);
        if (inches != (m_unit == CSurveyComparison::Inches))
        {
            const double value = double(CCellDecoder::Value(c));
            const double shown = inches ? value * CSurveyComparison::kMmPerInch
                                        : value / CSurveyComparison::kMmPerInch;
            thickness +=
                QStringLiteral(" (%1 %2)").arg(QString::number(shown, 'f', m_decimals), UnitText());
        }
        lines << thickness;
    }
    const QString date = CCellDecoder::DateText(c);
    const QString time = CCellDecoder::TimeText(c);
    lines << Tr("Дата: %1, время: %2")
                 .arg(date.isEmpty() ? QStringLiteral("—") : date,
                      time.isEmpty() ? QStringLiteral("—") : time);
    return lines.join(QLatin1Char('\n'));
}

void CAnalysisChart::RenderTo(QPainter* painter, const QRectF& target, const QSize& size) const
{
    RenderChart(m_chart, painter, target, size);
}

QChart* CAnalysisChart::NewChart(const QString& xTitle, qreal xAnchor, bool wholeLabels,
                                 QValueAxis** axisX, QValueAxis** axisY)
{
    auto* chart = new QChart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* x = new QValueAxis(chart);
    x->setTitleText(xTitle);
    x->setLabelFormat(QStringLiteral("%d"));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(xAnchor);
    auto* y = new QValueAxis(chart);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    x->setTruncateLabels(!wholeLabels);
    y->setTruncateLabels(!wholeLabels);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    *axisX = x;
    *axisY = y;
    return chart;
}

void CAnalysisChart::RenderChart(QChart* chart, QPainter* painter, const QRectF& target,
                                 const QSize& size)
{
    QGraphicsScene scene;
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), size));
    if (chart->layout())
        chart->layout()->activate();
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    scene.render(painter, target, scene.sceneRect());
    scene.removeItem(chart);
}

void CAnalysisChart::Paint(QPainter* painter, const QRectF& target, const QSize& layout,
                           Qt::Alignment legend) const
{
    CAnalysisChart copy;
    copy.m_chart->legend()->setAlignment(legend);
    if (m_current)
        copy.SetData(m_current->file, m_current->name, m_options,
                     m_previous ? &m_previous->file : nullptr,
                     m_previous ? m_previous->name : QString());
    copy.RenderTo(painter, target, layout);
}

QImage CAnalysisChart::Render(const QSize& size) const
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(&painter, QRectF(QPointF(0, 0), size), size);
    painter.end();
    return image;
}

CSafeSave::Result CAnalysisChart::SavePng(const QString& path, const QSize& size) const
{
    const CSafeSave::Result target = CSafeSave::CheckTarget(path);
    if (!target.Ok())
        return target;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Render(size).save(&buffer, "PNG"))
        return {CSafeSave::Status::WriteFailed, Tr("не удалось сжать изображение")};
    return CSafeSave::WriteBytes(path, bytes);
}
