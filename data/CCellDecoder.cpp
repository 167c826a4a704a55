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

float CCellDecoder::ValueFromText(const QString& resultText)
{
    bool ok = false;
    const float value = resultText.toFloat(&ok);
    return ok ? value : 0.0f;
}

float CCellDecoder::LowerBound(Unit unit)
{
    // The single-precision numbers nearest to 0.4 mm in either unit.
    static constexpr float inches = float(0.4 / 25.4);
    return unit == Unit::Inches ? inches : 0.4f;
}

float CCellDecoder::UpperBound(Unit unit)
{
    static constexpr float inches = float(600.0 / 25.4);
    return unit == Unit::Inches ? inches : 600.0f;
}

bool CCellDecoder::IsValidValue(float value, Unit unit)
{
    return value >= LowerBound(unit) && value <= UpperBound(unit);
}

CCellDecoder::Unit CCellDecoder::UnitOfText(const QString& unitsText)
{
    return unitsText.trimmed() == InchesText() ? Unit::Inches : Unit::Millimetres;
}

QString CCellDecoder::ResultText(const CellRecord& cell)
{
    return QString::number(double(Value(cell)), 'f', Decimals(cell));
}

QString CCellDecoder::MillimetresText()
{
    return Tr("мм");
}

QString CCellDecoder::InchesText()
{
    return Tr("дюйм");
}

QString CCellDecoder::UnitsText(const CellRecord& cell)
{
    return IsInches(cell) ? InchesText() : MillimetresText();
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

namespace
{
// The alphabet's value of every ASCII character, -1 for the others: a table
// rather than range tests, whose branches the random digits of a row keep
// mispredicting (a full database has some 1.2 million of them).
struct Base64Table
{
    qint8 digit[128];
    constexpr Base64Table() : digit()
    {
        for (int c = 0; c < 128; ++c)
            digit[c] = -1;
        for (int i = 0; i < 26; ++i)
        {
            digit['A' + i] = qint8(i);
            digit['a' + i] = qint8(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            digit['0' + i] = qint8(52 + i);
        digit[int('+')] = 62;
        digit[int('/')] = 63;
    }
};
constexpr Base64Table kBase64;

int Base64Digit(char16_t c)
{
    return c < 128 ? kBase64.digit[c] : -1;
}

// The form every writer produces: 31 alphabet characters and one "=". Decoded
// in place; anything else goes the lenient way below.
bool DecodeCanonical(const QString& text, quint8 (&out)[sizeof(CellRecord)])
{
    if (text.size() != 32 || text.at(31) != QLatin1Char('='))
        return false;
    int digits[31];
    for (int i = 0; i < 31; ++i)
        if ((digits[i] = Base64Digit(text.at(i).unicode())) < 0)
            return false;
    int o = 0;
    for (int i = 0; i < 28; i += 4)
    {
        const quint32 group = (quint32(digits[i]) << 18) | (quint32(digits[i + 1]) << 12) |
                              (quint32(digits[i + 2]) << 6) | quint32(digits[i + 3]);
        out[o++] = quint8(group >> 16);
        out[o++] = quint8(group >> 8);
        out[o++] = quint8(group);
    }
    const quint32 tail =
        (quint32(digits[28]) << 18) | (quint32(digits[29]) << 12) | (quint32(digits[30]) << 6);
    out[o++] = quint8(tail >> 16);
    out[o++] = quint8(tail >> 8);
    return o == int(sizeof(CellRecord));
}
} // namespace

bool CCellDecoder::FromBase64(const QString& text, CellRecord* cell)
{
    quint8 canonical[sizeof(CellRecord)];
    if (DecodeCanonical(text, canonical))
    {
        if (cell)
            std::memcpy(cell, canonical, sizeof(CellRecord));
        return true;
    }
    // Texts written by hand may carry blanks or other characters that the
    // decoder skips; the result must still be exactly one cell.
    const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
    if (bytes.size() != int(sizeof(CellRecord)))
        return false;
    if (cell)
        std::memcpy(cell, bytes.constData(), sizeof(CellRecord));
    return true;
}
