#include "tests/common/TestSupport.h"

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

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

void BeginWindowTests(std::unique_ptr<CTestEnvironment>* env, std::unique_ptr<QSettings>* settings,
                      CUserPrompts* prompts)
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

CProgramRun RunProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                       rlim_t fileLimit)
{
    QProcess process;
    if (fileLimit > 0)
        LimitChildFileSize(process, fileLimit);
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

QString BuiltProgram(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

CGaugeSimProcess::~CGaugeSimProcess()
{
    Stop();
}

bool CGaugeSimProcess::Start(const QStringList& arguments)
{
    Stop();
    m_process = std::make_unique<QProcess>();
    m_process->start(BuiltProgram(QStringLiteral("korvalent-gauge-sim")), arguments);
    if (!m_process->waitForStarted() ||
        !QTest::qWaitFor([&] { return m_process->canReadLine(); }, 10000))
    {
        qWarning("korvalent-gauge-sim did not start or tell its port");
        return false;
    }
    m_port = QString::fromUtf8(m_process->readLine()).trimmed();
    return m_port.startsWith(QStringLiteral("/dev/"));
}

void CGaugeSimProcess::Stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning)
    {
        m_process->terminate();
        if (!m_process->waitForFinished(5000))
        {
            m_process->kill();
            m_process->waitForFinished();
        }
    }
    m_process.reset();
    m_port.clear();
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
}

QString PdfToText(const QString& path, const QStringList& options)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return QString();
    const CProgramRun run =
        RunProgram(tool,
                   options + QStringList{QStringLiteral("-enc"), QStringLiteral("UTF-8"), path,
                                         QStringLiteral("-")},
                   30000);
    return run.exitCode == 0 ? run.out : QString();
}
