#include "core/CAppSettings.h"

#include "core/CAppGlobals.h"

#include <QSettings>

QSettings* CAppSettings::Create(bool demo)
{
    const QString app = QString::fromLatin1(AppIdentity::Name) +
                        (demo ? QStringLiteral("-demo") : QString());
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QString::fromLatin1(AppIdentity::Organization), app);
}

void CAppSettings::UseDirectory(const QString& dir)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
}
