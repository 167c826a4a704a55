#pragma once

#include <QDialog>
#include <QModelIndex>

class QStandardItemModel;

namespace Ui
{
class CDeviceSelectorDialog;
}

// Lists the gauge ports, identifies the gauge on each (a chain of task 0, one
// port at a time) and stores the clicked one as the active device.
class CDeviceSelectorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CDeviceSelectorDialog(QWidget* parent = nullptr);
    ~CDeviceSelectorDialog() override;

    Ui::CDeviceSelectorDialog* ui() const { return m_ui; }
    QStandardItemModel* Model() const { return m_model; }
    bool IsRefreshing() const { return m_refreshing; }

public Q_SLOTS:
    void RefreshDevicesList();
    void AcceptDevice(QModelIndex index);
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);

private:
    void ResetModel();

    Ui::CDeviceSelectorDialog* m_ui;
    QStandardItemModel* m_model;
    bool m_refreshing = false; // an identification chain runs
};
