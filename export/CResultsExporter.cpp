#include "export/CResultsExporter.h"

#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"

#include "ui_CExportProgressDialog.h"

#include <QAbstractItemModel>

CResultsExporter::CResultsExporter(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CExportProgressDialog)
{
    // Qt 6 reads every literal as UTF-8 already: no codec to select.
    m_ui->setupUi(this);
}

CResultsExporter::~CResultsExporter()
{
    delete m_ui;
}

QProgressBar* CResultsExporter::ProgressBar() const
{
    return m_ui->exportProgress;
}

bool CResultsExporter::ExportToCSV(const QString& fileName, const QAbstractItemModel& model)
{
    return CCsvWriter::Save(fileName, model).Ok();
}

bool CResultsExporter::ExportToXLS(const QString& fileName, const QAbstractItemModel& model)
{
    QProgressBar* bar = m_ui->exportProgress;
    bar->setRange(0, model.columnCount() * model.rowCount());
    bar->setValue(0);
    // setValue repaints the bar at once whenever the shown value changes.
    const CResultsSheet sheet =
        CResultsSheet::FromModel(model, [bar](int done) { bar->setValue(done); });
    hide();
    return sheet.Save(fileName).Ok();
}
