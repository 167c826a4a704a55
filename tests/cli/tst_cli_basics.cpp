#include "tests/common/TestSupport.h"

#include <QProcess>
#include <QtTest>

// The command line's own surface: version, help, usage errors.
class TestCliBasics : public QObject
{
    Q_OBJECT

    using Run = CProgramRun;

    Run Cli(const QStringList& arguments)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI), arguments);
    }

    CTestEnvironment* m_env = nullptr;

private Q_SLOTS:
    void initTestCase() { m_env = new CTestEnvironment; }
    void cleanupTestCase() { delete m_env; }

    void version()
    {
        const Run run = Cli({QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("Korvalent 1.1.2\n"));
        QVERIFY(run.err.isEmpty());
    }

    void help()
    {
        const Run run = Cli({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.isEmpty());
        const QStringList commands{"ports",  "identify", "show",          "firmware",     "clock",
                                   "download", "upload", "materials-get", "materials-put"};
        for (const QString& command : commands)
            QVERIFY2(run.out.contains(QStringLiteral("korvalent-cli ") + command) ||
                         run.out.contains(QStringLiteral("] ") + command),
                     qPrintable(command));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"frobnicate"};
        QTest::newRow("command in capitals") << QStringList{"PORTS"};
        QTest::newRow("--port without a path") << QStringList{"identify", "--port"};
        QTest::newRow("show without a file") << QStringList{"show"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
        QVERIFY(!run.err.isEmpty());
    }
};

QTEST_MAIN(TestCliBasics)
#include "tst_cli_basics.moc"
