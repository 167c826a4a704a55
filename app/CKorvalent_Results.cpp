#include "app/CKorvalent.h"

#include "app/CTableFitter.h"
#include "analysis/CAnalysisView.h"

#include "ui_CKorvalent.h"

#include "core/CAppGlobals.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "data/CStatistics.h"
#include "data/StatisticsRows.h"
#include "device/CDeviceManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QScopedValueRollback>
#include <QStandardItemModel>

namespace
{
QString Title()
{
    return QCoreApplication::applicationName();
}

// Start folder of the file dialogs: the documents directory with a trailing
// separator, optionally followed by a proposed file name.
QString StartPath(const QString& documentsDir, const QString& fileName = QString())
{
    return QDir::toNativeSeparators(documentsDir + QLatin1Char('/')) + fileName;
}

// The download and upload fill and read the data-file list from the device
// worker: while a device task or chain runs, the list is left alone. Warns
// and returns true then.
bool RefuseWhileDeviceBusy(CKorvalent* window)
{
    const bool busy =
        window->IsDeviceChainRunning() || (g_App.pDeviceManager && g_App.pDeviceManager->IsBusy());
    if (busy)
        UserPrompts().Warning(window, Title(), CDataMessages::DeviceBusy());
    return busy;
}

// A save target that exists and is no regular file (a device node, a FIFO, a
// folder) is refused: the save's failure text, then the line naming the file.
// Returns true then; nothing is written.
bool RefuseSpecialTarget(CKorvalent* window, const QString& path, const QString& failureText)
{
    const CSafeSave::Result check = CSafeSave::CheckTarget(path);
    if (check.status != CSafeSave::Status::NotRegularFile)
        return false;
    UserPrompts().Critical(
        window, Title(), CDataMessages::WithReason(failureText, CSafeSave::Describe(path, check)));
    return true;
}
} // namespace

void CKorvalent::FilesTableUpdate()
{
    CResultsModels::FillFiles(m_filesModel, m_dataFiles);
}

void CKorvalent::ResultsTablesReset()
{
    CResultsModels::ResetResults(m_resultsModel);
    StatisticsRows::Fill(m_statisticsModel);
    CTableFitter::FixStatisticsColumns(ui()->StatisticsTable);
    if (m_resultsFitter)
        m_resultsFitter->Refit();
}

void CKorvalent::OnResultsTablesRefresh()
{
    ResultsTablesReset();
    // Save and delete act on the files table's current row: keep it on the
    // file the results show, whoever moved the selected index.
    SyncFilesSelection();
    if (m_analysisView)
        m_analysisView->SetCurrentFile(m_nSelectedFile);
    if (m_nSelectedFile < 0 || m_nSelectedFile >= m_dataFiles.size())
        return;

    const QList<CStatistics::Reading> values =
        CResultsModels::FillResults(m_resultsModel, m_dataFiles.at(m_nSelectedFile), m_materials);
    m_resultsFitter->Refit();

    const CStatistics::Result statistics = CStatistics::Compute(values);
    CStatistics::WriteToModel(m_statisticsModel, statistics);
    const QString warning = CStatistics::NotEnoughDataLabelText();
    if (statistics.reach == CStatistics::NoValidValues)
    {
        if (m_dataStatusLabel->text() != warning)
            m_labelBeforeDataWarning = m_dataStatusLabel->text();
        m_dataStatusLabel->setText(warning);
        return;
    }
    // The warning spoke of the file shown before; the label it replaced
    // comes back, unless something else has set the label since.
    if (m_dataStatusLabel->text() == warning)
        m_dataStatusLabel->setText(m_labelBeforeDataWarning);
    if (statistics.reach == CStatistics::OneValidValue)
        UserPrompts().Warning(this, Title(), CStatistics::SomeValuesWarningText());
}

void CKorvalent::SyncFilesSelection()
{
    QItemSelectionModel* selection = ui()->ResultFilesTable->selectionModel();
    if (!selection)
        return;
    const QScopedValueRollback<bool> guard(m_syncingSelection, true);
    if (m_nSelectedFile < 0 || m_nSelectedFile >= m_filesModel->rowCount())
    {
        selection->clear();
        return;
    }
    const QModelIndex index = m_filesModel->index(m_nSelectedFile, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui()->ResultFilesTable->scrollTo(index);
}

void CKorvalent::ResultFilesTableClick(QModelIndex index)
{
    // An invalid index (row -1) selects nothing: the tables are reset.
    if (index.row() >= m_dataFiles.size())
        return;
    m_nSelectedFile = index.row();
    OnResultsTablesRefresh();
}

void CKorvalent::ResultFilesTableItemChanged(QItemSelection selected, QItemSelection deselected)
{
    Q_UNUSED(deselected);
    if (m_syncingSelection)
        return;
    const QModelIndexList indexes = selected.indexes();
    if (indexes.isEmpty())
        return;
    m_nSelectedFile = indexes.first().row();
    OnResultsTablesRefresh();
}

void CKorvalent::OnResultsLoadDatabaseFromFile()
{
    if (RefuseWhileDeviceBusy(this))
        return;
    const QString path =
        UserPrompts().OpenFileName(this, CDataMessages::OpenDatabaseCaption(),
                                   StartPath(m_documentsDir), CDataMessages::DatabaseFilter());
    if (!path.isEmpty())
        LoadDatabaseFile(path);
}

void CKorvalent::LoadDatabaseFile(const QString& path)
{
    if (RefuseWhileDeviceBusy(this))
        return;

    const CDataStorage::LoadResult result = CDataStorage::LoadDatabaseFile(path);
    switch (result.status)
    {
    case CDataStorage::LoadResult::OpenFailed:
        UserPrompts().Critical(this, Title(), CDataMessages::DatabaseOpenFailed(path));
        return;
    case CDataStorage::LoadResult::ParseFailed:
        UserPrompts().Critical(this, Title(),
                               CDataMessages::DatabaseParseFailed(path, result.parserError));
        return;
    case CDataStorage::LoadResult::WrongKind:
        UserPrompts().Critical(this, Title(), CDataMessages::DatabaseWrongKind(path));
        return;
    case CDataStorage::LoadResult::Ok:
        break;
    }

    m_dataFiles = result.files;
    if (result.truncated)
        UserPrompts().Warning(this, Title(), CDataMessages::DatabaseTooManyFiles());
    m_dataStatusLabel->setText(
        m_dataFiles.isEmpty()
            ? CDataMessages::LabelNotLoaded()
            : CDataMessages::LabelWithIncompleteNote(
                  CDataMessages::LabelLoadedFromPc(int(m_dataFiles.size())), m_dataFiles));
    if (result.damaged)
        UserPrompts().Warning(this, Title(), CDataMessages::DatabaseDamaged());

    FilesTableUpdate();
    m_nSelectedFile = 0;
    OnResultsTablesRefresh();
}

void CKorvalent::OnResultsSaveDatabaseToFile()
{
    if (RefuseWhileDeviceBusy(this))
        return;
    if (m_dataFiles.isEmpty())
    {
        UserPrompts().Warning(this, Title(), CDataMessages::NothingToSave());
        return;
    }
    const QString path =
        UserPrompts().SaveFileName(this, CDataMessages::SaveDatabaseCaption(),
                                   StartPath(m_documentsDir), CDataMessages::DatabaseFilter());
    if (path.isEmpty() || RefuseWhileDeviceBusy(this))
        return;

    if (RefuseSpecialTarget(this, path, CDataMessages::DatabaseCreateFailed()))
        return;
    if (!CDataStorage::SaveDatabaseFile(path, m_dataFiles))
    {
        UserPrompts().Critical(this, Title(), CDataMessages::DatabaseCreateFailed());
        return;
    }
    UserPrompts().Information(this, Title(), CDataMessages::DatabaseSaved(m_dataFiles));
}

void CKorvalent::OnResultsLoadFile()
{
    if (RefuseWhileDeviceBusy(this))
        return;
    const QString path =
        UserPrompts().OpenFileName(this, CDataMessages::OpenDataFileCaption(),
                                   StartPath(m_documentsDir), CDataMessages::DataFileFilter());
    if (!path.isEmpty())
        LoadDataFile(path);
}

void CKorvalent::LoadDataFile(const QString& path)
{
    if (RefuseWhileDeviceBusy(this))
        return;

    if (m_dataFiles.size() >= CDataStorage::kMaxDataFiles)
    {
        UserPrompts().Warning(this, Title(), CDataMessages::DataFileLimitReached());
        return;
    }
    const QString baseName = CDataStorage::BaseName(path);
    if (CDataStorage::FindByName(m_dataFiles, baseName) >= 0)
    {
        UserPrompts().Critical(this, Title(), CDataMessages::DataFileAlreadyLoaded(baseName));
        return;
    }

    const CDataStorage::LoadResult result = CDataStorage::LoadDataFile(path);
    switch (result.status)
    {
    case CDataStorage::LoadResult::OpenFailed:
        UserPrompts().Critical(this, Title(), CDataMessages::DataFileOpenFailed(path));
        return;
    case CDataStorage::LoadResult::ParseFailed:
        UserPrompts().Critical(this, Title(),
                               CDataMessages::DataFileParseFailed(path, result.parserError));
        return;
    case CDataStorage::LoadResult::WrongKind:
        UserPrompts().Critical(this, Title(), CDataMessages::DataFileWrongKind(path));
        return;
    case CDataStorage::LoadResult::Ok:
        break;
    }

    m_dataFiles.append(result.files.first());
    m_nSelectedFile = int(m_dataFiles.size()) - 1;
    FilesTableUpdate();
    OnResultsTablesRefresh();
    if (result.damaged)
        UserPrompts().Warning(this, Title(), CDataMessages::DataFileDamaged());
    else
        UserPrompts().Information(this, Title(), CDataMessages::DataFileLoaded());
    m_dataStatusLabel->setText(
        CDataMessages::LabelWithIncompleteNote(CDataMessages::LabelLoadedFromFile(), m_dataFiles));
}

void CKorvalent::OnResultsSaveFile()
{
    if (RefuseWhileDeviceBusy(this))
        return;
    if (m_dataFiles.isEmpty())
    {
        UserPrompts().Warning(this, Title(), CDataMessages::NoFilesToSave());
        return;
    }
    const int row = ui()->ResultFilesTable->currentIndex().row();
    if (row < 0 || row >= m_dataFiles.size())
    {
        UserPrompts().Warning(this, Title(), CDataMessages::SelectFileToSave());
        return;
    }
    const QString path = UserPrompts().SaveFileName(
        this, CDataMessages::SaveDataFileCaption(),
        StartPath(m_documentsDir, CDataStorage::FileName(m_dataFiles.at(row))),
        CDataMessages::DataFileFilter());
    if (path.isEmpty() || RefuseWhileDeviceBusy(this))
        return;

    if (RefuseSpecialTarget(this, path, CDataMessages::DataFileCreateFailed()))
        return;
    if (!CDataStorage::SaveDataFile(path, m_dataFiles.at(row)))
    {
        UserPrompts().Critical(this, Title(), CDataMessages::DataFileCreateFailed());
        return;
    }
    UserPrompts().Information(this, Title(), CDataMessages::DataFileSaved());
}

void CKorvalent::OnResultsDeleteFile()
{
    if (RefuseWhileDeviceBusy(this))
        return;
    const int row = ui()->ResultFilesTable->currentIndex().row();
    if (m_dataFiles.isEmpty() || row < 0 || row >= m_dataFiles.size())
    {
        UserPrompts().Warning(this, Title(), CDataMessages::NoFileToDelete());
        return;
    }

    m_dataFiles.removeAt(row);
    // A label that counts the files keeps counting them right; the refresh
    // below may still replace it with the statistics' own label.
    // ... and a note about incomplete files stays true for the files left,
    // also in the label a statistics warning may bring back.
    auto recounted = [this](const QString& label)
    {
        const QString withoutNote = CDataMessages::LabelWithIncompleteNote(label, {});
        const QString text = CDataMessages::LabelRecounted(withoutNote, int(m_dataFiles.size()));
        return withoutNote == label ? text
                                    : CDataMessages::LabelWithIncompleteNote(text, m_dataFiles);
    };
    m_labelBeforeDataWarning = recounted(m_labelBeforeDataWarning);
    m_dataStatusLabel->setText(recounted(m_dataStatusLabel->text()));
    FilesTableUpdate();
    m_nSelectedFile = int(m_dataFiles.size()) - 1;
    OnResultsTablesRefresh();
    if (m_dataFiles.isEmpty())
        m_dataStatusLabel->setText(CDataMessages::LabelNotLoaded());
}
