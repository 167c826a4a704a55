#pragma once

#include "analysis/CSurveyComparison.h"
#include "core/CSafeSave.h"
#include "data/GaugeRecords.h"

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

// The readings chart of the analysis tab: thickness against cell number for
// one data file, in the file's display unit. LOS cells break the line and get
// a marker on the cell axis; readings below the required thickness are red
// points; X(avg), the required and the nominal thickness are horizontal
// lines; an earlier survey of the same object is drawn as a second series in
// the same unit.
//
// The series are made once and refilled on every change, so that clicking
// through data files costs no chart rebuild. The contents of every series can
// be read back (tests check what is drawn, not the pixels).
class CAnalysisChart : public QObject
{
    Q_OBJECT

public:
    enum Line
    {
        AverageLine,
        RequiredLine,
        NominalLine,
        LineCount
    };

    static QSize ExportSize() { return QSize(1400, 800); }

    explicit CAnalysisChart(QObject* parent = nullptr);
    ~CAnalysisChart() override;

    // The unit and decimals the chart and the comparison show: the current
    // file's; the earlier survey's when nothing valid was measured now.
    static CSurveyComparison::Unit ShownUnit(const DataFileRecord& current,
                                             const DataFileRecord* previous);
    static int ShownDecimals(const DataFileRecord& current, const DataFileRecord* previous);

    // The chart (owned by this object until a chart view or a scene takes it).
    QChart* Chart() const { return m_chart; }

    // Draws the current file, and the earlier survey when previous is given.
    // Thicknesses of the options are in the current file's display unit.
    void SetData(const DataFileRecord& current, const QString& currentName,
                 const CSurveyComparison::Options& options,
                 const DataFileRecord* previous = nullptr, const QString& previousName = {});
    // Nothing drawn (no data file selected).
    void Clear();
    bool IsEmpty() const { return !m_current.has_value(); }

    // What is drawn. Segments: the line pieces between LOS cells, each a list
    // of (cell, thickness) in cell order.
    QList<QList<QPointF>> Segments(bool previous = false) const;
    // Points of the current survey at or above the required thickness, and
    // those below it (red).
    QList<QPointF> Points() const;
    QList<QPointF> BelowPoints() const;
    QList<QPointF> PreviousPoints() const;
    // Cells of the current file marked LOS on the cell axis.
    QList<int> LosCells() const;
    // The value of a horizontal line, NaN when it is not drawn; its legend text.
    double LineValue(Line line) const;
    QString LineName(Line line) const;
    QString UnitText() const; // display unit of the current file

    // Tool tip of a point: cell number, thickness, unit, date and time.
    QString PointText(int cell, bool previous = false) const;

    // What the chart was given (null / empty before SetData()).
    const DataFileRecord* CurrentFile() const { return m_current ? &m_current->file : nullptr; }
    const DataFileRecord* PreviousFile() const { return m_previous ? &m_previous->file : nullptr; }
    QString CurrentName() const { return m_current ? m_current->name : QString(); }
    QString PreviousName() const { return m_previous ? m_previous->name : QString(); }
    const CSurveyComparison::Options& Options() const { return m_options; }

    // The chart drawn anew at a fixed size, independent of any view showing it.
    QImage Render(const QSize& size = ExportSize()) const;
    // Drawn anew, laid out at `layout` and scaled into target (vector output
    // on a PDF page).
    void Paint(QPainter* painter, const QRectF& target, const QSize& layout,
               Qt::Alignment legend = Qt::AlignBottom) const;
    CSafeSave::Result SavePng(const QString& path, const QSize& size = ExportSize()) const;

Q_SIGNALS:
    // A point of a survey under the mouse (state false: the mouse left it).
    void PointHovered(int cell, bool previous, bool state);
    // A point of the current survey clicked (cell numbers from 1).
    void PointClicked(int cell);

private:
    struct Survey
    {
        DataFileRecord file;
        QString name;
    };

    QPointer<QChart> m_chart;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QList<QLineSeries*> m_segments;         // current survey, pooled
    QList<QLineSeries*> m_previousSegments; // earlier survey, pooled
    QScatterSeries* m_below = nullptr;
    QScatterSeries* m_los = nullptr;
    QLineSeries* m_lines[LineCount] = {};

    std::optional<Survey> m_current;
    std::optional<Survey> m_previous;
    CSurveyComparison::Options m_options;
    CSurveyComparison::Unit m_unit = CSurveyComparison::Millimetres;
    int m_decimals = 1;

    QLineSeries* NewSegment(bool previous);
    void AttachSeries(QXYSeries* series);
    void FillSegments(QList<QLineSeries*>* pool, bool previous,
                      const QList<QList<QPointF>>& segments, const QList<QPointF>& red = {});
    void HideSegmentMarkers();
    void RenderTo(QPainter* painter, const QRectF& target, const QSize& size) const;

public:
    // Lays a chart out at the given size in a scene of its own, away from any
    // view, paints it into target and hands it back before the scene goes.
    // The frame the program's charts share: no animation, the legend below,
    // narrow margins, value axes with dynamic ticks (the x axis titled, whole
    // numbers, ticks from xAnchor). wholeLabels: labels never cut to "1...".
    static QChart* NewChart(const QString& xTitle, qreal xAnchor, bool wholeLabels,
                            QValueAxis** axisX, QValueAxis** axisY);
    static void RenderChart(QChart* chart, QPainter* painter, const QRectF& target,
                            const QSize& size);
};
