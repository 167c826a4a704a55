#pragma once

#include "app/CElidedLabel.h"
#include "data/GaugeRecords.h"
#include "report/CReportSource.h"
#include "tools/CDatabaseTransfer.h"

#include <QElapsedTimer>
#include <QItemSelection>
#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QString>

class QAction;
class QLabel;
class QStandardItemModel;
class QItemSelectionModel;
class QTimer;
class QSettings;
class QProgressBar;
class QScrollArea;
class QToolButton;
class CAboutDialog;
class CDeviceSelectorDialog;
class CMaterialsEditorDialog;
class CResultsExporter;
class CTableFitter;
class CPEPParamsEditorDialog;
class CPEPListDialog;
class CDeviceScreenshotDialog;
class CReportData;
class CReportPreviewWindow;
class CAnalysisView;
class CArchiveWorker;

namespace Ui
{
class CKorvalent;
class CReportPage;
} // namespace Ui
// Both forms of the window (app/CKorvalentUi.h, reached through the frame's
// generated header).
template <typename Frame> class CKorvalentUiOf;
using CKorvalentUi = CKorvalentUiOf<Ui::CKorvalent>;

// The program's main window. Its implementation is split by subsystem:
//   CKorvalent.cpp          frame: construction, menus, geometry, clock, help
//   CKorvalent_Results.cpp  data-file list, results and statistics, storage
//   CKorvalent_Device.cpp   firmware, database download / upload, clock sync
//   CKorvalent_Report.cpp   report page
//   CKorvalent_Export.cpp   CSV and spreadsheet export
//   CKorvalent_Analysis.cpp analysis tab, statistics rows that find their cell
//   CKorvalent_Keys.cpp     shortcuts, mnemonics, focus order, screen fit
//   CKorvalent_Archive.cpp  the survey archive's menu, downloads archived
class CKorvalent : public QMainWindow
{
    Q_OBJECT

public:
    // The report page is built with the window, or (the program's choice,
    // for a faster start) when first needed: shown, filled or read, at the
    // latest right after the window's first paint.
    enum class ReportPageBuild
    {
        WithWindow,
        WhenNeeded
    };
    explicit CKorvalent(QWidget* parent = nullptr,
                        ReportPageBuild reportPage = ReportPageBuild::WithWindow);
    ~CKorvalent() override;

    // The widgets of both forms; the report page's are null until it is built.
    CKorvalentUi* ui() const { return m_ui; }
    // The report page's widgets, the page built first if it was not yet.
    Ui::CReportPage* ReportPage() const;
    bool IsReportPageBuilt() const { return m_reportPageBuilt; }
    const QString& DocumentsDir() const { return m_documentsDir; }
    void SetDocumentsDir(const QString& dir) { m_documentsDir = dir; }

    // The measurement data held by the window.
    DataFileList& DataFiles() { return m_dataFiles; }
    MaterialList& Materials() { return m_materials; }
    int SelectedFileIndex() const { return m_nSelectedFile; }

    QLabel* DataStatusLabel() const { return m_dataStatusLabel; }
    // The device manager's status texts: shown in the status bar at most four
    // times a second, the latest one held back until then; what is held back
    // is shown at the latest when its task's completion arrives.
    void ShowDeviceMessage(const QString& text, int timeout);
    QLabel* DeviceStatusLabel() const { return m_deviceStatusLabel; }
    QStandardItemModel* FilesModel() const { return m_filesModel; }
    QStandardItemModel* ResultsModel() const { return m_resultsModel; }
    QStandardItemModel* StatisticsModel() const { return m_statisticsModel; }
    QStandardItemModel* ReportResultsModel() const { return m_reportResultsModel; }
    QStandardItemModel* ReportStatsModel() const { return m_reportStatsModel; }
    // The windows this one owns, each built when first asked for.
    CDeviceSelectorDialog* DeviceSelector() const;
    CMaterialsEditorDialog* MaterialsEditor() const;
    CAboutDialog* AboutDialog() const;
    CResultsExporter* ResultsExporter() const;
    CPEPParamsEditorDialog* PEPEditor() const;
    CPEPListDialog* PEPList() const;
    CDeviceScreenshotDialog* ScreenshotDialog() const;
    CReportPreviewWindow* ReportPreview() const;
    // The report document of the last generation (empty before the first).
    const QString& ReportDocument() const { return m_reportDocument; }
    // Built when first asked for, when its tab is chosen or after the first paint.
    CAnalysisView* AnalysisView() const;
    // Selects and shows a row of the results table; false when there is none.
    bool SelectResultRow(int row);

    // Sets the device status label from the saved "Device" settings group.
    void UpdateDeviceLabel();

    // The user manual, opened by the help action: HelpFilePathIn for the
    // running executable's folder.
    static QString HelpFilePath();
    // Beside the executable (the build tree), else in the documentation folder
    // of an installed copy; the path beside the executable when neither exists.
    static QString HelpFilePathIn(const QString& executableDir);

    // Opens files given on the command line, each recognised by its content:
    // the first database or data file and the first report file, loaded as
    // the menu items load them (with their message boxes). A file of no known
    // kind goes to the database loader when no database or data file is
    // given, so that its message tells why it was not opened.
    void OpenFiles(const QStringList& paths);
    // The loading halves of the three menu items, after their file dialog.
    void LoadDatabaseFile(const QString& path);
    void LoadDataFile(const QString& path);
    void LoadReportFile(const QString& path);

    // True while a device chain of this window (download, upload) runs; data
    // operations that replace or read the data-file list are refused then.
    bool IsDeviceChainRunning() const { return m_chainTask != 0; }

    // The window's keys: each action (object name) with the keys that trigger it.
    struct KeyBinding
    {
        QString action;
        QList<QKeySequence> keys;
    };
    static QList<KeyBinding> KeyBindings();

public Q_SLOTS:
    void ShowPEPListDialog();
    void ShowPEPEditorDialog();
    void ShowMaterialsEditorDialog();
    void ShowDeviceSelectorDialog();
    void ShowDeviceScreenshotDialog();
    void ShowAboutDialog();
    void ShowHelpDialog();
    void ExportResultsToCSV();
    void ExportResultsToXLS();
    void FilesTableUpdate();
    void ResultsTablesReset();
    void GetDeviceFirmwareVersion();
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);
    void ResultFilesTableItemChanged(QItemSelection selected, QItemSelection deselected);
    void ResultFilesTableClick(QModelIndex index);
    void OnResultsDownloadDatabaseFromDevice();
    void OnResultsUploadDatabaseToDevice();
    void OnResultsLoadDatabaseFromFile();
    void OnResultsSaveDatabaseToFile();
    void OnResultsTablesRefresh();
    void OnResultsSaveFile();
    void OnResultsLoadFile();
    void OnResultsDeleteFile();
    void OnReportRefresh();
    void OnReportCreate();
    void OnReportSaveToFile();
    void OnReportLoadFromFile();
    void OnReportResultsRefresh();
    void OnReportDocumentRefresh();
    void OnReportDocumentPrint();
    void OnReportDocumentPreview();
    void OnReportClearInfoFields();
    void OnReportClearConclutionFields();
    void OnReportShowConclutionTab();
    void OnReportShowPreviewTab();
    void OnReportShowResultsTab();
    void OnReportTabSwitch(int nIndex);
    void OnUpdateTimeDate();
    void OnUpdateTimeOnDevice();
    void OnChangeDocumentsDir();

private Q_SLOTS:
    // Beyond the specified slots: the report as a PDF document.
    void OnReportSaveToPdf();
    // X(min) / X(max) clicked: the first cell holding that value.
    void OnStatisticsTableClick(QModelIndex index);
    // F5: the refresh of the tab shown (data, report or analysis).
    void RefreshCurrentTab();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // --- frame (CKorvalent.cpp) ---
    CKorvalentUi* m_ui = nullptr;
    // Owned windows without a parent: null until first asked for (a window
    // nobody opens costs nothing at start-up).
    mutable CAboutDialog* m_aboutDialog = nullptr;
    mutable CDeviceSelectorDialog* m_deviceSelector = nullptr;
    mutable CMaterialsEditorDialog* m_materialsEditor = nullptr;
    mutable CResultsExporter* m_resultsExporter = nullptr;
    mutable CPEPParamsEditorDialog* m_pepEditor = nullptr;
    mutable CPEPListDialog* m_pepList = nullptr;
    mutable CDeviceScreenshotDialog* m_screenshotDialog = nullptr;
    template <typename Window> Window* Owned(Window*& window) const;
    QStandardItemModel* m_filesModel = nullptr;
    QItemSelectionModel* m_filesSelection = nullptr;
    QStandardItemModel* m_resultsModel = nullptr;
    QStandardItemModel* m_statisticsModel = nullptr;
    QStandardItemModel* m_reportResultsModel = nullptr;
    QStandardItemModel* m_reportStatsModel = nullptr;
    CElidedLabel* m_dataStatusLabel = nullptr;
    CElidedLabel* m_deviceStatusLabel = nullptr;
    QTimer* m_clockTimer = nullptr;
    QString m_documentsDir;
    QString m_reportTemplate;
    QSettings* m_ownSettings = nullptr; // only when the entry made none
    bool m_painted = false;             // the first paint has been seen
    // What the window builds once it has painted for the first time.
    void AfterFirstPaint();
    QSettings* Settings();
    void ConnectActions();

    // --- measurement data (CKorvalent_Results.cpp) ---
    DataFileList m_dataFiles;
    MaterialList m_materials;
    int m_nSelectedFile = -1;
    CTableFitter* m_resultsFitter = nullptr;
    bool m_syncingSelection = false;  // the program moves the files table's selection
    QString m_labelBeforeDataWarning; // the data label the statistics warning replaced
    void SyncFilesSelection();

    // --- device operations (CKorvalent_Device.cpp) ---
    int m_chainTask = 0; // task of the running chain, 0 when none
    CDatabaseTransfer m_transfer{&m_dataFiles, &m_materials, &m_nSelectedFile};
    QProgressBar* m_chainProgress = nullptr; // status bar, shown while a chain runs
    QToolButton* m_chainCancel = nullptr;
    CElidedLabel* m_chainProgressText = nullptr; // "Файлы: … ячейки: …" beside the bar
    void FitStatusBar();
    int m_refusedStarts = 0; // starts made while the device was busy; their refusal is ignored
    void CarryOut(const CDatabaseTransfer::Action& action);
    void UpdateChainProgress();
    void OnDeviceTaskProgress(int done, int total);
    void CancelDeviceChain();
    QTimer* m_deviceMessageTimer = nullptr; // shows the text held back
    QElapsedTimer m_deviceMessageShown;     // since the status bar's last device tick
    QString m_deviceMessage;                // held back, with its timeout
    int m_deviceMessageTimeout = 0;
    bool m_deviceMessageHeld = false;
    bool m_showingDeviceMessage = false;
    void ShowHeldDeviceMessage();
    void StatusBarTickDue();
    bool m_chainCountsHeld = false; // the counts wait for the next tick
    int m_chainPercent = -1;        // of the progress bar as last set

    // --- report (CKorvalent_Report.cpp) ---
    mutable CReportPreviewWindow* m_reportPreview = nullptr;
    // Ties a newly built preview window to this one.
    void ReportPreviewSetup(CReportPreviewWindow* preview);
    QString m_reportDocument;
    bool m_reportPageBuilt = false;
    void BuildReportPage();
    void ReportSetup();
    bool HasSelectedDataFile() const;
    void RefreshDeviceFields(bool reportMissingFile);
    CReportData ReadReport() const;
    void ShowReportFields(const CReportData& report);
    void ShowReportStatistics(const QStringList& values);
    void ShowReportRows(const QList<QStringList>& rows);
    // The data file the report's results came from, and the selected file
    // for which the user chose to keep them.
    CReportSource m_reportSource;
    CReportSource m_reportSourceKeptWith;
    void SetReportSource(const CReportSource& source);
    bool ConfirmReportSource();

    // --- analysis (CKorvalent_Analysis.cpp) ---
    CAnalysisView* m_analysisView = nullptr;
    QScrollArea* m_analysisPage = nullptr; // the tab the view goes into
    void AnalysisSetup();
    void BuildAnalysisView();

    // --- keys, focus and screen fit (CKorvalent_Keys.cpp) ---
    void KeysSetup();
    // The report page's part of it, when the page is built.
    void ReportPageKeys();
    // The window's minimum: what its content needs, up to the screen's room.
    void FitContentMinimum();
    // --- survey archive (CKorvalent_Archive.cpp) ---
public:
    // The archive's location: the setting, or the file in the documents
    // directory.
    QString ArchiveLocation();
    QAction* ArchiveDownloadsAction() const { return m_archiveDownloadsAction; }
    // The menu's commands (plain methods: the window's slots are a fixed set).
    void OnArchiveLoadedData();
    void OnArchiveBrowse();
    void OnArchiveChooseLocation();
    // An archiving is running or waiting for its turn (on its own thread).
    bool IsArchiving() const;

private:
    bool m_archiveDemo = false;
    QAction* m_archiveDownloadsAction = nullptr;
    CArchiveWorker* m_archiveWorker = nullptr;
    void ArchiveSetup();
    // The archiving of data the window holds, on the worker's thread; the
    // outcome is told as the window tells it.
    enum ArchiveKind
    {
        ArchiveOfDownload,
        ArchiveOfLoadedData
    };
    void StartArchiving(ArchiveKind kind);
    // After a device chain: a successful download is archived.
    void ArchiveAfterChain(const CDatabaseTransfer::Action& action);
};
