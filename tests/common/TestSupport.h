#pragma once

#include <QSettings>
#include <QStandardPaths>
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
// fileLimit > 0 runs the program with that file-size limit (see
// LimitChildFileSize).
CProgramRun RunProgram(const QString& program, const QStringList& arguments, int timeoutMs = 20000,
                       rlim_t fileLimit = 0);

// A program built beside the test executable (korvalent-cli,
// korvalent-gauge-sim).
QString BuiltProgram(const QString& name);

// The stand-alone virtual gauge (korvalent-gauge-sim) as a child process, for
// the command-line suites; it is stopped when this goes.
class CGaugeSimProcess
{
public:
    ~CGaugeSimProcess();
    // Starts it with the given arguments and reads the port it serves; false
    // (with a warning) when it does not start or tell its port.
    bool Start(const QStringList& arguments = {});
    void Stop();
    QString Port() const { return m_port; }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_port;
};

// A file's bytes (empty when it cannot be read), and bytes written as a file's
// whole content.
QByteArray ReadFile(const QString& path);
bool WriteFile(const QString& path, const QByteArray& bytes);

// The text of a PDF as pdftotext gives it (options before the file, e.g.
// "-bbox"); a null string when the tool is missing or does not finish.
QString PdfToText(const QString& path, const QStringList& options = {});

// Skips the case when pdftotext (poppler-utils) is not installed.
#define KV_REQUIRE_PDFTOTEXT()                                                                     \
    do                                                                                             \
    {                                                                                              \
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())                 \
            QSKIP("pdftotext (poppler-utils) is not installed");                                   \
    } while (0)

// Lines as a program prints them: each ended by a newline.
inline QString JoinedLines(const QStringList& lines)
{
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// What every window test sets up once: the program's identity, a private
// home with the program's settings in it, and the given prompts in place of
// the dialogs. EndWindowTests() takes the globals back.
void BeginWindowTests(std::unique_ptr<CTestEnvironment>* env, std::unique_ptr<QSettings>* settings,
                      CUserPrompts* prompts);
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
