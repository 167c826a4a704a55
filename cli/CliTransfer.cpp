#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"
#include "data/CDataMessages.h"
#include "data/CDataStorage.h"
#include "device/CDeviceManager.h"
#include "tools/CDatabaseTransfer.h"
#include "tools/CMaterialsCsv.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QObject>

#include <cstdio>
#include <unistd.h>

// Firmware, clock, database download / upload and the materials table from
// the command line: the same core and texts as the main window and the
// materials editor.

namespace
{
QString Trailing(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// Whole-chain progress on stderr when it is a terminal: files and cells done
// of those announced, fed by the manager's per-record progress. Everything
// here runs on the main thread: the manager lives there, so what the worker
// emits reaches these handlers queued, in emission order.
class CChainProgressBar
{
public:
    CChainProgressBar(CDatabaseTransfer* transfer, bool verbose)
        : m_transfer(transfer), m_enabled(::isatty(STDERR_FILENO)), m_verbose(verbose),
          m_prompts(UserPrompts(), [this] { Break(); })
    {
    }
    ~CChainProgressBar() { Finish(); }

    void Attach()
    {
        if (!m_enabled)
            return;
        CDeviceManager* manager = CliDeviceManager();
        m_connections.append(QObject::connect(manager, &CDeviceManager::TaskProgress, manager,
                                              [this](int done, int total)
                                              {
                                                  m_transfer->TaskProgress(done, total);
                                                  Draw();
                                              }));
        // Error boxes are printed by the prompts; the status texts by the task
        // runner, whose handler is connected after this one and so runs after it.
        m_previousPrompts = &UserPrompts();
        SetUserPrompts(&m_prompts);
        m_connections.append(QObject::connect(manager, &CDeviceManager::ShowStatusMessage, manager,
                                              [this](const QString& text, int)
                                              {
                                                  // Only the texts the runner prints need a
                                                  // line of their own.
                                                  if (m_verbose ||
                                                      text.startsWith(QStringLiteral("ОШИБКА")))
                                                      Break();
                                              }));
    }

    void Draw()
    {
        if (!m_enabled)
            return;
        const CDatabaseTransfer::Progress p = m_transfer->CurrentProgress();
        // A line per visible step (1/400 of the way) or per new file, not
        // one per record.
        const qint64 step = p.maximum > 0 ? qint64(p.value) * 400 / p.maximum : p.filesTotal;
        const qint64 key = (step << 16) | p.filesDone;
        if (m_shown && key == m_lastKey)
            return;
        m_lastKey = key;
        const int width = 30;
        const int filled =
            p.maximum > 0 ? qBound(0, int(qint64(p.value) * width / p.maximum), width) : 0;
        const QByteArray line = "\r[" + QByteArray(filled, '#') + QByteArray(width - filled, '.') +
                                "] " + p.text.toUtf8() + "   ";
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        m_shown = true;
    }

    void Break()
    {
        if (m_shown)
        {
            m_shown = false;
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
    }

    void Finish()
    {
        for (const QMetaObject::Connection& c : m_connections)
            QObject::disconnect(c);
        m_connections.clear();
        if (m_previousPrompts)
        {
            SetUserPrompts(m_previousPrompts);
            m_previousPrompts = nullptr;
        }
        Break();
    }

private:
    CDatabaseTransfer* m_transfer;
    bool m_enabled;
    bool m_verbose;
    bool m_shown = false;
    qint64 m_lastKey = -1;
    QList<QMetaObject::Connection> m_connections;
    CCliBarBreakingPrompts m_prompts;
    CUserPrompts* m_previousPrompts = nullptr;
};

// Runs a chain to its end: every task the core asks for, synchronously.
// Returns the last action (the one that ended the chain).
CDatabaseTransfer::Action RunChain(const CliContext& ctx, CDatabaseTransfer& transfer,
                                   CDatabaseTransfer::Action action)
{
    CChainProgressBar bar(&transfer, ctx.verbose);
    bar.Attach();
    while (action.task >= 0)
    {
        const int task = action.task;
        int length = -1;
        CliRunTask(ctx, task, action.buffer, action.value, &length);
        const void* payload = nullptr;
        if (length >= 0 && g_App.pDeviceManager)
            payload = g_App.pDeviceManager->ReplySlot().Payload();
        action = transfer.TaskCompleted(task, payload, length, false);
        if (action.task >= 0)
            bar.Draw();
    }
    bar.Finish();
    return action;
}

QString WriteFailedText(const QString& path)
{
    return QStringLiteral("Не удалось записать файл '%1'.").arg(path);
}

// A failed save: the command's own text, then the line naming the file and
// the reason.
int WriteFailed(const QString& text, const QString& path, const CSafeSave::Result& result)
{
    CliPrintErr(text);
    CliPrintErr(CSafeSave::Describe(path, result));
    return CliFailure;
}

int Usage(const QString& text)
{
    return CliUsageError(text);
}
} // namespace

int CliFirmware(const CliContext& ctx)
{
    if (!ctx.args.isEmpty())
        return Usage(QStringLiteral("firmware takes no arguments"));
    int length = -1;
    if (!CliRunTask(ctx, 9, nullptr, 0, &length))
        return CliFailure;
    CliPrintOut(CDatabaseTransfer::FirmwareText(CliDeviceManager()->ReplySlot().Payload()));
    return CliOk;
}

int CliClock(const CliContext& ctx)
{
    if (!ctx.args.isEmpty())
        return Usage(QStringLiteral("clock takes no arguments"));
    // The moment of the command, not of the frame (the port is opened first).
    auto record = CDatabaseTransfer::ClockRecord(CClock::Now());
    if (!CliRunTask(ctx, 14, record.data(), 0))
        return CliFailure;
    CliPrintOut(CDatabaseTransfer::ClockSyncedText());
    return CliOk;
}

int CliDownload(const CliContext& ctx)
{
    QStringList args = ctx.args;
    QString output;
    QString materialsPath;
    bool missing = false;
    CliTakeOption(args, QStringLiteral("-o"), &output, &missing);
    CliTakeOption(args, QStringLiteral("--materials"), &materialsPath, &missing);
    const bool archiveAdd = args.removeAll(QStringLiteral("--archive-add")) > 0;
    if (missing || output.isEmpty() || !args.isEmpty())
        return Usage(
            QStringLiteral("download needs -o FILE.kdb [--materials FILE.csv] [--archive-add]"));
    // Told before the gauge is read, not after minutes of transfer.
    for (const QString& target : {output, materialsPath})
    {
        const QString problem = target.isEmpty() ? QString() : CliCheckWritable(target);
        if (!problem.isEmpty())
        {
            CliPrintErr(problem);
            return CliFailure;
        }
    }

    // A target that can never be written (a device node, a FIFO, a folder)
    // is refused before the gauge is asked for anything.
    for (const QString& target : {output, materialsPath})
    {
        const CSafeSave::Result check =
            target.isEmpty() ? CSafeSave::Result{} : CSafeSave::CheckTarget(target);
        if (!check.Ok())
            return WriteFailed(target == output ? CDataMessages::DatabaseCreateFailed()
                                                : WriteFailedText(target),
                               target, check);
    }

    DataFileList files;
    MaterialList materials;
    int selected = -1;
    CDatabaseTransfer transfer(&files, &materials, &selected);
    const CDatabaseTransfer::Action last = RunChain(ctx, transfer, transfer.StartDownload());
    if (!last.succeeded)
        return CliFailure;

    const QString label = Trailing(last.label);
    if (files.isEmpty())
    {
        // Nothing to keep: the window's save refuses an empty database too.
        CliPrintOut(label);
        CliPrintErr(CDataMessages::NothingToSave());
        return CliFailure;
    }

    // Both files are prepared before either is replaced, so a failure leaves
    // the previous files as they were.
    const QByteArray document = CDataStorage::DatabaseDocument(files);
    CSafeSave::Staged database;
    CSafeSave::Result result = database.Prepare(output, document);
    if (!result.Ok())
        return WriteFailed(CDataMessages::DatabaseCreateFailed(), output, result);
    CSafeSave::Staged csv;
    if (!materialsPath.isEmpty())
    {
        const QByteArray table = CMaterialsCsv::ToBytes(CMaterialsCsv::RecordsToRows(materials));
        result = csv.Prepare(materialsPath, table);
        if (!result.Ok())
            return WriteFailed(WriteFailedText(materialsPath), materialsPath, result);
    }
    result = database.Commit();
    if (!result.Ok())
        return WriteFailed(CDataMessages::DatabaseCreateFailed(), output, result);
    if (!materialsPath.isEmpty())
    {
        result = csv.Commit();
        if (!result.Ok())
            return WriteFailed(WriteFailedText(materialsPath), materialsPath, result);
    }
    CliPrintOut(label);
    // The download is saved whatever happens to the archive.
    if (archiveAdd)
        return CliArchiveDownloaded(ctx, files, materials, output);
    return CliOk;
}

int CliUpload(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return Usage(QStringLiteral("upload needs one FILE (.kdb or .kdf)"));
    const QString path = ctx.args.first();

    // A database first; a single data file when the root says so.
    CDataStorage::LoadResult loaded = CDataStorage::LoadDatabaseFile(path);
    bool database = true;
    if (loaded.status == CDataStorage::LoadResult::WrongKind)
    {
        const CDataStorage::LoadResult single = CDataStorage::LoadDataFile(path);
        if (single.status != CDataStorage::LoadResult::WrongKind)
        {
            loaded = single;
            database = false;
        }
    }
    switch (loaded.status)
    {
    case CDataStorage::LoadResult::Ok:
        break;
    case CDataStorage::LoadResult::OpenFailed:
        CliPrintErr(database ? CDataMessages::DatabaseOpenFailed(path)
                             : CDataMessages::DataFileOpenFailed(path));
        return CliFailure;
    case CDataStorage::LoadResult::ParseFailed:
        CliPrintErr(database ? CDataMessages::DatabaseParseFailed(path, loaded.parserError)
                             : CDataMessages::DataFileParseFailed(path, loaded.parserError));
        return CliFailure;
    case CDataStorage::LoadResult::WrongKind:
        CliPrintErr(CDataMessages::DatabaseWrongKind(path));
        return CliFailure;
    }
    if (loaded.damaged)
        CliPrintErr(database ? CDataMessages::DatabaseDamaged() : CDataMessages::DataFileDamaged());
    if (loaded.truncated)
        CliPrintErr(CDataMessages::DatabaseTooManyFiles());

    DataFileList files = loaded.files;
    MaterialList materials;
    int selected = files.isEmpty() ? -1 : 0;
    CDatabaseTransfer transfer(&files, &materials, &selected);
    const CDatabaseTransfer::Action start = transfer.StartUpload();
    if (!start.warning.isEmpty())
    {
        CliPrintErr(start.warning);
        return CliFailure;
    }
    // The window's question on a terminal; with --yes its warnings alone,
    // before the gauge's database is replaced.
    const CDatabaseTransfer::UploadCheck check = CDatabaseTransfer::CheckUpload(files);
    if (ctx.yes)
        for (const QString& warning : {CDatabaseTransfer::IncompleteFilesWarning(check),
                                       CDatabaseTransfer::RepeatedNamesWarning(check)})
            if (!warning.isEmpty())
                CliPrintErr(warning);
    const int asked =
        CliConfirmReplace(ctx, QStringLiteral("upload"), CDatabaseTransfer::UploadQuestion(check),
                          QCoreApplication::translate("CKorvalent", "Продолжить отправку данных?"));
    if (asked != CliOk)
        return asked;
    const CDatabaseTransfer::Action last = RunChain(ctx, transfer, start);
    if (!last.succeeded)
        return CliFailure;
    // Files the gauge refused (a name it already held) make the upload a
    // failure, however far it went.
    if (!transfer.RefusedFiles().isEmpty())
    {
        CliPrintErr(last.warning);
        return CliFailure;
    }
    CliPrintOut(last.information);
    return CliOk;
}

int CliMaterialsGet(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return Usage(QStringLiteral("materials-get needs one FILE.csv"));
    const CSafeSave::Result check = CSafeSave::CheckTarget(ctx.args.first());
    if (!check.Ok())
        return WriteFailed(WriteFailedText(ctx.args.first()), ctx.args.first(), check);
    MaterialList list;
    if (!CliRunTask(ctx, 5, &list, 0, nullptr, true))
    {
        CliPrintErr(QCoreApplication::translate(
            "CMaterialsEditorDialog", "Не удалось получить из устройства список материалов."));
        return CliFailure;
    }
    CSafeSave::Result written;
    if (!CMaterialsCsv::Write(ctx.args.first(), CMaterialsCsv::RecordsToRows(list), &written))
        return WriteFailed(WriteFailedText(ctx.args.first()), ctx.args.first(), written);
    CliPrintOut(QCoreApplication::translate("CMaterialsEditorDialog",
                                            "База мaтериалов успешно загружена из устройства."));
    return CliOk;
}

int CliMaterialsPut(const CliContext& ctx)
{
    if (ctx.args.size() != 1)
        return Usage(QStringLiteral("materials-put needs one FILE.csv"));
    const CMaterialsCsv::ReadResult read = CMaterialsCsv::Read(ctx.args.first());
    if (read.status == CMaterialsCsv::ReadResult::NotOpened)
    {
        CliPrintErr(QStringLiteral("Не удалось открыть файл '%1'.").arg(ctx.args.first()));
        return CliFailure;
    }
    // A faulty file is not half written into the gauge.
    if (read.status != CMaterialsCsv::ReadResult::Ok)
    {
        CliPrintErr(read.errorText);
        return CliFailure;
    }
    // The editor shows its cell rules at work before anyone sends the grid;
    // here nobody looks, so a file whose values the rules would change sends
    // nothing rather than other values.
    QStringList changed;
    for (int i = 0; i < read.rows.size(); ++i)
        changed += CMaterialsCsv::ChangedValues(read.rows.at(i), i + 1);
    if (!changed.isEmpty())
    {
        CliPrintErr(QStringLiteral("Не удалось сохранить в устройство список материалов: в файле "
                                   "'%1' есть значения, которые таблица материалов изменила бы; "
                                   "в прибор ничего не отправлено.")
                        .arg(ctx.args.first()));
        for (const QString& text : changed)
            CliPrintErr(text);
        return CliFailure;
    }
    // The editor's empty grid: nothing would be sent, so nothing is reported
    // as sent.
    if (read.records.isEmpty())
    {
        CliPrintErr(
            QCoreApplication::translate("CMaterialsEditorDialog", "Нет данных для загрузки!"));
        return CliFailure;
    }
    // The texts as read: the checks above leave nothing for the cell rules.
    MaterialList list;
    QString error;
    if (!CMaterialsCsv::RowsToGaugeList(read.rows, &list, &error))
    {
        CliPrintErr(error);
        return CliFailure;
    }
    const int asked = CliConfirmReplace(
        ctx, QStringLiteral("materials-put"),
        QCoreApplication::translate(
            "CMaterialsEditorDialog",
            "Таблица материалов в устройстве будет заменена таблицей из %1 материал(а)(ов).")
            .arg(list.size()),
        QCoreApplication::translate("CMaterialsEditorDialog", "Продолжить запись в устройство?"));
    if (asked != CliOk)
        return asked;
    if (!CliRunTask(ctx, 6, &list, 0, nullptr, true))
    {
        CliPrintErr(QCoreApplication::translate(
            "CMaterialsEditorDialog", "Не удалось сохранить в устройство список материалов."));
        return CliFailure;
    }
    CliPrintOut(QCoreApplication::translate("CMaterialsEditorDialog",
                                            "База материалов успешно сохранена в устройстве."));
    return CliOk;
}

bool CliTakeOption(QStringList& args, const QString& name, QString* value, bool* missingValue)
{
    const int i = int(args.indexOf(name));
    if (i < 0)
        return false;
    if (i + 1 >= args.size())
    {
        *missingValue = true;
        args.removeAt(i);
        return false;
    }
    *value = args.at(i + 1);
    args.remove(i, 2);
    return true;
}
