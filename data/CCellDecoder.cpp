#include "data/CCellDecoder.h"

#include "data/CAnsiText.h"

#include <QCoreApplication>
#include <QDate>
#include <QTime>
#include <cstring>

// The records are kept as the gauge sends them (little-endian).
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "cell records are read in place");

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CCellDecoder", text);
}
} // namespace

float CCellDecoder::Value(const CellRecord& cell)
{
    const float whole = float(cell.intPart);
    switch (Decimals(cell))
    {
    case 1:
        return whole + float(cell.fracPart) / 10.0f;
    case 2:
        return whole + float(cell.fracPart) / 100.0f;
    default:
        return whole;
    }
}

bool CCellDecoder::IsValidValue(float value)
{
    return value >= 0.4f && value <= 600.0f;
}

QString CCellDecoder::ResultText(const CellRecord& cell)
{
    return QString::number(double(Value(cell)), 'f', Decimals(cell));
}

QString CCellDecoder::UnitsText(const CellRecord& cell)
{
    return IsInches(cell) ? Tr("дюйм") : Tr("мм");
}

QString CCellDecoder::NoMaterialText()
{
    return Tr("Н/Д");
}

QString CCellDecoder::MaterialText(const CellRecord& cell, const MaterialList& materials)
{
    const quint16 velocity = cell.velocity;
    for (const MaterialRecord& m : materials)
        if (m.velocity == velocity)
            return CAnsiText::Decode(m.name, int(sizeof(m.name)));
    return NoMaterialText();
}

QString CCellDecoder::VelocityText(const CellRecord& cell)
{
    return Tr("%1 м/c").arg(uint(cell.velocity));
}

QString CCellDecoder::PepIdentText(const CellRecord& cell)
{
    return CAnsiText::Decode(cell.pepIdent, int(sizeof(cell.pepIdent)));
}

QString CCellDecoder::PepSerialText(const CellRecord& cell)
{
    return QString::number(quint32(cell.pepSerial));
}

QString CCellDecoder::TemperatureText(const CellRecord& cell)
{
    return QStringLiteral("%1 C°").arg(int(cell.temperature));
}

QString CCellDecoder::TimeText(const CellRecord& cell)
{
    const quint16 packed = cell.time;
    const int hour = packed >> 8;
    const int minute = packed & 0xFF;
    if (!QTime::isValid(hour, minute, 0))
        return {};
    return QTime(hour, minute, 0).toString(QStringLiteral("hh:mm"));
}

QString CCellDecoder::DateText(const CellRecord& cell)
{
    const quint16 packed = cell.date;
    const int year = (packed >> 9) + 2000;
    const int month = (packed >> 5) & 0x0F;
    const int day = packed & 0x1F;
    if (!QDate::isValid(year, month, day))
        return {};
    return QDate(year, month, day).toString(QStringLiteral("dd.MM.yyyy"));
}

QStringList CCellDecoder::RowTexts(const CellRecord& cell, const MaterialList& materials)
{
    return {ResultText(cell),      UnitsText(cell),    MaterialText(cell, materials),
            VelocityText(cell),    PepIdentText(cell), PepSerialText(cell),
            TemperatureText(cell), TimeText(cell),     DateText(cell)};
}

QStringList CCellDecoder::Headers()
{
    return {Tr("Результат"),   Tr("Ед. изм."),     Tr("Материал"),
            Tr("Скорость"),    Tr("ПЭП/Идент"),    Tr("ПЭП/Сер. №"),
            Tr("Температура"), Tr("Время замера"), Tr("Дата замера")};
}

QString CCellDecoder::ToBase64(const CellRecord& cell)
{
    const QByteArray bytes(reinterpret_cast<const char*>(&cell), int(sizeof(cell)));
    return QString::fromLatin1(bytes.toBase64());
}

bool CCellDecoder::FromBase64(const QString& text, CellRecord* cell)
{
    // A database holds tens of thousands of rows: the usual short text is
    // narrowed on the stack instead of in a temporary array.
    char narrow[64];
    QByteArray latin;
    if (text.size() <= qsizetype(sizeof(narrow)))
    {
        for (qsizetype i = 0; i < text.size(); ++i)
        {
            const char16_t c = text.at(i).unicode();
            narrow[i] = c < 256 ? char(c) : '?';
        }
        latin = QByteArray::fromRawData(narrow, text.size());
    }
    else
        latin = text.toLatin1();
    const QByteArray bytes = QByteArray::fromBase64(latin);
    if (bytes.size() != int(sizeof(CellRecord)))
        return false;
    if (cell)
        std::memcpy(cell, bytes.constData(), sizeof(CellRecord));
    return true;
}
