#include "report/CReportSource.h"

#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "report/CReportData.h"

#include <QCryptographicHash>

CReportSource CReportSource::Of(const DataFileRecord& file)
{
    CReportSource source;
    source.m_name = CDataStorage::FileName(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView("cells"));
    for (const CellRecord& cell : file.cells)
        hash.addData(CCellDecoder::ToBase64(cell).toLatin1());
    source.m_readings = hash.result();
    return source;
}

CReportSource CReportSource::FromRows(const QList<QStringList>& rows)
{
    CReportSource source;
    for (const QStringList& cells : rows)
    {
        const QString name = cells.value(CReportData::FileColumn);
        if (name.isEmpty())
            continue;
        if (!source.m_name.isEmpty() && name != source.m_name)
            return CReportSource();
        source.m_name = name;
    }
    return source;
}

bool CReportSource::SameFileAs(const CReportSource& other) const
{
    if (m_name != other.m_name)
        return false;
    return m_readings.isEmpty() || other.m_readings.isEmpty() || m_readings == other.m_readings;
}
