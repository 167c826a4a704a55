#include "tests/common/TestSupport.h"

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <csignal>

CTestEnvironment::CTestEnvironment()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    QDir(m_dir.path()).mkpath(QStringLiteral("settings"));
    qputenv("HOME", Home().toLocal8Bit());
    CAppSettings::UseDirectory(SettingsDir());
}

QString CTestEnvironment::Home() const
{
    return m_dir.path() + QStringLiteral("/home");
}

QString CTestEnvironment::SettingsDir() const
{
    return m_dir.path() + QStringLiteral("/settings");
}

CFileSizeLimit::CFileSizeLimit(rlim_t bytes)
{
    ::getrlimit(RLIMIT_FSIZE, &m_saved);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_saved;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

CFileSizeLimit::~CFileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_handler);
}

void LimitChildFileSize(QProcess& process, rlim_t bytes)
{
    process.setChildProcessModifier(
        [bytes]
        {
            // Runs in the child between fork and exec: async-signal-safe calls only.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit;
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = bytes;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void BeginWindowTests(std::unique_ptr<CTestEnvironment>* env,
                      std::unique_ptr<QSettings>* settings, CUserPrompts* prompts)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));
    *env = std::make_unique<CTestEnvironment>();
    settings->reset(CAppSettings::Create());
    g_App.pSettings = settings->get();
    SetUserPrompts(prompts);
}

void EndWindowTests()
{
    SetUserPrompts(nullptr);
    g_App.pSettings = nullptr;
}

CProgramRun RunProgram(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    CProgramRun run;
    if (!process.waitForFinished(timeoutMs))
    {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
