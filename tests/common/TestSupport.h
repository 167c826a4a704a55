#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>

class QProcess;

// Points the settings store and the home directory of the test process at a
// fresh temporary directory, so that no test reads or writes the user's real
// settings or documents. Call once from initTestCase().
class CUserPrompts;

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

// A program run to its end: exit code (-1 when it did not exit normally or
// was killed after timeoutMs), standard output and error as UTF-8.
struct CProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};
CProgramRun RunProgram(const QString& program, const QStringList& arguments,
                       int timeoutMs = 20000);

// What every window test sets up once: the program's identity, a private
// home with the program's settings in it, and the given prompts in place of
// the dialogs. EndWindowTests() takes the globals back.
void BeginWindowTests(std::unique_ptr<CTestEnvironment>* env,
                      std::unique_ptr<QSettings>* settings, CUserPrompts* prompts);
void EndWindowTests();

// Lowers the file-size limit of this process while alive: a write beyond it
// fails with EFBIG, as on a full disk (SIGXFSZ is ignored meanwhile, so that
// the write only fails). A small file (under Qt's 16 KiB write buffer) then
// fails only at its final flush.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t bytes);
    ~CFileSizeLimit();
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// The same for a child process: set before start(), it applies in the child
// only.
void LimitChildFileSize(QProcess& process, rlim_t bytes);

// Every entry of a folder, hidden ones (temporary files) included, sorted.
QStringList FolderEntries(const QString& folder);
