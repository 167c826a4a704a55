#include "sim/CVirtualGauge.h"
#include "tests/common/TestSupport.h"
#include "tests/tools/PepTestSupport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// korvalent-cli pep-read / pep-write / pep-show / pep-list / screenshot, run
// as separate processes: against korvalent-gauge-sim for the demo gauge, and
// against a virtual gauge served by this process where faults are injected.
namespace
{
const QString kCrcWarning =
    QStringLiteral("ВНИМАНИЕ: Полученые данные не являются данными параметров ПЭП.\n"
                   "Возможные причины этого сообщения:\n"
                   "    - Возможно в подключеном ПЭП нет информации;\n"
                   "    - Возможно данные были повреждены из-за ошибки записи;\n"
                   "    - Возможно подключенный ПЭП не исправен.\n");
const QString kCrcDamaged =
    QStringLiteral("ОШИБКА: данные повреждены, не верная контрольная сумма.\n");

bool PixelOn(const QByteArray& screen, int x, int y)
{
    return (quint8(screen[(y / 8) * 128 + x]) >> (y % 8)) & 1;
}
} // namespace

class TestCliTools : public QObject
{
    Q_OBJECT

    using Result = CProgramRun;

    std::unique_ptr<CTestEnvironment> m_env;
    CGaugeSimProcess m_sim;
    std::unique_ptr<CVirtualGauge> m_gauge;
    QTemporaryDir m_dir;

    // fileLimit > 0 runs the command with that file-size limit (SIGXFSZ ignored).
    Result Cli(const QStringList& args, const QString& port, rlim_t fileLimit = 0)
    {
        return RunProgram(
            BuiltProgram(QStringLiteral("korvalent-cli")),
            (port.isEmpty() ? QStringList() : QStringList{QStringLiteral("--port"), port}) + args,
            60000, fileLimit);
    }
    Result Sim(const QStringList& args) { return Cli(args, m_sim.Port()); }
    Result Own(const QStringList& args) { return Cli(args, m_gauge->PortPath()); }

    QString Path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.reset(new CTestEnvironment);
        QVERIFY(m_sim.Start());
    }
    void cleanupTestCase() { m_sim.Stop(); }
    void init()
    {
        m_gauge.reset(new CVirtualGauge);
        m_gauge->LoadDemoContent();
        QVERIFY(m_gauge->Start());
    }
    void cleanup() { m_gauge.reset(); }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("pep-read without a file") << QStringList{"pep-read"};
        QTest::newRow("pep-write with two files") << QStringList{"pep-write", "a.pep", "b.pep"};
        QTest::newRow("pep-show without a file") << QStringList{"pep-show"};
        QTest::newRow("pep-list with an argument") << QStringList{"pep-list", "x"};
        QTest::newRow("screenshot without a file") << QStringList{"screenshot"};
    }
    void usage()
    {
        QFETCH(QStringList, args);
        const Result r = Own(args);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.contains(QStringLiteral("see 'korvalent-cli --help'")));
        QVERIFY(m_gauge->RequestLog().isEmpty());
    }

    void pepReadShowWriteAgainstTheSimulator()
    {
        const QString a = Path(QStringLiteral("demo.pep"));
        Result r = Sim({QStringLiteral("pep-read"), a});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(ReadAll(a), CVirtualGauge::DemoEeprom());

        r = Cli({QStringLiteral("pep-show"), a}, QString());
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 16); // 15 lines and the last line end
        QCOMPARE(lines.mid(0, 12),
                 (QStringList{"Наименование ПЭП\tD1771", "Тип ПЭП\tПС", "Частота, МГц\t5.0",
                              "Задержка, нс\t735", "Длительность ЗИ, нс\t120", "Диапазон, мм\t0.8",
                              "-\t300.0", "Серийный номер ПЭП\t770412",
                              "Режим измерения\tТип 2/Э0-Э1", "Исследуемый материал\tМ (металл)",
                              "Дата изготовления\t17.05.2024", "Дата проверки\t03.02.2026"}));
        QVERIFY(lines.at(12).startsWith(
            QStringLiteral("Фактическая толщина тест-блока, мм\t1.0\t3.0\t")));
        QVERIFY(lines.at(14).startsWith(
            QStringLiteral("Погрешность (обхода) V-образного пути, мм\t0.4\t")));
        QCOMPARE(lines.at(13).split('\t').size(), 11);

        // A changed image written and read back byte for byte.
        QByteArray changed = CVirtualGauge::DemoEeprom();
        changed.replace(0, 8, QByteArray("P112-10\0", 8));
        changed[10] = char(100);
        changed = WithCrc(changed);
        const QString b = Path(QStringLiteral("changed.pep"));
        QVERIFY(WriteFile(b, changed));
        r = Sim({QStringLiteral("--yes"), QStringLiteral("pep-write"), b});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("Данные успешно записаны в EEPROM ПЭП.\n"));
        const QString c = Path(QStringLiteral("again.pep"));
        r = Sim({QStringLiteral("pep-read"), c});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(ReadAll(c), changed);
        QVERIFY(Sim({QStringLiteral("--yes"), QStringLiteral("pep-write"), a}).exitCode == 0);
    }

    void pepWriteSendsTheFileAsItIs()
    {
        QByteArray image = CVirtualGauge::DemoEeprom();
        image[13] = char(0xAB); // not a value the form would produce, sent anyway
        image = WithCrc(image);
        const QString path = Path(QStringLiteral("raw.pep"));
        QVERIFY(WriteFile(path, image));
        m_gauge->ClearRequestLog();
        const Result r = Own({QStringLiteral("--yes"), QStringLiteral("pep-write"), path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(m_gauge->Eeprom(), image);
        const QList<CVirtualGauge::Request> log = m_gauge->RequestLog();
        QCOMPARE(log.size(), 17);
        QCOMPARE(int(log.first().code), 0xAA);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(log.at(i + 1).payload, QByteArray(1, char(8 * i)) + image.mid(8 * i, 8));
    }

    void pepWriteRefusesBadFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::newRow("erased image") << QByteArray(128, char(0xFF)) << kCrcWarning;
        QTest::newRow("one byte changed")
            << QByteArray(CVirtualGauge::DemoEeprom()).replace(0, 1, "X") << kCrcWarning;
        QTest::newRow("short file") << CVirtualGauge::DemoEeprom().left(100) << kCrcWarning;
        QTest::newRow("empty file") << QByteArray() << kCrcWarning;
    }
    void pepWriteRefusesBadFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString path = Path(QStringLiteral("bad.pep"));
        QVERIFY(WriteFile(path, content));
        m_gauge->ClearRequestLog();
        Result r = Own({QStringLiteral("--yes"), QStringLiteral("pep-write"), path});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, error);
        QVERIFY(m_gauge->RequestLog().isEmpty()); // not even identified
        r = Cli({QStringLiteral("pep-show"), path}, QString());
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, error);
    }

    void pepWriteNotAcknowledged()
    {
        const QString path = Path(QStringLiteral("good.pep"));
        QVERIFY(WriteFile(path, CVirtualGauge::DemoEeprom()));
        m_gauge->InjectFault(CVirtualGauge::FaultStatus, 0x03, m_gauge->ExchangeCount() + 3, 0x01);
        m_gauge->ClearRequestLog();
        const Result r = Own({QStringLiteral("--yes"), QStringLiteral("pep-write"), path});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("ОШИБКА записи, от устройства не получено подтверждение.\n"
                                       "Не удалось записать данные в EEPROM ПЭП.\n"));
        QCOMPARE(m_gauge->RequestCodes(), (QList<quint8>{0xAA, 0x03, 0x03, 0x03}));
    }

    void pepReadFailures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("error");
        const QString failed = QStringLiteral("Не удалось прочитать данные из EEPROM ПЭП.\n");
        const QString unexpected = QStringLiteral("ОШИБКА: получен не ожидаемый ответ.\n");
        QTest::newRow("erased transducer") << -1 << 0 << kCrcWarning;
        QTest::newRow("status 0x80")
            << int(CVirtualGauge::FaultStatus) << 0x80 << unexpected + failed;
        QTest::newRow("length 127")
            << int(CVirtualGauge::FaultDeclaredLength) << 127 << unexpected + failed;
        QTest::newRow("damaged reply")
            << int(CVirtualGauge::FaultBadCrc) << -1 << kCrcDamaged + failed;
    }
    void pepReadFailures()
    {
        QFETCH(int, kind);
        QFETCH(int, value);
        if (kind < 0)
            m_gauge->SetEeprom(QByteArray(128, char(0xFF)));
        else
            m_gauge->InjectFault(CVirtualGauge::FaultKind(kind), 0x02, -1, value);
        const QString path = Path(QStringLiteral("kept.pep"));
        QVERIFY(WriteFile(path, "previous"));
        const Result r = Own({QStringLiteral("pep-read"), path});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QTEST(r.err, "error");
        QCOMPARE(ReadAll(path), QByteArray("previous"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("kept"),
                 QStringList{"kept.pep"});
    }

    void pepShowDatesNotGivenShowToday()
    {
        QByteArray image = CVirtualGauge::DemoEeprom();
        image.replace(122, 4, QByteArray("\0\0\xFF\xFF", 4));
        const QString path = Path(QStringLiteral("nodates.pep"));
        QVERIFY(WriteFile(path, WithCrc(image)));
        const Result r = Cli({QStringLiteral("pep-show"), path}, QString());
        QCOMPARE(r.exitCode, 0);
        const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
        QVERIFY(r.out.contains(QStringLiteral("\nДата изготовления\t%1\n").arg(today)));
        QVERIFY(r.out.contains(QStringLiteral("\nДата проверки\t%1\n").arg(today)));
    }

    void pepListAgainstTheSimulator()
    {
        const Result r = Sim({QStringLiteral("pep-list")});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines.at(0),
                 QStringLiteral("Имя\tТип\tЧастота\tЗадержка\tДиапазон\tСерийный №\tV-Path"));
        QCOMPARE(lines.at(1),
                 QStringLiteral("П112-5\tРС\t5.0 МГц\t735.0 нс\t0.8 - 300.0 мм\t123456\tДа"));
        QCOMPARE(lines.at(4),
                 QStringLiteral("DA301\tПС\t5.0 МГц\t603.0 нс\t1.0 - — мм\t90233\tДа"));
        QCOMPARE(lines.at(5),
                 QStringLiteral("П111-2.5\tПС\t2.5 МГц\t1201.0 нс\t0.0 - 600.0 мм\t31877\tНет"));
    }

    void pepListCases_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("lines");
        QTest::newRow("empty list: the header only") << 0 << false << 0 << 1;
        QTest::newRow("every index answered 0x80: 16 entries") << 30 << false << 0 << 17;
        QTest::newRow("damaged reply") << 5 << true << 1 << 0;
    }
    void pepListCases()
    {
        QFETCH(int, entries);
        QFETCH(bool, fault);
        QList<PEPListRecord> list;
        for (int i = 0; i < entries; ++i)
            list.append(CVirtualGauge::DemoTransducers().at(i % 5));
        m_gauge->SetTransducers(list);
        if (fault)
            m_gauge->InjectFault(CVirtualGauge::FaultBadCrc, 0x06, m_gauge->ExchangeCount() + 3);
        const Result r = Own({QStringLiteral("pep-list")});
        QTEST(r.exitCode, "code");
        QFETCH(int, lines);
        QCOMPARE(r.out.count(QLatin1Char('\n')), lines);
        if (fault)
            QCOMPARE(r.err, kCrcDamaged +
                                QStringLiteral("Не удалось получить список ПЭП из устройства.\n"));
        else
            QCOMPARE(r.err, QString());
    }

    void portThatCannotBeOpened()
    {
        const Result r = Cli({QStringLiteral("pep-list")}, Path(QStringLiteral("no-such-tty")));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.contains(
            QStringLiteral("ОШИБКА: не удалось открыть или настроить порт устройства!\n")));
        QVERIFY(r.err.endsWith(QStringLiteral("Не удалось получить список ПЭП из устройства.\n")));
    }

    void screenshotAgainstTheSimulator_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("bmp") << "screen.bmp" << QByteArray("BM");
        QTest::newRow("another extension is a BMP") << "screen.img" << QByteArray("BM");
        QTest::newRow("png") << "screen.png" << QByteArray("\x89PNG");
    }
    void screenshotAgainstTheSimulator()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        const QString path = Path(name);
        const Result r = Sim({QStringLiteral("screenshot"), path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        const QByteArray bytes = ReadAll(path);
        QVERIFY(bytes.startsWith(magic));
        if (magic == "BM")
        {
            QVERIFY(IsPlainBmp256x128(bytes));
        }
        const QImage image = QImage::fromData(bytes);
        QCOMPARE(image.size(), QSize(256, 128));
        const QByteArray screen = CVirtualGauge::DemoScreen();
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 256; ++x)
            {
                const QRgb expected =
                    PixelOn(screen, x / 2, y / 2) ? qRgb(0, 0, 0) : qRgb(147, 215, 19);
                if (image.pixel(x, y) != expected)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
            }
    }

    void screenshotFailureInTheMiddle()
    {
        const QString path = Path(QStringLiteral("kept.bmp"));
        QVERIFY(WriteFile(path, "previous"));
        m_gauge->InjectFault(CVirtualGauge::FaultStatus, 0x0A, m_gauge->ExchangeCount() + 4, 0x01);
        m_gauge->ClearRequestLog();
        const Result r = Own({QStringLiteral("screenshot"), path});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("ОШИБКА: получен не ожидаемый ответ.\n"
                                       "Не удалось получить снимок экрана.\n"));
        QCOMPARE(ReadAll(path), QByteArray("previous"));
        // Every block is asked for, the failed one's successors too.
        QList<QByteArray> offsets;
        for (const CVirtualGauge::Request& q : m_gauge->RequestLog())
            if (q.code == 0x0A)
                offsets.append(q.payload);
        QCOMPARE(offsets,
                 (QList<QByteArray>{QByteArray("\x00\x00", 2), QByteArray("\x00\x80", 2),
                                    QByteArray("\x01\x00", 2), QByteArray("\x01\x80", 2),
                                    QByteArray("\x02\x00", 2), QByteArray("\x02\x80", 2),
                                    QByteArray("\x03\x00", 2), QByteArray("\x03\x80", 2)}));
    }

    void failedSaveKeepsTheOldFile()
    {
        // The port's lock file must still fit under the limit; the picture does not.
        const QString path = Path(QStringLiteral("limited.bmp"));
        QVERIFY(WriteFile(path, "old"));
        Result r = Cli({QStringLiteral("screenshot"), path}, m_gauge->PortPath(), 4096);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(path), qPrintable(r.err));
        QCOMPARE(ReadAll(path), QByteArray("old"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("limited"),
                 QStringList{"limited.bmp"});

        // A target that cannot be written is refused before the gauge is asked.
        const QString folder = Path(QStringLiteral("folder.pep"));
        QVERIFY(QDir().mkpath(folder));
        for (const QString& target : {folder, Path(QStringLiteral("no/such/dir/x.bmp"))})
        {
            m_gauge->ClearRequestLog();
            r = Own({target.endsWith(QStringLiteral(".pep")) ? QStringLiteral("pep-read")
                                                             : QStringLiteral("screenshot"),
                     target});
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains(QFileInfo(target).isDir() ? target : QFileInfo(target).path()),
                     qPrintable(r.err));
            QVERIFY(m_gauge->RequestLog().isEmpty());
        }
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestCliTools)
#include "tst_cli_tools.moc"
