#include "tools/CDatabaseTransfer.h"

#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "data/CAnsiText.h"
#include "data/CDataMessages.h"
#include "device/CDeviceManager.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CKorvalent", text);
}

// Tasks of the chains.
constexpr int kTaskMaterials = 5;
constexpr int kTaskFirmware = 9;
constexpr int kTaskFileList = 11;
constexpr int kTaskCells = 12;
constexpr int kTaskUploadFile = 13;
constexpr int kTaskClock = 14;
constexpr int kTaskErase = 15;

QString FileName(const DataFileRecord& file)
{
    return CAnsiText::Decode(file.header.name, int(sizeof(file.header.name)));
}

int HeldCells(const DataFileRecord& file)
{
    return std::min<int>(file.header.records, int(file.cells.size()));
}
} // namespace

CDatabaseTransfer::CDatabaseTransfer(DataFileList* files, MaterialList* materials,
                                     int* selectedIndex)
    : m_files(files), m_materials(materials), m_selected(selectedIndex)
{
}

QString CDatabaseTransfer::NotLoadedLabel()
{
    return Tr("Данные: не загружены          ");
}

QString CDatabaseTransfer::LoadedLabel(int files)
{
    return Tr("Данные: загружены из устройства, %1 файл(a)(ов)         ").arg(files);
}

QString CDatabaseTransfer::UploadedLabel(int files)
{
    return Tr("Данные отправлены в устройство, %1 файл(a)(ов)         ").arg(files);
}

CDatabaseTransfer::UploadCheck CDatabaseTransfer::CheckUpload(const DataFileList& files)
{
    UploadCheck check;
    check.files = int(files.size());
    for (const DataFileRecord& f : files)
    {
        const int missing = f.MissingCells();
        if (missing > 0)
        {
            ++check.incompleteFiles;
            check.missingCells += missing;
        }
    }
    // The gauge compares the name fields, so the bytes decide.
    QList<QByteArray> seen;
    for (const DataFileRecord& f : files)
    {
        const QByteArray name(f.header.name, int(qstrnlen(f.header.name, sizeof(f.header.name))));
        if (seen.contains(name) && !check.repeatedNames.contains(FileName(f)))
            check.repeatedNames.append(FileName(f));
        seen.append(name);
    }
    return check;
}

QString CDatabaseTransfer::UploadQuestion(const UploadCheck& check)
{
    QString text = Tr("Все данные в памяти устройства будут стёрты и заменены данными ПК: %1 "
                      "файл(a)(ов).")
                       .arg(check.files);
    const QString incomplete = IncompleteFilesWarning(check);
    if (!incomplete.isEmpty())
        text += QStringLiteral("\n\n") + incomplete;
    const QString repeated = RepeatedNamesWarning(check);
    if (!repeated.isEmpty())
        text += QStringLiteral("\n\n") + repeated;
    return text;
}

QString CDatabaseTransfer::RepeatedNamesWarning(const UploadCheck& check)
{
    if (check.repeatedNames.isEmpty())
        return {};
    return Tr("Внимание: несколько файлов носят одно имя (%1). Устройство примет только первый "
              "файл с каждым именем, остальные будут отклонены.")
        .arg(QLatin1Char('\'') + check.repeatedNames.join(QStringLiteral("', '")) +
             QLatin1Char('\''));
}

QString CDatabaseTransfer::IncompleteFilesWarning(const UploadCheck& check)
{
    if (check.incompleteFiles == 0)
        return {};
    return Tr("Внимание: %1 файл(a)(ов) содержат меньше ячеек, чем указано в заголовке (не "
              "хватает %2 ячеек). Такие файлы будут отправлены неполными.")
        .arg(check.incompleteFiles)
        .arg(check.missingCells);
}

QString CDatabaseTransfer::RefusedText(const QStringList& refused, int files)
{
    return Tr("Устройство отклонило %1 из %2 файл(a)(ов): файл с таким именем на устройстве уже "
              "существует (%3). Остальные данные загружены в устройство.")
        .arg(refused.size())
        .arg(files)
        .arg(QLatin1Char('\'') + refused.join(QStringLiteral("', '")) + QLatin1Char('\''));
}

QString CDatabaseTransfer::ClockSyncedText()
{
    return Tr("Время устройства успешно синхронизировано с ПК.");
}

QString CDatabaseTransfer::FirmwareText(const void* payload)
{
    quint8 bytes[6] = {};
    if (payload)
        std::memcpy(bytes, payload, sizeof(bytes));
    const quint32 version = quint32(bytes[0]) | (quint32(bytes[1]) << 8) |
                            (quint32(bytes[2]) << 16) | (quint32(bytes[3]) << 24);
    const quint16 ident = quint16(bytes[4] | (bytes[5] << 8));
    const QString identText = QStringLiteral("%1").arg(ident, 4, 16, QLatin1Char('0')).toUpper();
    return Tr("Версия прошивки ПО устройства QM-3RX:\n\nНаименование встроенного ПО: VMR\nНомер "
              "версии ПО: v.%1.%2.\nСборка: %3\nИдентификатор ПО: 0x%4")
        .arg(version >> 24)
        .arg((version >> 16) & 0xFF)
        .arg(version & 0xFFFF)
        .arg(identText);
}

std::array<quint8, 6> CDatabaseTransfer::ClockRecord(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    return {quint8(t.hour()), quint8(t.minute()), quint8(t.second()),
            quint8(d.day()),  quint8(d.month()),  quint8((d.year() + 48) & 0xFF)};
}

quint8* CDatabaseTransfer::TakeClockRecord()
{
    m_clockRecord = ClockRecord(CClock::Now());
    return m_clockRecord.data();
}

CDatabaseTransfer::Action CDatabaseTransfer::StartDownload()
{
    m_files->clear();
    m_workFiles.clear();
    m_workMaterials.clear();
    Action a;
    a.setLabel = true;
    a.label = NotLoadedLabel();
    return BeginChain(a, DownloadChain, kTaskFileList, &m_workFiles);
}

CDatabaseTransfer::Action CDatabaseTransfer::StartUpload()
{
    Action a;
    if (m_files->isEmpty())
    {
        a.warning = Tr("Нет загруженых данных для отправки в устройство.");
        return a;
    }
    m_uploadList.clear();
    m_refusedFiles.clear();
    return BeginChain(a, UploadChain, kTaskErase, nullptr);
}

CDatabaseTransfer::Action CDatabaseTransfer::BeginChain(Action a, Chain chain, int task,
                                                        void* buffer)
{
    m_chain = chain;
    m_cancelRequested = false;
    m_index = 0;
    m_listDone = 0;
    m_taskDone = 0;
    m_cellsBefore = 0;
    return NextTask(a, task, buffer, 0);
}

CDatabaseTransfer::Action CDatabaseTransfer::EndChain(Action a, bool succeeded)
{
    m_chain = NoChain;
    m_currentTask = 0;
    m_cancelRequested = false;
    a.task = -1;
    a.buffer = nullptr;
    a.chainEnded = true;
    a.succeeded = succeeded;
    return a;
}

CDatabaseTransfer::Action CDatabaseTransfer::NextTask(Action a, int task, void* buffer, int value)
{
    a.task = task;
    a.buffer = buffer;
    a.value = value;
    m_currentTask = task;
    return a;
}

CDatabaseTransfer::Action CDatabaseTransfer::ReadCells(Action a, int file)
{
    (*m_files)[file].cells.clear();
    m_workFiles[file].cells.clear();
    return NextTask(a, kTaskCells, &m_workFiles, file);
}

CDatabaseTransfer::Action CDatabaseTransfer::Cancelled(Action a)
{
    const Chain chain = m_chain;
    const Progress p = CurrentProgress();
    a.setLabel = true;
    if (chain == UploadChain)
        a.label = Tr("Отправка в устройство прервана, отправлено файлов %1 из %2         ")
                      .arg(p.filesDone)
                      .arg(p.filesTotal);
    else
        a.label = Tr("Данные: получение прервано, прочитано файлов %1 из %2         ")
                      .arg(p.filesDone)
                      .arg(p.filesTotal);
    // The files cut short stay in the list: the label names them.
    if (chain == DownloadChain)
        a.label = CDataMessages::LabelWithIncompleteNote(a.label, *m_files);
    return EndChain(a, false);
}

void CDatabaseTransfer::SyncDownload(int TaskID)
{
    // Reached without this object's own start (the caller drives the chain
    // itself): take the caller's lists as they stand.
    if (m_chain != DownloadChain || m_currentTask != TaskID)
    {
        m_workFiles = *m_files;
        m_workMaterials = *m_materials;
        return;
    }
    // Hand over what the worker has put into the private lists.
    if (TaskID == kTaskFileList)
        *m_files = m_workFiles;
    else if (TaskID == kTaskCells)
    {
        if (m_index >= 0 && m_index < m_files->size() && m_index < m_workFiles.size())
            (*m_files)[m_index].cells = m_workFiles.at(m_index).cells;
    }
    else
        *m_materials = m_workMaterials;
}

void CDatabaseTransfer::BuildUploadList()
{
    m_uploadList = *m_files;
    for (DataFileRecord& file : m_uploadList)
        if (file.cells.size() < file.header.records)
            file.header.records = quint8(file.cells.size());
}

CDatabaseTransfer::Action CDatabaseTransfer::TaskCompleted(int TaskID, const void* payload,
                                                           int nDataLength, bool cancelled)
{
    Action a;
    const bool chainTask = TaskID == kTaskFileList || TaskID == kTaskCells ||
                           TaskID == kTaskMaterials || TaskID == kTaskErase ||
                           TaskID == kTaskUploadFile;

    // The cells of a file arrived (all, some or none): its count follows.
    // Within this object's own chain only that file's cells were handed over.
    a.refreshFileCounts = TaskID == kTaskCells;
    if (a.refreshFileCounts && m_chain == DownloadChain && m_currentTask == TaskID)
        a.countsFile = m_index;
    if (TaskID == kTaskFileList || TaskID == kTaskCells || TaskID == kTaskMaterials)
        SyncDownload(TaskID);

    if (nDataLength == -1)
    {
        // The device manager has said what went wrong; the lists keep what
        // was read and the label stays, unless the user cancelled.
        if (IsRunning() && chainTask)
            return (cancelled || m_cancelRequested) ? Cancelled(a) : EndChain(a, false);
        return a;
    }

    switch (TaskID)
    {
    case kTaskFirmware:
        a.information = FirmwareText(payload);
        return a;

    case kTaskClock:
        a.information = ClockSyncedText();
        return a;

    case kTaskFileList:
        m_chain = DownloadChain;
        a.refreshFilesTable = true;
        if (m_files->isEmpty())
        {
            a.setLabel = true;
            a.label = Tr("Данные отсутсвуют в устройстве         ");
            return EndChain(a, true);
        }
        if (m_cancelRequested)
            return Cancelled(a);
        m_index = 0;
        m_cellsBefore = 0;
        m_taskDone = 0;
        *m_selected = 0;
        return ReadCells(a, 0);

    case kTaskCells:
    {
        const int current = IsRunning() ? m_index : *m_selected;
        if (current >= 0 && current < m_files->size())
            m_cellsBefore += HeldCells(m_files->at(current));
        m_taskDone = 0;
        const int next = current + 1;
        m_chain = DownloadChain;
        m_index = next;
        if (m_cancelRequested)
            return Cancelled(a);
        if (next < m_files->size())
        {
            *m_selected = next;
            return ReadCells(a, next);
        }
        m_materials->clear();
        m_workMaterials.clear();
        *m_selected = 0;
        return NextTask(a, kTaskMaterials, &m_workMaterials, 0);
    }

    case kTaskMaterials:
        // Only the main window's own download reaches here; the materials
        // editor is its own receiver.
        a.refreshResultsTables = true;
        a.setLabel = true;
        // Cells the gauge announced but did not deliver leave a file short
        // even when every task went through.
        a.label =
            CDataMessages::LabelWithIncompleteNote(LoadedLabel(int(m_files->size())), *m_files);
        return EndChain(a, true);

    case kTaskErase:
        m_chain = UploadChain;
        a.setLabel = true;
        a.label = Tr("База данных в устройстве успешно очищена         ");
        *m_selected = 0;
        m_index = 0;
        m_taskDone = 0;
        m_cellsBefore = 0;
        BuildUploadList();
        if (m_uploadList.isEmpty())
            return EndChain(a, true);
        if (m_cancelRequested)
            return Cancelled(a);
        return NextTask(a, kTaskUploadFile, &m_uploadList, 0);

    case kTaskUploadFile:
    {
        if (m_uploadList.size() != m_files->size())
            BuildUploadList(); // reached without the erase step of this object
        const int current = IsRunning() ? m_index : *m_selected;
        if (current >= 0 && current < m_uploadList.size())
        {
            m_cellsBefore += m_uploadList.at(current).header.records;
            // The task goes past a name the gauge already holds; its last
            // reply tells.
            if (g_App.pDeviceManager &&
                g_App.pDeviceManager->ReplySlot().Code() == ReplyStatus::NameExists)
                m_refusedFiles.append(FileName(m_uploadList.at(current)));
        }
        m_taskDone = 0;
        const int next = current + 1;
        m_chain = UploadChain;
        m_index = next;
        if (next < m_uploadList.size())
        {
            if (m_cancelRequested)
                return Cancelled(a);
            *m_selected = next;
            return NextTask(a, kTaskUploadFile, &m_uploadList, next);
        }
        // The erase label would otherwise stay, as if nothing had been sent.
        a.setLabel = true;
        a.label = UploadedLabel(int(m_uploadList.size() - m_refusedFiles.size()));
        if (m_refusedFiles.isEmpty())
            a.information = Tr("Данные успешно загружены в устройство.");
        else
            a.warning = RefusedText(m_refusedFiles, int(m_uploadList.size()));
        return EndChain(a, true);
    }

    default:
        return a;
    }
}

void CDatabaseTransfer::TaskProgress(int done, int total)
{
    Q_UNUSED(total);
    if (m_currentTask == kTaskFileList)
        m_listDone = done;
    else if (m_currentTask == kTaskCells || m_currentTask == kTaskUploadFile)
        m_taskDone = done;
}

CDatabaseTransfer::Progress CDatabaseTransfer::CurrentProgress() const
{
    Progress p;
    if (m_chain == DownloadChain)
    {
        if (m_currentTask == kTaskFileList)
        {
            p.filesDone = 0;
            p.filesTotal = m_listDone;
            p.text = Tr("Список файлов: %1").arg(m_listDone);
            return p;
        }
        p.filesTotal = int(m_files->size());
        p.filesDone = std::min(m_index, p.filesTotal);
        for (const DataFileRecord& f : *m_files)
            p.cellsTotal += f.header.records;
        p.cellsDone = std::min(m_cellsBefore + m_taskDone, p.cellsTotal);
    }
    else if (m_chain == UploadChain)
    {
        p.filesTotal = int(m_files->size());
        p.filesDone = std::min(m_index, p.filesTotal);
        for (const DataFileRecord& f : m_uploadList)
            p.cellsTotal += f.header.records;
        if (m_currentTask == kTaskErase)
            for (const DataFileRecord& f : *m_files)
                p.cellsTotal += HeldCells(f);
        p.cellsDone = std::min(m_cellsBefore + m_taskDone, p.cellsTotal);
    }
    else
        return p;

    // Cells carry nearly all the traffic; a database of empty files counts files.
    if (p.cellsTotal > 0)
    {
        p.value = p.cellsDone;
        p.maximum = p.cellsTotal;
    }
    else
    {
        p.value = p.filesDone;
        p.maximum = p.filesTotal;
    }
    p.text = Tr("Файлы: %1 из %2, ячейки: %3 из %4")
                 .arg(p.filesDone)
                 .arg(p.filesTotal)
                 .arg(p.cellsDone)
                 .arg(p.cellsTotal);
    return p;
}
