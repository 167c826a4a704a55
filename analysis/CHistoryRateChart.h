#pragma once

#include "analysis/CObjectHistory.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>

#include <QChart>
class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The overview of an object: the governing corrosion rate of every location
// as a bar over its cell number, coloured as the table colours the location
// (red below the required thickness, amber when its next inspection is due);
// a location with no rate is a grey mark on the cell axis. A click on a bar
// names the location's cell.
class CHistoryRateChart : public QObject
{
    Q_OBJECT

public:
    explicit CHistoryRateChart(QObject* parent = nullptr);
    ~CHistoryRateChart() override;

    QChart* Chart() const { return m_chart; }

    void SetHistory(const CObjectHistory& history);
    void Clear();

    // What is drawn: (cell, governing rate in the display unit per year) of
    // the locations of one flag (NoFlag, BelowRequired or Due), and the cells
    // with no rate.
    QList<QPointF> Rates(CObjectHistory::Flag flag) const;
    QList<int> NoRateCells() const;

Q_SIGNALS:
    void CellClicked(int cell);

private:
    enum Group
    {
        Plain,
        Below,
        Due,
        GroupCount
    };
    QPointer<QChart> m_chart;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QLineSeries* m_upper[GroupCount] = {};
    QAreaSeries* m_bars[GroupCount] = {};
    QScatterSeries* m_noRate = nullptr;
    QList<QPointF> m_rates[GroupCount];
};
