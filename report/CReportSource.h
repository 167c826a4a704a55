#pragma once

#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The data file a report's results were filled from: its name and, when the
// results were filled from a loaded data file, a fingerprint of its readings,
// so that a file of the same name with other readings counts as another file.
class CReportSource
{
public:
    CReportSource() = default;
    static CReportSource Of(const DataFileRecord& file);
    // The source of rows read back from a report file: the name their first
    // column shares; unknown when they name several files or none.
    static CReportSource FromRows(const QList<QStringList>& rows);

    bool IsKnown() const { return !m_name.isEmpty() || !m_readings.isEmpty(); }
    const QString& Name() const { return m_name; }
    // Same name, and the same readings where both are known.
    bool SameFileAs(const CReportSource& other) const;
    bool operator==(const CReportSource& other) const
    {
        return m_name == other.m_name && m_readings == other.m_readings;
    }

private:
    QString m_name;
    QByteArray m_readings;
};
