#include "tests/device/DeviceTestHarness.h"

#include "data/CDataStorage.h"
#include "device/CCrc16.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

namespace
{
bool SameFiles(const DataFileList& a, const DataFileList& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
    {
        if (std::memcmp(&a.at(i).header, &b.at(i).header, 25) != 0 ||
            a.at(i).cells.size() != b.at(i).cells.size() ||
            std::memcmp(a.at(i).cells.constData(), b.at(i).cells.constData(),
                        size_t(a.at(i).cells.size()) * sizeof(CellRecord)) != 0)
            return false;
    }
    return true;
}

DataFileRecord MakeFile(const char* name, int cells)
{
    DataFileRecord file;
    std::strncpy(file.header.name, name, sizeof(file.header.name));
    file.header.records = quint8(cells);
    file.header.serialNumber = 77;
    file.header.fwVersion = 0x01040000;
    file.header.audioIndex = 3;
    for (int i = 0; i < cells; ++i)
    {
        CellRecord c;
        std::memset(&c, 0, sizeof(c));
        c.flags = 0x04;
        c.intPart = quint16(10 + i);
        c.fracPart = quint8(i);
        c.velocity = 5920;
        file.cells.append(c);
    }
    return file;
}
} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    void demoContentIsRealistic()
    {
        CVirtualGauge gauge;
        gauge.LoadDemoContent();
        const DataFileList files = gauge.Files();
        QVERIFY(files.size() >= 4);
        bool mm = false, inches = false, los = false;
        const MaterialList materials = gauge.Materials();
        for (const DataFileRecord& f : files)
        {
            QCOMPARE(int(f.header.records), int(f.cells.size()));
            QVERIFY(f.cells.size() >= 12);
            for (const CellRecord& c : f.cells)
            {
                (c.flags & 1 ? inches : mm) = true;
                los = los || (c.intPart == 0 && c.fracPart == 0);
                bool known = false;
                for (const MaterialRecord& m : materials)
                    known = known || m.velocity == c.velocity;
                QVERIFY(known);
            }
        }
        QVERIFY(mm && inches && los);
        // The transducer image carries a valid checksum over its 128 bytes.
        QByteArray image = gauge.Eeprom();
        const quint16 stored = quint16(quint8(image[126]) | (quint8(image[127]) << 8));
        image[126] = 0;
        image[127] = 0;
        QCOMPARE(Crc16(image.constData(), 128), stored);
        QVERIFY(gauge.Screen().count(char(0)) < 1024);
        QCOMPARE(gauge.Transducers().size(), 5);
    }

    void downloadMatchesContent()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList files;
        QCOMPARE(h.Run(11, &files, 0), 0);
        for (int i = 0; i < files.size(); ++i)
            QCOMPARE(h.Run(12, &files, i), i);
        QVERIFY(SameFiles(files, gauge->Files()));
        MaterialList materials;
        QCOMPARE(h.Run(5, &materials, 0), 0);
        QCOMPARE(materials.size(), gauge->Materials().size());
        QCOMPARE(std::memcmp(materials.constData(), gauge->Materials().constData(),
                             size_t(materials.size()) * sizeof(MaterialRecord)),
                 0);
    }

    void uploadAnswers_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<bool>("sameNameTwice");
        QTest::addColumn<QString>("lastStatus");
        QTest::addColumn<int>("secondResult");
        QTest::addColumn<int>("filesOnGauge");
        QTest::newRow("two files")
            << 1000 << false << QStringLiteral("Операция успешно выполнена.") << 1 << 2;
        QTest::newRow("name exists")
            << 1000 << true << QStringLiteral("Операция успешно выполнена.") << 1 << 1;
        QTest::newRow("flash full")
            << 5 << false
            << QStringLiteral("ОШИБКА записи, на устройтве нет свободной флеш-памяти.") << -1 << 1;
    }
    void uploadAnswers()
    {
        QFETCH(int, capacity);
        QFETCH(bool, sameNameTwice);
        QFETCH(QString, lastStatus);
        QFETCH(int, secondResult);
        QFETCH(int, filesOnGauge);
        auto gauge = StartGauge();
        gauge->SetFlashCapacity(capacity);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList files{MakeFile("PIPE-1", 4), MakeFile(sameNameTwice ? "PIPE-1" : "PIPE-2", 3)};
        QCOMPARE(h.Run(15, nullptr, 0), 0);
        QVERIFY(gauge->Files().isEmpty());
        QCOMPARE(h.Run(13, &files, 0), 0);
        QCOMPARE(h.Run(13, &files, 1), secondResult);
        QCOMPARE(h.statuses.last(), lastStatus);
        if (sameNameTwice)
            QVERIFY(h.statuses.contains(QStringLiteral(
                "ОШИБКА записи, файл с таким именем на устройстве уже существует.")));
        QCOMPARE(gauge->Files().size(), filesOnGauge);
        const DataFileRecord stored = gauge->Files().first();
        QCOMPARE(std::memcmp(&stored.header, &files.first().header, sizeof(DataFileHeader)), 0);
        QCOMPARE(stored.cells.size(), 4);
        // The closing request carries the name without its padding.
        const QList<CVirtualGauge::Request> log = gauge->RequestLog();
        QCOMPARE(log.last().code, quint8(0x12));
        QCOMPARE(log.last().payload, QByteArray(files.at(1).header.name));
        QVERIFY(h.Boxes().isEmpty());
    }

    // A file that holds fewer cells than it announces is sent with what it holds.
    void uploadNeverReadsPastTheCells()
    {
        auto gauge = StartGauge(false);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList files{MakeFile("SHORT", 5)};
        files[0].header.records = 9;
        QCOMPARE(h.Run(13, &files, 0), 0);
        QCOMPARE(gauge->Files().size(), 1);
        QCOMPARE(int(gauge->Files().first().header.records), 5);
        QCOMPARE(gauge->Files().first().cells.size(), 5);
        QCOMPARE(files.first().header.records, quint8(9)); // the caller's file is untouched
    }

    // A failed cell still closes the file on the gauge, and the task fails.
    void uploadCellFailureStillCloses()
    {
        auto gauge = StartGauge(false);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultStatus, 0x11, 1 + 1 + 2, 0x07);
        DataFileList files{MakeFile("BROKEN", 6)};
        QCOMPARE(h.Run(13, &files, 0), -1);
        QCOMPARE(gauge->RequestCodes(), QList<quint8>({0xAA, 0x10, 0x11, 0x11, 0x11, 0x12}));
        QVERIFY(h.statuses.contains(
            QStringLiteral("ОШИБКА записи, от устройства не получено подтверждение.")));
    }

    void materialsAndEepromRoundTrip()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        MaterialList written{CVirtualGauge::MakeMaterial(QStringLiteral("Бетон"), 4200, -12),
                             CVirtualGauge::MakeMaterial(QStringLiteral("Лёд"), 3980, 250)};
        QCOMPARE(h.Run(6, &written, 0), 0);
        MaterialList read;
        QCOMPARE(h.Run(5, &read, 0), 0);
        QCOMPARE(read.size(), 2);
        QCOMPARE(std::memcmp(read.constData(), written.constData(), 2 * sizeof(MaterialRecord)), 0);

        QByteArray image = CVirtualGauge::DemoEeprom();
        image[0] = 'X';
        QCOMPARE(h.Run(2, image.data(), 128), 128);
        QCOMPARE(gauge->Eeprom(), image);
        QByteArray back(128, 0);
        QCOMPARE(h.Run(1, back.data(), 128), 128);
        QCOMPARE(back, image);
        QCOMPARE(gauge->RequestLog().size(), 2 + 1 + 3 + 1 + 16 + 1 + 1);
    }

    // A long-running gauge keeps only the last requests: the newest ones,
    // in order, with their exchange numbers.
    void requestLogKeepsTheLast_data()
    {
        QTest::addColumn<int>("limit"); // 0 = the default
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("expected");
        QTest::newRow("default, fewer requests") << 0 << 1 << -1;
        QTest::newRow("default, more requests") << 0 << 5 << 1000;
        QTest::newRow("small") << 7 << 1 << 7;
        QTest::newRow("one") << 1 << 1 << 1;
    }
    void requestLogKeepsTheLast()
    {
        QFETCH(int, limit);
        QFETCH(int, files);
        QFETCH(int, expected);
        auto gauge = StartGauge();
        QCOMPARE(gauge->RequestLogLimit(), 1000);
        if (limit > 0)
            gauge->SetRequestLogLimit(limit);
        DataFileList content;
        for (int i = 0; i < files; ++i)
            content.append(MakeFile(QByteArray("F").append(char('A' + i)).constData(), 254));
        gauge->SetFiles(content);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList read;
        QCOMPARE(h.Run(11, &read, 0), 0);
        for (int i = 0; i < files; ++i)
            QCOMPARE(h.Run(12, &read, i), i);
        QVERIFY(SameFiles(read, content));

        const int served = gauge->ExchangeCount();
        QVERIFY(served > 254 * files);
        if (expected < 0)
            expected = served;
        const QList<CVirtualGauge::Request> log = gauge->RequestLog();
        QCOMPARE(int(log.size()), expected);
        for (int i = 0; i < log.size(); ++i)
            QCOMPARE(log.at(i).exchange, served - expected + i);
        // The newest requests are the last file's cell reads, not the first ones.
        int lastCell = -1;
        for (const CVirtualGauge::Request& r : log)
            if (r.code == 0x0D)
                lastCell = r.exchange;
        if (expected >= 10)
            QVERIFY(lastCell > served - 10);

        // Lowering the limit drops the oldest at once.
        gauge->SetRequestLogLimit(1);
        QCOMPARE(gauge->RequestLog().size(), 1);
        QCOMPARE(gauge->RequestLog().first().exchange, served - 1);
    }

    void clockAndConfig()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        quint8 clock[6] = {0x09, 0x05, 0x07, 0x01, 0x03, 0x1A};
        QCOMPARE(h.Run(14, clock, 0), 0);
        QCOMPARE(gauge->LastClockRecord(), QByteArray(reinterpret_cast<char*>(clock), 6));
        QCOMPARE(h.Run(3, nullptr, 0), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(h.manager->ReplySlot().Payload()), 96),
                 gauge->Config());
    }

    // A reply in pieces is read whole; stray bytes from one task are gone by the next.
    void linkBehaviour()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.manager->SetReadTimeout(2000);
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultPieces, 0x01, -1, 250);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        gauge->InjectFault(CVirtualGauge::FaultExtraBytes, 0x01, -1, 7);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        // Bytes that arrive while the port is closed are discarded at the next open.
        gauge->InjectFault(CVirtualGauge::FaultLateBytes, 0x01, -1, 50);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QTRY_COMPARE(gauge->LateBytesSent(), 1);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QVERIFY(h.Boxes().isEmpty());
    }

    void loadsADatabaseFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("base.kdb"));
        DataFileList files{MakeFile("ONE", 3), MakeFile("TWO", 0)};
        QVERIFY(CDataStorage::SaveDatabaseFile(path, files));
        CVirtualGauge gauge;
        QVERIFY(gauge.LoadDatabase(path));
        QCOMPARE(gauge.Files().size(), 2);
        QCOMPARE(gauge.Files().first().cells.size(), 3);
        QString error;
        QVERIFY(!gauge.LoadDatabase(dir.filePath(QStringLiteral("missing.kdb")), &error));
        QVERIFY(!error.isEmpty());
    }

    // The stand-alone simulator and the command line, end to end.
    void standaloneSimulatorAndCli()
    {
        QProcess sim;
        sim.start(QStringLiteral(KV_SIM_PATH), {});
        QVERIFY(sim.waitForStarted());
        QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY(port.startsWith(QStringLiteral("/dev/")));

        const QString cliPath = QStringLiteral(KV_CLI_PATH);
        CProgramRun cli =
            RunProgram(cliPath, {QStringLiteral("--port"), port, QStringLiteral("identify")});
        QCOMPARE(cli.exitCode, 0);
        QCOMPARE(cli.out, QStringLiteral("QM-3RX\t26031742\n"));
        QCOMPARE(cli.err, QString());

        cli = RunProgram(cliPath, {QStringLiteral("-v"), QStringLiteral("--port"), port,
                                   QStringLiteral("identify")});
        QCOMPARE(cli.exitCode, 0);
        const QStringList verbose = cli.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(verbose.first(), QStringLiteral("Открываю порт '%1'... ").arg(port));
        QCOMPARE(verbose.last(), QStringLiteral("Операция успешно выполнена."));

        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));

        cli = RunProgram(cliPath, {QStringLiteral("--port"), QStringLiteral("/dev/nonexistent-kv"),
                                   QStringLiteral("identify")});
        QCOMPARE(cli.exitCode, 1);
        QCOMPARE(cli.out, QString());
        QCOMPARE(cli.err,
                 QStringLiteral("ОШИБКА: не удалось открыть или настроить порт устройства!\n"
                                "Порт: /dev/nonexistent-kv\n"));
    }

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
