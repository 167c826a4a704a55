#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the settings store and the home directory of the test process at a
// fresh temporary directory, so that no test reads or writes the user's real
// settings or documents. Call once from initTestCase().
class CTestEnvironment
{
public:
    CTestEnvironment();
    QString Root() const { return m_dir.path(); }
    QString Home() const;
    QString SettingsDir() const;

private:
    QTemporaryDir m_dir;
};
