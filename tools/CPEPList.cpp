#include "tools/CPEPList.h"

#include "data/CAnsiText.h"

#include <QCoreApplication>
#include <cstring>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CPEPListDialog", text);
}

bool IsEmptyEntry(const quint8* bytes)
{
    VPathEntry entry;
    std::memcpy(&entry, bytes, sizeof(entry));
    // A NaN pattern is no 0.0: such an entry counts as filled.
    return entry.actual == 0 && entry.measured == 0.0f && entry.error == 0.0f;
}
} // namespace

QStringList CPEPList::Headers()
{
    return {Tr("Имя"),      Tr("Тип"),        Tr("Частота"), Tr("Задержка"),
            Tr("Диапазон"), Tr("Серийный №"), Tr("V-Path")};
}

bool CPEPList::HasFullVPath(const PEPListRecord& record)
{
    int filled = 0;
    while (filled < 10 && !IsEmptyEntry(record.vpath + 10 * filled))
        ++filled;
    return filled == 10;
}

QStringList CPEPList::RowTexts(const PEPListRecord& record)
{
    QString type;
    switch (record.type)
    {
    case 0:
        type = Tr("РС");
        break;
    case 1:
        type = Tr("ПС");
        break;
    default:
        type = Tr("Н/Д");
        break;
    }
    const unsigned from = record.rangeFrom == 0xFF ? 0u : record.rangeFrom;
    const bool toGiven = record.rangeTo != 0xFFFF;
    const unsigned to = toGiven ? record.rangeTo : 0u;
    const quint16 frequency = record.frequency;
    const quint32 delay = record.delay;
    const quint32 serial = record.serialNumber;
    return {
        CAnsiText::Decode(record.name, int(sizeof(record.name))), type,
        Tr("%1.%2 МГц").arg(frequency / 10).arg(frequency % 10),
        Tr("%1.%2 нс").arg(delay / 10).arg(delay % 10),
        // An upper bound not given has no figure to show.
        Tr("%1.%2 - %3 мм")
            .arg(from / 10)
            .arg(from % 10)
            .arg(toGiven ? QStringLiteral("%1.%2").arg(to / 10).arg(to % 10) : QStringLiteral("—")),
        QString::number(serial), HasFullVPath(record) ? Tr("Да") : Tr("Нет")};
}

QString CPEPList::DownloadFailedText()
{
    return Tr("Не удалось получить список ПЭП из устройства.");
}
