#pragma once

#include <QStringList>
#include <QtGlobal>

class QSettings;
class QObject;
class CKorvalent;
class CDeviceManager;

// The process-wide objects every window reaches: filled by the entry in
// creation order (settings, extras flag, main window, device manager).
struct AppGlobals
{
    CKorvalent* pMainWindow = nullptr;
    QSettings* pSettings = nullptr;
    CDeviceManager* pDeviceManager = nullptr;
    quint8 extras = 0;
    // The object whose status bar shows device progress (the main window in
    // the GUI; null in the command line, where status texts go elsewhere).
    QObject* pStatusSink = nullptr;
};

extern AppGlobals g_App;

namespace AppIdentity
{
inline constexpr const char* Name = "Korvalent";
inline constexpr const char* Organization = "Brindholm LTD";
inline constexpr const char* Version = "1.1.2";
} // namespace AppIdentity

// True when an argument after the program name is exactly "-extras".
bool HasExtrasSwitch(int argc, const char* const* argv);
bool HasExtrasSwitch(const QStringList& arguments);
