#include "tools/CMaterialsCsv.h"

#include "core/CInputLimits.h"

#include "data/CAnsiText.h"

#include <QCoreApplication>

#include <cmath>
#include <cstring>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CMaterialsEditorDialog", text);
}

// Cuts a text to n characters without splitting a surrogate pair.
QString LeftChars(const QString& text, int n)
{
    int units = 0;
    int chars = 0;
    while (units < text.size() && chars < n)
    {
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size() &&
                  text.at(units + 1).isLowSurrogate())
                     ? 2
                     : 1;
        ++chars;
    }
    return text.left(units);
}

void FinishClampText(CMaterialsCsv::ReadResult& result)
{
    if (result.clampedLines.isEmpty())
        return;
    QStringList lines;
    for (int line : result.clampedLines)
        lines.append(QString::number(line));
    result.clampText = Tr("Коэффициент в строках %1 файла вне диапазона -327.68 ... 327.67, "
                          "который может хранить прибор: взято ближайшее допустимое значение.")
                           .arg(lines.join(QStringLiteral(", ")));
}

int CharCount(const QString& text)
{
    int chars = 0;
    for (int i = 0; i < text.size(); ++i, ++chars)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return chars;
}
} // namespace

QString CMaterialsCsv::FormatErrorText()
{
    return Tr("Не удалось прочитать из файла список материалов: не верный формат!");
}

QString CMaterialsCsv::CorrectCell(int column, const QString& text)
{
    switch (column)
    {
    case NameColumn:
        if (CharCount(text) > kMaxNameChars)
            return LeftChars(text, kMaxNameChars);
        return text;
    case VelocityColumn:
    {
        bool ok = false;
        qint64 value = text.toLongLong(&ok, 10);
        if (!ok)
            value = 0;
        if (value < kMinVelocity)
            return QString::number(kMinVelocity);
        if (value > kMaxVelocity)
            return QString::number(kMaxVelocity);
        return text;
    }
    case CoefficientColumn:
    {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok, 10);
        if (ok && value >= 1000)
            return QStringLiteral("999");
        if (ok && value <= -1000)
            return QStringLiteral("-999");
        return text;
    }
    default:
        return text;
    }
}

CMaterialsCsv::Row CMaterialsCsv::CorrectRow(const Row& row)
{
    return Row{CorrectCell(NameColumn, row.name), CorrectCell(VelocityColumn, row.velocity),
               CorrectCell(CoefficientColumn, row.coefficient)};
}

void CMaterialsCsv::EncodeName(const QString& text, char (&field)[16])
{
    CAnsiText::Encode(text, field, int(sizeof(field)));
}

QString CMaterialsCsv::DecodeName(const char (&field)[16])
{
    return CAnsiText::Decode(field, int(sizeof(field)));
}

CMaterialsCsv::Row CMaterialsCsv::RecordToRow(const MaterialRecord& record)
{
    Row row;
    row.name = DecodeName(record.name);
    row.velocity = QString::number(record.velocity);
    row.coefficient = QString::number(double(float(record.tempCoefficient) / 100.0f), 'g', 6);
    return CorrectRow(row);
}

QList<CMaterialsCsv::Row> CMaterialsCsv::RecordsToRows(const MaterialList& records)
{
    QList<Row> rows;
    rows.reserve(records.size());
    for (const MaterialRecord& r : records)
        rows.append(RecordToRow(r));
    return rows;
}

qint64 CMaterialsCsv::CoefficientHundredths(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || std::isnan(value))
        return 0;
    // Far outside any field: keep the sign, avoid overflowing the integer.
    if (std::fabs(value) > 1e12)
        return value > 0 ? qint64(1e14) : qint64(-1e14);
    // Hundredths truncated toward zero. The small bias keeps decimal texts
    // like "0.29" (0.28999... in binary) at 29 rather than 28.
    const double scaled = value * 100.0;
    const double biased = scaled >= 0 ? scaled + 1e-6 : scaled - 1e-6;
    return qint64(std::trunc(biased));
}

bool CMaterialsCsv::CoefficientFits(qint64 hundredths)
{
    return hundredths >= kMinCoefficientHundredths && hundredths <= kMaxCoefficientHundredths;
}

bool CMaterialsCsv::RowToRecord(const Row& row, int rowNumber, MaterialRecord* record,
                                QString* error)
{
    MaterialRecord r;
    std::memset(&r, 0, sizeof(r));
    EncodeName(row.name, r.name);
    bool ok = false;
    const ushort velocity = row.velocity.toUShort(&ok, 10);
    r.velocity = ok ? velocity : 0;
    const qint64 hundredths = CoefficientHundredths(row.coefficient);
    if (!CoefficientFits(hundredths))
    {
        if (error)
            *error = Tr("Коэффициент материала '%1' в строке %2 (%3) вне допустимого "
                        "диапазона -327.68 ... 327.67.")
                         .arg(row.name)
                         .arg(rowNumber)
                         .arg(row.coefficient);
        return false;
    }
    r.tempCoefficient = qint16(hundredths);
    if (record)
        *record = r;
    return true;
}

QStringList CMaterialsCsv::ChangedValues(const Row& row, int line)
{
    QStringList changes;
    if (CharCount(row.name) > kMaxNameChars)
        changes.append(Tr("Строка %1: название '%2' длиннее %3 символов")
                           .arg(line)
                           .arg(row.name)
                           .arg(kMaxNameChars));
    bool velocityOk = false;
    row.velocity.toUShort(&velocityOk, 10);
    if (!velocityOk || CorrectCell(VelocityColumn, row.velocity) != row.velocity)
        changes.append(Tr("Строка %1: скорость '%2' не является числом от %3 до %4")
                           .arg(line)
                           .arg(row.velocity)
                           .arg(kMinVelocity)
                           .arg(kMaxVelocity));
    bool coefficientOk = false;
    const double coefficient = row.coefficient.toDouble(&coefficientOk);
    if (!coefficientOk || std::isnan(coefficient))
        changes.append(
            Tr("Строка %1: коэффициент '%2' не является числом").arg(line).arg(row.coefficient));
    else if (std::fabs(coefficient) >= 1000 ||
             CorrectCell(CoefficientColumn, row.coefficient) != row.coefficient)
        changes.append(Tr("Строка %1: коэффициент '%2' по модулю не меньше 1000")
                           .arg(line)
                           .arg(row.coefficient));
    else if (!CoefficientFits(CoefficientHundredths(row.coefficient)))
        changes.append(Tr("Строка %1: коэффициент '%2' вне диапазона -327.68 ... 327.67, который "
                          "может хранить прибор")
                           .arg(line)
                           .arg(row.coefficient));
    return changes;
}

bool CMaterialsCsv::RowsToGaugeList(const QList<Row>& rows, MaterialList* records, QString* error)
{
    if (rows.size() > kMaxGaugeRecords)
    {
        if (error)
            *error = Tr("Не удалось сохранить в устройство список материалов: прибор хранит не "
                        "более %1 материалов, в таблице %2.")
                         .arg(kMaxGaugeRecords)
                         .arg(rows.size());
        return false;
    }
    MaterialList list;
    list.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i)
    {
        MaterialRecord r;
        QString reason;
        if (!RowToRecord(rows.at(i), i + 1, &r, &reason))
        {
            if (error)
                *error = Tr("Не удалось сохранить в устройство список материалов: %1").arg(reason);
            return false;
        }
        list.append(r);
    }
    if (records)
        *records = list;
    return true;
}

CMaterialsCsv::ReadResult CMaterialsCsv::ReadBytes(const QByteArray& content)
{
    ReadResult result;
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString text = QString::fromUtf8(bytes);
    if (text.isEmpty())
        return result;

    QStringList lines = text.split(QLatin1Char('\n'));
    // A line end that closes the last line does not start another one.
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();

    for (int i = 0; i < lines.size(); ++i)
    {
        QString line = lines.at(i);
        line.remove(QLatin1Char('\r'));
        line.remove(QLatin1Char('\n'));
        line.remove(QLatin1Char('\t'));
        const QStringList parts = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (parts.size() != 3)
        {
            result.status = ReadResult::FormatError;
            result.line = i + 1;
            result.errorText = FormatErrorText();
            FinishClampText(result);
            return result;
        }
        MaterialRecord record;
        const Row row{parts.at(0), parts.at(1), parts.at(2)};
        if (!RowToRecord(row, i + 1, &record, nullptr))
        {
            // The file may come from a grid holding up to 999: keep the line,
            // with the nearest value the gauge can store, and say so.
            const qint64 hundredths = CoefficientHundredths(row.coefficient);
            Row inRange = row;
            inRange.coefficient = QStringLiteral("0");
            RowToRecord(inRange, i + 1, &record, nullptr);
            record.tempCoefficient =
                qint16(hundredths > 0 ? kMaxCoefficientHundredths : kMinCoefficientHundredths);
            result.clampedLines.append(i + 1);
        }
        result.records.append(record);
        result.rows.append(row);
    }
    FinishClampText(result);
    return result;
}

CMaterialsCsv::ReadResult CMaterialsCsv::Read(const QString& path)
{
    CInputLimits::ReadResult read = CInputLimits::ReadFile(path, CInputLimits::kMaterialsCsvBytes);
    ReadResult result;
    switch (read.status)
    {
    case CInputLimits::Status::Ok:
        return ReadBytes(read.bytes);
    case CInputLimits::Status::OpenFailed:
        result.status = ReadResult::NotOpened;
        return result;
    default:
        result.status = ReadResult::Refused;
        result.errorText = Tr("Не удалось прочитать из файла список материалов: '%1' (%2).")
                               .arg(path, CInputLimits::Reason(read));
        return result;
    }
}

QByteArray CMaterialsCsv::ToBytes(const QList<Row>& rows)
{
    QByteArray bytes("\xEF\xBB\xBF");
    for (const Row& row : rows)
        bytes += QStringLiteral("%1,%2,%3\n").arg(row.name, row.velocity, row.coefficient).toUtf8();
    return bytes;
}

bool CMaterialsCsv::Write(const QString& path, const QList<Row>& rows, CSafeSave::Result* result)
{
    const CSafeSave::Result written = CSafeSave::WriteBytes(path, ToBytes(rows));
    if (result)
        *result = written;
    return written.Ok();
}
