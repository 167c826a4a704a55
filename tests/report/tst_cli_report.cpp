#include "data/CDataStorage.h"
#include "report/CReportFile.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/report/ReportTestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>

using namespace DataTest;
using namespace ReportTest;

// korvalent-cli report, run from outside.
class TestCliReport : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;

    QString Path(const QString& name) const { return m_env->Root() + QLatin1Char('/') + name; }

    using Run = CProgramRun;

    Run Cli(const QStringList& arguments)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI_PATH),
                          QStringList{QStringLiteral("report")} + arguments, 30000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<CTestEnvironment>();
        // Relative paths of the cases below are taken from here.
        QVERIFY(QDir::setCurrent(m_env->Root()));
        QVERIFY(WriteFile(Path("r.krf"), CReportFile::Document(FullReport())));
        QVERIFY(
            WriteFile(Path("wrong.krf"), "<!DOCTYPE KorvalentDatabase>\n<KorvalentDatabase/>\n"));
        QVERIFY(WriteFile(Path("broken.krf"), "<KorvalentReport><A></KorvalentReport>"));
        const DataFileList files{File(QStringLiteral("Труба-1"), {MmCell(5.2), MmCell(12.25)}),
                                 File(QStringLiteral("LOS"), {MmCell(0.3)})};
        QVERIFY(CDataStorage::SaveDatabaseFile(Path("db.kdb"), files));
        QVERIFY(CDataStorage::SaveDataFile(Path("los.kdf"), files.at(1)));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err"); // "" when only the start is checked
        QTest::newRow("missing report") << QStringList{"none.krf", "--html", "OUT"} << 1
                                        << "Не удалось открыть для чтения файл-отчёт: none.krf\n";
        QTest::newRow("wrong root")
            << QStringList{"wrong.krf", "--pdf", "OUT"} << 1
            << "Не возможно обработать файл-отчёт: 'wrong.krf'\n\nЗагружаемый файл не является "
               "корректным файлом.\n";
        QTest::newRow("parse error")
            << QStringList{"broken.krf", "--html", "OUT"} << 1
            << "Не возможно обработать файл-отчёт: 'broken.krf'\n\nОШИБКА: ";
        QTest::newRow("missing data file")
            << QStringList{"r.krf", "--data", "none.kdb", "--file", "1", "--html", "OUT"} << 1
            << "";
        QTest::newRow("file out of range")
            << QStringList{"r.krf", "--data", "db.kdb", "--file", "3", "--html", "OUT"} << 2
            << "No data file 3: the file holds 2\n";
        QTest::newRow("output folder missing")
            << QStringList{"r.krf", "--pdf", "no-such-folder/r.pdf"} << 1
            << "Папка '" + QDir::current().absoluteFilePath("no-such-folder") +
                   "' не существует.\n";
        QTest::newRow("no output") << QStringList{"r.krf"} << 2 << "";
        QTest::newRow("two outputs")
            << QStringList{"r.krf", "--html", "OUT", "--pdf", "OUT"} << 2 << "";
        QTest::newRow("data without file")
            << QStringList{"r.krf", "--data", "db.kdb", "--html", "OUT"} << 2 << "";
        QTest::newRow("file zero")
            << QStringList{"r.krf", "--data", "db.kdb", "--file", "0", "--html", "OUT"} << 2 << "";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        const QString out = Path("out.file");
        QVERIFY(WriteFile(out, "previous"));
        arguments.replaceInStrings(QRegularExpression("^OUT$"), out);
        QDir::setCurrent(m_env->Root());
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QString());
        if (!err.isEmpty())
            QVERIFY2(run.err.startsWith(err), qPrintable(run.err));
        else
            QVERIFY(!run.err.isEmpty());
        QCOMPARE(ReadFile(out), QByteArray("previous"));
    }

    void warningsAndPdf()
    {
        QDir::setCurrent(m_env->Root());
        const QString pdf = Path("r.pdf");
        const Run run = Cli({"r.krf", "--data", "los.kdf", "--file", "1", "--pdf", pdf});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err,
                 QStringLiteral("Не достаточно данных для вычисления статистическийх значений.\n"));
        QCOMPARE(run.out, QString());
        QVERIFY(ReadFile(pdf).startsWith("%PDF-"));
        KV_REQUIRE_PDFTOTEXT();
        const QString text = PdfToText(pdf);
        // The stored gauge field, the data file's row (a LOS reading), the
        // statistics reset.
        QVERIFY(text.contains(QStringLiteral("DEVICE_DESCRI")));
        QVERIFY(text.contains(QStringLiteral("LOS")));
        QVERIFY(!text.contains(QStringLiteral("0.30")));
        QVERIFY(!text.contains(QStringLiteral("5.20")));
        QVERIFY(text.contains(QStringLiteral("н/д")));
    }

    // A hand-written report file whose fields name a device, a pipe, a
    // picture and a file URL: the PDF shows them as text, and the command
    // opens none of them (seen from the system calls).
    void hostileFieldsOpenNothing()
    {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed");
        QDir::setCurrent(m_env->Root());
        const QString fifo = Path("pipe");
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString picture = Path("picture.png");
        QVERIFY(WriteFile(picture, QByteArray::fromBase64(
                                       "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4"
                                       "2mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==")));
        const QMap<QString, QString> fields{
            {"OBJECT_OF_CONTROL", "<img src=\"/dev/zero\">"},
            {"OBJECT_DESCRIPTION", "<img src=\"" + fifo + "\">"},
            {"REASON_OF_TESTING", "<img src=\"" + picture + "\"> t<8 mm"},
            {"OBJECT_OWNER", "<img src=\"file://" + picture + "\">"},
            {"NAME1", "#NAME2 & \"#DATA_TABLE_ROWS\""},
            {"CONCLUSION", "<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>"}};
        QByteArray krf = "<!DOCTYPE KorvalentReport>\n<KorvalentReport>\n";
        for (auto f = fields.cbegin(); f != fields.cend(); ++f)
            krf += "<" + f.key().toUtf8() + ">" + f.value().toHtmlEscaped().toUtf8() + "</" +
                   f.key().toUtf8() + ">\n";
        krf += "</KorvalentReport>\n";
        QVERIFY(WriteFile(Path("hostile.krf"), krf));

        const QString trace = Path("trace.txt");
        const QString pdf = Path("hostile.pdf");
        QProcess process;
        // The leak check at exit of a sanitized build needs to trace the
        // process itself, which it cannot while strace does.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
        process.setProcessEnvironment(env);
        process.start(strace,
                      {QStringLiteral("-f"), QStringLiteral("-e"),
                       QStringLiteral("trace=open,openat,openat2,creat"), QStringLiteral("-o"),
                       trace, QStringLiteral(KORVALENT_CLI_PATH), QStringLiteral("report"),
                       Path("hostile.krf"), QStringLiteral("--pdf"), pdf});
        QVERIFY(process.waitForFinished(60000));
        const QString calls = QString::fromUtf8(ReadFile(trace));
        if (process.exitCode() != 0 && !calls.contains(QStringLiteral("open")))
            QSKIP("strace cannot trace here (no ptrace)");
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(calls.contains(QStringLiteral("hostile.krf")));
        for (const QString& outside : {QStringLiteral("/dev/zero"), fifo, picture})
            QVERIFY2(!calls.contains(QLatin1Char('"') + outside + QLatin1Char('"')),
                     qPrintable(outside));

        KV_REQUIRE_PDFTOTEXT();
        const QString text = PdfToText(pdf);
        // (a narrow cell wraps its text at a blank)
        for (const QString& typed : fields)
            QVERIFY2(text.simplified().contains(typed), qPrintable(typed));
    }

    void htmlWithoutData()
    {
        QDir::setCurrent(m_env->Root());
        const QString html = Path("r.html");
        const Run run = Cli({"r.krf", "--html", html});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.isEmpty());
        const QString text = QString::fromUtf8(ReadFile(html));
        QVERIFY(text.contains(QStringLiteral(">15.04.2029</span></p>\n</td>\n</tr>\n")));
        QVERIFY(text.contains(QStringLiteral(">CONCLUTION_NUMBER поле0 от 11.03.2024</span>")));
        QCOMPARE(text.count(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))), 3);
    }
};

QTEST_MAIN(TestCliReport)
#include "tst_cli_report.moc"
