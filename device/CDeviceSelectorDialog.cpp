#include "device/CDeviceSelectorDialog.h"

#include "core/CAppGlobals.h"
#include "app/CKorvalent.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceManager.h"

#include "ui_CDeviceSelectorDialog.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardItemModel>
#include <QStyle>

CDeviceSelectorDialog::CDeviceSelectorDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CDeviceSelectorDialog), m_model(new QStandardItemModel(this))
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(360, 240);
    ResetModel();
    m_ui->DeviceListTable->setModel(m_model);

    connect(m_ui->ExitButton, &QPushButton::clicked, this, &QDialog::close);
    connect(m_ui->RefreshButton, &QPushButton::clicked, this,
            &CDeviceSelectorDialog::RefreshDevicesList);
    connect(m_ui->DeviceListTable, &QAbstractItemView::clicked, this,
            &CDeviceSelectorDialog::AcceptDevice);
    // Enter on a row chooses it as a click does; a style that activates on a
    // single click has sent the click already.
    connect(m_ui->DeviceListTable, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index)
            {
                if (!style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr,
                                        m_ui->DeviceListTable))
                    AcceptDevice(index);
            });
    m_ui->DeviceListTable->setTabKeyNavigation(false);
}

CDeviceSelectorDialog::~CDeviceSelectorDialog()
{
    delete m_ui;
}

void CDeviceSelectorDialog::ResetModel()
{
    m_model->clear();
    m_model->setColumnCount(3);
    m_model->setHorizontalHeaderLabels({tr("Устройство"), tr("Серийный №"), tr("Порт")});
}

void CDeviceSelectorDialog::RefreshDevicesList()
{
    CDeviceManager* manager = g_App.pDeviceManager;
    if (!manager)
        return;
    // The device list is read by the running identification; rebuilding it
    // now would pull it from under the worker.
    if (m_refreshing)
    {
        emit manager->ShowStatusMessage(tr("Идёт поиск устройств, дождитесь его завершения."),
                                        5000);
        return;
    }
    // Another window's task, or its chain between two tasks, owns the device:
    // a search now would break into it.
    if (manager->IsBusy() || (g_App.pMainWindow && g_App.pMainWindow->IsDeviceChainRunning()))
    {
        emit manager->ShowStatusMessage(CDeviceManager::DeviceBusyText(), 5000);
        return;
    }

    ResetModel();
    if (manager->EnumerateDevices())
    {
        m_refreshing = true;
        manager->StartTask(0, nullptr, 0, this);
    }
    else
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(),
                              CDeviceManager::NoDevicesFoundText());
    }
}

void CDeviceSelectorDialog::DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
{
    Q_UNUSED(lpUserBuf);
    if (TaskID != 0)
        return;
    if (nDataLength < 0)
    {
        m_refreshing = false;
        return;
    }
    CDeviceManager* manager = g_App.pDeviceManager;
    if (!manager)
    {
        m_refreshing = false;
        return;
    }
    const QList<DeviceInfo*>& list = manager->DeviceList();
    if (list.size() > nDataLength + 1)
    {
        manager->StartTask(0, nullptr, nDataLength + 1, this);
        return;
    }

    m_refreshing = false;
    for (int i = 0; i < list.size(); ++i)
    {
        const DeviceInfo* info = list.at(i);
        m_model->setItem(i, 0, new QStandardItem(info->Name));
        m_model->setItem(i, 1, new QStandardItem(info->SerialNumber));
        m_model->setItem(i, 2, new QStandardItem(info->PortName));
    }
    m_ui->DeviceListTable->resizeColumnsToContents();
    m_ui->StatusTextLabel->setText(tr("Выберите нужное устройство из списка."));
}

void CDeviceSelectorDialog::AcceptDevice(QModelIndex index)
{
    CDeviceManager* manager = g_App.pDeviceManager;
    if (!manager || !index.isValid() || m_refreshing)
        return;
    const QList<DeviceInfo*>& list = manager->DeviceList();
    if (index.row() < 0 || index.row() >= list.size())
        return;
    const DeviceInfo* info = list.at(index.row());

    m_ui->StatusTextLabel->setText(
        tr("Выбрано устройство: %1 (%2) %3").arg(info->Name, info->SerialNumber, info->PortName));
    if (g_App.pSettings)
    {
        QSettings& s = *g_App.pSettings;
        s.beginGroup(QStringLiteral("Device"));
        s.setValue(QStringLiteral("Name"), info->Name);
        s.setValue(QStringLiteral("SerialNumber"), info->SerialNumber);
        s.setValue(QStringLiteral("PortName"), info->PortName);
        s.setValue(QStringLiteral("PortPath"), info->PortPath);
        s.endGroup();
        s.sync();
    }
    if (g_App.pMainWindow)
        g_App.pMainWindow->UpdateDeviceLabel();
}
