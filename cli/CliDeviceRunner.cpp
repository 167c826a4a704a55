#include "cli/CliDeviceRunner.h"

#include "core/CAppGlobals.h"
#include "device/CDeviceManager.h"

#include <QEventLoop>
#include <QObject>
#include <QSettings>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{
// Receives the completion of the task the runner started.
class CCliTaskReceiver : public QObject
{
    Q_OBJECT
public:
    QEventLoop loop;
    bool done = false;
    int taskID = -1;
    int length = -1;

public Q_SLOTS:
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
    {
        Q_UNUSED(lpUserBuf);
        done = true;
        taskID = TaskID;
        length = nDataLength;
        loop.quit();
    }
};

QString Trimmed(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

void DrawProgress(int done, int total)
{
    if (total <= 0)
        return;
    const int width = 30;
    const int filled = qBound(0, done * width / total, width);
    std::fprintf(stderr, "\r[%s%s] %d/%d", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, '.').constData(), done, total);
    std::fflush(stderr);
}
} // namespace

void CliPrintStatus(const QString& text)
{
    CliPrintErr(Trimmed(text));
}

void CliPrintNoGaugeChosen()
{
    CliPrintErr(CDeviceManager::NoDeviceChosenText());
    CliPrintErr(QStringLiteral("Выберите прибор в окне программы (Сервис → Выбрать устройство для "
                               "подключения) или укажите его порт: korvalent-cli --port PATH "
                               "КОМАНДА; порты приборов перечисляет korvalent-cli ports."));
}

CDeviceManager* CliDeviceManager()
{
    static std::unique_ptr<CDeviceManager> manager;
    if (!manager)
    {
        manager.reset(new CDeviceManager);
        g_App.pDeviceManager = manager.get();
    }
    return manager.get();
}

bool CliRunTask(const CliContext& ctx, int TaskID, void* buf, int nValue, int* nDataLength,
                bool progress)
{
    CDeviceManager* manager = CliDeviceManager();
    // Task 0 names its port in the device list, the others in the settings.
    if (TaskID != 0 && ctx.port.isEmpty() &&
        (!g_App.pSettings ||
         g_App.pSettings->value(QStringLiteral("Device/PortPath")).toString().isEmpty()))
    {
        CliPrintNoGaugeChosen();
        if (nDataLength)
            *nDataLength = -1;
        return false;
    }
    manager->SetPortOverride(ctx.port);

    CCliTaskReceiver receiver;
    const bool verbose = ctx.verbose;
    const bool bar = progress && ::isatty(STDERR_FILENO);
    bool barShown = false;
    QObject::connect(manager, &CDeviceManager::ShowStatusMessage, &receiver,
                     [&](const QString& text, int)
                     {
                         if (!verbose && !text.startsWith(QStringLiteral("ОШИБКА")))
                             return;
                         if (barShown)
                         {
                             std::fputc('\n', stderr);
                             barShown = false;
                         }
                         CliPrintStatus(text);
                     });
    // Error boxes are printed by the prompts: end the bar's line first.
    CUserPrompts& previousPrompts = UserPrompts();
    CCliBarBreakingPrompts prompts(previousPrompts,
                                   [&]
                                   {
                                       if (barShown)
                                       {
                                           std::fputc('\n', stderr);
                                           barShown = false;
                                       }
                                   });
    if (bar)
    {
        SetUserPrompts(&prompts);
        QObject::connect(manager, &CDeviceManager::TaskProgress, &receiver,
                         [&](int done, int total)
                         {
                             DrawProgress(done, total);
                             barShown = true;
                         });
    }

    manager->StartTask(TaskID, buf, nValue, &receiver);
    if (!receiver.done)
        receiver.loop.exec();
    if (bar)
        SetUserPrompts(&previousPrompts);
    if (barShown)
        std::fputc('\n', stderr);
    manager->SetPortOverride(QString());
    // The port texts of the gauge do not say which port failed.
    if (receiver.length < 0 && !manager->LastPortOpened())
        CliPrintErr(QStringLiteral("Порт: %1").arg(manager->LastPortPath()));
    if (nDataLength)
        *nDataLength = receiver.length;
    return receiver.length >= 0;
}

#include "CliDeviceRunner.moc"
