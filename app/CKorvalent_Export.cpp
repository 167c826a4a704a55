#include "app/CKorvalent.h"

#include "core/CUserPrompts.h"
#include "export/CResultsExporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardItemModel>

namespace
{
QString Title()
{
    return QCoreApplication::applicationName();
}
} // namespace

void CKorvalent::ExportResultsToCSV()
{
    const QString path = UserPrompts().SaveFileName(
        this, tr("Сохранить файл"),
        QDir::toNativeSeparators(tr("%1/Результаты.csv").arg(m_documentsDir)),
        tr("Значения разделённые запятой (*.csv)"));
    if (path.isEmpty())
        return;
    if (!ResultsExporter()->ExportToCSV(path, *m_resultsModel))
        UserPrompts().Warning(this, Title(),
                              tr("Не удалось создать файл с результатами в формате CSV."));
}

void CKorvalent::ExportResultsToXLS()
{
    // The format follows the name: the first filter gives the Excel 97–2003
    // workbook, the second Office Open XML.
    const QString path = UserPrompts().SaveFileName(
        this, tr("Сохранить файл"),
        QDir::toNativeSeparators(tr("%1/Результаты.xls").arg(m_documentsDir)),
        tr("Excel таблица (*.xls)") + QStringLiteral(";;") + tr("Excel таблица (*.xlsx)"));
    if (path.isEmpty())
        return;
    CResultsExporter* exporter = ResultsExporter();
    exporter->show();
    if (!exporter->ExportToXLS(path, *m_resultsModel))
    {
        exporter->hide();
        UserPrompts().Warning(this, Title(),
                              tr("Не удалось создать файл с результатами в формате XLS."));
        return;
    }
    UserPrompts().Information(this, Title(),
                              tr("Файл с результатами в формате XLS успешно экспортирован."));
}
