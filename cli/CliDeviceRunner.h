#pragma once

#include "cli/CliCommands.h"

// Runs one device task synchronously for the command line: the port is
// ctx.port (or the saved device when empty; the saved device is never
// changed), the error box texts and the "ОШИБКА" status texts go to stderr
// (every status text with ctx.verbose). Returns true on success.
// With progress set, a bar on stderr follows TaskProgress when stderr is a
// terminal.
bool CliRunTask(const CliContext& ctx, int TaskID, void* buf, int nValue,
                int* nDataLength = nullptr, bool progress = false);

// The device manager the command line uses (created on first use, also
// published in g_App.pDeviceManager).
class CDeviceManager;
CDeviceManager* CliDeviceManager();

// Prints a status text the way the runner does (stderr, trailing line
// breaks removed).
void CliPrintStatus(const QString& text);
