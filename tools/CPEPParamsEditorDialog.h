#pragma once

#include "data/GaugeRecords.h"
#include "tools/CPEPImage.h"

#include <QDialog>

class QStandardItemModel;

namespace Ui
{
class CPEPParamsEditorDialog;
}

// Editor of the transducer's own memory: reads the 128-byte image from the
// transducer (task 1) or a .pep file, shows it as a form, and writes the
// form back as an image to the transducer (task 2) or a .pep file. Created
// once by the main window and only shown/hidden.
class CPEPParamsEditorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CPEPParamsEditorDialog(QWidget* parent = nullptr);
    ~CPEPParamsEditorDialog() override;

    Ui::CPEPParamsEditorDialog* ui() const { return m_ui; }
    QStandardItemModel* VPathModel() const { return m_vpathModel; }
    // The image buffer: the base of every write.
    const PEPEepromImage& Image() const { return m_image; }
    bool IsTransferRunning() const { return m_pendingTasks > 0; }

    // The form's fields as values, and the form filled from values (dates
    // that are null keep the date shown).
    CPEPImage::Form FormValues() const;
    void ShowForm(const CPEPImage::Form& form);

public Q_SLOTS:
    void ReadDataFromEEPROM();
    void WriteDataToEEPROM();
    void ClearForm();
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);

private:
    void ResetVPathTable();
    QString DefaultFileName() const;
    bool RefuseWhileBusy();
    void StartTransfer(int TaskID);

    Ui::CPEPParamsEditorDialog* m_ui = nullptr;
    QStandardItemModel* m_vpathModel = nullptr;
    // Belongs to the worker while a task of this dialog runs.
    PEPEepromImage m_image;
    int m_pendingTasks = 0;
};
