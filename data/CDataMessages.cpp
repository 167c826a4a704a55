#include "data/CDataMessages.h"

#include <QRegularExpression>

#include "data/CDataStorage.h"

#include <QCoreApplication>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CDataMessages", text);
}
} // namespace

QString CDataMessages::OpenDatabaseCaption()
{
    return Tr("Открыть базу данных Korvalent");
}
QString CDataMessages::SaveDatabaseCaption()
{
    return Tr("Сохранить базу данных Korvalent");
}
QString CDataMessages::DatabaseFilter()
{
    return Tr("База данных Korvalent (*.kdb)");
}
QString CDataMessages::OpenDataFileCaption()
{
    return Tr("Открыть файл данных Korvalent");
}
QString CDataMessages::SaveDataFileCaption()
{
    return Tr("Сохранить файл данных Korvalent");
}
QString CDataMessages::DataFileFilter()
{
    return Tr("Файл данных Korvalent (*.kdf)");
}

QString CDataMessages::DatabaseOpenFailed(const QString& path)
{
    return Tr("Не удалось открыть для чтения базу данных Korvalent: ") + path;
}

QString CDataMessages::DatabaseParseFailed(const QString& path, const QString& parserError)
{
    return Tr("Не возможно обработать базу данных Korvalent: '%1'\n\nОШИБКА: %2 ")
        .arg(path, parserError);
}

QString CDataMessages::DatabaseWrongKind(const QString& path)
{
    return Tr("Не возможно обработать базу данных Korvalent: '%1'\n\n"
              "Загружаемый файл не является корректным файлом.")
        .arg(path);
}

QString CDataMessages::DatabaseTooManyFiles()
{
    return Tr("Загружаемая база данных содержит не допустимое количество файлов-данных "
              "(максимум %1)")
        .arg(CDataStorage::kMaxDataFiles);
}

QString CDataMessages::DatabaseDamaged()
{
    return Tr("База данных Korvalent загружена.\r\n") +
           Tr("Но данные частично повреждены и не будут отображаться!");
}

QString CDataMessages::NothingToSave()
{
    return Tr("Нет загруженых данных для сохранения в файл на ПК.");
}

QString CDataMessages::DatabaseCreateFailed()
{
    return Tr("ОШИБКА: не удалось создать \"файл-базу данных\".");
}

QString CDataMessages::DatabaseSaved()
{
    return Tr("База данных Korvalent успешно сохранёна.");
}

QString CDataMessages::DatabaseSaved(const DataFileList& files)
{
    QStringList names;
    int count = 0;
    for (const DataFileRecord& f : files)
    {
        if (!f.IsIncomplete())
            continue;
        // Enough names to find them; the count tells the rest.
        if (++count <= 5)
            names << Tr("«%1» (%2 из %3 ячеек)")
                         .arg(CDataStorage::FileName(f))
                         .arg(f.cells.size())
                         .arg(f.header.records);
    }
    if (count == 0)
        return DatabaseSaved();
    if (count > names.size())
        names << Tr("и ещё %1").arg(count - names.size());
    return DatabaseSaved() + QStringLiteral("\n\n") +
           Tr("В базе данных сохранены неполные файлы (%1), в них меньше ячеек, чем указано в "
              "заголовке: %2.")
               .arg(count)
               .arg(names.join(QStringLiteral(", ")));
}

QString CDataMessages::DataFileLimitReached()
{
    return Tr("Не возможно загрузить файл данных. Максимальное количество %1")
        .arg(CDataStorage::kMaxDataFiles);
}

QString CDataMessages::DataFileAlreadyLoaded(const QString& baseName)
{
    return Tr("Файл с именем '") + baseName + Tr("' уже загружен!");
}

QString CDataMessages::DataFileOpenFailed(const QString& path)
{
    return Tr("Не удалось открыть для чтения файл данных Korvalent: ") + path;
}

QString CDataMessages::DataFileParseFailed(const QString& path, const QString& parserError)
{
    return Tr("Не возможно обработать файл данных Korvalent: '%1'\n\nОШИБКА: %2 ")
        .arg(path, parserError);
}

QString CDataMessages::DataFileWrongKind(const QString& path)
{
    return Tr("Не возможно обработать файл данных Korvalent: '%1'\n\n"
              "Загружаемый файл не является корректным файлом.")
        .arg(path);
}

QString CDataMessages::DataFileDamaged()
{
    return Tr("Файл загружен.\r\n") + Tr("Но данные частично повреждены и не будут отображены!");
}

QString CDataMessages::DataFileLoaded()
{
    return Tr("Файл данных успешно загружен.");
}

QString CDataMessages::NoFilesToSave()
{
    return Tr("Нет загруженых файлов для сохранения на ПК.");
}

QString CDataMessages::SelectFileToSave()
{
    return Tr("Выберите файл который необходимо сохранить на ПК.");
}

QString CDataMessages::DataFileCreateFailed()
{
    return Tr("ОШИБКА: не удалось создать файл на ПК.");
}

QString CDataMessages::DataFileSaved()
{
    return Tr("Файл данных успешно сохранён.");
}

QString CDataMessages::NoFileToDelete()
{
    return Tr("Не выбран файл который необходимо удалить.");
}

QString CDataMessages::WithReason(const QString& text, const QString& reason)
{
    return reason.isEmpty() ? text : text + QStringLiteral("\n\n") + reason;
}

QString CDataMessages::DeviceBusy()
{
    return Tr("Идёт обмен данными с прибором. Дождитесь его завершения и повторите операцию.");
}

QString CDataMessages::LabelNotLoaded()
{
    return Tr("Данные: не загружены          ");
}

QString CDataMessages::LabelLoadedFromPc(int files)
{
    return Tr("Данные: загружены из ПК, %1 файл(a)(ов)          ").arg(files);
}

QString CDataMessages::LabelRecounted(const QString& label, int files)
{
    static const QRegularExpression count(
        QStringLiteral("^(Данные: .*, )\\d+( файл\\(a\\)\\(ов\\)\\s*)$"));
    const QRegularExpressionMatch m = count.match(label);
    if (!m.hasMatch())
        return label;
    return m.captured(1) + QString::number(files) + m.captured(2);
}

namespace
{
// The note's own start: how a label's earlier note is found again.
const char* const kNoteStart = "; неполн";
} // namespace

QString CDataMessages::IncompleteFilesNote(const DataFileList& files)
{
    int count = 0;
    const DataFileRecord* first = nullptr;
    for (const DataFileRecord& f : files)
        if (f.IsIncomplete() && count++ == 0)
            first = &f;
    if (!first)
        return {};
    const QString named = Tr("неполный файл «%1»: %2 из %3 ячеек")
                              .arg(CDataStorage::FileName(*first))
                              .arg(first->cells.size())
                              .arg(first->header.records);
    if (count == 1)
        return named;
    return Tr("%1 (неполных файлов: %2)").arg(named).arg(count);
}

QString CDataMessages::LabelWithIncompleteNote(const QString& label, const DataFileList& files)
{
    int end = int(label.size());
    while (end > 0 && label.at(end - 1).isSpace())
        --end;
    const QString blanks = label.mid(end);
    QString text = label.left(end);
    const int note = text.indexOf(QString::fromUtf8(kNoteStart));
    if (note >= 0)
        text.truncate(note);
    const QString fresh = IncompleteFilesNote(files);
    if (!fresh.isEmpty())
        text += QStringLiteral("; ") + fresh;
    return text + blanks;
}

QString CDataMessages::LabelLoadedFromFile()
{
    return Tr("Данные: загружены из файла на ПК          ");
}
