#pragma once

#include "report/CReportData.h"
#include "tests/common/TestSupport.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

namespace ReportTest
{
// A report with a distinct text in every field, dates and two result rows.
inline CReportData FullReport()
{
    CReportData report;
    for (int f = 0; f < CReportData::FieldCount; ++f)
    {
        const auto field = CReportData::Field(f);
        if (CReportData::KindOf(field) == CReportData::DateText)
            report.SetText(field, QStringLiteral("%1.03.2024").arg(10 + f % 18));
        else if (CReportData::Limit(field) == 1)
            report.SetText(field, QString::number(f % 10));
        else
            report.SetText(field, QStringLiteral("%1 поле%2").arg(CReportData::Key(field)).arg(f));
    }
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        report.statistics[row] = QStringLiteral("%1.5").arg(row);
    report.rows = {
        {"Труба-1", "1", "5.20", "мм", "Сталь", "5920 м/c", "Н/Д", "21 C°", "14:05", "15.04.2029"},
        {"Труба-1", "2", "0.00", "мм", "Н/Д", "5920 м/c", "Н/Д", "-3 C°", "14:06", "15.04.2029"}};
    return report;
}

// Element names of a document in order, read with Qt's own XML reader.
inline QStringList ElementNames(const QByteArray& document)
{
    QXmlStreamReader reader(document);
    QStringList names;
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement)
            names << reader.name().toString();
    return names;
}

// The text of each page of a PDF (pdftotext separates pages by form feeds).
inline QStringList PdfPages(const QString& path)
{
    QStringList pages = PdfToText(path).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The results table's two header rows as pdftotext reads them, simplified.
inline QString HeaderRowsText()
{
    return QStringLiteral("Файл данных Ячейка (точка замера) Результат Единицы Материал Скорость "
                          "УЗволн, м/с Настройка Температура, град С Время Дата 1 2 3 4 5 6 7 8 9 "
                          "10");
}
} // namespace ReportTest
