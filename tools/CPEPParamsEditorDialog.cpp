#include "tools/CPEPParamsEditorDialog.h"

#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "device/CDeviceManager.h"

#include "ui_CPEPParamsEditorDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QStandardItemModel>

namespace
{
QString AppName()
{
    return QCoreApplication::applicationName();
}

QString PepFilter()
{
    return CPEPParamsEditorDialog::tr("Файл-образ содержимого EEPROM ПЭП (*.pep)");
}
} // namespace

CPEPParamsEditorDialog::CPEPParamsEditorDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CPEPParamsEditorDialog), m_image(CPEPImage::Erased())
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);

    m_ui->PEPType->addItems(CPEPImage::TypeItems());
    m_ui->PEPMeasurementMode->addItems(CPEPImage::ModeItems());
    m_ui->PEPMaterialType->addItems(CPEPImage::MaterialItems());
    m_ui->PEPType->setCurrentIndex(m_ui->PEPType->count() - 1);
    m_ui->PEPMeasurementMode->setCurrentIndex(m_ui->PEPMeasurementMode->count() - 1);
    m_ui->PEPMaterialType->setCurrentIndex(m_ui->PEPMaterialType->count() - 1);
    m_ui->PEPManufactoryDate->setDate(CClock::Today());
    m_ui->PEPRevisionDate->setDate(CClock::Today());

    m_vpathModel = new QStandardItemModel(CPEPImage::kVPathRows, CPEPImage::kVPathColumns, this);
    ResetVPathTable();
    QTableView* table = m_ui->VPathTable;
    table->setModel(m_vpathModel);
    table->horizontalHeader()->setDefaultSectionSize(37);
    table->horizontalHeader()->setMinimumSectionSize(19);
    table->verticalHeader()->setDefaultSectionSize(30);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The row labels beside the table line up with its rows: the same
    // height, below a gap as high as the column header.
    m_ui->VPathHeaderSpacer->changeSize(10, table->horizontalHeader()->sizeHint().height() +
                                                table->frameWidth());
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    for (QLabel* label : {m_ui->VPathRow1Label, m_ui->VPathRow2Label, m_ui->VPathRow3Label})
        label->setFixedHeight(rowHeight);
    // The table is as large as its cells; the dialog's spare room goes below
    // and beside it rather than into empty table area.
    table->setFixedSize(CPEPImage::kVPathColumns * table->horizontalHeader()->defaultSectionSize() +
                            2 * table->frameWidth(),
                        table->horizontalHeader()->sizeHint().height() +
                            CPEPImage::kVPathRows * rowHeight + 2 * table->frameWidth());
    m_ui->MainLayout->insertStretch(m_ui->MainLayout->indexOf(m_ui->VPathGroupBox) + 1, 1);
    const QStringList labels = CPEPImage::VPathRowLabels();
    m_ui->VPathRow1Label->setText(labels.at(0));
    m_ui->VPathRow2Label->setText(labels.at(1));
    m_ui->VPathRow3Label->setText(labels.at(2));

    connect(m_ui->ReadDataFromPEPButton, &QPushButton::clicked, this,
            &CPEPParamsEditorDialog::ReadDataFromEEPROM);
    connect(m_ui->WriteDataToPEPButton, &QPushButton::clicked, this,
            &CPEPParamsEditorDialog::WriteDataToEEPROM);
    connect(m_ui->ClearFormButton, &QPushButton::clicked, this, &CPEPParamsEditorDialog::ClearForm);
    connect(m_ui->ExitButton, &QPushButton::clicked, this, &QWidget::close);
}

CPEPParamsEditorDialog::~CPEPParamsEditorDialog()
{
    delete m_ui;
}

void CPEPParamsEditorDialog::ResetVPathTable()
{
    m_vpathModel->clear();
    m_vpathModel->setRowCount(CPEPImage::kVPathRows);
    m_vpathModel->setColumnCount(CPEPImage::kVPathColumns);
    QStringList headers;
    for (int k = 1; k <= CPEPImage::kVPathColumns; ++k)
        headers.append(QString::number(k));
    m_vpathModel->setHorizontalHeaderLabels(headers);
}

CPEPImage::Form CPEPParamsEditorDialog::FormValues() const
{
    CPEPImage::Form form;
    form.name = m_ui->PEPName->text();
    form.typeIndex = m_ui->PEPType->currentIndex();
    form.modeIndex = m_ui->PEPMeasurementMode->currentIndex();
    form.materialIndex = m_ui->PEPMaterialType->currentIndex();
    form.frequency = m_ui->PEPFrequency->text();
    form.delay = m_ui->PEPDelay->text();
    form.probeLength = m_ui->PEPLengthOfProbeImpulse->text();
    form.rangeFrom = m_ui->PEPRangeFrom->value();
    form.rangeTo = m_ui->PEPRangeTo->value();
    form.serialNumber = m_ui->PEPSerialNumber->text();
    form.manufactureDate = m_ui->PEPManufactoryDate->date();
    form.revisionDate = m_ui->PEPRevisionDate->date();
    for (int row = 0; row < CPEPImage::kVPathRows; ++row)
        for (int k = 0; k < CPEPImage::kVPathColumns; ++k)
        {
            const QStandardItem* item = m_vpathModel->item(row, k);
            form.vpath[row][k] = item ? item->text() : QString();
        }
    return form;
}

void CPEPParamsEditorDialog::ShowForm(const CPEPImage::Form& form)
{
    m_ui->PEPName->setText(form.name);
    m_ui->PEPType->setCurrentIndex(form.typeIndex);
    m_ui->PEPMeasurementMode->setCurrentIndex(form.modeIndex);
    m_ui->PEPMaterialType->setCurrentIndex(form.materialIndex);
    m_ui->PEPFrequency->setText(form.frequency);
    m_ui->PEPDelay->setText(form.delay);
    m_ui->PEPLengthOfProbeImpulse->setText(form.probeLength);
    m_ui->PEPRangeFrom->setValue(form.rangeFrom);
    m_ui->PEPRangeTo->setValue(form.rangeTo);
    m_ui->PEPSerialNumber->setText(form.serialNumber);
    if (form.manufactureDate.isValid())
        m_ui->PEPManufactoryDate->setDate(form.manufactureDate);
    if (form.revisionDate.isValid())
        m_ui->PEPRevisionDate->setDate(form.revisionDate);
    ResetVPathTable();
    for (int k = 0; k < CPEPImage::kVPathColumns; ++k)
    {
        if (form.vpath[0][k].isEmpty())
            continue;
        for (int row = 0; row < CPEPImage::kVPathRows; ++row)
            m_vpathModel->setItem(row, k, new QStandardItem(form.vpath[row][k]));
    }
}

QString CPEPParamsEditorDialog::DefaultFileName() const
{
    const QString dir = g_App.pMainWindow ? g_App.pMainWindow->DocumentsDir() : QDir::homePath();
    return QDir::toNativeSeparators(dir + QStringLiteral("/Файл-образ EEPROM.pep"));
}

// The buffer is the worker's while a task of this dialog runs, and the main
// window's download or upload owns the device between its tasks.
bool CPEPParamsEditorDialog::RefuseWhileBusy()
{
    const bool chain = g_App.pMainWindow && g_App.pMainWindow->IsDeviceChainRunning();
    if (m_pendingTasks == 0 && !chain)
        return false;
    UserPrompts().Warning(this, AppName(), CDataMessages::DeviceBusy());
    return true;
}

void CPEPParamsEditorDialog::StartTransfer(int TaskID)
{
    if (!g_App.pDeviceManager)
        return;
    ++m_pendingTasks;
    g_App.pDeviceManager->StartTask(TaskID, &m_image, CPEPImage::kSize, this);
}

void CPEPParamsEditorDialog::ReadDataFromEEPROM()
{
    if (RefuseWhileBusy())
        return;
    if (!m_ui->WorkWithFileCheck->isChecked())
    {
        StartTransfer(1);
        return;
    }
    const QString path =
        UserPrompts().OpenFileName(this, tr("Открыть файл"), DefaultFileName(), PepFilter());
    if (path.isEmpty())
        return;
    QByteArray content;
    if (!CPEPImage::ReadFile(path, &content))
    {
        DeviceTaskCompleted(1, nullptr, -1);
        return;
    }
    // A shorter file leaves the rest of the buffer as it was.
    m_image = CPEPImage::Overlay(m_image, content);
    DeviceTaskCompleted(1, &m_image, CPEPImage::kSize);
}

void CPEPParamsEditorDialog::WriteDataToEEPROM()
{
    const bool file = m_ui->WorkWithFileCheck->isChecked();
    if (!file && !m_ui->AllowWriteToEEPROMCheck->isChecked())
    {
        UserPrompts().Warning(this, AppName(), CPEPImage::WriteNotAllowedText());
        return;
    }
    if (RefuseWhileBusy())
        return;
    PEPEepromImage image = m_image;
    QString error;
    if (!CPEPImage::FromForm(FormValues(), &image, &error))
    {
        UserPrompts().Warning(this, AppName(), error);
        return;
    }
    m_image = image;
    if (!file)
    {
        StartTransfer(2);
        return;
    }
    const QString path =
        UserPrompts().SaveFileName(this, tr("Сохранить файл"), DefaultFileName(), PepFilter());
    if (path.isEmpty())
        return;
    const bool saved = CSafeSave::WriteBytes(path, CPEPImage::ToBytes(m_image)).Ok();
    DeviceTaskCompleted(2, nullptr, saved ? CPEPImage::kSize : -1);
}

void CPEPParamsEditorDialog::ClearForm()
{
    m_ui->PEPType->setCurrentIndex(m_ui->PEPType->count() - 1);
    m_ui->PEPMeasurementMode->setCurrentIndex(m_ui->PEPMeasurementMode->count() - 1);
    m_ui->PEPMaterialType->setCurrentIndex(m_ui->PEPMaterialType->count() - 1);
    m_ui->AllowWriteToEEPROMCheck->setChecked(false);
    m_ui->PEPName->clear();
    m_ui->PEPFrequency->clear();
    m_ui->PEPDelay->clear();
    m_ui->PEPLengthOfProbeImpulse->clear();
    m_ui->PEPSerialNumber->clear();
    m_ui->PEPRangeFrom->setValue(0.0);
    m_ui->PEPRangeTo->setValue(0.0);
    m_ui->PEPManufactoryDate->setDate(CClock::Today());
    m_ui->PEPRevisionDate->setDate(CClock::Today());
    // Cells are emptied, not removed; the buffer keeps the V-path entries of
    // the columns that stay empty.
    for (int row = 0; row < m_vpathModel->rowCount(); ++row)
        for (int k = 0; k < m_vpathModel->columnCount(); ++k)
            if (QStandardItem* item = m_vpathModel->item(row, k))
                item->setText(QString());
}

void CPEPParamsEditorDialog::DeviceTaskCompleted(int TaskID, const void*, int nDataLength)
{
    if (TaskID != 1 && TaskID != 2)
        return;
    if (m_pendingTasks > 0)
        --m_pendingTasks;

    const bool file = m_ui->WorkWithFileCheck->isChecked();
    if (nDataLength == -1)
    {
        QString text;
        if (TaskID == 1)
            text = file ? CPEPImage::FileReadFailedText() : CPEPImage::DeviceReadFailedText();
        else
            text = file ? CPEPImage::FileWriteFailedText() : CPEPImage::DeviceWriteFailedText();
        UserPrompts().Critical(this, AppName(), text);
        return;
    }
    if (TaskID == 2)
    {
        // Each write into the transducer needs its own tick.
        if (!file)
            m_ui->AllowWriteToEEPROMCheck->setChecked(false);
        UserPrompts().Information(
            this, AppName(), file ? CPEPImage::FileSavedText() : CPEPImage::DeviceWrittenText());
        return;
    }
    if (!CPEPImage::CrcMatches(m_image))
    {
        UserPrompts().Critical(this, AppName(), CPEPImage::CrcWarningText());
        return;
    }
    ShowForm(CPEPImage::ToForm(m_image));
}
