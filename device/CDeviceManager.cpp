#include "device/CDeviceManager.h"

#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "data/CAnsiText.h"
#include "data/GaugeRecords.h"
#include "device/CCrc16.h"
#include "device/CPortEnumerator.h"
#include "device/CSerialLink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSettings>

#include <cstring>

namespace
{
constexpr int kStatusTime = 5000;
constexpr int kUntilReplaced = 0;
constexpr qint64 kRecordReportInterval = 50; // ms between per-record reports
// Least time between two wake-ups of the window thread for status reports,
// unless the worker has to wait for the gauge, shows a box or ends its run.
// The window shows device texts three times a second: waking it more often
// only costs it a wake-up and a pass through its event loop each time.
constexpr qint64 kReportWakeInterval = 333;

QString NotAcknowledgedText()
{
    return CDeviceManager::tr("ОШИБКА записи, от устройства не получено подтверждение.");
}

// The bytes of a record request payload.
QByteArray Bytes(std::initializer_list<quint8> values)
{
    QByteArray bytes;
    for (const quint8 value : values)
        bytes.append(char(value));
    return bytes;
}

// Copies a reply into a zeroed record, never more than the record holds.
template <typename Record> Record RecordFromReply(const TransferSlot& reply)
{
    Record record;
    std::memset(&record, 0, sizeof(record));
    std::memcpy(&record, reply.Payload(), size_t(qMin<int>(reply.Length(), sizeof(record))));
    return record;
}

// The slot every receiver of a task declares.
const char* const kCompletedSlot = "DeviceTaskCompleted(int,const void*,int)";

// Posted to the manager when the worker has queued reports.
const QEvent::Type kReportsEvent = QEvent::Type(QEvent::registerEventType());
} // namespace

CDeviceManager::CDeviceManager(QObject* parent) : QObject(parent), m_worker(this)
{
    // Needed to deliver a refusal by queued invocation.
    qRegisterMetaType<const void*>("const void*");
    connect(this, &CDeviceManager::ShowErrorMessageBox, this, &CDeviceManager::ErrorMessageBox);
    connect(this, &CDeviceManager::ShowInfoMessageBox, this, &CDeviceManager::InfoMessageBox);
}

CDeviceManager::~CDeviceManager()
{
    if (m_worker.isRunning())
    {
        // Also cut a read that waits on a silent gauge: closing the program
        // must not take up to a whole read time-out.
        m_cancel = true;
        m_abort = true;
        {
            QMutexLocker lock(&m_workLock);
            m_workerStop = true;
        }
        m_workWake.wakeAll();
        m_worker.wait();
    }
    if (m_busy)
    {
        m_busy = false;
        m_taskLock.unlock();
    }
    qDeleteAll(m_deviceList);
    m_deviceList.clear();
}

int CDeviceManager::StartTask(int TaskID, void* lpUserBuf, int nValue, QObject* receiver)
{
    // The user interface never waits for a running task: a second start is
    // refused at once and its receiver learns it the usual way.
    if (!m_taskLock.tryLock())
    {
        emit ShowStatusMessage(DeviceBusyText(), kStatusTime);
        if (receiver)
            QMetaObject::invokeMethod(receiver, "DeviceTaskCompleted", Qt::QueuedConnection,
                                      Q_ARG(int, TaskID), Q_ARG(const void*, nullptr),
                                      Q_ARG(int, -1));
        return 0;
    }
    m_busy = true;
    m_lpUserBuf = lpUserBuf;
    m_nValue = nValue;
    m_taskID = TaskID;
    m_receiver = receiver;
    m_cancel = false;

    // The port is taken from the settings now, on this thread: the settings
    // object is not shared with the worker.
    m_portPath.clear();
    m_portName.clear();
    m_deviceName.clear();
    if (TaskID != 0)
    {
        if (g_App.pSettings)
        {
            QSettings& s = *g_App.pSettings;
            m_portPath = s.value(QStringLiteral("Device/PortPath")).toString();
            m_portName = s.value(QStringLiteral("Device/PortName")).toString();
            m_deviceName = s.value(QStringLiteral("Device/Name")).toString();
        }
        if (m_hasOverride)
        {
            m_portPath = m_overridePath;
            m_portName = m_overrideName;
        }
    }

    // The worker is started with the first task and then waits for the next
    // one: a thread per task cost more than a whole task's frames.
    if (!m_worker.isRunning())
        m_worker.start(QThread::InheritPriority);
    {
        QMutexLocker lock(&m_workLock);
        m_workPending = true;
    }
    m_workWake.wakeOne();
    return 0;
}

void CDeviceManager::WorkerLoop()
{
    for (;;)
    {
        {
            QMutexLocker lock(&m_workLock);
            while (!m_workPending && !m_workerStop)
                m_workWake.wait(&m_workLock);
            if (m_workerStop)
                return;
            m_workPending = false;
        }
        RunCurrentTask();
        Tell({Report::Done, QString()}, Wake::Now);
    }
}

void CDeviceManager::Tell(Report&& report, Wake wake)
{
    // Reports made in quick succession go over together: a task at the
    // speed of a pseudo-terminal is over in a few milliseconds, and every
    // wake-up of the window thread costs more than a dozen exchanges.
    if (wake == Wake::Timed && m_lastWake.isValid() && !m_lastWake.hasExpired(kReportWakeInterval))
        wake = Wake::Later;
    bool post = false;
    {
        QMutexLocker lock(&m_reportLock);
        m_reports.push_back(std::move(report));
        post = wake != Wake::Later && !m_reportsPosted;
        if (post)
            m_reportsPosted = true;
    }
    if (post)
    {
        m_lastWake.start();
        QCoreApplication::postEvent(this, new QEvent(kReportsEvent));
    }
}

void CDeviceManager::SendHeldReports()
{
    bool post = false;
    {
        QMutexLocker lock(&m_reportLock);
        post = !m_reports.empty() && !m_reportsPosted;
        if (post)
            m_reportsPosted = true;
    }
    if (post)
    {
        m_lastWake.start();
        QCoreApplication::postEvent(this, new QEvent(kReportsEvent));
    }
}

bool CDeviceManager::event(QEvent* event)
{
    if (event->type() != kReportsEvent)
        return QObject::event(event);
    DeliverReports();
    return true;
}

void CDeviceManager::DeliverReports()
{
    for (;;)
    {
        Report report;
        {
            QMutexLocker lock(&m_reportLock);
            if (m_reports.empty())
            {
                m_reportsPosted = false;
                return;
            }
            report = std::move(m_reports.front());
            m_reports.pop_front();
            // A box runs an event loop of its own until it is closed: what
            // follows it is delivered meanwhile, from there.
            if (report.kind == Report::Box)
                QCoreApplication::postEvent(this, new QEvent(kReportsEvent));
        }
        switch (report.kind)
        {
        case Report::Status:
            emit ShowStatusMessage(report.text, report.a);
            break;
        case Report::Box:
            emit ShowErrorMessageBox(report.text);
            return;
        case Report::Progress:
            emit TaskProgress(report.a, report.b);
            break;
        case Report::Done:
            DeviceThreadDone();
            break;
        }
    }
}

void CDeviceManager::CallReceiver(QObject* receiver, int TaskID, const void* lpUserBuf,
                                  int nDataLength)
{
    // The slot is looked up once per receiver class, not connected and
    // disconnected by its signature for every task.
    const QMetaObject* receiverClass = receiver->metaObject();
    if (receiverClass != m_receiverClass)
    {
        m_receiverClass = receiverClass;
        m_receiverSlot = receiverClass->indexOfSlot(kCompletedSlot);
    }
    const int slot = m_receiverSlot;
    if (slot < 0)
    {
        qWarning("CDeviceManager: %s has no slot %s", receiverClass->className(), kCompletedSlot);
        return;
    }
    // Queued on the receiver: it goes with the receiver if that is deleted first.
    QMetaObject::invokeMethod(
        receiver,
        [receiver, slot, TaskID, lpUserBuf, nDataLength]() mutable
        {
            void* args[] = {nullptr, &TaskID, &lpUserBuf, &nDataLength};
            QMetaObject::metacall(receiver, QMetaObject::InvokeMetaMethod, slot, args);
        },
        Qt::QueuedConnection);
}

QString CDeviceManager::DeviceBusyText()
{
    return tr("ОШИБКА: устройство занято выполнением другой операции, повторите попытку позже.");
}

QString CDeviceManager::NoDevicesFoundText()
{
    return tr("Не найдены устройства QM-3RX!\nПроверьте правильность "
              "подключения устройств(а) к порту USB и повторите попытку.");
}

QString CDeviceManager::NoDeviceChosenText()
{
    return tr("Устройство не выбрано: Сервис → Выбрать устройство для подключения");
}

void CDeviceManager::RequestCancel()
{
    if (m_busy)
        m_cancel = true;
}

void CDeviceManager::SetPortOverride(const QString& portPath, const QString& portName)
{
    m_hasOverride = !portPath.isEmpty();
    m_overridePath = portPath;
    m_overrideName = portName.isEmpty() ? portPath : portName;
}

bool CDeviceManager::EnumerateDevices()
{
    if (m_busy)
        return !m_deviceList.isEmpty();
    qDeleteAll(m_deviceList);
    m_deviceList.clear();
    const QList<CPortEnumerator::Port> ports = CPortEnumerator::AllPorts();
    for (const CPortEnumerator::Port& port : ports)
    {
        auto* info = new DeviceInfo;
        info->Name = tr("<Н/Д>");
        info->SerialNumber = tr("<Н/Д>");
        info->PortName = port.PortName;
        info->PortPath = port.PortPath;
        m_deviceList.append(info);
    }
    return !m_deviceList.isEmpty();
}

void CDeviceManager::ErrorMessageBox(QString text)
{
    UserPrompts().Critical(m_receiver.data(), QCoreApplication::applicationName(), text);
}

void CDeviceManager::InfoMessageBox(QString text)
{
    UserPrompts().Information(m_receiver.data(), QCoreApplication::applicationName(), text);
}

void CDeviceManager::DeviceThreadDone()
{
    m_lastCancelled = m_cancelled;
    m_lastIdentified = m_identified;
    QObject* receiver = m_receiver.data();
    const bool ok = m_portReady == 1 && m_errorFlag == 0;
    const void* payload = ok ? m_slots[1].Payload() : nullptr;
    const int length = ok ? m_nValue : -1;
    emit DeviceTaskCompleted(m_taskID, payload, length);
    if (receiver)
        CallReceiver(receiver, m_taskID, payload, length);
    m_busy = false;
    m_taskLock.unlock();
}

// ---------------------------------------------------------------------------
// Frames

int CDeviceManager::ExchangeFrames(TransferSlot* transfer, int count)
{
    if (!m_link || !m_link->IsOpen())
        return -1;
    if (!m_portLock.tryLock(30000))
        return -2;

    int result = 0;
    for (int i = 0; i < count && result == 0; ++i)
    {
        TransferSlot& slot = transfer[i];
        if (slot.direction == TransferSlot::Write)
        {
            const int size = kFrameHeaderSize + slot.frame[3];
            slot.frame[1] = 0;
            slot.frame[2] = 0;
            const quint16 crc = Crc16(slot.frame, quint16(size));
            slot.frame[1] = quint8(crc & 0xFF);
            slot.frame[2] = quint8(crc >> 8);
            m_link->ClearError();
            if (m_link->Write(slot.frame, size) != size)
            {
                ErrorBox(tr("ОШИБКА записи в порт."));
                result = -3;
            }
        }
        else if (slot.direction == TransferSlot::Read)
        {
            const int expected = slot.frame[3];
            if (expected > kMaxFramePayload)
            {
                // Never read past the frame buffer, whatever a reply declared.
                ErrorBox(tr("ОШИБКА: получен не ожидаемый ответ."));
                result = -4;
                break;
            }
            const int size = kFrameHeaderSize + expected;
            m_link->ClearError();
            const qint64 got = m_link->Read(slot.frame, size);
            if (got < 0)
            {
                ErrorBox(tr("ОШИБКА чтения из порта."));
                result = -4;
            }
            else if (got != size)
            {
                if (got == 0)
                    ErrorBox(tr("ОШИБКА: устройство не отвечает."));
                else if (got < size)
                    ErrorBox(tr("ОШИБКА: принято меньше данных чем ожидалось."));
                else
                    ErrorBox(tr("ОШИБКА: принято больше данных чем ожидалось."));
                result = -4;
            }
            else
            {
                const quint16 received = quint16(slot.frame[1] | (slot.frame[2] << 8));
                slot.frame[1] = 0;
                slot.frame[2] = 0;
                if (Crc16(slot.frame, quint16(size)) != received)
                {
                    ErrorBox(tr("ОШИБКА: данные повреждены, не верная контрольная сумма."));
                    result = -5;
                }
            }
        }
    }
    m_portLock.unlock();
    return result;
}

// ---------------------------------------------------------------------------
// Worker

void CDeviceManager::Status(const QString& text, int timeout)
{
    FlushRecordDone();
    Tell({Report::Status, text, timeout}, Wake::Timed);
}

void CDeviceManager::ErrorBox(const QString& text)
{
    FlushRecordDone();
    Tell({Report::Box, text}, Wake::Now);
}

void CDeviceManager::RecordDone(const std::function<QString(int index)>* text, int done, int total)
{
    m_recordText = text && *text ? text : nullptr;
    m_recordDone = done;
    m_recordTotal = total;
    m_recordPending = true;
    if (done == 1 || !m_recordClock.isValid() || m_recordClock.hasExpired(kRecordReportInterval))
        FlushRecordDone();
}

void CDeviceManager::FlushRecordDone()
{
    if (!m_recordPending)
        return;
    m_recordPending = false;
    m_recordClock.start();
    const std::function<QString(int)>* text = m_recordText;
    m_recordText = nullptr;
    if (text)
        Tell({Report::Status, (*text)(m_recordDone - 1), kStatusTime}, Wake::Later);
    Tell({Report::Progress, QString(), m_recordDone, m_recordTotal}, Wake::Timed);
}

void CDeviceManager::Unexpected(const QString& text)
{
    Status(text, kUntilReplaced);
    m_errorFlag = 1;
}

void CDeviceManager::NotAcknowledged()
{
    Unexpected(NotAcknowledgedText());
}

bool CDeviceManager::Cancelled()
{
    if (!m_cancel)
        return false;
    if (!m_cancelled)
        Status(tr("Операция прервана пользователем."), kStatusTime);
    m_cancelled = true;
    m_errorFlag = 1;
    return true;
}

void CDeviceManager::PrepareRequest(quint8 code, const void* payload, int length)
{
    TransferSlot& request = m_slots[0];
    std::memset(request.frame, 0, sizeof(request.frame));
    request.direction = TransferSlot::Write;
    request.frame[0] = code;
    request.frame[3] = quint8(length);
    if (length > 0)
        std::memcpy(request.Payload(), payload, size_t(length));
}

// One exchange of the current request. A reply that declares more than a
// frame buffer holds would become the next read's length: it fails the task.
bool CDeviceManager::Exchange()
{
    const int result = ExchangeFrames(m_slots, 2);
    if (m_slots[1].Length() > kMaxFramePayload)
    {
        if (result == 0)
            Unexpected(tr("ОШИБКА: получен не ожидаемый ответ."));
        m_errorFlag = 1;
        return false;
    }
    if (result != 0)
    {
        m_errorFlag = 1;
        return false;
    }
    return true;
}

void CDeviceManager::ReadRecords(const RecordRead& read)
{
    m_slots[1].frame[3] = quint8(read.replyLength);
    for (int i = 0; i < read.count; ++i)
    {
        if (Cancelled())
            break;
        quint8 payload[kMaxFramePayload];
        const int length = read.payload(i, payload);
        PrepareRequest(read.command, payload, length);
        if (!Exchange())
        {
            if (read.everyRecord && m_slots[1].Length() <= kMaxFramePayload)
                continue;
            break;
        }
        const quint8 status = m_slots[1].Code();
        if (status != ReplyStatus::More && status != ReplyStatus::Accepted)
        {
            Unexpected(read.unexpected);
            if (read.everyRecord)
                continue;
            break;
        }
        read.store(i, m_slots[1]);
        RecordDone(&read.statusText, i + 1, read.count);
        if (status == ReplyStatus::Accepted && !read.everyRecord)
            break;
    }
    // Every way out passes here: the report held back refers to read's text.
    FlushRecordDone();
}

bool CDeviceManager::WriteRecords(quint8 command, int count,
                                  const std::function<QByteArray(int index)>& payload,
                                  const QString& refused)
{
    for (int i = 0; i < count; ++i)
    {
        if (Cancelled())
            return false;
        const QByteArray bytes = payload(i);
        PrepareRequest(command, bytes.constData(), int(bytes.size()));
        if (!Exchange())
            return false;
        if (m_slots[1].Code() != ReplyStatus::Accepted)
        {
            Unexpected(refused);
            return false;
        }
        RecordDone(nullptr, i + 1, count);
    }
    FlushRecordDone();
    return true;
}

void CDeviceManager::RunCurrentTask()
{
    m_portReady = 1;
    m_errorFlag = 0;
    m_openError = 0;
    m_cancelled = false;
    m_identified = false;
    m_recordPending = false;
    m_recordClock.invalidate();
    m_slots[0] = TransferSlot();
    m_slots[1] = TransferSlot();
    m_slots[0].direction = TransferSlot::Write;
    m_slots[1].direction = TransferSlot::Read;

    if (m_taskID == 0)
    {
        if (m_nValue < 0 || m_nValue >= m_deviceList.size())
        {
            ErrorBox(tr("ОШИБКА: не удалось начать идентификацию устройства!"));
            m_errorFlag = 1;
            return;
        }
        const DeviceInfo* entry = m_deviceList.at(m_nValue);
        m_portPath = entry->PortPath;
        m_portName = entry->PortName;
        m_deviceName = entry->Name;
    }

    const std::unique_ptr<CSerialLink> ownLink =
        m_linkFactory ? m_linkFactory() : std::make_unique<CSerialLink>();
    CSerialLink& link = *ownLink;
    link.SetReadTimeout(m_readTimeout);
    link.SetAbortFlag(&m_abort);
    // A gauge that keeps us waiting: what was held back is shown meanwhile.
    link.SetWaitHook([this] { SendHeldReports(); });

    Status(tr("Открываю порт '%1'... ").arg(m_portName));
    m_openError = link.Open(m_portPath);
    const QString lockFile = link.LockFilePath();
    if (m_openError != CSerialLink::OpenOk)
        m_portReady = 0;
    else
    {
        m_link = &link;
        Status(tr("Успешно открыт порт '%1'... ").arg(m_portName));

        Status(tr("Идентификация устройства '%1'... ").arg(m_deviceName));
        PrepareRequest(Command::Identify, nullptr, 0);
        m_slots[1].frame[3] = 10;
        const bool exchanged = Exchange();
        const bool identified = exchanged && m_slots[1].Code() == ReplyStatus::Identify;
        if (identified)
        {
            m_identified = true;
            if (m_taskID == 0)
            {
                const quint8* payload = m_slots[1].Payload();
                quint32 serial;
                std::memcpy(&serial, payload + 6, sizeof(serial));
                DeviceInfo* entry = m_deviceList.at(m_nValue);
                entry->SerialNumber =
                    QString::asprintf("%08lu", static_cast<unsigned long>(serial)).left(8);
                entry->Name = CAnsiText::Decode(reinterpret_cast<const char*>(payload), 6);
            }
            Status(tr("Устройство '%1' обнаружено.").arg(m_deviceName));
        }
        if (m_errorFlag || !identified)
            Status(tr("ОШИБКА: Устройство '%1' не обнаружено.").arg(m_deviceName), kUntilReplaced);

        if (!m_errorFlag && !Cancelled())
            RunTaskBody();
        FlushRecordDone(); // a loop that ended without a text still reports its last record

        link.Close();
        m_link = nullptr;
    }

    if (m_errorFlag == 0 && m_portReady == 1)
        Status(tr("Операция успешно выполнена."));
    if (m_portReady == 0)
    {
        if (m_portPath.isEmpty())
            Status(NoDeviceChosenText(), kUntilReplaced);
        else if (m_openError == CSerialLink::OpenPermission)
            Status(tr("ОШИБКА: нет прав доступа к порту '%1'. Добавьте пользователя в группу "
                      "dialout (sudo usermod -aG dialout $USER) и войдите в систему заново.")
                       .arg(m_portPath),
                   kUntilReplaced);
        else if (m_openError == CSerialLink::OpenLocked)
            Status(tr("ОШИБКА: порт '%1' заблокирован файлом блокировки '%2', который оставила "
                      "уже завершённая программа. Удалите этот файл и повторите операцию.")
                       .arg(m_portPath, lockFile),
                   kUntilReplaced);
        ErrorBox(tr("ОШИБКА: не удалось открыть или настроить порт устройства!"));
    }
}

void CDeviceManager::RunTaskBody()
{
    switch (m_taskID)
    {
    case 0:
        break;
    case 1:
        RunReadEeprom();
        break;
    case 2:
        RunWriteEeprom();
        break;
    case 3:
        RunReadConfig();
        break;
    case 4:
    case 8:
        m_errorFlag = 1;
        break;
    case 5:
        RunReadMaterials();
        break;
    case 6:
        RunWriteMaterials();
        break;
    case 7:
        RunReadPepList();
        break;
    case 9:
        RunReadFirmware();
        break;
    case 10:
        RunReadScreen();
        break;
    case 11:
        RunReadFileList();
        break;
    case 12:
        RunReadCells();
        break;
    case 13:
        RunUploadFile();
        break;
    case 14:
        Status(tr("Запись даты и времени в устройство ..."), kUntilReplaced);
        if (!m_lpUserBuf)
        {
            m_errorFlag = 1;
            break;
        }
        RunSimpleWrite(Command::WriteClock, m_lpUserBuf, 6);
        break;
    case 15:
        Status(tr("Удаление базы результатов в устройстве ..."), kUntilReplaced);
        RunSimpleWrite(Command::EraseDatabase, nullptr, 0);
        break;
    default:
        break;
    }
}

void CDeviceManager::RunSimpleWrite(quint8 code, const void* payload, int length)
{
    PrepareRequest(code, payload, length);
    if (!Exchange())
        return;
    if (m_slots[1].Code() != ReplyStatus::Accepted)
        NotAcknowledged();
}

void CDeviceManager::RunReadEeprom()
{
    Status(tr("Чтение информации из ПЭП..."));
    PrepareRequest(Command::ReadEeprom, nullptr, 0);
    m_slots[1].frame[3] = 128;
    if (!Exchange())
        return;
    if (m_slots[1].Code() != ReplyStatus::Accepted || m_slots[1].Length() != 128)
    {
        Unexpected(tr("ОШИБКА: получен не ожидаемый ответ.\r\n"));
        return;
    }
    if (m_lpUserBuf && m_nValue > 0)
        std::memcpy(m_lpUserBuf, m_slots[1].Payload(), size_t(qMin(m_nValue, 128)));
}

void CDeviceManager::RunWriteEeprom()
{
    Status(tr("Запись информации в ПЭП..."), kUntilReplaced);
    if (!m_lpUserBuf)
    {
        m_errorFlag = 1;
        return;
    }
    const auto* image = static_cast<const quint8*>(m_lpUserBuf);
    WriteRecords(
        Command::WriteEepromBlock, 16,
        [image](int i)
        {
            const int offset = 8 * i;
            QByteArray block = Bytes({quint8(offset)});
            block.append(reinterpret_cast<const char*>(image + offset), 8);
            return block;
        },
        NotAcknowledgedText());
}

void CDeviceManager::RunReadConfig()
{
    Status(tr("Чтение конфигурации устройства..."));
    PrepareRequest(Command::ReadConfig, nullptr, 0);
    m_slots[1].frame[3] = 96;
    if (!Exchange())
        return;
    if (m_slots[1].Code() != ReplyStatus::Accepted)
        Unexpected(tr("ОШИБКА: получен не ожидаемый ответ."));
}

void CDeviceManager::RunReadMaterials()
{
    Status(tr("Чтение данных материалов ..."));
    auto* list = static_cast<MaterialList*>(m_lpUserBuf);
    if (!list)
    {
        m_errorFlag = 1;
        return;
    }
    // Materials are numbered from 1.
    RecordRead read;
    read.command = Command::ReadMaterial;
    read.replyLength = sizeof(MaterialRecord);
    read.count = 254;
    read.payload = [](int i, quint8* out)
    {
        out[0] = quint8(i + 1);
        return 1;
    };
    read.statusText = [](int i) { return tr("Чтение данных материалов ... %1").arg(i + 1); };
    read.store = [list](int, const TransferSlot& reply)
    { list->append(RecordFromReply<MaterialRecord>(reply)); };
    read.unexpected = tr("ОШИБКА: получен не ожидаемый ответ.");
    ReadRecords(read);
}

void CDeviceManager::RunWriteMaterials()
{
    Status(tr("Запись данных материалов..."));
    const auto* list = static_cast<const MaterialList*>(m_lpUserBuf);
    if (!list)
    {
        m_errorFlag = 1;
        return;
    }
    WriteRecords(
        Command::WriteMaterial, int(list->size()),
        [list](int i)
        {
            QByteArray record = Bytes({quint8(i + 1)});
            record.append(reinterpret_cast<const char*>(&list->at(i)), sizeof(MaterialRecord));
            return record;
        },
        tr("ОШИБКА: получен не ожидаемый ответ."));
}

void CDeviceManager::RunReadPepList()
{
    Status(tr("Чтение списка ПЭП ..."));
    auto* list = static_cast<QList<PEPListRecord>*>(m_lpUserBuf);
    if (!list)
    {
        m_errorFlag = 1;
        return;
    }
    RecordRead read;
    read.command = Command::ReadPepEntry;
    read.replyLength = sizeof(PEPListRecord);
    read.count = 16;
    read.payload = [](int i, quint8* out)
    {
        out[0] = quint8(i);
        return 1;
    };
    read.statusText = [](int i) { return tr("Чтение списка ПЭП ... %1").arg(i + 1); };
    read.store = [list](int, const TransferSlot& reply)
    {
        if (reply.Length() != 0)
            list->append(RecordFromReply<PEPListRecord>(reply));
    };
    read.unexpected = tr("ОШИБКА: получен не ожидаемый ответ.");
    ReadRecords(read);
}

void CDeviceManager::RunReadFirmware()
{
    Status(tr("Чтение версии встроенного ПО устройства..."));
    PrepareRequest(Command::ReadFirmware, nullptr, 0);
    m_slots[1].frame[3] = 6;
    if (!Exchange())
        return;
    if (m_slots[1].Code() != ReplyStatus::Accepted || m_slots[1].Length() != 6)
    {
        Status(tr("ОШИБКА: получен не ожидаемый ответ."), kStatusTime);
        m_errorFlag = 1;
    }
}

void CDeviceManager::RunReadScreen()
{
    Status(tr("Чтение содержимого экрана устройства..."));
    auto* buffer = static_cast<quint8*>(m_lpUserBuf);
    if (!buffer)
    {
        m_errorFlag = 1;
        return;
    }
    // Eight blocks of 128 bytes, asked for by their offset.
    RecordRead read;
    read.command = Command::ReadScreenBlock;
    read.replyLength = 128;
    read.count = 8;
    read.payload = [](int k, quint8* out)
    {
        const int offset = 128 * k;
        out[0] = quint8(offset >> 8);
        out[1] = quint8(offset & 0xFF);
        return 2;
    };
    read.store = [buffer](int k, const TransferSlot& reply)
    { std::memcpy(buffer + 128 * k, reply.Payload(), reply.Length()); };
    read.unexpected = tr("ОШИБКА: получен не ожидаемый ответ.\r\n");
    read.everyRecord = true;
    ReadRecords(read);
}

void CDeviceManager::RunReadFileList()
{
    Status(tr("Чтение списка файлов содержащих замеры ..."));
    auto* list = static_cast<DataFileList*>(m_lpUserBuf);
    if (!list)
    {
        m_errorFlag = 1;
        return;
    }
    RecordRead read;
    read.command = Command::ReadFileDescriptor;
    read.replyLength = sizeof(DataFileDescriptor);
    read.count = 150;
    read.payload = [](int i, quint8* out)
    {
        out[0] = quint8(i);
        return 1;
    };
    read.statusText = [](int i)
    { return tr("Чтение списка файлов содержащих замеры ... %1").arg(i + 1); };
    read.store = [list](int, const TransferSlot& reply)
    {
        if (reply.Length() == sizeof(DataFileDescriptor))
            list->append(
                DataFileRecord::FromDescriptor(RecordFromReply<DataFileDescriptor>(reply)));
    };
    read.unexpected = tr("ОШИБКА: получен не ожидаемый ответ.");
    ReadRecords(read);
}

void CDeviceManager::RunReadCells()
{
    auto* list = static_cast<DataFileList*>(m_lpUserBuf);
    if (!list || m_nValue < 0 || m_nValue >= list->size())
    {
        m_errorFlag = 1;
        return;
    }
    DataFileRecord& file = (*list)[m_nValue];
    const QString name = CAnsiText::Decode(file.header.name, int(sizeof(file.header.name)));
    Status(tr("Чтение ячеек в файле '%1' ...").arg(name));
    RecordRead read;
    read.command = Command::ReadCell;
    read.replyLength = sizeof(CellRecord);
    // 0xFF is the gauge's "no cells", also in a list that did not come from task 11.
    read.count = file.header.records == 0xFF ? 0 : file.header.records;
    file.cells.reserve(file.cells.size() + read.count);
    read.payload = [fileIndex = quint8(m_nValue)](int j, quint8* out)
    {
        out[0] = fileIndex;
        out[1] = quint8(j);
        return 2;
    };
    // One arg() call: a '%' in the file name must not take the cell number.
    read.statusText = [name](int j)
    { return tr("Чтение ячеек в файле '%1' ... %2").arg(name, QString::number(j + 1)); };
    read.store = [&file](int, const TransferSlot& reply)
    {
        if (reply.Length() == sizeof(CellRecord))
            file.cells.append(RecordFromReply<CellRecord>(reply));
    };
    read.unexpected = tr("ОШИБКА: получен не ожидаемый ответ.");
    ReadRecords(read);
}

void CDeviceManager::RunUploadFile()
{
    const auto* list = static_cast<const DataFileList*>(m_lpUserBuf);
    if (!list || m_nValue < 0 || m_nValue >= list->size())
    {
        m_errorFlag = 1;
        return;
    }
    const DataFileRecord& file = list->at(m_nValue);
    const QString name = CAnsiText::Decode(file.header.name, int(sizeof(file.header.name)));
    Status(tr("Загрузка файла '%1' в устройство ...").arg(name));

    // A file may hold fewer cells than it announces (an interrupted download):
    // announce only the cells that are actually sent.
    DataFileHeader header = file.header;
    const int count = qMin<int>(header.records, int(file.cells.size()));
    header.records = quint8(count);
    const auto* headerBytes = reinterpret_cast<const quint8*>(&header);
    PrepareRequest(Command::BeginUpload, headerBytes + 16, 10);
    if (!Exchange())
        return;
    if (m_slots[1].Code() != ReplyStatus::Accepted)
    {
        NotAcknowledged();
        return;
    }

    const bool cellsFailed = !WriteRecords(
        Command::UploadCell, count,
        [&file](int j)
        {
            QByteArray cell = Bytes({quint8(j)});
            cell.append(reinterpret_cast<const char*>(&file.cells.at(j)), sizeof(CellRecord));
            return cell;
        },
        NotAcknowledgedText());

    // The closing command goes out whenever the file was begun, so that the
    // gauge never keeps a half-open file.
    int nameLength = 0;
    while (nameLength < 16 && file.header.name[nameLength] != 0)
        ++nameLength;
    PrepareRequest(Command::FinishUpload, file.header.name, nameLength);
    if (m_slots[1].Length() > kMaxFramePayload)
        return;
    if (!Exchange())
        return;
    switch (m_slots[1].Code())
    {
    case ReplyStatus::Accepted:
        break;
    case ReplyStatus::FlashFull:
        Status(tr("ОШИБКА записи, на устройтве нет свободной флеш-памяти."), kUntilReplaced);
        m_errorFlag = 1;
        break;
    case ReplyStatus::NameExists:
        Status(tr("ОШИБКА записи, файл с таким именем на устройстве уже существует."),
               kUntilReplaced);
        // The name clash alone does not fail the file; a failed cell does.
        m_errorFlag = cellsFailed ? 1 : 0;
        break;
    default:
        NotAcknowledged();
        break;
    }
}
