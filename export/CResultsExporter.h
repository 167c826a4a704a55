#pragma once

#include <QDialog>

class QAbstractItemModel;
class QProgressBar;

namespace Ui
{
class CExportProgressDialog;
}

// Writes the results table to a CSV file or a spreadsheet workbook. The
// dialog itself is the small progress window shown while a workbook is
// filled; the main window owns one for the program's life.
class CResultsExporter : public QDialog
{
    Q_OBJECT

public:
    explicit CResultsExporter(QWidget* parent = nullptr);
    ~CResultsExporter() override;

    // The CSV file; false when it could not be written (the previous file
    // stays). Shows nothing.
    bool ExportToCSV(const QString& fileName, const QAbstractItemModel& model);

    // The workbook (".xlsx" as Office Open XML, any other name as an Excel
    // 97–2003 workbook). The bar advances per cell while the sheet is
    // filled; the dialog is hidden before the file is saved. False when the
    // file could not be written.
    bool ExportToXLS(const QString& fileName, const QAbstractItemModel& model);

    QProgressBar* ProgressBar() const;

private:
    Ui::CExportProgressDialog* m_ui;
};
