#include "tools/CPEPListDialog.h"

#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "device/CDeviceManager.h"
#include "tools/CPEPList.h"

#include "ui_CPEPListDialog.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QStandardItemModel>

CPEPListDialog::CPEPListDialog(QWidget* parent) : QDialog(parent), m_ui(new Ui::CPEPListDialog)
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setFixedWidth(520);
    setMinimumHeight(292);
    setMaximumHeight(790);

    m_model = new QStandardItemModel(0, CPEPList::kColumns, this);
    RestoreHeaders();
    QTableView* table = m_ui->PEPListTable;
    table->setModel(m_model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->verticalHeader()->setMinimumSectionSize(19);
    table->verticalHeader()->setDefaultSectionSize(19);
    table->horizontalHeader()->setMinimumSectionSize(19);
    table->horizontalHeader()->setHighlightSections(false);
    table->resizeColumnsToContents();

    connect(m_ui->DownloadButton, &QPushButton::clicked, this, &CPEPListDialog::DownloadPEPList);
    connect(m_ui->ExitButton, &QPushButton::clicked, this, &QWidget::close);
}

CPEPListDialog::~CPEPListDialog()
{
    delete m_ui;
}

void CPEPListDialog::RestoreHeaders()
{
    m_model->setColumnCount(CPEPList::kColumns);
    m_model->setHorizontalHeaderLabels(CPEPList::Headers());
}

void CPEPListDialog::DownloadPEPList()
{
    if (!g_App.pDeviceManager)
        return;
    // The main window's download or upload owns the device between its tasks.
    if (g_App.pMainWindow && g_App.pMainWindow->IsDeviceChainRunning())
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(),
                              CDataMessages::DeviceBusy());
        return;
    }
    // While an earlier fetch is with the worker its list is not ours to
    // touch; the manager refuses the second start anyway.
    if (m_pendingTasks == 0)
        m_transferList.clear();
    ++m_pendingTasks;
    g_App.pDeviceManager->StartTask(7, &m_transferList, 0, this);
}

void CPEPListDialog::DeviceTaskCompleted(int TaskID, const void*, int nDataLength)
{
    if (TaskID != 7)
        return;
    if (m_pendingTasks > 0)
        --m_pendingTasks;
    if (nDataLength == -1)
    {
        UserPrompts().Critical(this, QCoreApplication::applicationName(),
                               CPEPList::DownloadFailedText());
        return;
    }

    m_model->clear();
    RestoreHeaders();
    for (const PEPListRecord& record : m_transferList)
    {
        const QStringList texts = CPEPList::RowTexts(record);
        QList<QStandardItem*> items;
        for (const QString& text : texts)
            items.append(new QStandardItem(text));
        items[5]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        items[6]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_model->appendRow(items);
    }
    if (m_pendingTasks == 0)
        m_transferList.clear();
    m_ui->PEPListTable->resizeColumnsToContents();
}
