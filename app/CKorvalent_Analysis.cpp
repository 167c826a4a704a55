#include "app/CKorvalent.h"

#include "analysis/CAnalysisView.h"
#include "data/CCellDecoder.h"
#include "data/CStatistics.h"

#include "ui_CKorvalent.h"

#include <QItemSelectionModel>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QStatusBar>

namespace
{
// Row of the first cell holding the smallest (or largest) valid thickness,
// -1 when the file has none. Compared in single precision, as the
// statistics compute X(min) and X(max).
int ExtremeRow(const DataFileRecord& file, bool largest)
{
    int found = -1;
    float best = 0.0f;
    for (int i = 0; i < file.cells.size(); ++i)
    {
        const CellRecord& cell = file.cells.at(i);
        if (CCellDecoder::IsLos(cell))
            continue;
        const float value = CCellDecoder::Value(cell);
        if (found < 0 || (largest ? value > best : value < best))
        {
            found = i;
            best = value;
        }
    }
    return found;
}
} // namespace

void CKorvalent::AnalysisSetup()
{
    // In a scroll area: the tab's rows of fields and buttons must not widen
    // the window beyond the size it opens with the first time.
    auto* page = new QScrollArea();
    page->setObjectName(QStringLiteral("tab_analysis"));
    page->setFrameShape(QFrame::NoFrame);
    page->setWidgetResizable(true);
    m_ui->mainTabWidget->addTab(page, tr("     Анализ     "));
    m_analysisPage = page;
    // The view itself (its chart above all) is built when first needed:
    // when its tab is chosen, when asked for, or once the window has painted.
    connect(m_ui->mainTabWidget, &QTabWidget::currentChanged, this,
            [this, page]
            {
                if (m_ui->mainTabWidget->currentWidget() == page)
                    AnalysisView();
            });
    connect(m_ui->StatisticsTable, &QTableView::clicked, this, &CKorvalent::OnStatisticsTableClick);
}

CAnalysisView* CKorvalent::AnalysisView() const
{
    if (!m_analysisView && m_analysisPage)
        const_cast<CKorvalent*>(this)->BuildAnalysisView();
    return m_analysisView;
}

void CKorvalent::BuildAnalysisView()
{
    m_analysisView = new CAnalysisView();
    m_analysisView->SetDataFiles(&m_dataFiles);
    m_analysisView->SetSettings(Settings());
    m_analysisView->SetDocumentsDir([this] { return m_documentsDir; });
    m_analysisView->SetArchiveLocation([this] { return ArchiveLocation(); });
    m_analysisPage->setWidget(m_analysisView);
    m_analysisView->SetCurrentFile(m_nSelectedFile);

    connect(
        m_analysisView, &CAnalysisView::CellActivated, this,
        [this](int row)
        {
            if (SelectResultRow(row))
                statusBar()->showMessage(
                    tr("Ячейка %1 выделена в таблице результатов на вкладке «Данные»").arg(row + 1),
                    5000);
        });
}

bool CKorvalent::SelectResultRow(int row)
{
    if (row < 0 || row >= m_resultsModel->rowCount())
        return false;
    QTableView* table = m_ui->ResultFileContentTable;
    const QModelIndex index = m_resultsModel->index(row, 0);
    table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    table->scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

void CKorvalent::OnStatisticsTableClick(QModelIndex index)
{
    const int row = index.row();
    if (row != CStatistics::MinRow && row != CStatistics::MaxRow)
        return;
    if (m_nSelectedFile < 0 || m_nSelectedFile >= m_dataFiles.size())
        return;
    SelectResultRow(ExtremeRow(m_dataFiles.at(m_nSelectedFile), row == CStatistics::MaxRow));
}
