#pragma once

#include "core/CSafeSave.h"

#include <QString>
#include <QStringList>

class CObjectHistory;

// The history of an object as a printable A4 document: a title naming the
// object, its surveys, the settings the figures were computed with, the
// summary, the per-location table (its header repeated on every page, the
// rows coloured as on screen), and the trend chart of the governing
// location, with the page numbers at the foot of each page.
class CHistoryDocument
{
public:
    explicit CHistoryDocument(const CObjectHistory& history);

    // The texts above the table, one per line: the title, then the core's
    // summary (surveys, settings, figures) with the surveys listed.
    QStringList HeadLines() const;

    CSafeSave::Result SavePdf(const QString& path) const;

    // The document saved without a window: false with *error (the message to
    // show) when it cannot be written.
    static bool WritePdf(const CObjectHistory& history, const QString& path, QString* error);

    static constexpr qreal kTitlePoints = 15;
    static constexpr qreal kBodyPoints = 10;
    static constexpr qreal kTablePoints = 9;

private:
    const CObjectHistory& m_history;

    bool Write(const QString& path) const;
};
