#pragma once

#include "data/GaugeRecords.h"

#include <QDialog>
#include <QList>

class QStandardItemModel;

namespace Ui
{
class CPEPListDialog;
}

// The transducers the gauge knows (task 7), one read-only row each. Created
// once by the main window and only shown/hidden.
class CPEPListDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CPEPListDialog(QWidget* parent = nullptr);
    ~CPEPListDialog() override;

    Ui::CPEPListDialog* ui() const { return m_ui; }
    QStandardItemModel* Model() const { return m_model; }
    bool IsTransferRunning() const { return m_pendingTasks > 0; }

public Q_SLOTS:
    void DownloadPEPList();
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);

private:
    void RestoreHeaders();

    Ui::CPEPListDialog* m_ui = nullptr;
    QStandardItemModel* m_model = nullptr;
    // The list the worker appends to; only touched while no task of this
    // dialog is with the device manager.
    QList<PEPListRecord> m_transferList;
    int m_pendingTasks = 0;
};
