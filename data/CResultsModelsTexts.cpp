// The texts of the results tables, apart from the models they fill: the
// command line prints them without Qt Gui, where the models live.
#include "data/CResultsModels.h"

#include "data/CDataStorage.h"

#include <QCoreApplication>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CResultsModels", text);
}
} // namespace

QStringList CResultsModels::FilesHeaders()
{
    return {Tr("Файл данных"), Tr("Исп. ячейки")};
}

QString CResultsModels::NoRecordsText()
{
    return Tr("Нет записей");
}

QStringList CResultsModels::FileRowTexts(const DataFileRecord& file)
{
    const int records = file.header.records;
    QString count;
    if (records == 0 || records == 255)
        count = NoRecordsText();
    else if (!file.IsIncomplete())
        count = QStringLiteral("1 - %1").arg(records);
    else if (file.cells.isEmpty())
        count = Tr("0 из %1").arg(records);
    else
        // The cells held, of those the header announces.
        count = Tr("1 - %1 из %2").arg(file.cells.size()).arg(records);
    return {CDataStorage::FileName(file), count};
}

QString CResultsModels::FileRowToolTip(const DataFileRecord& file)
{
    if (!file.IsIncomplete())
        return {};
    return Tr("Файл неполный: в нём %1 из %2 ячеек, указанных в заголовке (получение было "
              "прервано или часть записей повреждена).")
        .arg(file.cells.size())
        .arg(file.header.records);
}
