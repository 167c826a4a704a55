#include "tests/common/GaugeSupport.h"

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "device/CDeviceManager.h"
#include "core/CUserPrompts.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/TestSupport.h"

#include <QCoreApplication>

std::unique_ptr<QSettings> UseFreshSettings()
{
    std::unique_ptr<QSettings> settings(CAppSettings::Create());
    settings->clear();
    g_App.pSettings = settings.get();
    return settings;
}

std::unique_ptr<CDeviceManager> UseDeviceManager(int readTimeout)
{
    std::unique_ptr<CDeviceManager> manager(new CDeviceManager);
    manager->SetReadTimeout(readTimeout);
    g_App.pDeviceManager = manager.get();
    return manager;
}

std::unique_ptr<CVirtualGauge> StartGauge(bool demo)
{
    std::unique_ptr<CVirtualGauge> gauge(new CVirtualGauge);
    if (demo)
        gauge->LoadDemoContent();
    QString error;
    if (!gauge->Start(&error))
        qFatal("cannot start the virtual gauge: %s", qPrintable(error));
    return gauge;
}

void SelectDevicePort(QSettings& settings, const QString& path, const QString& name,
                      const QString& device)
{
    settings.setValue(QStringLiteral("Device/PortPath"), path);
    settings.setValue(QStringLiteral("Device/PortName"), name);
    settings.setValue(QStringLiteral("Device/Name"), device);
}

std::unique_ptr<CTestEnvironment> BeginGaugeTests(CUserPrompts* prompts)
{
    auto env = std::make_unique<CTestEnvironment>();
    QCoreApplication::setApplicationName(QStringLiteral("Korvalent"));
    SetUserPrompts(prompts);
    return env;
}

void CGaugeRig::Start(bool demo, bool withManager, const QString& portName)
{
    settings = UseFreshSettings();
    gauge = StartGauge(demo);
    SelectDevicePort(*settings, gauge->PortPath(), portName);
    if (withManager)
        UseManager();
}

void CGaugeRig::UseManager(int readTimeout)
{
    manager = UseDeviceManager(readTimeout);
}

void CGaugeRig::Stop()
{
    manager.reset();
    g_App.pDeviceManager = nullptr;
    gauge.reset();
    settings.reset();
    g_App.pSettings = nullptr;
}
