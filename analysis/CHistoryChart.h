#pragma once

#include "analysis/CObjectHistory.h"
#include "core/CSafeSave.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QString>

#include <optional>

#include <QChart>
class QImage;
class QLineSeries;
class QPainter;
class QScatterSeries;
class QValueAxis;
class QXYSeries;

// The trend of one location of an object: its readings against their dates
// in the object's display unit, the W and E marks, the regression line
// extended to the required thickness with the date it reaches it, and the
// required and nominal thickness as horizontal lines.
//
// The chart keeps a copy of what it draws (the location, the unit, the
// thresholds), so that it can be drawn again at any size after the history
// it came from is gone. The series are made once and refilled for every
// location; their contents can be read back (tests check what is drawn).
class CHistoryChart : public QObject
{
    Q_OBJECT

public:
    enum Line
    {
        RequiredLine,
        NominalLine,
        LineCount
    };

    static QSize ExportSize() { return QSize(1400, 800); }

    explicit CHistoryChart(QObject* parent = nullptr);
    ~CHistoryChart() override;

    QChart* Chart() const { return m_chart; }

    // Draws the location of the history (an index into Locations()); an
    // index out of range clears the chart.
    void SetLocation(const CObjectHistory& history, int locationIndex);
    void Clear();
    bool IsEmpty() const { return !m_shown.has_value(); }

    // The x of a date on the chart: the year and the part of it gone at the
    // day's start (1 July 2024 = 2024.4945), so that the ticks fall on whole
    // years.
    static qreal X(const QDate& date);
    static QDate DateAt(qreal x);

    // What is drawn, (X(date), thickness in the display unit):
    // the readings the rates use, joined by the line;
    QList<QPointF> Points() const;
    // readings marked W, and marked E (accepted ones included);
    QList<QPointF> MarkPoints(CObjectHistory::Check check) const;
    // E readings left out of the rates (not accepted);
    QList<QPointF> LeftOutPoints() const;
    // LOS readings, on the date axis;
    QList<QDate> LosDates() const;
    // the two ends of the regression line (empty when none): from the first
    // used reading to where it reaches the required thickness, or to the
    // chart's end when that lies too far ahead;
    QList<QPointF> RegressionPoints() const;
    // where the line reaches the required thickness (invalid when it does not);
    QDate ProjectedDate() const;
    double LineValue(Line line) const; // NaN when not drawn
    QString LineName(Line line) const;
    QString Title() const;
    int Cell() const; // the location's cell number, 0 when nothing is drawn

    // Tool tip of a reading point.
    QString PointText(const QPointF& point) const;

    QImage Render(const QSize& size = ExportSize()) const;
    void Paint(QPainter* painter, const QRectF& target, const QSize& layout,
               Qt::Alignment legend = Qt::AlignBottom) const;
    CSafeSave::Result SavePng(const QString& path, const QSize& size = ExportSize()) const;

    // The location's chart saved as the window saves it, without a window:
    // false with *error (the message to show) when it cannot be written.
    static bool SavePng(const CObjectHistory& history, int locationIndex, const QString& path,
                        QString* error);

Q_SIGNALS:
    void PointHovered(const QPointF& point, bool state);

private:
    // What one location's chart shows, kept apart from the history.
    struct Shown
    {
        QString object;
        CObjectHistory::Location location;
        CSurveyComparison::Unit unit = CSurveyComparison::Millimetres;
        int decimals = 1;
        double requiredMm = CObjectHistory::kNone;
        double nominalMm = CObjectHistory::kNone;
        QStringList surveyNames; // by survey index
    };

    QPointer<QChart> m_chart;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QLineSeries* m_readings = nullptr;
    QScatterSeries* m_w = nullptr;
    QScatterSeries* m_e = nullptr;         // left out of the rates
    QScatterSeries* m_eAccepted = nullptr; // accepted by the user
    QScatterSeries* m_los = nullptr;
    QLineSeries* m_regression = nullptr;
    QScatterSeries* m_projected = nullptr;
    QLineSeries* m_lines[LineCount] = {};
    std::optional<Shown> m_shown;

    void AttachSeries(QXYSeries* series);
    void Draw(const Shown& shown);
    double Value(double mm) const;
    QString UnitText() const;
    void RenderTo(QPainter* painter, const QRectF& target, const QSize& size) const;
};
