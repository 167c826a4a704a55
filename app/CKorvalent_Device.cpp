#include "app/CKorvalent.h"

#include "app/CElidedLabel.h"
#include "app/CStillProgressBar.h"

#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "data/CResultsModels.h"
#include "device/CDeviceManager.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

// Device operations of the main window: firmware version, database download
// and upload chains, clock synchronisation. The chain logic lives in
// CDatabaseTransfer; the slots start its tasks and show its results.

namespace
{
// Starts a task, noting when the manager will refuse it because another one
// runs: that refusal must not be taken for the failure of a running chain.
void StartDeviceTask(CKorvalent* window, int& refusedStarts, int task, void* buffer, int value)
{
    CDeviceManager* manager = g_App.pDeviceManager;
    if (!manager)
        return;
    if (manager->IsBusy())
        ++refusedStarts;
    manager->StartTask(task, buffer, value, window);
}

// Device texts come up to twenty times a second while data flow, and every
// one shown repaints the status bar at once: three times a second still
// reads as moving counts, and each tick wakes the window and repaints it.
constexpr int kDeviceMessageInterval = 333; // ms
// The device worker sends its texts and counts over in batches, three times
// a second: a batch a little early for the interval is shown all the same, or
// the window would wake again for it some milliseconds later, and again for
// the next batch.
constexpr int kDeviceMessageEarly = 50; // ms

// The files table's count column after a file's cells arrived: that file's
// row alone when it is known (a download of 150 files would otherwise make
// the texts of all rows 150 times over).
void UpdateFileCount(QStandardItemModel* model, const DataFileList& files, int file)
{
    if (file < 0 || file >= files.size() || model->rowCount() != files.size() ||
        model->columnCount() != 2)
    {
        CResultsModels::UpdateFileCounts(model, files);
        return;
    }
    const QString tip = CResultsModels::FileRowToolTip(files.at(file));
    if (QStandardItem* item = model->item(file, 1))
    {
        item->setText(CResultsModels::FileRowTexts(files.at(file)).at(1));
        item->setToolTip(tip);
    }
    if (QStandardItem* item = model->item(file, 0))
        item->setToolTip(tip);
}

// A chain owns the device from its first task to its last, also in the
// moments between two tasks when the manager itself is idle: another
// command then would break into the chain.
bool RefuseDuringChain(CKorvalent* window)
{
    if (!window->IsDeviceChainRunning())
        return false;
    UserPrompts().Warning(window, QCoreApplication::applicationName(), CDataMessages::DeviceBusy());
    return true;
}
} // namespace

void CKorvalent::GetDeviceFirmwareVersion()
{
    if (RefuseDuringChain(this))
        return;
    StartDeviceTask(this, m_refusedStarts, 9, nullptr, 0);
}

void CKorvalent::OnResultsDownloadDatabaseFromDevice()
{
    if (RefuseDuringChain(this))
        return;
    // With a task running, the list may be the worker's: leave the data as
    // it is and let the manager refuse the start.
    if (g_App.pDeviceManager && g_App.pDeviceManager->IsBusy())
    {
        StartDeviceTask(this, m_refusedStarts, 11, &m_dataFiles, 0);
        return;
    }
    // Emptying the list also empties the tables that show it.
    const CDatabaseTransfer::Action action = m_transfer.StartDownload();
    FilesTableUpdate();
    OnResultsTablesRefresh();
    CarryOut(action);
}

void CKorvalent::OnResultsUploadDatabaseToDevice()
{
    if (RefuseDuringChain(this))
        return;
    if (g_App.pDeviceManager && g_App.pDeviceManager->IsBusy() && !m_dataFiles.isEmpty())
    {
        StartDeviceTask(this, m_refusedStarts, 15, nullptr, 0);
        return;
    }
    // The upload erases the gauge's database first: nothing starts unless
    // the user agrees.
    if (!m_dataFiles.isEmpty())
    {
        const CDatabaseTransfer::UploadCheck check = CDatabaseTransfer::CheckUpload(m_dataFiles);
        const CUserPrompts::Button answer = UserPrompts().Ask(
            this, CUserPrompts::IconQuestion, QCoreApplication::applicationName(),
            CDatabaseTransfer::UploadQuestion(check), tr("Продолжить отправку данных?"),
            CUserPrompts::Yes | CUserPrompts::Cancel,
            {{CUserPrompts::Yes, tr("Продолжить")}, {CUserPrompts::Cancel, tr("Отмена")}},
            CUserPrompts::Cancel);
        if (answer != CUserPrompts::Yes)
            return;
    }
    CarryOut(m_transfer.StartUpload());
}

void CKorvalent::OnUpdateTimeOnDevice()
{
    if (RefuseDuringChain(this))
        return;
    // The record is taken now, at the command; while another task runs the
    // record of that task (maybe a clock task) is left alone.
    const bool busy = g_App.pDeviceManager && g_App.pDeviceManager->IsBusy();
    quint8* record = busy ? m_transfer.ClockBuffer() : m_transfer.TakeClockRecord();
    StartDeviceTask(this, m_refusedStarts, 14, record, 0);
}

void CKorvalent::ShowDeviceMessage(const QString& text, int timeout)
{
    m_deviceMessage = text;
    m_deviceMessageTimeout = timeout;
    m_deviceMessageHeld = true;
    StatusBarTickDue();
}

// The status bar changes about every kDeviceMessageInterval, text, counts and
// bar together: one repaint of the bar per tick instead of one for each.
void CKorvalent::StatusBarTickDue()
{
    if (!m_deviceMessageTimer)
    {
        m_deviceMessageTimer = new QTimer(this);
        m_deviceMessageTimer->setSingleShot(true);
        connect(m_deviceMessageTimer, &QTimer::timeout, this, &CKorvalent::ShowHeldDeviceMessage);
        // A message put into the bar by someone else meanwhile is newer than
        // the text held back (the counts still go out with the tick).
        connect(statusBar(), &QStatusBar::messageChanged, this,
                [this]
                {
                    if (!m_showingDeviceMessage)
                        m_deviceMessageHeld = false;
                });
    }
    if (m_deviceMessageTimer->isActive())
        return;
    // Due now, the tick still waits for the rest of the batch being handed
    // over (a zero timer runs after it): one tick for all of it.
    const qint64 since =
        m_deviceMessageShown.isValid() ? m_deviceMessageShown.elapsed() : kDeviceMessageInterval;
    m_deviceMessageTimer->start(since >= kDeviceMessageInterval - kDeviceMessageEarly
                                    ? 0
                                    : int(kDeviceMessageInterval - since));
}

void CKorvalent::ShowHeldDeviceMessage()
{
    const bool counts = m_chainCountsHeld && m_chainProgress;
    if (!m_deviceMessageHeld && !counts)
        return;
    if (m_deviceMessageTimer)
        m_deviceMessageTimer->stop();
    m_deviceMessageShown.start();
    if (m_deviceMessageHeld)
    {
        m_deviceMessageHeld = false;
        m_showingDeviceMessage = true;
        statusBar()->showMessage(m_deviceMessage, m_deviceMessageTimeout);
        m_showingDeviceMessage = false;
    }
    if (counts)
        UpdateChainProgress();
}

void CKorvalent::DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
{
    // The task's last text comes before its completion: on screen now.
    ShowHeldDeviceMessage();
    if (nDataLength == -1 && m_refusedStarts > 0)
    {
        --m_refusedStarts;
        return;
    }
    const bool cancelled = g_App.pDeviceManager && g_App.pDeviceManager->LastTaskCancelled();
    CarryOut(m_transfer.TaskCompleted(TaskID, lpUserBuf, nDataLength, cancelled));
}

void CKorvalent::CarryOut(const CDatabaseTransfer::Action& action)
{
    const QString title = QCoreApplication::applicationName();

    if (action.task >= 0)
        m_chainTask = m_transfer.IsRunning() ? action.task : 0;
    else if (action.chainEnded || !m_transfer.IsRunning())
        m_chainTask = 0;
    UpdateChainProgress();

    if (action.refreshFilesTable)
        FilesTableUpdate();
    else if (action.refreshFileCounts)
        UpdateFileCount(m_filesModel, m_dataFiles, action.countsFile);
    if (action.refreshResultsTables)
        OnResultsTablesRefresh();
    if (action.setLabel && m_dataStatusLabel)
        m_dataStatusLabel->setText(action.label);
    if (!action.warning.isEmpty())
        UserPrompts().Warning(this, title, action.warning);
    if (!action.information.isEmpty())
        UserPrompts().Information(this, title, action.information);
    ArchiveAfterChain(action);
    // The chain's own next step: should another window have taken the
    // device meanwhile, the manager's refusal ends the chain as a failure.
    if (action.task < 0)
        return;
    if (g_App.pDeviceManager)
        g_App.pDeviceManager->StartTask(action.task, action.buffer, action.value, this);
    else if (m_transfer.IsRunning())
        // Without a device manager no completion would ever come: end the
        // chain as failed rather than leave the data operations refused.
        CarryOut(m_transfer.TaskCompleted(action.task, nullptr, -1));
}

void CKorvalent::UpdateChainProgress()
{
    if (!m_chainProgress)
    {
        if (m_chainTask == 0)
            return;
        // The counts go beside the bar, in a label that elides: inside the
        // bar they were clipped, and the bar's width widened the window.
        m_chainProgressText = new CElidedLabel(QString(), this);
        m_chainProgressText->setObjectName(QStringLiteral("DeviceChainProgressText"));
        m_chainProgress = new CStillProgressBar(this);
        m_chainProgress->setObjectName(QStringLiteral("DeviceChainProgress"));
        m_chainProgress->setMinimumWidth(40);
        m_chainProgress->setMaximumWidth(100);
        m_chainProgress->setTextVisible(false);
        m_chainCancel = new QToolButton(this);
        m_chainCancel->setObjectName(QStringLiteral("DeviceChainCancelButton"));
        m_chainCancel->setText(tr("Прервать"));
        m_chainCancel->setToolTip(tr("Прервать обмен с устройством после текущего запроса"));
        m_chainCancel->setAutoRaise(true);
        statusBar()->addPermanentWidget(m_chainProgressText);
        statusBar()->addPermanentWidget(m_chainProgress);
        statusBar()->addPermanentWidget(m_chainCancel);
        connect(m_chainCancel, &QToolButton::clicked, this, &CKorvalent::CancelDeviceChain);
        if (g_App.pDeviceManager)
            connect(g_App.pDeviceManager, &CDeviceManager::TaskProgress, this,
                    &CKorvalent::OnDeviceTaskProgress);
    }

    const bool running = m_chainTask != 0;
    // Whatever is held goes out now.
    m_chainCountsHeld = false;
    m_chainProgress->setVisible(running);
    m_chainProgressText->setVisible(running);
    m_chainCancel->setVisible(running);
    // The counts change a few times a second: while the chain runs their
    // label keeps its size (the row's height, once the window has laid the
    // row out) and only widens, so that the status bar is not laid out anew.
    if (!running)
        m_chainProgressText->HoldSize(0);
    else if (m_deviceStatusLabel->isVisible() && m_chainProgressText->isVisible())
        m_chainProgressText->HoldSize(m_deviceStatusLabel->height());
    // The data label has nothing to say while the data are on the way.
    m_dataStatusLabel->setVisible(!running);
    FitStatusBar();
    if (!running)
    {
        m_chainPercent = -1;
        return;
    }
    m_chainCancel->setEnabled(true);
    const CDatabaseTransfer::Progress p = m_transfer.CurrentProgress();
    m_chainProgressText->SetText(p.text);
    // The bar (100 pixels at most) is set when it moves by a whole percent,
    // or when its range changes. Maximum 0 makes it a busy indicator until
    // the totals are known.
    const int value = p.maximum > 0 ? p.value : 0;
    const int percent = p.maximum > 0 ? int(qint64(value) * 100 / p.maximum) : 0;
    if (percent == m_chainPercent && p.maximum == m_chainProgress->maximum())
        return;
    m_chainPercent = percent;
    // A bar whose chunk moves repaints itself (and the status bar under it)
    // at once, then again with the texts: held, it is drawn once, with them.
    m_chainProgress->setUpdatesEnabled(false);
    m_chainProgress->setRange(0, p.maximum);
    m_chainProgress->setValue(value);
    m_chainProgress->setFormat(p.text);
    m_chainProgress->setUpdatesEnabled(true);
}

void CKorvalent::OnDeviceTaskProgress(int done, int total)
{
    if (m_chainTask == 0)
        return;
    m_transfer.TaskProgress(done, total);
    // One signal per record: show the counts when the bar moves by a visible
    // step (1/500 of the way), not 38000 times for the largest database.
    const CDatabaseTransfer::Progress p = m_transfer.CurrentProgress();
    const int step = p.maximum > 0 ? int(qint64(p.value) * 500 / p.maximum) : done;
    const QVariant last = m_chainProgress ? m_chainProgress->property("kvStep") : QVariant();
    if (last.isValid() && last.toInt() == step)
        return;
    if (!m_chainProgress)
    {
        UpdateChainProgress();
        return;
    }
    // With the next tick of the status bar. The chain's next step shows the
    // counts as they stand.
    m_chainProgress->setProperty("kvStep", step);
    m_chainCountsHeld = true;
    StatusBarTickDue();
}

void CKorvalent::CancelDeviceChain()
{
    if (m_chainTask == 0)
        return;
    m_transfer.RequestCancel();
    if (g_App.pDeviceManager)
        g_App.pDeviceManager->RequestCancel();
    if (m_chainCancel)
        m_chainCancel->setEnabled(false);
}
