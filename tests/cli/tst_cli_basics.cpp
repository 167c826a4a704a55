#include "tests/common/TestSupport.h"

#include <QProcess>
#include <QtTest>

// The command line's own surface: version, help, usage errors.
class TestCliBasics : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Run Cli(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(KORVALENT_CLI), arguments);
        Run run;
        if (!process.waitForFinished(20000))
        {
            process.kill();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
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
