#include "analysis/CSurveyComparison.h"
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "export/CCsvWriter.h"
#include "report/CReportFile.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/report/ReportTestSupport.h"

#include <QDir>
#include <QStandardItemModel>
#include <QtTest>

using namespace DataTest;

// Which libraries a command of korvalent-cli loads: Qt Core alone unless it
// draws (tables written to files do not draw); the commands that draw still
// draw, through the module. The dynamic
// linker itself tells what it loaded (LD_DEBUG=files, into a file).
class TestCliLean : public QObject
{
    Q_OBJECT

    struct Run : CProgramRun
    {
        QStringList loaded; // file names of the shared objects loaded
    };

    std::unique_ptr<CTestEnvironment> m_env;

    QString Path(const QString& name) const { return m_env->Root() + QLatin1Char('/') + name; }

    Run Cli(const QStringList& arguments, const QString& program = QStringLiteral(KORVALENT_CLI))
    {
        const QString traceDir = Path(QStringLiteral("trace"));
        QDir(traceDir).removeRecursively();
        QDir().mkpath(traceDir);
        // The dynamic linker of this process read its settings at start, so
        // only the child traces.
        qputenv("LD_DEBUG", "files");
        qputenv("LD_DEBUG_OUTPUT", QFile::encodeName(traceDir + QStringLiteral("/ld")));
        Run run;
        static_cast<CProgramRun&>(run) = RunProgram(program, arguments, 60000);
        qunsetenv("LD_DEBUG");
        qunsetenv("LD_DEBUG_OUTPUT");
        const QDir dir(traceDir);
        for (const QString& name : dir.entryList(QDir::Files))
            for (const QByteArray& line : ReadFile(dir.filePath(name)).split('\n'))
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
        QVERIFY(WriteFile(Path("r.krf"), CReportFile::Document(ReportTest::FullReport())));
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
        QVERIFY2(run.out.startsWith(outStart), qPrintable(run.out));
        // The trace itself works: Qt Core is in it.
        QVERIFY2(Loads(run, QStringLiteral("libQt6Core.so")), qPrintable(run.loaded.join(' ')));
        for (const char* library : {"libQt6Gui.so", "libQt6Widgets.so", "libQt6Charts.so",
                                    "libQt6OpenGL.so", "korvalent-cli-draw.so"})
            QVERIFY2(!Loads(run, QLatin1String(library)), library);
        QVERIFY(!QFileInfo::exists(Path("x.pdf")));
    }

    // Tables written to files need no drawing: Qt Core alone, and the bytes
    // the window's writers make of the window's models (the workbook
    // libraries are loaded for the workbooks, as in the window).
    void tablesWithoutDrawing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("expected"); // empty: only the start is known
        QTest::addColumn<QByteArray>("magic");
        const DataFileList files = CDataStorage::LoadDatabaseFile(Path("db.kdb")).files;
        QStandardItemModel results;
        CResultsModels::ResetResults(&results);
        CResultsModels::FillResults(&results, files.at(1), {});
        QTest::newRow("export --csv")
            << QStringList{"export", "db.kdb", "--file", "2", "--csv", "t.csv"} << "t.csv"
            << CCsvWriter::Bytes(results) << QByteArray();
        QTest::newRow("export --xls")
            << QStringList{"export", "db.kdb", "--file", "2", "--xls", "t.xls"} << "t.xls"
            << QByteArray() << QByteArray("\xD0\xCF\x11\xE0", 4);
        QTest::newRow("export --xlsx")
            << QStringList{"export", "db.kdb", "--file", "1", "--xlsx", "t.xlsx"} << "t.xlsx"
            << QByteArray() << QByteArray("PK");
        CSurveyComparison::Options options;
        options.required = 6;
        QStandardItemModel compared;
        CSurveyComparison(files.at(0), files.at(1), options).FillModel(&compared);
        QTest::newRow("analyse --csv")
            << QStringList{"analyse",         "db.kdb", "--file",     "2", "--previous", "db.kdb",
                           "--previous-file", "1",      "--required", "6", "--csv",      "a.csv"}
            << "a.csv" << CCsvWriter::Bytes(compared) << QByteArray();
        QStandardItemModel alone;
        CSurveyComparison(files.at(0), CSurveyComparison::Options()).FillModel(&alone);
        QTest::newRow("analyse --csv, one survey")
            << QStringList{"analyse", "db.kdb", "--file", "1", "--csv", "a1.csv"} << "a1.csv"
            << CCsvWriter::Bytes(alone) << QByteArray();
    }
    void tablesWithoutDrawing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, magic);
        QFile::remove(Path(output));
        const Run run = Cli(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QByteArray written = ReadFile(Path(output));
        if (!expected.isEmpty())
            QCOMPARE(written, expected);
        QVERIFY(written.size() > 100);
        QVERIFY(written.startsWith(magic));
        QVERIFY2(Loads(run, QStringLiteral("libQt6Core.so")), qPrintable(run.loaded.join(' ')));
        for (const char* library : {"libQt6Gui.so", "libQt6Widgets.so", "korvalent-cli-draw.so"})
            QVERIFY2(!Loads(run, QLatin1String(library)), library);
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
        QTest::newRow("report --pdf") << QStringList{"report", "r.krf", "--pdf", "r.pdf"} << "r.pdf"
                                      << QByteArray("%PDF-") << QStringList{"libQt6Gui.so"};
        QTest::newRow("report --html with results")
            << QStringList{"report", "r.krf", "--data", "db.kdb", "--file", "1", "--html", "r.html"}
            << "r.html" << QByteArray("<") << QStringList{"libQt6Gui.so"};
        QTest::newRow("analyse --csv with --png")
            << QStringList{"analyse", "db.kdb",   "--file", "2",
                           "--csv",   "both.csv", "--png",  "b.png"}
            << "both.csv" << QByteArray() << QStringList{"libQt6Widgets.so"};
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
        const QByteArray written = ReadFile(Path(output));
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
        QCOMPARE(version.out, QStringLiteral("Korvalent 1.1.2\n"));

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
