#pragma once

#include "data/GaugeRecords.h"
#include "tools/CMaterialsCsv.h"

#include <QDialog>

class QStandardItem;
class QStandardItemModel;

namespace Ui
{
class CMaterialsEditorDialog;
}

// Editor of the gauge's materials table: a grid of name, velocity and
// temperature coefficient, read from and written to the gauge (tasks 5 and
// 6) or a CSV file. Created once by the main window and only shown/hidden.
class CMaterialsEditorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CMaterialsEditorDialog(QWidget* parent = nullptr);
    ~CMaterialsEditorDialog() override;

    Ui::CMaterialsEditorDialog* ui() const { return m_ui; }
    QStandardItemModel* Model() const { return m_model; }

    // The grid's texts, row by row.
    QList<CMaterialsCsv::Row> Rows() const;
    // True while a transfer this dialog started is with the device manager.
    bool IsTransferRunning() const { return m_pendingTasks > 0; }

public Q_SLOTS:
    void DownloadMaterials();
    void UploadMaterials();
    void AddMaterial();
    void DeleteMaterial();
    void MoveUP();
    void MoveDown();
    void WorkWithFileCheckToggled(bool checked);
    void ClearTable();
    void TableItemChanged(QStandardItem* item);
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);

private:
    void RestoreHeaders();
    void AppendGridRow(const CMaterialsCsv::Row& row);
    void FillGrid(const MaterialList& records);
    // Grid filled from a completed list, then the success message.
    void ShowCompletedList(int TaskID, const MaterialList& records);
    QString DefaultFileName() const;
    void Move(int delta);
    void StartTransfer(int TaskID);

    Ui::CMaterialsEditorDialog* m_ui = nullptr;
    QStandardItemModel* m_model = nullptr;
    // The list the worker fills (task 5) or reads (task 6). Only touched
    // while no transfer of this dialog is with the device manager.
    MaterialList m_transferList;
    int m_pendingTasks = 0;
};
