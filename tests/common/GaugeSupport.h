#pragma once

#include <QSettings>
#include <QString>
#include <memory>

class CDeviceManager;
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

// Points the "Device" settings group at a port, as the device selector saves it.
void SelectDevicePort(QSettings& settings, const QString& path,
                      const QString& name = QStringLiteral("test port"),
                      const QString& device = QStringLiteral("QM-3RX"));
