#include "tests/common/TestSupport.h"

#include "core/CAppSettings.h"

#include <QDir>

CTestEnvironment::CTestEnvironment()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    QDir(m_dir.path()).mkpath(QStringLiteral("settings"));
    qputenv("HOME", Home().toLocal8Bit());
    CAppSettings::UseDirectory(SettingsDir());
}

QString CTestEnvironment::Home() const { return m_dir.path() + QStringLiteral("/home"); }

QString CTestEnvironment::SettingsDir() const
{
    return m_dir.path() + QStringLiteral("/settings");
}
