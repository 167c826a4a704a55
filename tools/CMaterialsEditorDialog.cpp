#include "tools/CMaterialsEditorDialog.h"

#include "core/CAppGlobals.h"
#include "app/CKorvalent.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "device/CDeviceManager.h"

#include "ui_CMaterialsEditorDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStandardItemModel>

namespace
{
QString AppName()
{
    return QCoreApplication::applicationName();
}
QString AppNameTm()
{
    return QCoreApplication::applicationName() + QStringLiteral("™");
}

// The main window's download or upload owns the device between its tasks too.
bool RefuseDuringChain(QWidget* parent)
{
    if (!g_App.pMainWindow || !g_App.pMainWindow->IsDeviceChainRunning())
        return false;
    UserPrompts().Warning(parent, AppName(), CDataMessages::DeviceBusy());
    return true;
}
} // namespace

CMaterialsEditorDialog::CMaterialsEditorDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CMaterialsEditorDialog)
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(550, 492);

    m_model = new QStandardItemModel(0, 3, this);
    RestoreHeaders();
    m_ui->MaterialsTable->setModel(m_model);
    m_ui->MaterialsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ui->MaterialsTable->setAlternatingRowColors(true);
    m_ui->MaterialsTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_ui->MaterialsTable->horizontalHeader()->setDefaultSectionSize(105);
    m_ui->MaterialsTable->verticalHeader()->setDefaultSectionSize(19);
    m_ui->MaterialsTable->horizontalHeader()->setHighlightSections(false);
    m_ui->MaterialsTable->verticalHeader()->setHighlightSections(false);

    connect(m_ui->DownloadButton, &QPushButton::clicked, this,
            &CMaterialsEditorDialog::DownloadMaterials);
    connect(m_ui->UploadButton, &QPushButton::clicked, this,
            &CMaterialsEditorDialog::UploadMaterials);
    connect(m_ui->WorkWithFileCheck, &QCheckBox::toggled, this,
            &CMaterialsEditorDialog::WorkWithFileCheckToggled);
    connect(m_ui->MoveUPButton, &QPushButton::clicked, this, &CMaterialsEditorDialog::MoveUP);
    connect(m_ui->MoveDownButton, &QPushButton::clicked, this, &CMaterialsEditorDialog::MoveDown);
    connect(m_ui->AddMaterialButton, &QPushButton::clicked, this,
            &CMaterialsEditorDialog::AddMaterial);
    connect(m_ui->DeleteMaterialButton, &QPushButton::clicked, this,
            &CMaterialsEditorDialog::DeleteMaterial);
    connect(m_ui->ClearTableButton, &QPushButton::clicked, this,
            &CMaterialsEditorDialog::ClearTable);
    connect(m_ui->ExitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_model, &QStandardItemModel::itemChanged, this,
            &CMaterialsEditorDialog::TableItemChanged);
}

CMaterialsEditorDialog::~CMaterialsEditorDialog()
{
    delete m_ui;
}

void CMaterialsEditorDialog::RestoreHeaders()
{
    m_model->setColumnCount(3);
    m_model->setHorizontalHeaderLabels({tr("Материал"), tr("м/c"), tr("К-т м/c*С°")});
}

QList<CMaterialsCsv::Row> CMaterialsEditorDialog::Rows() const
{
    QList<CMaterialsCsv::Row> rows;
    for (int r = 0; r < m_model->rowCount(); ++r)
    {
        auto text = [&](int c)
        {
            const QStandardItem* item = m_model->item(r, c);
            return item ? item->text() : QString();
        };
        rows.append({text(0), text(1), text(2)});
    }
    return rows;
}

QString CMaterialsEditorDialog::DefaultFileName() const
{
    const QString dir = g_App.pMainWindow ? g_App.pMainWindow->DocumentsDir() : QDir::homePath();
    return QDir::toNativeSeparators(dir + QStringLiteral("/Материалы.csv"));
}

void CMaterialsEditorDialog::AppendGridRow(const CMaterialsCsv::Row& row)
{
    QList<QStandardItem*> items{new QStandardItem(row.name), new QStandardItem(row.velocity),
                                new QStandardItem(row.coefficient)};
    items[1]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    items[2]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_model->appendRow(items);
    // A new row is no edit, so the model does not report it: apply the cell
    // rules to its cells here.
    for (QStandardItem* item : items)
        TableItemChanged(item);
}

void CMaterialsEditorDialog::FillGrid(const MaterialList& records)
{
    m_model->clear();
    RestoreHeaders();
    for (const MaterialRecord& record : records)
        AppendGridRow(CMaterialsCsv::RecordToRow(record));
}

void CMaterialsEditorDialog::ShowCompletedList(int TaskID, const MaterialList& records)
{
    FillGrid(records);
    const bool file = m_ui->WorkWithFileCheck->isChecked();
    QString text;
    if (file)
        text = tr("База мaтериалов успешно загружена из файла.");
    else if (TaskID == 5)
        text = tr("База мaтериалов успешно загружена из устройства.");
    else
        text = tr("База материалов успешно сохранена в устройстве.");
    UserPrompts().Information(this, AppName(), text);
}

void CMaterialsEditorDialog::StartTransfer(int TaskID)
{
    if (!g_App.pDeviceManager)
        return;
    ++m_pendingTasks;
    g_App.pDeviceManager->StartTask(TaskID, &m_transferList, 0, this);
}

void CMaterialsEditorDialog::DownloadMaterials()
{
    if (!m_ui->WorkWithFileCheck->isChecked())
    {
        if (RefuseDuringChain(this))
            return;
        // While an earlier transfer is with the worker its list is not ours
        // to touch; the manager refuses the second start anyway.
        if (m_pendingTasks == 0)
            m_transferList.clear();
        StartTransfer(5);
        return;
    }

    const QString path = UserPrompts().OpenFileName(this, tr("Открыть файл"), DefaultFileName(),
                                                    tr("Значения разделённые запятой (*.csv)"));
    if (path.isEmpty())
        return;
    const CMaterialsCsv::ReadResult result = CMaterialsCsv::Read(path);
    if (result.status == CMaterialsCsv::ReadResult::NotOpened)
        return;
    // Nothing was read: the grid stays as it is.
    if (result.status == CMaterialsCsv::ReadResult::Refused)
    {
        UserPrompts().Critical(this, AppName(), result.errorText);
        return;
    }
    if (result.status != CMaterialsCsv::ReadResult::Ok)
        UserPrompts().Critical(this, AppName(), result.errorText);
    if (!result.clampText.isEmpty())
        UserPrompts().Warning(this, AppName(), result.clampText);
    // The rows before a faulty line are shown, as a completed read.
    ShowCompletedList(5, result.records);
}

void CMaterialsEditorDialog::UploadMaterials()
{
    const bool file = m_ui->WorkWithFileCheck->isChecked();
    if (m_model->rowCount() == 0)
    {
        UserPrompts().Critical(this, AppNameTm(),
                               file ? tr("Нет данных для сохранения в файл!")
                                    : tr("Нет данных для загрузки!"));
        return;
    }

    const QList<CMaterialsCsv::Row> rows = Rows();
    if (!file)
    {
        MaterialList list;
        QString error;
        if (!CMaterialsCsv::RowsToGaugeList(rows, &list, &error))
        {
            UserPrompts().Warning(this, AppName(), error);
            return;
        }
        if (RefuseDuringChain(this))
            return;
        // The gauge's table is replaced as a whole: ask first.
        const CUserPrompts::Button answer = UserPrompts().Ask(
            this, CUserPrompts::IconQuestion, AppName(),
            tr("Таблица материалов в устройстве будет заменена таблицей из %1 материал(а)(ов).")
                .arg(list.size()),
            tr("Продолжить запись в устройство?"), CUserPrompts::Yes | CUserPrompts::Cancel,
            {{CUserPrompts::Yes, tr("Продолжить")}, {CUserPrompts::Cancel, tr("Отмена")}},
            CUserPrompts::Cancel);
        if (answer != CUserPrompts::Yes)
            return;
        if (m_pendingTasks == 0)
            m_transferList = list;
        StartTransfer(6);
        return;
    }

    const QString path = UserPrompts().SaveFileName(this, tr("Сохранить файл"), DefaultFileName(),
                                                    tr("Значения разделённые запятой (*.csv)"));
    if (path.isEmpty())
        return;
    // A file that cannot be created ends the save silently, as it always
    // has; a failed write or a target that is no regular file is said, so
    // that a lost save never looks like a saved one.
    CSafeSave::Result written;
    if (!CMaterialsCsv::Write(path, rows, &written))
    {
        if (written.status != CSafeSave::Status::OpenFailed)
            UserPrompts().Critical(this, AppName(), CSafeSave::Describe(path, written));
        return;
    }
    UserPrompts().Information(this, AppName(), tr("База мaтериалов успешно сохранена в файл."));
}

void CMaterialsEditorDialog::AddMaterial()
{
    if (m_model->rowCount() >= CMaterialsCsv::kMaxRowsByHand)
    {
        UserPrompts().Warning(
            this, AppName(),
            tr("Не удалось добавить новый материал: максимальное количество материалов - 70"));
        return;
    }
    AppendGridRow({tr("Новый"), QStringLiteral("1000"), QStringLiteral("0")});
}

void CMaterialsEditorDialog::DeleteMaterial()
{
    const QModelIndex current = m_ui->MaterialsTable->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount())
    {
        UserPrompts().Warning(this, AppName(),
                              tr("Для того, что бы удалить материал, его необходимо выбрать."));
        return;
    }
    m_model->removeRow(current.row());
}

void CMaterialsEditorDialog::Move(int delta)
{
    const QModelIndex current = m_ui->MaterialsTable->currentIndex();
    if (!current.isValid())
    {
        UserPrompts().Warning(this, AppName(),
                              tr("Для того, что бы переместить материал, его необходимо выбрать."));
        return;
    }
    const int row = current.row();
    const int target = row + delta;
    if (target < 0 || target >= m_model->rowCount())
        return;
    const int column = current.column();
    m_model->insertRow(target, m_model->takeRow(row));
    const QModelIndex moved = m_model->index(target, column);
    QItemSelectionModel* selection = m_ui->MaterialsTable->selectionModel();
    selection->setCurrentIndex(moved,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CMaterialsEditorDialog::MoveUP()
{
    Move(-1);
}

void CMaterialsEditorDialog::MoveDown()
{
    Move(+1);
}

void CMaterialsEditorDialog::WorkWithFileCheckToggled(bool checked)
{
    m_ui->DownloadButton->setText(checked ? tr("Открыть") : tr("Получить"));
    m_ui->UploadButton->setText(checked ? tr("Сохранить") : tr("Загрузить"));
}

void CMaterialsEditorDialog::ClearTable()
{
    m_model->clear();
    RestoreHeaders();
    if (m_pendingTasks == 0)
        m_transferList.clear();
}

void CMaterialsEditorDialog::TableItemChanged(QStandardItem* item)
{
    if (!item)
        return;
    const QString text = item->text();
    const QString corrected = CMaterialsCsv::CorrectCell(item->column(), text);
    if (corrected != text)
        item->setText(corrected); // reported again; then nothing is left to correct
}

void CMaterialsEditorDialog::DeviceTaskCompleted(int TaskID, const void*, int nDataLength)
{
    if (TaskID != 5 && TaskID != 6)
        return;
    if (m_pendingTasks > 0)
        --m_pendingTasks;

    if (nDataLength == -1)
    {
        QString text;
        if (m_ui->WorkWithFileCheck->isChecked())
            text = tr("Не удалось загрузить базу материалов из файла.");
        else if (TaskID == 5)
            text = tr("Не удалось получить из устройства список материалов.");
        else
            text = tr("Не удалось сохранить в устройство список материалов.");
        UserPrompts().Critical(this, AppName(), text);
        return;
    }

    const MaterialList records = m_transferList;
    if (m_pendingTasks == 0)
        m_transferList.clear();
    ShowCompletedList(TaskID, records);
}
