#include "report/CReportMessages.h"

#include <QCoreApplication>
#include <QDir>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CKorvalent", text);
}
} // namespace

QString CReportMessages::SaveCaption()
{
    return Tr("Сохранить файл-отчёт");
}

QString CReportMessages::OpenCaption()
{
    return Tr("Открыть файл-отчёт");
}

QString CReportMessages::Filter()
{
    return Tr("Файл-отчёт Korvalent (*.krf)");
}

QString CReportMessages::DefaultName(const QString& documentsDir, const QString& date)
{
    // The separator is the platform's own, as in every default path.
    return QDir::toNativeSeparators(Tr("%1/Заключение от %2.krf").arg(documentsDir, date));
}

QString CReportMessages::CreateFailed()
{
    return Tr("ОШИБКА: не удалось создать файл-отчёт.");
}

QString CReportMessages::Saved()
{
    return Tr("Файл-отчёт успешно сохранён.");
}

QString CReportMessages::OpenFailed(const QString& path)
{
    return Tr("Не удалось открыть для чтения файл-отчёт: ") + path;
}

QString CReportMessages::ParseFailed(const QString& path, const QString& parserError)
{
    return Tr("Не возможно обработать файл-отчёт: '%1'\n\nОШИБКА: %2 ").arg(path, parserError);
}

QString CReportMessages::WrongKind(const QString& path)
{
    return Tr("Не возможно обработать файл-отчёт: '%1'\n\nЗагружаемый файл не является "
              "корректным файлом.")
        .arg(path);
}

QString CReportMessages::Loaded()
{
    return Tr("Файл-отчёт успешно загружен.");
}

QString CReportMessages::NoDataFile()
{
    return Tr("ОШИБКА: Не удаётся обновить данные.\n\nНеобходимо загрузить файл данных.");
}

QString CReportMessages::ResultsSource(const QString& name)
{
    return name.isEmpty() ? Tr("Файл данных результатов: не определён")
                          : Tr("Файл данных результатов: %1").arg(name);
}

QString CReportMessages::NoResults()
{
    return Tr("Результаты не заполнены.");
}

QString CReportMessages::OtherDataFile(const QString& resultsFile, const QString& selectedFile)
{
    // Two files of one name (from two databases) are told apart in words.
    if (resultsFile == selectedFile)
        return Tr("Результаты отчёта получены из другого файла данных с тем же именем '%1', "
                  "а данные ПЭП в заголовке - из выбранного файла.\n\nЗаполнить результаты "
                  "из выбранного файла данных '%1'?")
            .arg(resultsFile);
    return Tr("Результаты отчёта получены из файла данных '%1', а данные ПЭП в заголовке - из "
              "выбранного файла данных '%2'.\n\nЗаполнить результаты из файла данных '%2'?")
        .arg(resultsFile, selectedFile);
}

QString CReportMessages::FillFromSelected()
{
    return Tr("Заполнить");
}

QString CReportMessages::KeepResults()
{
    return Tr("Оставить");
}

QString CReportMessages::PdfCaption()
{
    return Tr("Сохранить отчёт в PDF");
}

QString CReportMessages::PdfFilter()
{
    return Tr("Документ PDF (*.pdf)");
}

QString CReportMessages::PdfDefaultName(const QString& documentsDir, const QString& date)
{
    return QDir::toNativeSeparators(Tr("%1/Заключение от %2.pdf").arg(documentsDir, date));
}

QString CReportMessages::PdfCreateFailed()
{
    return Tr("ОШИБКА: не удалось создать PDF-файл отчёта.");
}

QString CReportMessages::PdfSaved()
{
    return Tr("Отчёт успешно сохранён в PDF.");
}
