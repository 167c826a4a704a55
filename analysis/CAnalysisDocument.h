#pragma once

#include "core/CSafeSave.h"

#include <QString>

class CAnalysisChart;
class QTextDocument;

// The analysis of a data file as a printable A4 document: a title naming the
// object, both surveys with their dates, the required and nominal thickness,
// the summary lines, the chart, then the table (its header repeated on every
// page), with the page numbers at the foot of each page.
class CAnalysisDocument
{
public:
    // chart: what the tab shows (files, names and typed values come from it);
    // previousSource: where the earlier survey was taken from, as the tab names it.
    CAnalysisDocument(const CAnalysisChart& chart, const QString& previousSource);

    // The texts above the chart, one per line (title first).
    QStringList HeadLines() const;

    CSafeSave::Result SavePdf(const QString& path) const;

    // Sizes in points: the body and the table never below 9 pt on paper.
    static constexpr qreal kTitlePoints = 15;
    static constexpr qreal kBodyPoints = 10;
    static constexpr qreal kTablePoints = 9;

private:
    const CAnalysisChart& m_chart;
    QString m_previousSource;

    bool Write(const QString& path) const;
};
