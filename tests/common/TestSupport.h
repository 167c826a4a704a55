#pragma once

#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

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

// Lowers the file-size limit for this process while alive; writes beyond it
// fail with EFBIG as on a full disk (SIGXFSZ ignored so that they only fail).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};
