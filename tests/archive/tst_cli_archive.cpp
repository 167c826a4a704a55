#include "archive/CSurveyArchive.h"
#include "data/CDataStorage.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

using namespace ArchiveTest;

// The archive commands of korvalent-cli as a separate process, on both
// engines; `download --archive-add` against korvalent-gauge-sim.
class TestCliArchive : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    QTemporaryDir m_dir;
    CGaugeSimProcess m_sim;

    static CProgramRun Cli(const QString& location, const QStringList& args)
    {
        return RunProgram(BuiltProgram(QStringLiteral("korvalent-cli")),
                          QStringList{QStringLiteral("--archive"), location} + args, 60000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.reset(new CTestEnvironment);
        QVERIFY(m_sim.Start());
    }
    void cleanupTestCase() { m_sim.Stop(); }

    void commands_data() { EngineRows(); }
    void commands()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        const QString kdb = m_dir.filePath(engine + QStringLiteral("-two.kdb"));
        QVERIFY(
            CDataStorage::SaveDatabaseFile(kdb, {File(QStringLiteral("Линия-7 2025"), 6, 1, 2025),
                                                 File(QStringLiteral("Бак 2"), 4, 2, 2026)}));
        const QString missing = m_dir.filePath(QStringLiteral("missing.kdb"));

        CProgramRun r = Cli(location, {QStringLiteral("archive-add"), kdb, missing});
        QCOMPARE(r.exitCode, 1); // the missing file failed, the other went in
        QCOMPARE(r.out, QStringLiteral("file\tsurvey\tid\tobject\tstatus\n"
                                       "%1\tЛиния-7 2025\t1\tЛиния-7 2025\tadded\n"
                                       "%1\tБак 2\t2\tБак 2\tadded\n")
                            .arg(kdb));
        QCOMPARE(r.err, QStringLiteral("Не удалось открыть для чтения файл '%1'.\n").arg(missing));

        r = Cli(location, {QStringLiteral("archive-add"), kdb});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.endsWith(QStringLiteral("\tБак 2\talready archived\n")));

        r = Cli(location, {QStringLiteral("archive-list")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("object\tsurveys\tfirst\tlast\n"
                                       "Бак 2\t1\t01.04.2026\t01.04.2026\n"
                                       "Линия-7 2025\t1\t01.04.2025\t01.04.2025\n"));

        r = Cli(location, {QStringLiteral("archive-merge"), QStringLiteral("линия-7 2025"),
                           QStringLiteral("Линия-7")});
        QCOMPARE(r.exitCode, 0);
        r = Cli(location,
                {QStringLiteral("archive-move"), QStringLiteral("--survey"), QStringLiteral("2"),
                 QStringLiteral("--object"), QStringLiteral("Линия-7")});
        QCOMPARE(r.exitCode, 0);
        // A name with an escape sequence is stored as given, shown escaped.
        r = Cli(location, {QStringLiteral("archive-rename"), QStringLiteral("Линия-7"),
                           QStringLiteral("Line 7; --\x1b[31m")});
        QCOMPARE(r.exitCode, 0);
        r = Cli(location, {QStringLiteral("archive-list")});
        QCOMPARE(r.out, QStringLiteral("object\tsurveys\tfirst\tlast\n"
                                       "Line 7; --\\x1b[31m\t2\t01.04.2025\t01.04.2026\n"));
        r = Cli(location, {QStringLiteral("archive-list"), QStringLiteral("--object"),
                           QStringLiteral("LINE 7; --\x1b[31m")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("id\tdate\tname\tgauge\tgauge serial\tcells\tLOS\tsource\n"
                                       "1\t01.04.2025\tЛиния-7 2025\t\t\t6\t0\t%1\n"
                                       "2\t01.04.2026\tБак 2\t\t\t4\t0\t%1\n")
                            .arg(kdb));

        // A survey written back: the same cells as the database holds.
        const QString kdf = m_dir.filePath(engine + QStringLiteral("-got.kdf"));
        r = Cli(location, {QStringLiteral("archive-get"), QStringLiteral("--survey"),
                           QStringLiteral("1"), QStringLiteral("-o"), kdf});
        QCOMPARE(r.exitCode, 0);
        const CDataStorage::LoadResult got = CDataStorage::LoadDataFile(kdf);
        QVERIFY(got.Succeeded() && !got.damaged);
        QCOMPARE(Bytes(got.files.first()), Bytes(File(QStringLiteral("Линия-7 2025"), 6, 1, 2025)));

        r = Cli(location, {QStringLiteral("archive-remove"), QStringLiteral("--survey"),
                           QStringLiteral("2")});
        QCOMPARE(r.exitCode, 2); // not without --yes
        r = Cli(location, {QStringLiteral("archive-remove"), QStringLiteral("--survey"),
                           QStringLiteral("2"), QStringLiteral("--yes")});
        QCOMPARE(r.exitCode, 0);
        r = Cli(location, {QStringLiteral("archive-remove"), QStringLiteral("--survey"),
                           QStringLiteral("2"), QStringLiteral("--yes")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("Обследование 2 не найдено в архиве.\n"));
        r = Cli(location, {QStringLiteral("archive-list"), QStringLiteral("--object"),
                           QStringLiteral("Нет")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("Объект 'Нет' не найден в архиве.\n"));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("add nothing") << QStringList{QStringLiteral("archive-add")};
        QTest::newRow("list extra")
            << QStringList{QStringLiteral("archive-list"), QStringLiteral("x")};
        QTest::newRow("get no output") << QStringList{
            QStringLiteral("archive-get"), QStringLiteral("--survey"), QStringLiteral("1")};
        QTest::newRow("get bad id")
            << QStringList{QStringLiteral("archive-get"), QStringLiteral("--survey"),
                           QStringLiteral("x"), QStringLiteral("-o"), QStringLiteral("a.kdf")};
        QTest::newRow("move no object") << QStringList{
            QStringLiteral("archive-move"), QStringLiteral("--survey"), QStringLiteral("1")};
        QTest::newRow("rename one")
            << QStringList{QStringLiteral("archive-rename"), QStringLiteral("A")};
        QTest::newRow("merge three")
            << QStringList{QStringLiteral("archive-merge"), QStringLiteral("A"),
                           QStringLiteral("B"), QStringLiteral("C")};
        QTest::newRow("remove no id")
            << QStringList{QStringLiteral("archive-remove"), QStringLiteral("--yes")};
    }
    void usage()
    {
        QFETCH(QStringList, args);
        const QString location = m_dir.filePath(QStringLiteral("usage.sqlite"));
        const CProgramRun r = Cli(location, args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.endsWith(QStringLiteral("; see 'korvalent-cli --help'\n")));
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFileInfo::exists(location)); // refused before the archive is made
    }

    // An archive the user may read but not write: the program says so and
    // goes on without it. Run as a user without privileges (root writes
    // wherever it likes).
    void readOnlyArchive_data()
    {
        QTest::addColumn<bool>("download");
        QTest::newRow("archive-add") << false;
        QTest::newRow("download --archive-add") << true;
    }
    void readOnlyArchive()
    {
        QFETCH(bool, download);
        const bool root = ::geteuid() == 0;
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (root && setpriv.isEmpty())
            QSKIP("runs as root and setpriv (util-linux) is missing: a read-only archive cannot "
                  "be made for root");
        // A folder the unprivileged user may write in, and in it a read-only
        // folder with a read-only archive.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QFileDevice::Permissions all =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        const QFileDevice::Permissions readOnly =
            QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(dir.path(), all));
        const QString folder = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(folder));
        const QString location = folder + QStringLiteral("/Korvalent-archive.sqlite");
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(location));
            QVERIFY(archive.AddSurveys({File(QStringLiteral("Old"), 3, 1)}, {}, {}).ok);
        }
        QVERIFY(QFile::setPermissions(location, readOnly));
        QVERIFY(QFile::setPermissions(folder, readOnly | QFileDevice::ExeOwner |
                                                  QFileDevice::ExeGroup | QFileDevice::ExeOther));
        const QStringList before = FolderEntries(folder);
        const QByteArray bytes = [&]
        {
            QFile f(location);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        const QString kdf = dir.filePath(QStringLiteral("New.kdf"));
        QVERIFY(CDataStorage::SaveDataFile(kdf, File(QStringLiteral("New"), 4, 2)));
        QVERIFY(QFile::setPermissions(kdf, all));
        const QString kdb = dir.filePath(QStringLiteral("download.kdb"));
        QStringList args = {QStringLiteral("--archive"), location};
        if (download)
        {
            // The virtual gauge's port, open to the user too.
            QVERIFY(QFile::setPermissions(QFileInfo(m_sim.Port()).canonicalFilePath(),
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadOther | QFileDevice::WriteOther));
            args = QStringList{QStringLiteral("--port"), m_sim.Port()} + args +
                   QStringList{QStringLiteral("download"), QStringLiteral("-o"), kdb,
                               QStringLiteral("--archive-add")};
        }
        else
            args += QStringList{QStringLiteral("archive-add"), kdf};

        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        cli.setProcessEnvironment(env);
        if (root)
            cli.start(setpriv, QStringList{QStringLiteral("--reuid=nobody"),
                                           QStringLiteral("--regid=nogroup"),
                                           QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                           BuiltProgram(QStringLiteral("korvalent-cli"))} +
                                   args);
        else
            cli.start(BuiltProgram(QStringLiteral("korvalent-cli")), args);
        QVERIFY(cli.waitForFinished(120000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), 1);
        QCOMPARE(err, QStringLiteral("Архив Korvalent '%1' доступен только для чтения: "
                                     "архивировать в него нельзя.\n")
                          .arg(location));
        if (download)
        {
            // The download is saved and told all the same.
            const CDataStorage::LoadResult saved = CDataStorage::LoadDatabaseFile(kdb);
            QVERIFY(saved.Succeeded());
            QCOMPARE(out, QStringLiteral("Данные: загружены из устройства, %1 файл(a)(ов)\n")
                              .arg(saved.files.size()));
        }
        else
            QVERIFY(out.isEmpty());
        // The archive as it was: not a byte nor a journal beside it.
        QCOMPARE(FolderEntries(folder), before);
        QFile f(location);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
        QVERIFY(QFile::setPermissions(folder, all));
    }

    void downloadArchiveAdd_data()
    {
        AddEngineColumn();
        AddEngineRows();
        QTest::newRow("unreachable") << QStringLiteral("unreachable");
    }
    void downloadArchiveAdd()
    {
        QFETCH(QString, engine);
        QString location;
        if (engine == QLatin1String("unreachable"))
            location = QStringLiteral("postgresql://inspector:pw@%2Fnonexistent%2Fsocket/archive");
        else
            KV_FRESH_LOCATION(engine, m_dir, location);
        const QString kdb = m_dir.filePath(engine + QStringLiteral("-download.kdb"));
        const CProgramRun r =
            RunProgram(BuiltProgram(QStringLiteral("korvalent-cli")),
                       {QStringLiteral("--port"), m_sim.Port(), QStringLiteral("--archive"),
                        location, QStringLiteral("download"), QStringLiteral("-o"), kdb,
                        QStringLiteral("--archive-add")},
                       120000);
        // The download is saved whatever happens to the archive.
        const CDataStorage::LoadResult saved = CDataStorage::LoadDatabaseFile(kdb);
        QVERIFY(saved.Succeeded());
        QVERIFY(r.out.startsWith(QStringLiteral("Данные: загружены из устройства, %1 файл(a)(ов)\n")
                                     .arg(saved.files.size())));
        if (engine == QLatin1String("unreachable"))
        {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.startsWith(
                         QStringLiteral("Не удалось подключиться к архиву Korvalent "
                                        "'postgresql://inspector@/nonexistent/socket/archive': ")),
                     qPrintable(r.err));
            QVERIFY(!r.err.contains(QStringLiteral(":pw")));
            return;
        }
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(QStringLiteral("\tadded\n")), saved.files.size());
        CSurveyArchive archive;
        QVERIFY(archive.Open(location));
        CSurveyArchive::SurveyInfo info;
        QVERIFY(archive.Survey(1, &info));
        QCOMPARE(info.sourceKind, QStringLiteral("download"));
        DataFileRecord first;
        QVERIFY(archive.SurveyData(1, &first));
        QCOMPARE(Bytes(first), Bytes(saved.files.first()));
    }
};

QTEST_GUILESS_MAIN(TestCliArchive)
#include "tst_cli_archive.moc"
