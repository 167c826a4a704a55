#include "core/CAppGlobals.h"
#include "cli/CliCommands.h"
#include "cli/CliDeviceRunner.h"
#include "device/CDeviceManager.h"
#include "device/CPortEnumerator.h"

#include <QSettings>

int CliPorts(const CliContext& ctx)
{
    if (!ctx.args.isEmpty())
        return CliUsageError(QStringLiteral("this command takes no arguments"));
    CDeviceManager* manager = CliDeviceManager();
    if (!manager->EnumerateDevices())
    {
        CliPrintErr(CDeviceManager::NoDevicesFoundText());
        return CliOk;
    }
    for (const DeviceInfo* info : manager->DeviceList())
        CliPrintOut(info->PortPath + QLatin1Char('\t') + info->PortName);
    return CliOk;
}

int CliIdentify(const CliContext& ctx)
{
    if (!ctx.args.isEmpty())
        return CliUsageError(QStringLiteral("this command takes no arguments"));
    CDeviceManager* manager = CliDeviceManager();

    // Task 0 identifies one entry of the device list: make it the one port.
    QString path = ctx.port;
    QString portName = ctx.port;
    QString name = QStringLiteral("<Н/Д>");
    if (path.isEmpty() && g_App.pSettings)
    {
        path = g_App.pSettings->value(QStringLiteral("Device/PortPath")).toString();
        portName = g_App.pSettings->value(QStringLiteral("Device/PortName")).toString();
    }
    if (path.isEmpty())
    {
        CliPrintNoGaugeChosen();
        return CliFailure;
    }
    qDeleteAll(manager->DeviceList());
    manager->DeviceList().clear();
    auto* info = new DeviceInfo{name, name, portName, path};
    manager->DeviceList().append(info);

    CliContext taskContext = ctx;
    taskContext.port.clear();
    const bool ok = CliRunTask(taskContext, 0, nullptr, 0);
    // A gauge that answers with another status is not identified, even
    // though the task itself goes on.
    if (!ok || !manager->LastIdentified())
        return CliFailure;
    CliPrintOut(info->Name + QLatin1Char('\t') + info->SerialNumber);
    return CliOk;
}
