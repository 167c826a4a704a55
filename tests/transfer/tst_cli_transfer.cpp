#include "data/CDataStorage.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/TestSupport.h"
#include "tools/CDatabaseTransfer.h"
#include "tools/CMaterialsCsv.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

// korvalent-cli firmware / clock / download / upload / materials-get /
// materials-put, run as a separate process against korvalent-gauge-sim.
class TestCliTransfer : public QObject
{
    Q_OBJECT

    struct Result
    {
        int code = -1;
        QString out;
        QString err;
    };

    std::unique_ptr<CTestEnvironment> m_env;
    QProcess m_sim;
    QString m_port;
    QTemporaryDir m_dir;

    static QString Bin(const QString& name)
    {
        return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    }

    // fileSizeLimit >= 0: the command runs under that file-size limit, with
    // SIGXFSZ ignored, as on a disk that fills up.
    Result Cli(const QStringList& args, const QString& port = QString(), qint64 fileSizeLimit = -1)
    {
        return RawCli(QStringList{QStringLiteral("--port"), port.isEmpty() ? m_port : port} + args,
                      fileSizeLimit);
    }

    Result RawCli(const QStringList& all, qint64 fileSizeLimit = -1)
    {
        QProcess p;
        if (fileSizeLimit >= 0)
            LimitChildFileSize(p, rlim_t(fileSizeLimit));
        p.start(Bin(QStringLiteral("korvalent-cli")), all);
        Result r;
        if (!p.waitForFinished(60000))
        {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    void StartSim(const QStringList& args = {})
    {
        StopSim();
        m_sim.start(Bin(QStringLiteral("korvalent-gauge-sim")), args);
        QVERIFY(m_sim.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return m_sim.canReadLine(); }, 10000));
        m_port = QString::fromUtf8(m_sim.readLine()).trimmed();
        QVERIFY(m_port.startsWith(QStringLiteral("/dev/")));
    }
    void StopSim()
    {
        if (m_sim.state() != QProcess::NotRunning)
        {
            m_sim.terminate();
            if (!m_sim.waitForFinished(5000))
            {
                m_sim.kill();
                m_sim.waitForFinished();
            }
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.reset(new CTestEnvironment);
        StartSim();
    }
    void cleanupTestCase() { StopSim(); }

    void firmware()
    {
        CVirtualGauge demo;
        demo.LoadDemoContent();
        QByteArray reply;
        const quint32 v = demo.FirmwareVersion();
        const quint16 id = demo.FirmwareId();
        reply.append(reinterpret_cast<const char*>(&v), 4);
        reply.append(reinterpret_cast<const char*>(&id), 2);
        const Result r = Cli({QStringLiteral("firmware")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, CDatabaseTransfer::FirmwareText(reply.constData()) + QLatin1Char('\n'));
        QVERIFY(r.out.startsWith(QStringLiteral("Версия прошивки ПО устройства QM-3RX:\n\n")));
    }

    void clock()
    {
        const Result r = Cli({QStringLiteral("clock")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Время устройства успешно синхронизировано с ПК.\n"));
    }

    void downloadUploadRoundTrip()
    {
        const QString kdb = m_dir.filePath(QStringLiteral("gauge.kdb"));
        const QString csv = m_dir.filePath(QStringLiteral("gauge.csv"));
        Result r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb,
                        QStringLiteral("--materials"), csv});
        QCOMPARE(r.code, 0);
        CVirtualGauge demo;
        demo.LoadDemoContent();
        const DataFileList files = demo.Files();
        QCOMPARE(
            r.out,
            QStringLiteral("Данные: загружены из устройства, %1 файл(a)(ов)\n").arg(files.size()));
        // Exactly the document the window's save writes for these files.
        QCOMPARE(Read(kdb), CDataStorage::DatabaseDocument(files));
        QCOMPARE(Read(csv), CMaterialsCsv::ToBytes(CMaterialsCsv::RecordsToRows(demo.Materials())));

        r = Cli({QStringLiteral("--yes"), QStringLiteral("upload"), kdb});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Данные успешно загружены в устройство.\n"));

        const QString again = m_dir.filePath(QStringLiteral("again.kdb"));
        r = Cli({QStringLiteral("download"), QStringLiteral("-o"), again});
        QCOMPARE(r.code, 0);
        QCOMPARE(Read(again), Read(kdb));
    }

    void uploadSingleDataFile()
    {
        CVirtualGauge demo;
        demo.LoadDemoContent();
        const QString kdf = m_dir.filePath(QStringLiteral("One.kdf"));
        QVERIFY(CDataStorage::SaveDataFile(kdf, demo.Files().first()));
        Result r = Cli({QStringLiteral("--yes"), QStringLiteral("upload"), kdf});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Данные успешно загружены в устройство.\n"));
        const QString kdb = m_dir.filePath(QStringLiteral("one.kdb"));
        r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Данные: загружены из устройства, 1 файл(a)(ов)\n"));
        // Put the demo database back for the other cases.
        const QString all = m_dir.filePath(QStringLiteral("all.kdb"));
        QVERIFY(CDataStorage::SaveDatabaseFile(all, demo.Files()));
        QCOMPARE(Cli({QStringLiteral("--yes"), QStringLiteral("upload"), all}).code, 0);
    }

    void failuresWriteNothing()
    {
        const QString kdb = m_dir.filePath(QStringLiteral("keep.kdb"));
        QFile f(kdb);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("previous");
        f.close();
        Result r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb},
                       QStringLiteral("/nonexistent/tty"));
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains(
            QStringLiteral("ОШИБКА: не удалось открыть или настроить порт устройства!")));
        QCOMPARE(Read(kdb), QByteArray("previous"));

        r = Cli({QStringLiteral("firmware")}, QStringLiteral("/nonexistent/tty"));
        QCOMPARE(r.code, 1);
        r = Cli({QStringLiteral("download")});
        QCOMPARE(r.code, 2);
        r = Cli({QStringLiteral("--yes"), QStringLiteral("upload"),
                 m_dir.filePath(QStringLiteral("none.kdb"))});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.err.isEmpty());
    }

    void commandLineSurface()
    {
        // --port=PATH is --port PATH.
        Result r = RawCli({QStringLiteral("--port=") + m_port, QStringLiteral("clock")});
        QCOMPARE(r.code, 0);

        // A usage error is one line that names the problem.
        r = Cli({QStringLiteral("download")});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY(r.err.contains(QStringLiteral("download needs -o")));
        QVERIFY(r.err.endsWith(QStringLiteral("see 'korvalent-cli --help'\n")));

        // The output folder is checked before the gauge is read: the port is
        // never opened (it does not exist, and its error does not appear).
        const QString missing = m_dir.filePath(QStringLiteral("no-such-folder"));
        r = Cli(
            {QStringLiteral("download"), QStringLiteral("-o"), missing + QStringLiteral("/x.kdb")},
            QStringLiteral("/nonexistent/tty"));
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("Папка '%1' не существует.\n").arg(missing));

        // No port given and none chosen in the window.
        r = RawCli({QStringLiteral("firmware")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith(
            QStringLiteral("Устройство не выбрано: Сервис → Выбрать устройство для подключения")));
    }

    // The command line states its intent and goes on, but says which files
    // are incomplete before the gauge's database is replaced.
    void uploadWarnsOfIncompleteFiles()
    {
        CVirtualGauge demo;
        demo.LoadDemoContent();
        DataFileList files = demo.Files().mid(0, 2);
        QVERIFY(files.at(0).cells.size() > 2);
        const int missing = int(files[0].cells.size()) - 2;
        files[0].cells = files[0].cells.mid(0, 2);
        const QString kdb = m_dir.filePath(QStringLiteral("short.kdb"));
        QVERIFY(CDataStorage::SaveDatabaseFile(kdb, files));
        Result r = Cli({QStringLiteral("--yes"), QStringLiteral("upload"), kdb});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("Данные успешно загружены в устройство.\n"));
        // (after the loader's own word on the damaged file)
        QVERIFY2(r.err.endsWith(
                     QStringLiteral("Внимание: 1 файл(a)(ов) содержат меньше ячеек, чем указано в "
                                    "заголовке (не хватает %1 ячеек). Такие файлы будут "
                                    "отправлены неполными.\n")
                         .arg(missing)),
                 qPrintable(r.err));
        // Put the demo database back for the other cases.
        const QString all = m_dir.filePath(QStringLiteral("all2.kdb"));
        QVERIFY(CDataStorage::SaveDatabaseFile(all, demo.Files()));
        QCOMPARE(Cli({QStringLiteral("--yes"), QStringLiteral("upload"), all}).code, 0);
    }

    void materials()
    {
        const QString csv = m_dir.filePath(QStringLiteral("m.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBF"
                "Сталь,5920,0.5\nОчень длинное,1000,-15\n");
        f.close();
        Result r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("База материалов успешно сохранена в устройстве.\n"));

        const QString back = m_dir.filePath(QStringLiteral("back.csv"));
        r = Cli({QStringLiteral("materials-get"), back});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("База мaтериалов успешно загружена из устройства.\n"));
        QCOMPARE(Read(back),
                 QByteArray("\xEF\xBB\xBF") + "Сталь,5920,0.5\nОчень длинное,1000,-15\n");

        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Сталь,5920,0.5\n\nЛатунь,4430,1\n");
        f.close();
        r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(
            QStringLiteral("Не удалось прочитать из файла список материалов: не верный формат!")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Сталь,5920,999\n");
        f.close();
        r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith(
            QStringLiteral("Не удалось сохранить в устройство список материалов: ")));
        r = Cli({QStringLiteral("materials-get"), back});
        QCOMPARE(r.code, 0);
        QVERIFY(Read(back).contains("Очень длинное")); // nothing was written
    }

    void materialsPutRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty file") << QByteArray() << "Нет данных для загрузки!";
        QTest::newRow("byte-order mark only")
            << QByteArray("\xEF\xBB\xBF") << "Нет данных для загрузки!";
        QTest::newRow("faulty first line")
            << QByteArray("Сталь;5920;0.5\n")
            << "Не удалось прочитать из файла список материалов: не верный формат!";
    }
    void materialsPutRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString before = m_dir.filePath(QStringLiteral("before.csv"));
        QCOMPARE(Cli({QStringLiteral("materials-get"), before}).code, 0);

        const QString csv = m_dir.filePath(QStringLiteral("refused.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const Result r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(message), qPrintable(r.err));

        // The gauge's table is as it was.
        const QString after = m_dir.filePath(QStringLiteral("after.csv"));
        QCOMPARE(Cli({QStringLiteral("materials-get"), after}).code, 0);
        QCOMPARE(Read(after), Read(before));
    }

    // The database (11 KB, buffered whole until the final flush) meets a
    // full disk: the failure text, exit 1, the previous file as it was, no
    // temporary file; with --materials, neither file is replaced.
    void downloadOverLimitKeepsOldFiles()
    {
        CVirtualGauge demo;
        demo.LoadDemoContent();
        const int size = int(CDataStorage::DatabaseDocument(demo.Files()).size());
        QVERIFY2(size > 4096 && size < 16384, qPrintable(QString::number(size)));

        QTemporaryDir dir;
        const QString kdb = dir.filePath(QStringLiteral("prev.kdb"));
        const QString csv = dir.filePath(QStringLiteral("prev.csv"));
        QFile f(kdb);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("previous database");
        f.close();
        QFile c(csv);
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write("previous table");
        c.close();

        Result r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb}, QString(), 4096);
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(
            r.err.contains(QStringLiteral("ОШИБКА: не удалось создать \"файл-базу данных\".\n")),
            qPrintable(r.err));
        QVERIFY(r.err.contains(kdb));
        QCOMPARE(Read(kdb), QByteArray("previous database"));
        QCOMPARE(FolderEntries(dir.path()), (QStringList{"prev.csv", "prev.kdb"}));

        // The table (small) fits, the database does not: the table is not
        // replaced either.
        const int tableSize =
            int(CMaterialsCsv::ToBytes(CMaterialsCsv::RecordsToRows(demo.Materials())).size());
        QVERIFY(tableSize < 4096);
        r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb,
                 QStringLiteral("--materials"), csv},
                QString(), 4096);
        QCOMPARE(r.code, 1);
        QCOMPARE(Read(kdb), QByteArray("previous database"));
        QCOMPARE(Read(csv), QByteArray("previous table"));
        QCOMPARE(FolderEntries(dir.path()), (QStringList{"prev.csv", "prev.kdb"}));

        // materials-get under a limit smaller than the gauge's table (a
        // long table put first: the port's lock file needs a few bytes under
        // the limit too).
        const QString demoTable = dir.filePath(QStringLiteral("long.csv"));
        QList<CMaterialsCsv::Row> rows;
        for (int i = 0; i < 40; ++i)
            rows.append(
                {QStringLiteral("Материал%1").arg(i), QStringLiteral("5000"), QStringLiteral("1")});
        QVERIFY(CMaterialsCsv::Write(demoTable, rows));
        QCOMPARE(Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), demoTable}).code,
                 0);
        QCOMPARE(Cli({QStringLiteral("materials-get"), demoTable}).code, 0);
        const qint64 gaugeTable = QFileInfo(demoTable).size();
        QVERIFY(QFile::remove(demoTable));
        QVERIFY(gaugeTable > 400);
        r = Cli({QStringLiteral("materials-get"), csv}, QString(), gaugeTable / 2);
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(QStringLiteral("Не удалось записать файл '%1'.").arg(csv)),
                 qPrintable(r.err));
        QCOMPARE(Read(csv), QByteArray("previous table"));
        QCOMPARE(FolderEntries(dir.path()), (QStringList{"prev.csv", "prev.kdb"}));

        // Without the limit both are written.
        r = Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb,
                 QStringLiteral("--materials"), csv});
        QCOMPARE(r.code, 0);
        QCOMPARE(Read(kdb), CDataStorage::DatabaseDocument(demo.Files()));
    }

    // A device node or a FIFO as the target: refused before the gauge is
    // asked, naming the file; the node stays what it was.
    void downloadOntoSpecialFilesRefused()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.kdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString kdb = dir.filePath(QStringLiteral("ok.kdb"));
        const QList<QStringList> commands{
            {QStringLiteral("download"), QStringLiteral("-o"), QStringLiteral("/dev/full")},
            {QStringLiteral("download"), QStringLiteral("-o"), fifo},
            {QStringLiteral("download"), QStringLiteral("-o"), kdb, QStringLiteral("--materials"),
             fifo},
            {QStringLiteral("materials-get"), fifo},
            {QStringLiteral("materials-get"), QStringLiteral("/dev/full")}};
        for (const QStringList& command : commands)
        {
            // No gauge on this port: a refusal that asked the gauge first
            // would fail on the port instead.
            const Result r = Cli(command, QStringLiteral("/nonexistent/tty"));
            QCOMPARE(r.code, 1);
            QVERIFY(r.out.isEmpty());
            QVERIFY2(r.err.contains(QStringLiteral("(это не обычный файл)")), qPrintable(r.err));
            QVERIFY(r.err.contains(command.last()));
            QVERIFY(!r.err.contains(QStringLiteral("порт")));
        }
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(::stat("/dev/full", &st), 0);
        QVERIFY(S_ISCHR(st.st_mode));
        QCOMPARE(FolderEntries(dir.path()), QStringList{"pipe.kdb"});
    }
};

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "tst_cli_transfer.moc"
