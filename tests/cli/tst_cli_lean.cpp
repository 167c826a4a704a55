#include "data/CDataStorage.h"
#include "report/CReportFile.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/report/ReportTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace DataTest;

// Which libraries a command of korvalent-cli loads: Qt Core alone unless it
// draws; the commands that draw still draw, through the module. The dynamic
// linker itself tells what it loaded (LD_DEBUG=files, into a file).
class TestCliLean : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QString err;
        QStringList loaded; // file names of the shared objects loaded
    };

    std::unique_ptr<CTestEnvironment> m_env;

    QString Path(const QString& name) const { return m_env->Root() + QLatin1Char('/') + name; }

    Run Cli(const QStringList& arguments, const QString& program = QStringLiteral(KORVALENT_CLI))
    {
        const QString traceDir = Path(QStringLiteral("trace"));
        QDir(traceDir).removeRecursively();
        QDir().mkpath(traceDir);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        env.insert(QStringLiteral("LD_DEBUG_OUTPUT"), traceDir + QStringLiteral("/ld"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        Run run;
        if (!process.waitForFinished(60000))
        {
            process.kill();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = QString::fromUtf8(process.readAllStandardError());
        const QDir dir(traceDir);
        for (const QString& name : dir.entryList(QDir::Files))
            for (const QByteArray& line : ReadBytes(dir.filePath(name)).split('\n'))
            {
                const qsizetype at = line.indexOf("file=");
                if (at < 0 || !line.contains("generating link map"))
                    continue;
                const QByteArray file = line.mid(at + 5, line.indexOf(' ', at) - at - 5);
                run.loaded.append(QFileInfo(QString::fromLocal8Bit(file)).fileName());
            }
        return run;
    }

    static bool Loads(const Run& run, const QString& library)
    {
        for (const QString& file : run.loaded)
            if (file.startsWith(library))
                return true;
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<CTestEnvironment>();
        QVERIFY(QDir::setCurrent(m_env->Root()));
        const DataFileList files{
            File(QStringLiteral("Труба-1"), {MmCell(5.2), MmCell(12.25), MmCell(7.0)}),
            File(QStringLiteral("Труба-2"), {MmCell(5.0), MmCell(12.0), MmCell(6.5)})};
        QVERIFY(CDataStorage::SaveDatabaseFile(Path("db.kdb"), files));
        QVERIFY(WriteBytes(Path("r.krf"), CReportFile::Document(ReportTest::FullReport())));
    }

    // Commands that do not draw: neither Qt Gui nor the module, and their
    // output as before.
    void withoutDrawing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("outStart");
        QTest::newRow("--version") << QStringList{"--version"} << "Korvalent 1.1.2\n";
        QTest::newRow("files table") << QStringList{"show", "db.kdb"} << "Труба-1\t1 - 3\n";
        QTest::newRow("results and statistics")
            << QStringList{"show", "db.kdb", "--file", "1"} << "Результат\tЕд. изм.\t";
        QTest::newRow("analyse, table only")
            << QStringList{"analyse",    "db.kdb", "--file",          "2",
                           "--previous", "db.kdb", "--previous-file", "1"}
            << "";
        // Help of a drawing command is the program's own.
        QTest::newRow("report --help") << QStringList{"report", "--help"} << "Usage: ";
        QTest::newRow("help analyse") << QStringList{"help", "analyse"} << "Usage: ";
        QTest::newRow("--version before a drawing command")
            << QStringList{"--version", "report", "r.krf", "--pdf", "x.pdf"} << "Korvalent 1.1.2\n";
    }
    void withoutDrawing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, outStart);
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QVERIFY2(QString::fromUtf8(run.out).startsWith(outStart), run.out.constData());
        // The trace itself works: Qt Core is in it.
        QVERIFY2(Loads(run, QStringLiteral("libQt6Core.so")), qPrintable(run.loaded.join(' ')));
        for (const char* library : {"libQt6Gui.so", "libQt6Widgets.so", "libQt6Charts.so",
                                    "libQt6OpenGL.so", "korvalent-cli-draw.so"})
            QVERIFY2(!Loads(run, QLatin1String(library)), library);
        QVERIFY(!QFileInfo::exists(Path("x.pdf")));
    }

    // Commands that draw, through the module, with the libraries they need.
    void drawing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<QStringList>("libraries");
        QTest::newRow("analyse --png")
            << QStringList{"analyse", "db.kdb", "--file", "2", "--png", "chart.png"} << "chart.png"
            << QByteArray("\x89PNG\r\n", 6) << QStringList{"libQt6Widgets.so", "libQt6Charts.so"};
        QTest::newRow("analyse --csv")
            << QStringList{"analyse", "db.kdb", "--file", "2", "--csv", "table.csv"} << "table.csv"
            << QByteArray() << QStringList{};
        QTest::newRow("report --pdf") << QStringList{"report", "r.krf", "--pdf", "r.pdf"} << "r.pdf"
                                      << QByteArray("%PDF-") << QStringList{"libQt6Gui.so"};
        QTest::newRow("report --html with results")
            << QStringList{"report", "r.krf", "--data", "db.kdb", "--file", "1", "--html", "r.html"}
            << "r.html" << QByteArray("<") << QStringList{"libQt6Gui.so"};
        QTest::newRow("export --xlsx")
            << QStringList{"export", "db.kdb", "--file", "1", "--xlsx", "t.xlsx"} << "t.xlsx"
            << QByteArray("PK") << QStringList{};
    }
    void drawing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QByteArray, magic);
        QFETCH(QStringList, libraries);
        QFile::remove(Path(output));
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QByteArray written = ReadBytes(Path(output));
        QVERIFY2(!written.isEmpty(), qPrintable(output));
        QVERIFY(written.startsWith(magic));
        for (const QString& library : libraries + QStringList{"korvalent-cli-draw.so"})
            QVERIFY2(Loads(run, library), qPrintable(library));
    }

    // A program without its module still does everything that does not
    // draw, and says plainly why a drawing command cannot run.
    void missingModule()
    {
        const QString folder = Path(QStringLiteral("alone/bin"));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/korvalent-cli");
        QFile::remove(program);
        QVERIFY(QFile::copy(QStringLiteral(KORVALENT_CLI), program));

        const Run version = Cli({QStringLiteral("--version")}, program);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QByteArray("Korvalent 1.1.2\n"));

        const Run report = Cli({"report", "r.krf", "--pdf", "alone.pdf"}, program);
        QCOMPARE(report.exitCode, 1);
        QVERIFY2(report.err.startsWith(
                     QStringLiteral("korvalent-cli: cannot load the drawing module: ")),
                 qPrintable(report.err));
        QVERIFY2(report.err.contains(QStringLiteral("korvalent-cli-draw.so")),
                 qPrintable(report.err));
        QVERIFY(report.out.isEmpty());
        QVERIFY(!QFileInfo::exists(Path("alone.pdf")));
    }
};

QTEST_GUILESS_MAIN(TestCliLean)
#include "tst_cli_lean.moc"
