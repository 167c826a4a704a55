#include "tests/common/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPortInfo>
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
        const QStringList commands{"ports",    "identify", "show",          "firmware",     "clock",
                                   "download", "upload",   "materials-get", "materials-put"};
        for (const QString& command : commands)
            QVERIFY2(run.out.contains(QStringLiteral("korvalent-cli ") + command) ||
                         run.out.contains(QStringLiteral("] ") + command),
                     qPrintable(command));
    }

    // Every command the list names has its own help, reached both ways.
    void commandHelp_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("arguments");
        const Run list = Cli({QStringLiteral("--help")});
        static const QRegularExpression line(
            QStringLiteral("^  korvalent-cli (?:\\[[^]]*\\] )*([a-z-]+)"),
            QRegularExpression::MultilineOption);
        QStringList commands;
        for (auto it = line.globalMatch(list.out); it.hasNext();)
            commands << it.next().captured(1);
        QVERIFY(commands.size() >= 17);
        for (const QString& c : commands)
        {
            QTest::addRow("%s --help", qPrintable(c)) << c << QStringList{c, "--help"};
            QTest::addRow("help %s", qPrintable(c)) << c << QStringList{"help", c};
        }
        QTest::addRow("after --port")
            << "identify" << QStringList{"--port", "/dev/null", "identify", "-h"};
    }
    void commandHelp()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QVERIFY2(run.out.startsWith(QStringLiteral("Usage: korvalent-cli ")), qPrintable(run.out));
        const QString usage = run.out.section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(usage.contains(QRegularExpression(QStringLiteral("[ \\]]%1( |$)").arg(command))),
                 qPrintable(usage));
        QVERIFY2(run.out.contains(QStringLiteral("\nOptions:\n")), qPrintable(run.out));
        const QString example = run.out.section(QStringLiteral("\nExample:\n  "), 1);
        QVERIFY2(example.startsWith(QStringLiteral("korvalent-cli ")), qPrintable(run.out));
        QVERIFY2(example.contains(QLatin1Char(' ') + command + QLatin1Char(' ')) ||
                     example.endsWith(QLatin1Char(' ') + command + QLatin1Char('\n')),
                 qPrintable(example));
    }

    // A command for the gauge with no gauge chosen says how to choose one.
    void noGaugeChosen_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("identify") << QStringList{"identify"};
        QTest::newRow("firmware") << QStringList{"firmware"};
        QTest::newRow("download") << QStringList{"download", "-o", m_env->Root() + "/g.kdb"};
        QTest::newRow("pep-list") << QStringList{"pep-list"};
    }
    void noGaugeChosen()
    {
        QFETCH(QStringList, arguments);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        // A command may add its own failure text after these.
        QCOMPARE(
            run.err.section(QLatin1Char('\n'), 0, 1) + QLatin1Char('\n'),
            QStringLiteral("Устройство не выбрано: Сервис → Выбрать устройство для подключения\n"
                           "Выберите прибор в окне программы (Сервис → Выбрать устройство для "
                           "подключения) или укажите его порт: korvalent-cli --port PATH КОМАНДА; "
                           "порты приборов перечисляет korvalent-cli ports.\n"));
        QVERIFY(!QFile::exists(m_env->Root() + "/g.kdb"));
    }

    // No gauge port: an empty list, and why on stderr.
    void portsNone()
    {
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            if (info.hasVendorIdentifier())
                QSKIP("this machine has a USB serial port");
        const Run run = Cli({QStringLiteral("ports")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QStringLiteral("Не найдены устройства QM-3RX!\nПроверьте правильность "
                                         "подключения устройств(а) к порту USB и повторите "
                                         "попытку.\n"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"frobnicate"};
        QTest::newRow("command in capitals") << QStringList{"PORTS"};
        QTest::newRow("--port without a path") << QStringList{"identify", "--port"};
        QTest::newRow("show without a file") << QStringList{"show"};
        QTest::newRow("help of an unknown command") << QStringList{"help", "frobnicate"};
        QTest::newRow("help of two commands") << QStringList{"help", "show", "export"};
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
