#include "archive/CDemoArchive.h"
#include "archive/CSurveyArchive.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QtTest>

// `korvalent-cli history` and `archive-accept` as a child process on
// archives of both engines.
class TestCliHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    QTemporaryDir m_dir;

    static CProgramRun Cli(const QString& location, const QStringList& args)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI),
                          QStringList{QStringLiteral("--archive"), location} + args, 60000);
    }

    static QString Joined(const QStringList& lines) { return lines.join(QLatin1Char('\n')) + '\n'; }

    // A fresh archive of the engine holding the demo object.
    static bool FillDemo(const QString& location)
    {
        CSurveyArchive archive;
        QString error;
        if (!archive.Open(location) || !CDemoArchive::Fill(archive, &error))
        {
            qWarning("%s %s", qPrintable(archive.ErrorText()), qPrintable(error));
            return false;
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    void demo_data()
    {
        ArchiveTest::AddEngineColumn();
        ArchiveTest::AddEngineRows();
    }
    void demo()
    {
        QFETCH(QString, engine);
        QString location;
        KV_FRESH_LOCATION(engine, m_dir, location);
        QVERIFY(FillDemo(location));
        const CProgramRun r = Cli(location, {QStringLiteral("history"), CDemoArchive::ObjectName()});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        qDebug().noquote() << r.out;
        const CProgramRun r2 = Cli(location, {QStringLiteral("history"), CDemoArchive::ObjectName(), "--required", "8"});
        qDebug().noquote() << r2.out << r2.err;
        const CProgramRun r3 = Cli(location, {QStringLiteral("history"), CDemoArchive::ObjectName(), "--location", "17"});
        qDebug().noquote() << r3.out << r3.err;
    }
};

QTEST_GUILESS_MAIN(TestCliHistory)
#include "tst_cli_history.moc"
