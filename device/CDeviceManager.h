#pragma once

#include "device/CDeviceIODispatcher.h"
#include "device/DeviceInfo.h"
#include "device/TransferSlot.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWaitCondition>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class CSerialLink;

// Runs the numbered device tasks, one at a time, on its worker thread. A
// window starts a task with StartTask naming itself as receiver; the receiver
// gets DeviceTaskCompleted(TaskID, lpUserBuf, nDataLength) queued on the user
// interface thread, nDataLength -1 meaning failure.
//
// Buffers per task: 0,3,4,8,9,15 none | 1,2 PEPEepromImage* | 5,6 MaterialList*
// | 7 QList<PEPListRecord>* | 10 quint8[1024] | 11,12,13 DataFileList* (12, 13:
// nValue = file index) | 14 quint8[6] date and time record.
class CDeviceManager : public QObject
{
    Q_OBJECT

public:
    explicit CDeviceManager(QObject* parent = nullptr);
    ~CDeviceManager() override;

    // Always 0. A start while another task runs is refused at once: the
    // receiver gets a failure completion and the status bar says why.
    int StartTask(int TaskID, void* lpUserBuf, int nValue, QObject* receiver);

    // The ports found by EnumerateDevices; task 0 identifies entry nValue.
    QList<DeviceInfo*>& DeviceList() { return m_deviceList; }

    // Rebuilds the device list from the port sources; true when it is not
    // empty. Does nothing (and keeps the list) while a task runs.
    bool EnumerateDevices();

    bool IsBusy() const { return m_busy; }

    // Status text of a start refused because another task runs.
    static QString DeviceBusyText();
    // What a search that found no port says (selector box, command line).
    static QString NoDevicesFoundText();
    // Status text of a device command given before any gauge was chosen.
    static QString NoDeviceChosenText();

    // The running task stops after its current exchange and completes with
    // failure; what it has read so far stays in the caller's buffer.
    void RequestCancel();
    bool LastTaskCancelled() const { return m_lastCancelled; }
    // After a completion: whether the last task could open its port, and
    // which port it was (for messages that name it).
    bool LastPortOpened() const { return m_portReady == 1; }
    QString LastPortPath() const { return m_portPath; }

    // Link read deadline for every later task (default 5000 ms).
    void SetReadTimeout(int ms) { m_readTimeout = ms; }
    int ReadTimeout() const { return m_readTimeout; }

    // When set, tasks other than 0 open this port instead of the one saved in
    // the "Device" settings group (command line --port). Empty path clears it.
    void SetPortOverride(const QString& portPath, const QString& portName = QString());

    // Where later tasks talk to: by default a CSerialLink on the task's port.
    // Tests and the fuzzers give a factory of links of their own (called on
    // the worker thread, once per task); an empty one restores the default.
    using LinkFactory = std::function<std::unique_ptr<CSerialLink>()>;
    void SetLinkFactory(LinkFactory factory) { m_linkFactory = std::move(factory); }

    // True when the identification of the last task answered 0x55.
    bool LastIdentified() const { return m_lastIdentified; }

    // Exchanges the request/reply slots on the open port; 0 or -1..-5 (the
    // failures -3..-5 also emit their message). Worker thread only.
    int ExchangeFrames(TransferSlot* transfer, int count);

    // The last reply frame (valid after a completion until the next start).
    const TransferSlot& ReplySlot() const { return m_slots[1]; }

Q_SIGNALS:
    void ShowStatusMessage(QString text, int timeout);
    void ShowErrorMessageBox(QString text);
    void ShowInfoMessageBox(QString text);
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);
    // Per record of record-by-record tasks and per cell of an upload; total
    // is the loop bound known at that point.
    void TaskProgress(int done, int total);

public Q_SLOTS:
    void ErrorMessageBox(QString text);
    void InfoMessageBox(QString text);
    void DeviceThreadDone();

protected:
    bool event(QEvent* event) override;

private:
    friend class CDeviceIODispatcher;

    // What the worker tells the user interface thread, in the order it
    // happened: texts, boxes, progress and the end of the run. The worker
    // queues them and wakes the user interface thread only when it is not
    // already due to look; there they are emitted one by one, so every
    // receiver sees each of them, in order, on that thread.
    struct Report
    {
        enum Kind : quint8
        {
            Status,
            Box,
            Progress,
            Done
        };
        Kind kind = Status;
        QString text;
        int a = 0; // status: time-out; progress: done
        int b = 0; // progress: total
    };
    // When a report wakes the window thread: at once, or when the last
    // wake-up is long enough ago (else with the next one), or with the next.
    enum class Wake
    {
        Now,
        Timed,
        Later
    };
    void Tell(Report&& report, Wake wake); // worker thread
    void SendHeldReports();                // worker thread, when it has to wait
    void DeliverReports();                 // user interface thread
    // Queues the completion call of the receiver's DeviceTaskCompleted slot.
    void CallReceiver(QObject* receiver, int TaskID, const void* lpUserBuf, int nDataLength);

    // Worker side (CDeviceIODispatcher::run): one thread for the manager's
    // life, waiting between tasks.
    void WorkerLoop();
    void RunCurrentTask();
    void RunTaskBody();
    bool Exchange(); // one request/reply exchange with the reply length guard
    bool Cancelled();
    void Status(const QString& text, int timeout = 5000);
    void ErrorBox(const QString& text);
    // Per-record status text (none when empty) and progress: the first of a
    // loop at once, later ones at most every 50 ms; the one held back goes out
    // before any other text and at the end of the loop. A line at 115200 baud
    // completes hundreds of records a second, more than anyone can read and
    // each a repaint of the window's status bar.
    // The text is made only when it goes out: most are never shown.
    void RecordDone(const std::function<QString(int index)>* text, int done, int total);
    void FlushRecordDone();
    void Unexpected(const QString& text);
    void NotAcknowledged();
    void PrepareRequest(quint8 code, const void* payload, int length);

    // What one record-by-record read needs besides the shared exchange loop.
    struct RecordRead
    {
        quint8 command = 0;
        int replyLength = 0; // expected length of the first reply
        int count = 0;       // loop bound, also the progress total
        // Writes the request payload of record `index` to `out` (room for a
        // frame's payload) and returns its length.
        std::function<int(int index, quint8* out)> payload;
        std::function<QString(int index)> statusText; // none when empty
        std::function<void(int index, const TransferSlot& reply)> store;
        QString unexpected; // status text of a reply that is neither 0x01 nor 0x00
        // Ask for every record, whatever happened to the ones before: only a
        // reply length that cannot be read again ends the loop.
        bool everyRecord = false;
    };
    void ReadRecords(const RecordRead& read);
    // Sends records 0..count-1, each to be answered 0x00; false when one was
    // not sent (cancel, failed exchange, refusal shown with `refused`).
    bool WriteRecords(quint8 command, int count,
                      const std::function<QByteArray(int index)>& payload, const QString& refused);

    void RunReadEeprom();
    void RunWriteEeprom();
    void RunReadConfig();
    void RunReadMaterials();
    void RunWriteMaterials();
    void RunReadPepList();
    void RunReadFirmware();
    void RunReadScreen();
    void RunReadFileList();
    void RunReadCells();
    void RunUploadFile();
    void RunSimpleWrite(quint8 code, const void* payload, int length);

    QList<DeviceInfo*> m_deviceList;

    // Current task.
    int m_taskID = -1;
    void* m_lpUserBuf = nullptr;
    int m_nValue = 0;
    QPointer<QObject> m_receiver;
    QString m_portPath;
    QString m_portName;
    QString m_deviceName;

    QMutex m_taskLock;
    bool m_busy = false;
    CDeviceIODispatcher m_worker;
    // Hand-over of a task to the waiting worker.
    QMutex m_workLock;
    QWaitCondition m_workWake;
    bool m_workPending = false;
    bool m_workerStop = false;

    QMutex m_reportLock;
    std::deque<Report> m_reports;
    bool m_reportsPosted = false; // a delivery is queued or running
    QElapsedTimer m_lastWake;     // worker thread

    // The receiver class last seen and the index of its completion slot.
    const QMetaObject* m_receiverClass = nullptr;
    int m_receiverSlot = -1;

    quint8 m_portReady = 1;
    quint8 m_errorFlag = 0;
    int m_openError = 0;
    TransferSlot m_slots[2];
    QMutex m_portLock;
    CSerialLink* m_link = nullptr; // exists only inside a worker run
    LinkFactory m_linkFactory;

    int m_readTimeout = 5000;
    QString m_overridePath;
    QString m_overrideName;
    bool m_hasOverride = false;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_abort{false}; // the manager is being destroyed
    bool m_cancelled = false;
    bool m_lastCancelled = false;
    bool m_identified = false;
    bool m_lastIdentified = false;

    // Worker thread: the per-record report held back by RecordDone().
    QElapsedTimer m_recordClock;
    bool m_recordPending = false;
    const std::function<QString(int index)>* m_recordText = nullptr;
    int m_recordDone = 0;
    int m_recordTotal = 0;
};
