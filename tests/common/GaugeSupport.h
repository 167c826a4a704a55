#pragma once

#include <QSettings>
#include <QString>
#include <memory>

class CDeviceManager;
class CTestEnvironment;
class CUserPrompts;
class CVirtualGauge;

// Settings emptied and registered in g_App; unregister them (g_App.pSettings =
// nullptr) before the returned object goes.
std::unique_ptr<QSettings> UseFreshSettings();

// A device manager registered in g_App with a short link read time-out, so
// that a silent gauge fails a test quickly; unregister it before it goes.
std::unique_ptr<CDeviceManager> UseDeviceManager(int readTimeout);

// A started virtual gauge, with the demo content when asked. A gauge that
// cannot start ends the run: no test that needs one could pass.
std::unique_ptr<CVirtualGauge> StartGauge(bool demo = true);

// Once per suite of the gauge's dialogs and the window's device work: a
// private home, the program's name and the prompts in place of the dialogs.
std::unique_ptr<CTestEnvironment> BeginGaugeTests(CUserPrompts* prompts);

// Per case: fresh settings and a started virtual gauge selected as the device
// under portName, then a device manager with a short read time-out (unless
// withManager is false, for a window that must be built before it: then
// UseManager()), all registered in g_App. Stop() takes them down and
// unregisters them, the manager first.
struct CGaugeRig
{
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CVirtualGauge> gauge;
    std::unique_ptr<CDeviceManager> manager;

    void Start(bool demo, bool withManager = true,
               const QString& portName = QStringLiteral("test port"));
    void UseManager(int readTimeout = 400);
    void Stop();
};

// Points the "Device" settings group at a port, as the device selector saves it.
void SelectDevicePort(QSettings& settings, const QString& path,
                      const QString& name = QStringLiteral("test port"),
                      const QString& device = QStringLiteral("QM-3RX"));
