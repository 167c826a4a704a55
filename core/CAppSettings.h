#pragma once

#include <QString>

class QSettings;

// The program's one settings object: native per-user store under
// "Brindholm LTD" / "Korvalent" (~/.config/Brindholm LTD/Korvalent.conf).
// Demo mode keeps its own file ("Korvalent-demo") so that playing with the
// virtual gauge never overwrites the device chosen for the real one.
namespace CAppSettings
{
QSettings* Create(bool demo = false);

// Redirects every settings object created afterwards into dir (tests).
void UseDirectory(const QString& dir);
} // namespace CAppSettings
