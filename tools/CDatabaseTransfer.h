#pragma once

#include "data/GaugeRecords.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

// The main window's device operations without the window: the download
// chain (11 -> 12 per file -> 5), the upload chain (15 -> 13 per file), the
// firmware text and the clock record. The owner starts the task an Action
// names, feeds every completion back through TaskCompleted and carries out
// the next Action (labels, boxes, table refreshes). The window and the
// command line drive the same object, so both walk the same chain.
class CDatabaseTransfer
{
public:
    // The data the chains work on, owned by the caller. selectedIndex is the
    // window's selected file index, which the chains move.
    CDatabaseTransfer(DataFileList* files, MaterialList* materials, int* selectedIndex);

    enum Chain
    {
        NoChain,
        DownloadChain,
        UploadChain
    };

    // What the owner does after a step, in this order: refresh the files
    // table (or its cell counts), refresh the results tables, set the data status label, show the
    // boxes, start the next task.
    struct Action
    {
        int task = -1;          // task to start next, -1 for none
        void* buffer = nullptr; // its lpUserBuf
        int value = 0;          // its nValue
        bool refreshFilesTable = false;
        bool refreshFileCounts = false; // the cell counts of the files table, in place
        int countsFile = -1; // with refreshFileCounts: the one file whose count moved (-1: any)
        bool refreshResultsTables = false;
        bool setLabel = false;
        QString label;           // data status label text when setLabel
        QString information;     // information box text, empty for none
        QString warning;         // warning box text, empty for none
        bool chainEnded = false; // the chain stopped here (success, failure or cancel)
        bool succeeded = false;  // with chainEnded: the whole chain went through
    };

    // Empties the data-file list, resets the label, starts task 11.
    Action StartDownload();
    // Refused with a warning when there is nothing to send; otherwise task 15.
    Action StartUpload();
    // The reaction to a completion of a chain task or of task 9 / 14.
    // payload is lpUserBuf (task 9 reads the firmware reply from it);
    // cancelled tells that the task stopped because of RequestCancel.
    Action TaskCompleted(int TaskID, const void* payload, int nDataLength, bool cancelled = false);

    // Stops the running chain at its next completion.
    void RequestCancel() { m_cancelRequested = (m_chain != NoChain); }

    bool IsRunning() const { return m_chain != NoChain; }

    // Progress of the running chain: files and cells done of those known.
    struct Progress
    {
        int filesDone = 0;
        int filesTotal = 0;
        int cellsDone = 0;
        int cellsTotal = 0;
        int value = 0;   // for a progress bar
        int maximum = 0; // 0 while the total is not known yet
        QString text;
    };
    // Fed from the device manager's TaskProgress(done, total).
    void TaskProgress(int done, int total);
    Progress CurrentProgress() const;

    // Firmware version box text from the 6-byte reply payload.
    static QString FirmwareText(const void* payload);
    // The 6-byte date and time record for a moment of the PC's clock.
    static std::array<quint8, 6> ClockRecord(const QDateTime& moment);
    // Fills the record kept for task 14 from CClock::Now() and returns it.
    quint8* TakeClockRecord();
    quint8* ClockBuffer() { return m_clockRecord.data(); }

    // Information box text of a successful clock synchronisation.
    static QString ClockSyncedText();

    // Label texts.
    static QString NotLoadedLabel();
    static QString LoadedLabel(int files);
    static QString UploadedLabel(int files);

    // An upload erases the gauge's whole database first: what the user is
    // asked before it starts. Files holding fewer cells than they announce
    // (left by a cancelled or failed download) are counted.
    struct UploadCheck
    {
        int files = 0;
        int incompleteFiles = 0;
        int missingCells = 0;
        // Names held by more than one file: the gauge keeps only the first
        // file of each name and refuses the others.
        QStringList repeatedNames;
    };
    static UploadCheck CheckUpload(const DataFileList& files);
    static QString UploadQuestion(const UploadCheck& check);
    // Empty when every file is complete.
    static QString IncompleteFilesWarning(const UploadCheck& check);
    // Empty when no two files share a name.
    static QString RepeatedNamesWarning(const UploadCheck& check);

    // Names of the files the gauge refused during the last upload (a name
    // it already held); the upload's final message counts and names them.
    QStringList RefusedFiles() const { return m_refusedFiles; }
    // The final message of an upload the gauge refused files of.
    static QString RefusedText(const QStringList& refused, int files);

private:
    // Fresh bookkeeping for `chain`, whose first task is `task`.
    Action BeginChain(Action a, Chain chain, int task, void* buffer);
    Action EndChain(Action a, bool succeeded);
    // The owner starts `task` next; progress follows it.
    Action NextTask(Action a, int task, void* buffer, int value);
    // Next task: the cells of data file `file`, read into emptied cell lists.
    Action ReadCells(Action a, int file);
    Action Cancelled(Action a);
    void BuildUploadList();
    void SyncDownload(int TaskID);

    DataFileList* m_files;
    MaterialList* m_materials;
    int* m_selected;

    Chain m_chain = NoChain;
    int m_currentTask = 0;
    int m_index = 0; // file of the running task 12 / 13
    bool m_cancelRequested = false;
    // The worker fills these, never the caller's lists, so the window can
    // show and read its data while a download runs; each completion hands
    // over what arrived (also after a failure or a cancel).
    DataFileList m_workFiles;
    MaterialList m_workMaterials;
    // What task 13 sends: a copy of the data files in which a file holding
    // fewer cells than it announces announces the cells it holds.
    DataFileList m_uploadList;
    QStringList m_refusedFiles;
    std::array<quint8, 6> m_clockRecord{};

    // Progress bookkeeping.
    int m_listDone = 0;    // descriptors read by task 11 so far
    int m_taskDone = 0;    // cells of the current task 12 / 13
    int m_cellsBefore = 0; // cells of the files before the current one
};
