#include "tests/device/DeviceTestHarness.h"

#include "data/GaugeRecords.h"
#include "device/CCrc16.h"
#include "device/CSerialLink.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cstring>

namespace
{
const QString kUnexpected = QStringLiteral("ОШИБКА: получен не ожидаемый ответ.");
const QString kNoAnswer = QStringLiteral("ОШИБКА: устройство не отвечает.");
const QString kShort = QStringLiteral("ОШИБКА: принято меньше данных чем ожидалось.");
const QString kBadCrc = QStringLiteral("ОШИБКА: данные повреждены, не верная контрольная сумма.");
const QString kReadFailed = QStringLiteral("ОШИБКА чтения из порта.");
const QString kOpenFailed =
    QStringLiteral("ОШИБКА: не удалось открыть или настроить порт устройства!");
const QString kDone = QStringLiteral("Операция успешно выполнена.");

QByteArray Frame(std::initializer_list<int> bytes)
{
    QByteArray frame;
    for (int b : bytes)
        frame.append(char(b));
    return frame;
}
} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    void crcCheckValue()
    {
        QCOMPARE(Crc16("123456789", 9), quint16(0x6F91));
        QCOMPARE(Crc16("", 0), quint16(0xFFFF));
    }

    void crcWorkedFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("identify") << Frame({0xAA, 0xB2, 0x7D, 0x00});
        QTest::newRow("firmware") << Frame({0x01, 0x9A, 0x1F, 0x00});
        QTest::newRow("erase") << Frame({0x13, 0x4D, 0xE5, 0x00});
    }
    void crcWorkedFrames()
    {
        QFETCH(QByteArray, frame);
        QByteArray zeroed = frame;
        zeroed[1] = 0;
        zeroed[2] = 0;
        const quint16 crc = Crc16(zeroed.constData(), quint16(zeroed.size()));
        QCOMPARE(quint8(crc & 0xFF), quint8(frame[1]));
        QCOMPARE(quint8(crc >> 8), quint8(frame[2]));
    }

    // Every exchange failure reaches the user with its own text, and the task fails.
    void exchangeFailures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("requests");

        QTest::newRow("silence") << int(CVirtualGauge::FaultSilence) << 0x01 << -1 << kNoAnswer
                                 << QString() << 2;
        QTest::newRow("short reply")
            << int(CVirtualGauge::FaultShortReply) << 0x01 << 3 << kShort << QString() << 2;
        QTest::newRow("bad crc") << int(CVirtualGauge::FaultBadCrc) << 0x01 << -1 << kBadCrc
                                 << QString() << 2;
        // Stray bytes after the identification shift the next reply.
        QTest::newRow("extra bytes")
            << int(CVirtualGauge::FaultExtraBytes) << 0xAA << 2 << kBadCrc << QString() << 2;
        QTest::newRow("unexpected status")
            << int(CVirtualGauge::FaultStatus) << 0x01 << 0x42 << QString() << kUnexpected << 2;
        QTest::newRow("declared length") << int(CVirtualGauge::FaultDeclaredLength) << 0x01 << 4
                                         << QString() << kUnexpected << 2;
        QTest::newRow("declared above 128")
            << int(CVirtualGauge::FaultOversize) << 0x01 << 200 << QString() << kUnexpected << 2;
        QTest::newRow("hang-up") << int(CVirtualGauge::FaultHangUp) << 0x01 << -1 << kReadFailed
                                 << QString() << 2;
    }
    void exchangeFailures()
    {
        QFETCH(int, kind);
        QFETCH(int, command);
        QFETCH(int, value);
        QFETCH(QString, box);
        QFETCH(QString, status);
        QFETCH(int, requests);

        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultKind(kind), command, -1, value);
        QCOMPARE(h.Run(9, nullptr, 0), -1);
        QCOMPARE(h.recorder.completions.last().buffer, nullptr);
        if (box.isEmpty())
            QCOMPARE(h.Boxes(), QStringList());
        else
            QCOMPARE(h.Boxes(), QStringList{box});
        if (!status.isEmpty())
            QCOMPARE(h.statuses.last(), status);
        QVERIFY(!h.statuses.contains(kDone));
        QCOMPARE(gauge->ExchangeCount(), requests);
    }

    // A reply declaring more than a frame holds is never used for a read.
    void oversizeDeclarationEndsRecordLoop()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultOversize, 0x0C, 2, 200);
        DataFileList files;
        QCOMPARE(h.Run(11, &files, 0), -1);
        QCOMPARE(files.size(), 1);
        QCOMPARE(h.statuses.last(), kUnexpected);
        QCOMPARE(h.timeouts.last(), 0);
        QCOMPARE(gauge->ExchangeCount(), 3);
        QVERIFY(h.Boxes().isEmpty());
    }

    void successfulFirmwareStatusSequence()
    {
        auto gauge = StartGauge();
        gauge->SetFirmware(0x02051234, 0x0BAF);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath(), QStringLiteral("USB (ttyACM0)"), QStringLiteral("QM-3RX"));
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        const QStringList expected = {QStringLiteral("Открываю порт 'USB (ttyACM0)'... "),
                                      QStringLiteral("Успешно открыт порт 'USB (ttyACM0)'... "),
                                      QStringLiteral("Идентификация устройства 'QM-3RX'... "),
                                      QStringLiteral("Устройство 'QM-3RX' обнаружено."),
                                      QStringLiteral("Чтение версии встроенного ПО устройства..."),
                                      kDone};
        QCOMPARE(h.statuses, expected);
        QCOMPARE(h.timeouts, QList<int>({5000, 5000, 5000, 5000, 5000, 5000}));
        QVERIFY(h.recorder.completions.last().buffer != nullptr);
        QCOMPARE(h.recorder.payloadAtCompletion.left(6),
                 Frame({0x34, 0x12, 0x05, 0x02, 0xAF, 0x0B}));
        QCOMPARE(gauge->RequestCodes(), QList<quint8>({0xAA, 0x01}));
        QVERIFY(h.Boxes().isEmpty());
    }

    // One worker serves task after task: each run still shows all its texts,
    // in order, and completes once.
    void tasksInARow()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath(), QStringLiteral("USB (ttyACM0)"), QStringLiteral("QM-3RX"));
        const QStringList once = {QStringLiteral("Открываю порт 'USB (ttyACM0)'... "),
                                  QStringLiteral("Успешно открыт порт 'USB (ttyACM0)'... "),
                                  QStringLiteral("Идентификация устройства 'QM-3RX'... "),
                                  QStringLiteral("Устройство 'QM-3RX' обнаружено."),
                                  QStringLiteral("Чтение версии встроенного ПО устройства..."),
                                  kDone};
        QStringList expected;
        for (int run = 0; run < 4; ++run)
        {
            QCOMPARE(h.Run(9, nullptr, 0), 0);
            expected += once;
        }
        QCOMPARE(h.statuses, expected);
        QCOMPARE(h.recorder.completions.size(), 4);
    }

    // While the gauge keeps the worker waiting for a reply, the texts so far
    // are on the screen already, not only once the task is over.
    void textsShownWhileGaugeKeepsUsWaiting()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        h.manager->SetReadTimeout(8000);
        // The first texts go out at once; those after a short identification
        // would wait for the next report, which comes only with the reply.
        gauge->InjectFault(CVirtualGauge::FaultDelay, 0xAA, -1, 30);
        gauge->InjectFault(CVirtualGauge::FaultDelay, 0x01, -1, 2500);
        h.manager->StartTask(9, nullptr, 0, &h.recorder);
        QTRY_VERIFY(
            h.statuses.contains(QStringLiteral("Чтение версии встроенного ПО устройства...")));
        QVERIFY(h.recorder.completions.isEmpty());
        QVERIFY(h.manager->IsBusy());
        QTRY_COMPARE_WITH_TIMEOUT(h.recorder.completions.size(), 1, 15000);
        QCOMPARE(h.recorder.completions.first().length, 0);
        QCOMPARE(h.statuses.last(), kDone);
    }

    // Every task's own status texts, in order, with their display times
    // (0 = until replaced), between the identification and the success text.
    void taskStatusTexts_data()
    {
        QTest::addColumn<int>("taskID");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("timeouts");
        const QString m = QStringLiteral("Чтение данных материалов ...");
        const QString p = QStringLiteral("Чтение списка ПЭП ...");
        const QString f = QStringLiteral("Чтение списка файлов содержащих замеры ...");
        const QString c = QStringLiteral("Чтение ячеек в файле 'F1' ...");
        QTest::newRow("0") << 0 << QStringList() << QList<int>();
        QTest::newRow("1") << 1 << QStringList{QStringLiteral("Чтение информации из ПЭП...")}
                           << QList<int>{5000};
        QTest::newRow("2") << 2 << QStringList{QStringLiteral("Запись информации в ПЭП...")}
                           << QList<int>{0};
        QTest::newRow("3") << 3 << QStringList{QStringLiteral("Чтение конфигурации устройства...")}
                           << QList<int>{5000};
        QTest::newRow("5") << 5 << QStringList{m, m + " 1", m + " 2"}
                           << QList<int>{5000, 5000, 5000};
        QTest::newRow("6") << 6 << QStringList{QStringLiteral("Запись данных материалов...")}
                           << QList<int>{5000};
        QTest::newRow("7") << 7 << QStringList{p, p + " 1", p + " 2"}
                           << QList<int>{5000, 5000, 5000};
        QTest::newRow("9") << 9
                           << QStringList{QStringLiteral(
                                  "Чтение версии встроенного ПО устройства...")}
                           << QList<int>{5000};
        QTest::newRow("10") << 10
                            << QStringList{QStringLiteral(
                                   "Чтение содержимого экрана устройства...")}
                            << QList<int>{5000};
        QTest::newRow("11") << 11 << QStringList{f, f + " 1"} << QList<int>{5000, 5000};
        QTest::newRow("12") << 12 << QStringList{c, c + " 1", c + " 2"}
                            << QList<int>{5000, 5000, 5000};
        QTest::newRow("13") << 13
                            << QStringList{QStringLiteral("Загрузка файла 'F2' в устройство ...")}
                            << QList<int>{5000};
        QTest::newRow("14") << 14
                            << QStringList{QStringLiteral("Запись даты и времени в устройство ...")}
                            << QList<int>{0};
        QTest::newRow("15") << 15
                            << QStringList{QStringLiteral(
                                   "Удаление базы результатов в устройстве ...")}
                            << QList<int>{0};
        QTest::newRow("other") << 16 << QStringList() << QList<int>();
    }
    void taskStatusTexts()
    {
        QFETCH(int, taskID);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, timeouts);
        auto gauge = StartGauge(false);
        const MaterialList materials{CVirtualGauge::MakeMaterial(QStringLiteral("Сталь"), 5920, 0),
                                     CVirtualGauge::MakeMaterial(QStringLiteral("Медь"), 4660, 0)};
        gauge->SetMaterials(materials);
        gauge->SetTransducers(CVirtualGauge::DemoTransducers().mid(0, 2));
        DataFileRecord file;
        std::memcpy(file.header.name, "F1", 2);
        file.header.records = 2;
        file.cells = {CellRecord(), CellRecord()};
        gauge->SetFiles({file});
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        h.manager->DeviceList().append(
            new DeviceInfo{QStringLiteral("QM-3RX"), QStringLiteral("<Н/Д>"),
                           QStringLiteral("test port"), gauge->PortPath()});

        QByteArray bytes(1024, 0);
        MaterialList materialList = taskID == 6 ? materials : MaterialList();
        QList<PEPListRecord> transducers;
        DataFileList files{file};
        files[0].cells.clear();
        if (taskID == 13)
        {
            std::memcpy(files[0].header.name, "F2", 2);
            files[0].cells = file.cells;
        }
        void* buffer = nullptr;
        int value = 0;
        switch (taskID)
        {
        case 1:
        case 2:
            buffer = bytes.data();
            value = 128;
            break;
        case 5:
        case 6:
            buffer = &materialList;
            break;
        case 7:
            buffer = &transducers;
            break;
        case 10:
            buffer = bytes.data();
            value = 1024;
            break;
        case 11:
        case 12:
        case 13:
            buffer = &files;
            break;
        case 14:
            buffer = bytes.data();
            break;
        }
        if (taskID == 11)
            files.clear();
        QCOMPARE(h.Run(taskID, buffer, value), value);

        const QStringList head = {QStringLiteral("Открываю порт 'test port'... "),
                                  QStringLiteral("Успешно открыт порт 'test port'... "),
                                  QStringLiteral("Идентификация устройства 'QM-3RX'... "),
                                  QStringLiteral("Устройство 'QM-3RX' обнаружено.")};
        QCOMPARE(h.statuses, head + texts + QStringList{kDone});
        QCOMPARE(h.timeouts, QList<int>({5000, 5000, 5000, 5000}) + timeouts + QList<int>{5000});
        QVERIFY(h.Boxes().isEmpty());
    }

    void emptyPortPath()
    {
        CDeviceHarness h;
        QCOMPARE(h.Run(9, nullptr, 0), -1);
        QCOMPARE(h.recorder.completions.last().taskID, 9);
        QCOMPARE(h.recorder.completions.last().buffer, nullptr);
        // The status bar ends on what to do about it, above the port error box.
        QCOMPARE(h.statuses,
                 (QStringList{QStringLiteral("Открываю порт ''... "),
                              QStringLiteral("Устройство не выбрано: Сервис → Выбрать устройство "
                                             "для подключения")}));
        QCOMPARE(h.Boxes(), QStringList{kOpenFailed});
    }

    void portHeldByAnotherOpener()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        QSerialPort other;
        other.setPortName(gauge->PortPath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        QCOMPARE(h.Run(9, nullptr, 0), -1);
        QCOMPARE(h.Boxes(), QStringList{kOpenFailed});
        QCOMPARE(gauge->ExchangeCount(), 0);
        other.close();
        h.prompts.Clear();
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QVERIFY(h.Boxes().isEmpty());
    }

    // An empty lock file left by a killed process: the port is said to be
    // locked, naming the lock file; once it is gone the port opens.
    void staleLockFileNamed()
    {
        auto gauge = StartGauge();
        const QString lockFile = LockFileOf(gauge->PortPath());
        if (lockFile.isEmpty())
            QSKIP("no writable lock folder");
        {
            QFile f(lockFile);
            QVERIFY(f.open(QIODevice::WriteOnly)); // empty, just created: not yet stale by age
        }
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        const int length = h.Run(9, nullptr, 0);
        QFile::remove(lockFile);
        QCOMPARE(length, -1);
        QCOMPARE(CSerialLink::ExistingLockFile(gauge->PortPath()), QString());
        QCOMPARE(h.Boxes(), QStringList{kOpenFailed});
        const QString locked = h.statuses.last();
        QVERIFY2(locked.startsWith(
                     QStringLiteral("ОШИБКА: порт '%1' заблокирован файлом блокировки '%2'")
                         .arg(gauge->PortPath(), lockFile)),
                 qPrintable(locked));
        QCOMPARE(gauge->ExchangeCount(), 0);
        h.prompts.Clear();
        QCOMPARE(h.Run(9, nullptr, 0), 0);
    }

    // The lock file the serial port library would use for port: in the
    // first lock folder it can write to.
    static QString LockFileOf(const QString& port)
    {
        QString name = port.mid(5);
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        for (const char* folder :
             {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"})
        {
            const QFileInfo info(QString::fromLatin1(folder));
            if (info.isDir() && info.isReadable() && info.isWritable())
                return info.filePath() + QStringLiteral("/LCK..") + name;
        }
        return {};
    }

    // Leftovers that hold the port no more are replaced: the file of a process
    // that has ended (in Qt's format and in the older padded one), and one
    // that names no process once it is old.
    void leftoverLockFileReplaced_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("ageSeconds");
        // The id of a process that has ended, as its shell said.
        QProcess ended;
        ended.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
        QVERIFY(ended.waitForFinished());
        const QByteArray pid = ended.readAllStandardOutput().trimmed();
        QVERIFY(pid.toInt() > 0);
        QTest::newRow("ended process, Qt's lines") << pid + "\nkorvalent\nhost\n" << 0;
        QTest::newRow("ended process, padded") << pid.rightJustified(10, ' ') + '\n' << 0;
        QTest::newRow("empty and old") << QByteArray() << 120;
        QTest::newRow("no number and old") << QByteArray("garbage\n") << 120;
    }

    void leftoverLockFileReplaced()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, ageSeconds);
        auto gauge = StartGauge();
        const QString lockFile = LockFileOf(gauge->PortPath());
        if (lockFile.isEmpty())
            QSKIP("no writable lock folder");
        {
            QFile f(lockFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(content), content.size());
            QVERIFY(f.flush());
            f.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                          QFileDevice::FileModificationTime);
        }
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        const int length = h.Run(9, nullptr, 0);
        QFile::remove(lockFile);
        QCOMPARE(length, 0);
        QVERIFY(h.Boxes().isEmpty());
        QCOMPARE(CSerialLink::ExistingLockFile(gauge->PortPath()), QString());
    }

    // While the link holds the port, its lock file keeps out a program that
    // honours only lock files (Qt's serial port, run here as root, where the
    // exclusive mode does not stop it); afterwards the port is free.
    void lockFileHonouredByOtherPrograms()
    {
        auto gauge = StartGauge();
        if (LockFileOf(gauge->PortPath()).isEmpty())
            QSKIP("no writable lock folder");
        CSerialLink link;
        QCOMPARE(link.Open(gauge->PortPath()), int(CSerialLink::OpenOk));
        QCOMPARE(CSerialLink::ExistingLockFile(gauge->PortPath()), LockFileOf(gauge->PortPath()));
        QSerialPort other;
        other.setPortName(gauge->PortPath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        link.Close();
        QCOMPARE(CSerialLink::ExistingLockFile(gauge->PortPath()), QString());
        QVERIFY(other.open(QIODevice::ReadWrite));
        other.close();
    }

    void secondTaskRefusedWhileOneRuns()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        h.manager->SetReadTimeout(3000);
        gauge->InjectFault(CVirtualGauge::FaultDelay, 0x01, -1, 800);
        CTaskRecorder second;
        h.manager->StartTask(9, nullptr, 0, &h.recorder);
        QVERIFY(h.manager->IsBusy());
        QElapsedTimer timer;
        timer.start();
        h.manager->StartTask(3, nullptr, 0, &second);
        QVERIFY(timer.elapsed() < 200); // the caller never waits for the lock
        QTRY_COMPARE(second.completions.size(), 1);
        QCOMPARE(second.completions.first().taskID, 3);
        QCOMPARE(second.completions.first().length, -1);
        QVERIFY(h.recorder.completions.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(h.recorder.completions.size(), 1, 10000);
        QCOMPARE(h.recorder.completions.first().length, 0);
        QVERIFY(h.statuses.contains(QStringLiteral(
            "ОШИБКА: устройство занято выполнением другой операции, повторите попытку позже.")));
        QVERIFY(!h.manager->IsBusy());
        QCOMPARE(gauge->RequestCodes(), QList<quint8>({0xAA, 0x01}));
        QCOMPARE(second.completions.size(), 1); // the refusal is not delivered twice
    }

    // The first acknowledgement is read with the 10 bytes the identification declared.
    void firstAcknowledgementLength_data()
    {
        QTest::addColumn<int>("ackPayload");
        QTest::addColumn<bool>("ok");
        QTest::newRow("10-byte ack") << 10 << true;
        QTest::newRow("4-byte ack") << 4 << false;
    }
    void firstAcknowledgementLength()
    {
        QFETCH(int, ackPayload);
        QFETCH(bool, ok);
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultPayloadSize, 0x0F, -1, ackPayload);
        quint8 clock[6] = {0x17, 0x3B, 0x3A, 0x1F, 0x0C, 0x1A};
        QCOMPARE(h.Run(14, clock, 0), ok ? 0 : -1);
        QCOMPARE(gauge->LastClockRecord(), QByteArray(reinterpret_cast<char*>(clock), 6));
        QCOMPARE(h.statuses.contains(QStringLiteral("Запись даты и времени в устройство ...")),
                 true);
        QCOMPARE(h.Boxes(), ok ? QStringList() : QStringList{kShort});
    }

    // A record reply that declares less makes the next read of the loop expect less.
    void shortDeclarationShrinksNextRead()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultDeclaredLength, 0x0C, 1, 10);
        DataFileList files;
        QCOMPARE(h.Run(11, &files, 0), -1);
        QVERIFY(files.isEmpty()); // the 10-byte descriptor is dropped
        // The full descriptor that follows is read as 10 + 4 bytes: the checksum fails.
        QCOMPARE(h.Boxes(), QStringList{kBadCrc});
        QCOMPARE(gauge->ExchangeCount(), 3);
    }

    void recordLoopBounds_data()
    {
        QTest::addColumn<int>("taskID");
        QTest::addColumn<int>("available");
        QTest::addColumn<int>("expected");
        QTest::newRow("materials stop at 254") << 5 << 300 << 254;
        QTest::newRow("materials end with the last") << 5 << 12 << 12;
        QTest::newRow("transducers stop at 16") << 7 << 20 << 16;
        QTest::newRow("transducers end with the last") << 7 << 5 << 5;
        QTest::newRow("files stop at 150") << 11 << 160 << 150;
        QTest::newRow("files end with the last") << 11 << 6 << 6;
    }
    void recordLoopBounds()
    {
        QFETCH(int, taskID);
        QFETCH(int, available);
        QFETCH(int, expected);
        auto gauge = StartGauge(false);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        MaterialList materials;
        QList<PEPListRecord> transducers;
        DataFileList files;
        void* buffer = nullptr;
        if (taskID == 5)
        {
            MaterialList content;
            for (int i = 0; i < available; ++i)
                content.append(CVirtualGauge::MakeMaterial(QStringLiteral("M%1").arg(i),
                                                           quint16(1000 + i), qint16(-i)));
            gauge->SetMaterials(content);
            buffer = &materials;
        }
        else if (taskID == 7)
        {
            QList<PEPListRecord> content;
            for (int i = 0; i < available; ++i)
            {
                PEPListRecord r;
                std::memset(&r, 0, sizeof(r));
                r.serialNumber = quint32(i + 1);
                content.append(r);
            }
            gauge->SetTransducers(content);
            buffer = &transducers;
        }
        else
        {
            DataFileList content;
            for (int i = 0; i < available; ++i)
            {
                DataFileRecord f;
                std::snprintf(f.header.name, sizeof(f.header.name), "F%03d", i);
                content.append(f);
            }
            gauge->SetFiles(content);
            buffer = &files;
        }
        QCOMPARE(h.Run(taskID, buffer, 0), 0);
        const int got = taskID == 5   ? int(materials.size())
                        : taskID == 7 ? int(transducers.size())
                                      : int(files.size());
        QCOMPARE(got, expected);
        QCOMPARE(gauge->ExchangeCount(), expected + 1);
        if (taskID == 5)
        {
            QCOMPARE(materials.last().velocity, quint16(1000 + expected - 1));
            QVERIFY(h.statuses.contains(
                QStringLiteral("Чтение данных материалов ... %1").arg(expected)));
        }
        if (taskID == 7)
            QCOMPARE(transducers.last().serialNumber, quint32(expected));
        if (taskID == 11)
        {
            QCOMPARE(QByteArray(files.last().header.name),
                     QByteArray::number(expected - 1).rightJustified(3, '0').prepend('F'));
            QCOMPARE(files.first().header.records, quint8(0)); // 0xFF from the gauge
        }
    }

    // Every screen block is asked for; the failed ones leave their part untouched.
    void screenBlocksWithFailuresInTheMiddle()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultSilence, -1, 1 + 3);
        gauge->InjectFault(CVirtualGauge::FaultBadCrc, -1, 1 + 5);
        gauge->InjectFault(CVirtualGauge::FaultStatus, -1, 1 + 6, 0x33);
        QByteArray buffer(1024, char(0xFF));
        QCOMPARE(h.Run(10, buffer.data(), 1024), -1);
        const QByteArray screen = gauge->Screen();
        for (int k = 0; k < 8; ++k)
        {
            const QByteArray block = buffer.mid(128 * k, 128);
            if (k == 3 || k == 5 || k == 6)
                QCOMPARE(block, QByteArray(128, char(0xFF)));
            else
                QCOMPARE(block, screen.mid(128 * k, 128));
        }
        QCOMPARE(gauge->ExchangeCount(), 9);
        const QList<CVirtualGauge::Request> log = gauge->RequestLog();
        QCOMPARE(log.at(3).payload, Frame({0x01, 0x00})); // third block, big-endian
        QCOMPARE(h.Boxes(), QStringList({kNoAnswer, kBadCrc}));
        QVERIFY(h.statuses.contains(kUnexpected + QStringLiteral("\r\n")));
    }

    void dataReadBeforeFailureStays()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        const DataFileList content = gauge->Files();
        DataFileList files;
        QCOMPARE(h.Run(11, &files, 0), 0);
        QCOMPARE(files.size(), content.size());
        // Cell 5 of file 0 never comes.
        gauge->InjectFault(CVirtualGauge::FaultSilence, 0x0D, gauge->ExchangeCount() + 1 + 5);
        QCOMPARE(h.Run(12, &files, 0), -1);
        QCOMPARE(files.at(0).cells.size(), 5);
        QCOMPARE(std::memcmp(files.at(0).cells.constData(), content.at(0).cells.constData(),
                             5 * sizeof(CellRecord)),
                 0);
        // A later complete read fills the next file and reports its index.
        QCOMPARE(h.Run(12, &files, 1), 1);
        QCOMPARE(files.at(1).cells.size(), content.at(1).cells.size());
        QVERIFY(h.statuses.contains(QStringLiteral("Чтение ячеек в файле 'TANK-A' ... %1")
                                        .arg(content.at(1).cells.size())));
    }

    void identificationWithAnotherStatusGoesOn()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath(), QStringLiteral("p"), QStringLiteral("QM-3RX"));
        gauge->InjectFault(CVirtualGauge::FaultStatus, 0xAA, -1, 0x00);
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        const int notFound =
            int(h.statuses.indexOf(QStringLiteral("ОШИБКА: Устройство 'QM-3RX' не обнаружено.")));
        QVERIFY(notFound > 0);
        QCOMPARE(h.timeouts.at(notFound), 0);
        QCOMPARE(h.statuses.last(), kDone);
        QVERIFY(!h.manager->LastIdentified());
    }

    void tasksThatFailAfterIdentification_data()
    {
        QTest::addColumn<int>("taskID");
        QTest::newRow("4") << 4;
        QTest::newRow("8") << 8;
    }
    void tasksThatFailAfterIdentification()
    {
        QFETCH(int, taskID);
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        QCOMPARE(h.Run(taskID, nullptr, 0), -1);
        QVERIFY(h.Boxes().isEmpty());
        QVERIFY(!h.statuses.contains(kDone));
        QCOMPARE(gauge->RequestCodes(), QList<quint8>{0xAA});
    }

    void identifyEntryOutOfRange()
    {
        CDeviceHarness h;
        QCOMPARE(h.Run(0, nullptr, 0), -1);
        QCOMPARE(h.Boxes(), QStringList{QStringLiteral(
                                "ОШИБКА: не удалось начать идентификацию устройства!")});
        QVERIFY(h.statuses.isEmpty());
    }

    void identifyRewritesEntry()
    {
        auto gauge = StartGauge();
        gauge->SetSerialNumber(123);
        gauge->SetName(QStringLiteral("КВ-1"));
        CDeviceHarness h;
        h.manager->DeviceList().append(
            new DeviceInfo{QStringLiteral("<Н/Д>"), QStringLiteral("<Н/Д>"),
                           QStringLiteral("virtual"), gauge->PortPath()});
        QCOMPARE(h.Run(0, nullptr, 0), 0);
        QCOMPARE(h.manager->DeviceList().first()->SerialNumber, QStringLiteral("00000123"));
        QCOMPARE(h.manager->DeviceList().first()->Name, QStringLiteral("КВ-1"));
        QVERIFY(h.statuses.contains(QStringLiteral("Устройство '<Н/Д>' обнаружено.")));
        gauge->SetSerialNumber(1234567890);
        gauge->SetNameBytes(QByteArray("QM3RXL"));
        QCOMPARE(h.Run(0, nullptr, 0), 0);
        QCOMPARE(h.manager->DeviceList().first()->SerialNumber, QStringLiteral("12345678"));
        QCOMPARE(h.manager->DeviceList().first()->Name, QStringLiteral("QM3RXL"));
    }

    void cancelBetweenExchanges()
    {
        auto gauge = StartGauge(false);
        DataFileList content;
        for (int i = 0; i < 150; ++i)
            content.append(DataFileRecord());
        gauge->SetFiles(content);
        gauge->InjectFault(CVirtualGauge::FaultDelay, 0x0C, -1, 20, -1);
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList files;
        QObject::connect(h.manager.get(), &CDeviceManager::TaskProgress, &h.recorder,
                         [&](int done, int total)
                         {
                             QCOMPARE(total, 150);
                             // Progress comes at most every 50 ms: not every count is seen.
                             if (done >= 3)
                                 h.manager->RequestCancel();
                         });
        QCOMPARE(h.Run(11, &files, 0), -1);
        QVERIFY(h.manager->LastTaskCancelled());
        QVERIFY(files.size() >= 3);
        QVERIFY(files.size() < 150);
        QVERIFY(h.Boxes().isEmpty());
        QVERIFY(h.statuses.contains(QStringLiteral("Операция прервана пользователем.")));
        QVERIFY(!h.statuses.contains(kDone));
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QVERIFY(!h.manager->LastTaskCancelled());
    }

    // Per-record texts and progress go out at most every 50 ms, but the first
    // and the last record of a read are always reported, in order, with their
    // progress; a record held back is reported before the error that follows
    // it; on a line slower than that, no record is left out.
    void recordReportsThinned_data()
    {
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("delay");      // ms before each cell reply, 0 none
        QTest::addColumn<int>("silentCell"); // -1 none
        QTest::addColumn<int>("cellsRead");
        QTest::newRow("fast, complete") << 200 << 0 << -1 << 200;
        QTest::newRow("fast, no reply to cell 150") << 200 << 0 << 149 << 149;
        QTest::newRow("slow, every record readable") << 6 << 60 << -1 << 6;
        QTest::newRow("slow, no reply to cell 5") << 6 << 60 << 4 << 4;
    }
    void recordReportsThinned()
    {
        QFETCH(int, cells);
        QFETCH(int, delay);
        QFETCH(int, silentCell);
        QFETCH(int, cellsRead);
        auto gauge = StartGauge(false);
        DataFileRecord file;
        std::memcpy(file.header.name, "SLOW", 4);
        file.header.records = quint8(cells);
        for (int j = 0; j < cells; ++j)
            file.cells.append(CellRecord());
        gauge->SetFiles({file});
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        QStringList events;
        QObject::connect(h.manager.get(), &CDeviceManager::ShowStatusMessage, &h.recorder,
                         [&](const QString& text, int) { events << QStringLiteral("S ") + text; });
        QObject::connect(h.manager.get(), &CDeviceManager::ShowErrorMessageBox, &h.recorder,
                         [&](const QString& text) { events << QStringLiteral("B ") + text; });
        QList<int> progress;
        QObject::connect(h.manager.get(), &CDeviceManager::TaskProgress, &h.recorder,
                         [&](int done, int total)
                         {
                             QCOMPARE(total, cells);
                             progress << done;
                         });
        if (silentCell >= 0) // + 1: the identification
            gauge->InjectFault(CVirtualGauge::FaultSilence, 0x0D,
                               gauge->ExchangeCount() + 1 + silentCell);
        if (delay > 0)
            gauge->InjectFault(CVirtualGauge::FaultDelay, 0x0D, -1, delay, -1);
        DataFileList files{file};
        files[0].cells.clear();
        QCOMPARE(h.Run(12, &files, 0), silentCell < 0 ? 0 : -1);
        QCOMPARE(files.at(0).cells.size(), cellsRead);

        const QString prefix = QStringLiteral("S Чтение ячеек в файле 'SLOW' ... ");
        QList<int> reported;
        int lastReportAt = -1;
        for (int i = 0; i < events.size(); ++i)
            if (events.at(i).startsWith(prefix))
            {
                reported << events.at(i).mid(prefix.size()).toInt();
                lastReportAt = i;
            }
        QVERIFY(!reported.isEmpty());
        QCOMPARE(reported.first(), 1);
        QCOMPARE(reported.last(), cellsRead);
        QCOMPARE(progress, reported);
        for (int i = 1; i < reported.size(); ++i)
            QVERIFY(reported.at(i) > reported.at(i - 1));
        if (delay > 50)
            QCOMPARE(reported.size(), cellsRead);
        QCOMPARE(events.value(lastReportAt + 1),
                 silentCell >= 0 ? QStringLiteral("B ОШИБКА: устройство не отвечает.")
                                 : QStringLiteral("S ") + kDone);
    }

    // The cell status names the file and counts cells, whatever the name holds;
    // 0xFF announced cells mean none, as in a descriptor.
    void cellStatusTexts_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("records");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("plain") << QByteArray("TANK") << 2
                               << QStringList{QStringLiteral("Чтение ячеек в файле 'TANK' ..."),
                                              QStringLiteral("Чтение ячеек в файле 'TANK' ... 1"),
                                              QStringLiteral("Чтение ячеек в файле 'TANK' ... 2")};
        QTest::newRow("percent one")
            << QByteArray("A%1") << 1
            << QStringList{QStringLiteral("Чтение ячеек в файле 'A%1' ..."),
                           QStringLiteral("Чтение ячеек в файле 'A%1' ... 1")};
        QTest::newRow("percent two")
            << QByteArray("%2%1") << 1
            << QStringList{QStringLiteral("Чтение ячеек в файле '%2%1' ..."),
                           QStringLiteral("Чтение ячеек в файле '%2%1' ... 1")};
        QTest::newRow("0xFF cells")
            << QByteArray("NONE") << 0xFF
            << QStringList{QStringLiteral("Чтение ячеек в файле 'NONE' ...")};
    }
    void cellStatusTexts()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, records);
        QFETCH(QStringList, expected);
        auto gauge = StartGauge(false);
        DataFileRecord file;
        std::memcpy(file.header.name, name.constData(), size_t(name.size()));
        for (int j = 0; j < (records == 0xFF ? 0 : records); ++j)
            file.cells.append(CellRecord());
        file.header.records = quint8(records == 0xFF ? 0 : records);
        gauge->SetFiles({file});
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        DataFileList files{file};
        files[0].cells.clear();
        files[0].header.records = quint8(records);
        QCOMPARE(h.Run(12, &files, 0), 0);
        QCOMPARE(files.at(0).cells.size(), file.cells.size());
        const qsizetype start = h.statuses.indexOf(expected.first());
        QVERIFY(start > 0);
        QCOMPARE(h.statuses.mid(start, expected.size()), expected);
        QCOMPARE(gauge->RequestCodes().count(quint8(0x0D)), file.cells.size());
    }

    // A gauge unplugged in the middle of a loop: every remaining exchange
    // fails at once instead of waiting out its read time-out, and what was
    // read before stays.
    // Replies are assembled from whatever each read brings: pieces make one
    // frame, and bytes beyond a frame belong to the next read, not to nobody.
    void replyAssembly_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("cell"); // the cell whose reply is spoilt, -1 every cell
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("cells"); // cells read, -1 all of the file
        QTest::addColumn<QStringList>("boxes");

        QTest::newRow("every reply in pieces")
            << int(CVirtualGauge::FaultPieces) << -1 << 2 << 0 << -1 << QStringList();
        QTest::newRow("stray bytes after cell 3")
            << int(CVirtualGauge::FaultExtraBytes) << 2 << 2 << -1 << 3 << QStringList{kBadCrc};
    }
    void replyAssembly()
    {
        QFETCH(int, kind);
        QFETCH(int, cell);
        QFETCH(int, value);
        QFETCH(int, result);
        QFETCH(int, cells);
        QFETCH(QStringList, boxes);

        auto gauge = StartGauge();
        CDeviceHarness h;
        h.SelectPort(gauge->PortPath());
        const DataFileList content = gauge->Files();
        QVERIFY(content.at(0).cells.size() > 3);
        DataFileList files;
        QCOMPARE(h.Run(11, &files, 0), 0);
        const int first = gauge->ExchangeCount() + 1; // after the identification
        gauge->InjectFault(CVirtualGauge::FaultKind(kind), 0x0D, cell < 0 ? -1 : first + cell,
                           value, cell < 0 ? -1 : 1);
        QCOMPARE(h.Run(12, &files, 0), result == 0 ? 0 : -1);
        const int expected = cells < 0 ? int(content.at(0).cells.size()) : cells;
        QCOMPARE(int(files.at(0).cells.size()), expected);
        QCOMPARE(std::memcmp(files.at(0).cells.constData(), content.at(0).cells.constData(),
                             size_t(expected) * sizeof(CellRecord)),
                 0);
        QCOMPARE(h.Boxes(), boxes);
        QCOMPARE(gauge->ExchangeCount(), first + (cells < 0 ? expected : cells + 1));
    }

    void hangUpMidTask()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.manager->SetReadTimeout(CSerialLink::kDefaultReadTimeout);
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultHangUp, 0x0A, 1 + 3);
        QByteArray buffer(1024, char(0x11));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(h.Run(10, buffer.data(), 1024), -1);
        QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(buffer.left(3 * 128), gauge->Screen().left(3 * 128));
        QCOMPARE(buffer.mid(3 * 128), QByteArray(5 * 128, char(0x11)));
        QCOMPARE(h.Boxes().size(), 5); // one per remaining block
        QVERIFY(!h.statuses.contains(kDone));
        // The next task cannot reach this gauge any more. Another process may
        // have been given the freed pseudo-terminal number meanwhile (tests run
        // in parallel): the task is then not run at all, since it would talk
        // to that process's gauge and spoil its test.
        const int requests = int(gauge->RequestCodes().size());
        if (QFile::exists(gauge->PortPath()))
            QSKIP("the freed pseudo-terminal was given to another process");
        h.prompts.Clear();
        h.manager->SetReadTimeout(300);
        QCOMPARE(h.Run(9, nullptr, 0), -1);
        QCOMPARE(int(gauge->RequestCodes().size()), requests);
        QCOMPARE(h.Boxes(), QStringList{kOpenFailed});
    }

    // Closing the program while the worker waits on a silent gauge neither
    // crashes nor waits out the read time-out, and delivers nothing.
    void destroyManagerWhileTaskRuns()
    {
        auto gauge = StartGauge();
        auto h = std::make_unique<CDeviceHarness>();
        h->manager->SetReadTimeout(CSerialLink::kDefaultReadTimeout);
        h->SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultSilence, 0x01);
        h->manager->StartTask(9, nullptr, 0, &h->recorder);
        QTRY_VERIFY(gauge->RequestCodes().contains(quint8(0x01)));
        QElapsedTimer timer;
        timer.start();
        h->manager.reset();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCoreApplication::processEvents();
        QVERIFY(h->recorder.completions.isEmpty());
        QVERIFY(h->Boxes().isEmpty());
    }

    // The one test that waits the real 5000 ms read time-out.
    void realReadTimeout()
    {
        auto gauge = StartGauge();
        CDeviceHarness h;
        h.manager->SetReadTimeout(CSerialLink::kDefaultReadTimeout);
        h.SelectPort(gauge->PortPath());
        gauge->InjectFault(CVirtualGauge::FaultShortReply, 0xAA, -1, 3);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(h.Run(9, nullptr, 0), -1);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 4900 && elapsed < 8000, qPrintable(QString::number(elapsed)));
        QCOMPARE(h.Boxes(), QStringList{kShort});
        QCOMPARE(h.statuses.last(), QStringLiteral("ОШИБКА: Устройство 'QM-3RX' не обнаружено."));
    }

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
