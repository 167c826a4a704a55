#include "tools/CPEPImage.h"

#include "device/CCrc16.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CPEPParamsEditorDialog", text);
}

// The largest tenths a one-byte field holds: FF itself means "not given".
constexpr int kMaxByteTenths = 254;
constexpr quint16 kNotGivenWord = 0xFFFF;
constexpr quint8 kNotGivenByte = 0xFF;
constexpr int kNotGivenCode = 127; // "Н/Д" of the mode and material fields

// Truncation toward zero that stays defined for any double.
qint64 Truncate(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.0e18)
        return std::numeric_limits<qint64>::max();
    if (value <= -9.0e18)
        return std::numeric_limits<qint64>::min();
    return qint64(value);
}

// A text read as single precision; anything that is no number gives 0.
float ReadFloat(const QString& text)
{
    bool ok = false;
    const float value = text.trimmed().toFloat(&ok);
    return ok ? value : 0.0f;
}

// Tenths of a single-precision text, computed in single precision as the
// field has always been filled.
qint64 FloatTenths(const QString& text)
{
    const float tenths = ReadFloat(text) * 10.0f;
    return Truncate(double(tenths));
}

QString Tenths(unsigned value)
{
    return QStringLiteral("%1.%2").arg(value / 10).arg(value % 10);
}

// The first bytes of the UTF-8 name that fit the field, never half a
// character: a cut sequence would read back as a different name.
QByteArray NameBytes(const QString& name, int size)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size();)
    {
        const qsizetype length =
            (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        const QByteArray character = name.mid(i, length).toUtf8();
        if (bytes.size() + character.size() > size)
            break;
        bytes += character;
        i += length;
    }
    return bytes;
}
} // namespace

QStringList CPEPImage::TypeItems()
{
    return {Tr("РС"), Tr("ПС"), Tr("Н/Д")};
}

QStringList CPEPImage::ModeItems()
{
    return {Tr("Тип 1/П-Э1"), Tr("Тип 2/Э0-Э1"), Tr("Тип 3/Э1-Э2"), Tr("Н/Д")};
}

QStringList CPEPImage::MaterialItems()
{
    return {Tr("М (металл)"), Tr("П (пластик/полимер)"), Tr("Н/Д")};
}

QStringList CPEPImage::VPathRowLabels()
{
    return {Tr("Фактическая толщина тест-блока, мм"), Tr("Измеренная (реальная) толщина, мм"),
            Tr("Погрешность (обхода) V-образного пути, мм")};
}

PEPEepromImage CPEPImage::Erased()
{
    PEPEepromImage image;
    std::memset(&image, 0xFF, sizeof(image));
    return image;
}

PEPEepromImage CPEPImage::Overlay(const PEPEepromImage& base, const QByteArray& content)
{
    PEPEepromImage image = base;
    std::memcpy(&image, content.constData(), size_t(qMin<qsizetype>(content.size(), kSize)));
    return image;
}

QByteArray CPEPImage::ToBytes(const PEPEepromImage& image)
{
    return QByteArray(reinterpret_cast<const char*>(&image), kSize);
}

quint16 CPEPImage::ComputeCrc(const PEPEepromImage& image)
{
    PEPEepromImage copy = image;
    copy.crc = 0;
    return Crc16(&copy, quint16(kSize));
}

bool CPEPImage::CrcMatches(const PEPEepromImage& image)
{
    return ComputeCrc(image) == image.crc;
}

QDate CPEPImage::UnpackDate(quint16 word)
{
    if (word == 0 || word == kNotGivenWord)
        return {};
    const QDate date(2000 + (word & 0x7F), (word >> 7) & 0x0F, word >> 11);
    return date.isValid() ? date : QDate();
}

quint16 CPEPImage::PackDate(const QDate& date)
{
    return quint16((date.day() << 11) | (date.month() << 7) | ((date.year() + 48) % 128));
}

CPEPImage::Form CPEPImage::ToForm(const PEPEepromImage& image)
{
    Form form;
    const void* nul = std::memchr(image.name, 0, sizeof(image.name));
    const int nameLength =
        nul ? int(static_cast<const char*>(nul) - image.name) : int(sizeof(image.name));
    form.name = QString::fromUtf8(image.name, nameLength);

    const int type = image.typeWord >> 14;
    const int mode = (image.typeWord >> 7) & 0x7F;
    const int material = image.typeWord & 0x7F;
    const int typeCount = int(TypeItems().size());
    const int modeCount = int(ModeItems().size());
    const int materialCount = int(MaterialItems().size());
    form.typeIndex = type < typeCount ? type : typeCount - 1;
    form.modeIndex = mode < modeCount ? mode : modeCount - 1;
    form.materialIndex = material < materialCount ? material : materialCount - 1;

    form.frequency =
        image.frequency == kNotGivenByte ? QStringLiteral("0") : Tenths(image.frequency);
    form.delay = image.delay == kNotGivenWord ? QStringLiteral("0") : QString::number(image.delay);
    form.probeLength = image.probeLength == kNotGivenWord ? QStringLiteral("0")
                                                          : QString::number(image.probeLength);
    if (image.rangeFrom == kNotGivenByte || image.rangeTo == kNotGivenWord)
    {
        form.rangeFrom = 0.0;
        form.rangeTo = 0.0;
    }
    else
    {
        form.rangeFrom = Tenths(image.rangeFrom).toDouble();
        form.rangeTo = Tenths(image.rangeTo).toDouble();
    }
    form.serialNumber = QString::number(image.serialNumber);
    form.manufactureDate = UnpackDate(image.manufactureDate);
    form.revisionDate = UnpackDate(image.revisionDate);

    for (int k = 0; k < kVPathColumns; ++k)
    {
        const VPathEntry& entry = image.vpath[k];
        // A NaN pattern is no 0.0, so an erased entry shows as filled.
        const float measured = entry.measured;
        const float error = entry.error;
        if (entry.actual == 0 || measured == 0.0f)
            continue;
        form.vpath[0][k] = QString::number(entry.actual / 10.0, 'f', 1);
        form.vpath[1][k] = QString::number(double(measured), 'g', 3);
        form.vpath[2][k] = QString::number(double(error), 'g', 3);
    }
    return form;
}

CPEPImage::Decoded CPEPImage::DecodeFile(const QByteArray& bytes)
{
    Decoded decoded;
    decoded.image = Overlay(Erased(), bytes);
    decoded.crcOk = CrcMatches(decoded.image);
    if (decoded.crcOk)
        decoded.form = ToForm(decoded.image);
    return decoded;
}

bool CPEPImage::ReadFile(const QString& path, QByteArray* bytes)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.read(kSize);
    return true;
}

bool CPEPImage::FromForm(const Form& form, PEPEepromImage* image, QString* error)
{
    const qint64 frequency = FloatTenths(form.frequency);
    if (frequency < 0 || frequency > kMaxByteTenths)
    {
        if (error)
            *error = Tr("Значение поля \"Частота, МГц\" не может быть записано в ПЭП: допустимы "
                        "значения от 0.0 до 25.4.");
        return false;
    }
    const qint64 rangeFrom = Truncate(form.rangeFrom * 10.0);
    if (rangeFrom < 0 || rangeFrom > kMaxByteTenths)
    {
        if (error)
            *error = Tr("Нижняя граница поля \"Диапазон, мм\" не может быть записана в ПЭП: "
                        "допустимы значения от 0.0 до 25.4.");
        return false;
    }

    PEPEepromImage& out = *image;
    std::memset(out.name, 0, sizeof(out.name));
    const QByteArray name = NameBytes(form.name, int(sizeof(out.name)));
    std::memcpy(out.name, name.constData(), size_t(name.size()));

    const int typeLast = int(TypeItems().size()) - 1;
    const int modeLast = int(ModeItems().size()) - 1;
    const int materialLast = int(MaterialItems().size()) - 1;
    const int type = qBound(0, form.typeIndex, typeLast);
    const int mode =
        form.modeIndex >= 0 && form.modeIndex < modeLast ? form.modeIndex : kNotGivenCode;
    const int material = form.materialIndex >= 0 && form.materialIndex < materialLast
                             ? form.materialIndex
                             : kNotGivenCode;
    out.typeWord = quint16((type << 14) | (mode << 7) | material);

    out.frequency = quint8(frequency);
    out.delay = form.delay.trimmed().toUShort();
    out.probeLength = quint16(form.probeLength.trimmed().toShort());
    out.rangeFrom = quint8(rangeFrom);
    out.rangeTo = quint16(Truncate(form.rangeTo * 10.0));
    out.serialNumber = form.serialNumber.trimmed().toUInt();
    if (form.manufactureDate.isValid())
        out.manufactureDate = PackDate(form.manufactureDate);
    if (form.revisionDate.isValid())
        out.revisionDate = PackDate(form.revisionDate);

    for (int k = 0; k < kVPathColumns; ++k)
    {
        if (form.vpath[0][k].isEmpty() || form.vpath[1][k].isEmpty() || form.vpath[2][k].isEmpty())
            continue;
        VPathEntry& entry = out.vpath[k];
        entry.actual = quint16(FloatTenths(form.vpath[0][k]));
        entry.measured = ReadFloat(form.vpath[1][k]);
        entry.error = ReadFloat(form.vpath[2][k]);
    }

    out.crc = 0;
    out.crc = Crc16(&out, quint16(kSize));
    return true;
}

QList<QPair<QString, QStringList>> CPEPImage::ShowLines(const PEPEepromImage& image,
                                                        const QDate& today)
{
    const Form form = ToForm(image);
    const bool rangeGiven = image.rangeFrom != kNotGivenByte && image.rangeTo != kNotGivenWord;
    const auto date = [&](const QDate& d)
    { return (d.isValid() ? d : today).toString(QStringLiteral("dd.MM.yyyy")); };

    QList<QPair<QString, QStringList>> lines;
    lines.append({Tr("Наименование ПЭП"), {form.name}});
    lines.append({Tr("Тип ПЭП"), {TypeItems().at(form.typeIndex)}});
    lines.append({Tr("Частота, МГц"), {form.frequency}});
    lines.append({Tr("Задержка, нс"), {form.delay}});
    lines.append({Tr("Длительность ЗИ, нс"), {form.probeLength}});
    lines.append(
        {Tr("Диапазон, мм"), {rangeGiven ? Tenths(image.rangeFrom) : QStringLiteral("0.0")}});
    lines.append(
        {QStringLiteral("-"), {rangeGiven ? Tenths(image.rangeTo) : QStringLiteral("0.0")}});
    lines.append({Tr("Серийный номер ПЭП"), {form.serialNumber}});
    lines.append({Tr("Режим измерения"), {ModeItems().at(form.modeIndex)}});
    lines.append({Tr("Исследуемый материал"), {MaterialItems().at(form.materialIndex)}});
    lines.append({Tr("Дата изготовления"), {date(form.manufactureDate)}});
    lines.append({Tr("Дата проверки"), {date(form.revisionDate)}});
    const QStringList labels = VPathRowLabels();
    for (int row = 0; row < kVPathRows; ++row)
    {
        QStringList cells;
        for (int k = 0; k < kVPathColumns; ++k)
            cells.append(form.vpath[row][k]);
        lines.append({labels.at(row), cells});
    }
    return lines;
}

QString CPEPImage::CrcWarningText()
{
    return Tr("ВНИМАНИЕ: Полученые данные не являются данными параметров ПЭП.\r\n"
              "Возможные причины этого сообщения:\r\n"
              "    - Возможно в подключеном ПЭП нет информации;\r\n"
              "    - Возможно данные были повреждены из-за ошибки записи;\r\n"
              "    - Возможно подключенный ПЭП не исправен.");
}

QString CPEPImage::DeviceReadFailedText()
{
    return Tr("Не удалось прочитать данные из EEPROM ПЭП.");
}

QString CPEPImage::DeviceWriteFailedText()
{
    return Tr("Не удалось записать данные в EEPROM ПЭП.");
}

QString CPEPImage::FileReadFailedText()
{
    return Tr("Не удалось прочитать данные из файла.");
}

QString CPEPImage::FileWriteFailedText()
{
    return Tr("Не удалось записать данные в файл.");
}

QString CPEPImage::DeviceWrittenText()
{
    return Tr("Данные успешно записаны в EEPROM ПЭП.");
}

QString CPEPImage::FileSavedText()
{
    return Tr("Данные успешно сохранены в файл.");
}

QString CPEPImage::WriteNotAllowedText()
{
    return Tr("Запись в EEPROM ПЭП не разрешена: установите флажок \"Запись в EEPROM\" и "
              "повторите попытку.");
}
