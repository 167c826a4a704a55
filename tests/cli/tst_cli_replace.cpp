#include "archive/CSurveyArchive.h"
#include "data/CDataStorage.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/TestSupport.h"
#include "tests/tools/PepTestSupport.h"
#include "tools/CDatabaseTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

// The command line where it replaces what the gauge holds or writes files:
// the question on a terminal, --yes, files the gauge would receive changed,
// two outputs naming one file, files the gauge refuses, and texts from data
// that reach the terminal. Run as a child process against a virtual gauge
// served by this process.
namespace
{
using Result = CProgramRun;

DataFileRecord File(const QByteArray& name, int cells)
{
    DataFileRecord f = CVirtualGauge::DemoFiles(0x01020304u, 0x02050000u).first();
    std::memset(f.header.name, 0, sizeof(f.header.name));
    std::memcpy(f.header.name, name.constData(), size_t(qMin<qsizetype>(name.size(), 16)));
    f.cells = f.cells.mid(0, cells);
    f.header.records = quint8(f.cells.size());
    return f;
}

QStringList Names(const DataFileList& files)
{
    QStringList names;
    for (const DataFileRecord& f : files)
        names.append(QString::fromLatin1(f.header.name));
    return names;
}

QByteArray MaterialBytes(const MaterialList& list)
{
    QByteArray bytes;
    for (const MaterialRecord& m : list)
        bytes.append(reinterpret_cast<const char*>(&m), sizeof(m));
    return bytes;
}

// A text holds a control character the terminal would act on.
bool HasControl(const QString& text)
{
    for (const QChar c : text)
    {
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7F && u <= 0x9F))
            return true;
    }
    return false;
}
} // namespace

class TestCliReplace : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<CVirtualGauge> m_gauge;
    QTemporaryDir m_dir;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    static Result Finish(QProcess& p, QByteArray err = {})
    {
        Result r;
        if (!p.waitForFinished(60000))
        {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(err + p.readAllStandardError());
        return r;
    }

    // Standard input is no terminal (a pipe, closed at once).
    Result Cli(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(KORVALENT_CLI),
                QStringList{QStringLiteral("--port"), m_gauge->PortPath()} + args);
        p.closeWriteChannel();
        return Finish(p);
    }

    // Standard input is a terminal: once the question is out, `answer` is
    // typed (a null answer closes the terminal instead).
    Result CliOnTerminal(const QStringList& args, const QByteArray& answer)
    {
        Result r;
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return r;
        // The child must not hold the terminal's other end, or closing it
        // here would not end its input.
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        QProcess p;
        p.setStandardInputFile(QString::fromLocal8Bit(::ptsname(master)));
        p.start(QStringLiteral(KORVALENT_CLI),
                QStringList{QStringLiteral("--port"), m_gauge->PortPath()} + args);
        QByteArray err;
        p.setReadChannel(QProcess::StandardError);
        while (!err.endsWith("[y/N] ") && p.waitForReadyRead(30000))
            err += p.readAllStandardError();
        if (answer.isNull())
            ::close(master);
        else if (::write(master, answer.constData(), size_t(answer.size())) != answer.size())
            return r;
        r = Finish(p, err);
        if (!answer.isNull())
            ::close(master);
        return r;
    }

private Q_SLOTS:
    void initTestCase() { m_env.reset(new CTestEnvironment); }

    void init()
    {
        m_gauge.reset(new CVirtualGauge);
        m_gauge->LoadDemoContent();
        QVERIFY(m_gauge->Start());
    }
    void cleanup() { m_gauge.reset(); }

    // A value the materials table would change is named with its line, and
    // nothing reaches the gauge (not even the identification).
    void materialsPutRefusesChangedValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("named");
        QTest::newRow("velocity no number")
            << QByteArray("Сталь,abc,-0.5\n") << QStringList{"Строка 1: скорость 'abc'"};
        QTest::newRow("velocity too high, second line")
            << QByteArray("\xEF\xBB\xBFСталь,5920,0.5\nМедь,99999,1\n")
            << QStringList{"Строка 2: скорость '99999'"};
        QTest::newRow("velocity negative")
            << QByteArray("Сталь,-5,1\n") << QStringList{"Строка 1: скорость '-5'"};
        QTest::newRow("velocity 999, 20000, empty")
            << QByteArray("A,999,1\nB,20000,1\nC,,1\n")
            << QStringList{"Строка 1: скорость '999'", "Строка 2: скорость '20000'",
                           "Строка 3: скорость ''"};
        QTest::newRow("coefficient no number")
            << QByteArray("Сталь,5920,abc\n")
            << QStringList{"Строка 1: коэффициент 'abc' не является числом"};
        QTest::newRow("coefficient 1500, -1000.5")
            << QByteArray("A,5000,1500\nB,5000,-1000.5\n")
            << QStringList{"Строка 1: коэффициент '1500' по модулю не меньше 1000",
                           "Строка 2: коэффициент '-1000.5' по модулю не меньше 1000"};
        QTest::newRow("coefficient beyond the gauge's field")
            << QByteArray("A,5000,327.68\n")
            << QStringList{"Строка 1: коэффициент '327.68' вне диапазона"};
        QTest::newRow("name of 14 characters")
            << QByteArray("Нержавеющая ст,5720,1\n")
            << QStringList{"Строка 1: название 'Нержавеющая ст' длиннее 13 символов"};
        QTest::newRow("every fault of one line")
            << QByteArray("Очень длинное название,abc,zz\n")
            << QStringList{"Строка 1: название", "Строка 1: скорость 'abc'",
                           "Строка 1: коэффициент 'zz'"};
    }
    void materialsPutRefusesChangedValues()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, named);
        const QString csv = Path(QStringLiteral("changed.csv"));
        QVERIFY(WriteFile(csv, content));
        const QByteArray before = MaterialBytes(m_gauge->Materials());
        m_gauge->ClearRequestLog();
        const Result r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(
                     QStringLiteral(
                         "Не удалось сохранить в устройство список материалов: в файле '%1' есть "
                         "значения, которые таблица материалов изменила бы; в прибор ничего не "
                         "отправлено.\n")
                         .arg(csv)),
                 qPrintable(r.err));
        for (const QString& text : named)
            QVERIFY2(r.err.contains(QLatin1Char('\n') + text), qPrintable(text));
        QCOMPARE(r.err.count(QLatin1Char('\n')), named.size() + 1); // one line per value
        QVERIFY(m_gauge->RequestLog().isEmpty());
        QCOMPARE(MaterialBytes(m_gauge->Materials()), before);
    }

    // The edges the table keeps go to the gauge as written.
    void materialsPutSendsTheEdges()
    {
        const QString csv = Path(QStringLiteral("edges.csv"));
        QVERIFY(WriteFile(csv, "Тринадцать бу,1000,-327.68\nB,19999,327.67\nC,5920,-0.5\n"));
        const Result r = Cli({QStringLiteral("--yes"), QStringLiteral("materials-put"), csv});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("База материалов успешно сохранена в устройстве.\n"));
        const MaterialList expected{
            CVirtualGauge::MakeMaterial(QStringLiteral("Тринадцать бу"), 1000, -32768),
            CVirtualGauge::MakeMaterial(QStringLiteral("B"), 19999, 32767),
            CVirtualGauge::MakeMaterial(QStringLiteral("C"), 5920, -50)};
        QCOMPARE(MaterialBytes(m_gauge->Materials()), MaterialBytes(expected));
    }

    // On a terminal each replacing command asks the window's question; only
    // a yes goes on, anything else leaves the gauge untouched.
    void terminalQuestion_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("goesOn");
        const QList<QPair<QByteArray, bool>> answers{
            {"y\n", true}, {"да\n", true}, {"n\n", false}, {"\n", false}, {QByteArray(), false}};
        for (const char* command : {"upload", "materials-put", "pep-write"})
            for (const auto& a : answers)
                QTest::addRow("%s, %s", command,
                              a.first.isNull()  ? "terminal closed"
                              : a.first == "\n" ? "empty"
                                                : a.first.trimmed().constData())
                    << QString::fromLatin1(command) << a.first << a.second;
    }
    void terminalQuestion()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, answer);
        QFETCH(bool, goesOn);

        QString file;
        QString question;
        if (command == QLatin1String("upload"))
        {
            file = Path(QStringLiteral("two.kdb"));
            QVERIFY(CDataStorage::SaveDatabaseFile(file, {File("One", 2), File("Two", 3)}));
            question = QStringLiteral("Все данные в памяти устройства будут стёрты и заменены "
                                      "данными ПК: 2 файл(a)(ов).\nПродолжить отправку данных?");
        }
        else if (command == QLatin1String("materials-put"))
        {
            file = Path(QStringLiteral("two.csv"));
            QVERIFY(WriteFile(file, "Сталь,5920,0.5\nЛатунь,4430,1\n"));
            question = QStringLiteral("Таблица материалов в устройстве будет заменена таблицей "
                                      "из 2 материал(а)(ов).\nПродолжить запись в устройство?");
        }
        else
        {
            file = Path(QStringLiteral("other.pep"));
            QByteArray image = CVirtualGauge::DemoEeprom();
            image.replace(0, 8, QByteArray("P112-10\0", 8));
            QVERIFY(WriteFile(file, WithCrc(image)));
            question = QStringLiteral("Память преобразователя будет перезаписана образом из "
                                      "файла '%1'.\nПродолжить запись в преобразователь?")
                           .arg(file);
        }
        const QStringList before = Names(m_gauge->Files());
        const QByteArray materials = MaterialBytes(m_gauge->Materials());
        const QByteArray eeprom = m_gauge->Eeprom();
        m_gauge->ClearRequestLog();

        const Result r = CliOnTerminal({command, file}, answer);
        QVERIFY2(r.err.startsWith(question + QStringLiteral(" [y/N] ")), qPrintable(r.err));
        if (goesOn)
        {
            QCOMPARE(r.exitCode, 0);
            QVERIFY(!r.out.isEmpty());
            QVERIFY(!m_gauge->RequestLog().isEmpty());
        }
        else
        {
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(r.out, QString());
            QVERIFY2(r.err.endsWith(QStringLiteral("Отменено: устройство не изменено.\n")),
                     qPrintable(r.err));
            QVERIFY(m_gauge->RequestLog().isEmpty());
        }
        const bool changed = Names(m_gauge->Files()) != before ||
                             MaterialBytes(m_gauge->Materials()) != materials ||
                             m_gauge->Eeprom() != eeprom;
        QCOMPARE(changed, goesOn);
    }

    // Without a terminal only --yes goes on; the refusal names it.
    void withoutTerminal_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("upload") << "upload";
        QTest::newRow("materials-put") << "materials-put";
        QTest::newRow("pep-write") << "pep-write";
    }
    void withoutTerminal()
    {
        QFETCH(QString, command);
        QString file;
        if (command == QLatin1String("upload"))
        {
            file = Path(QStringLiteral("one.kdb"));
            QVERIFY(CDataStorage::SaveDatabaseFile(file, {File("One", 2)}));
        }
        else if (command == QLatin1String("materials-put"))
        {
            file = Path(QStringLiteral("one.csv"));
            QVERIFY(WriteFile(file, "Сталь,5920,0.5\n"));
        }
        else
        {
            file = Path(QStringLiteral("demo.pep"));
            QVERIFY(WriteFile(file, CVirtualGauge::DemoEeprom()));
        }
        m_gauge->ClearRequestLog();
        Result r = Cli({command, file});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.contains(QStringLiteral("give --yes")), qPrintable(r.err));
        QVERIFY(m_gauge->RequestLog().isEmpty());

        r = Cli({command, QStringLiteral("--yes"), file});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.isEmpty());
        QVERIFY(!r.err.contains(QStringLiteral("[y/N]")));
    }

    void helpNamesYes()
    {
        const CProgramRun run =
            RunProgram(QStringLiteral(KORVALENT_CLI), {QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        for (const char* command : {"upload", "materials-put", "pep-write"})
            QVERIFY2(run.out.contains(QStringLiteral("[--yes] %1 ").arg(QLatin1String(command))),
                     command);
        QVERIFY(run.out.contains(QStringLiteral("--yes goes on without asking")));
    }

    // Two outputs that end in one file are refused before the gauge is
    // asked; nothing is written.
    void sameOutputsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to the existing database") << "link";
        QTest::newRow("link to a database not yet written") << "dangling link";
        QTest::newRow("hard link") << "hard link";
        QTest::newRow("same file through ..") << "dots";
        QTest::newRow("analyse: chart over the table through a link") << "analyse";
    }
    void sameOutputsRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString kdb = dir.filePath(QStringLiteral("a.kdb"));
        const QString second = dir.filePath(QStringLiteral("l.csv"));
        if (kind != QLatin1String("dangling link"))
            QVERIFY(WriteFile(kdb, "previous"));
        QDir().mkdir(dir.filePath(QStringLiteral("sub")));
        QString other = second;
        if (kind == QLatin1String("hard link"))
            QCOMPARE(
                ::link(QFile::encodeName(kdb).constData(), QFile::encodeName(second).constData()),
                0);
        else if (kind == QLatin1String("dots"))
            other = dir.filePath(QStringLiteral("sub/../a.kdb"));
        else
            QVERIFY(QFile::link(kdb, second));
        const QStringList before = FolderEntries(dir.path());

        m_gauge->ClearRequestLog();
        const Result r = kind == QLatin1String("analyse")
                             ? Cli({QStringLiteral("analyse"), Path(QStringLiteral("missing.kdb")),
                                    QStringLiteral("--file"), QStringLiteral("1"),
                                    QStringLiteral("--csv"), kdb, QStringLiteral("--png"), other})
                             : Cli({QStringLiteral("download"), QStringLiteral("-o"), kdb,
                                    QStringLiteral("--materials"), other});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.contains(QStringLiteral("are the same file")), qPrintable(r.err));
        QVERIFY(r.err.contains(other));
        QVERIFY(m_gauge->RequestLog().isEmpty());
        QCOMPARE(FolderEntries(dir.path()), before);
        if (kind != QLatin1String("dangling link"))
            QCOMPARE(ReadAll(kdb), QByteArray("previous"));
    }

    // An output that is one of the command's inputs (the database, the
    // report, the earlier survey, the archive) is refused before anything is
    // read or written: the input keeps its bytes. @in is the input file,
    // @link a symbolic link to it, @out a file of its own.
    void outputOverInputRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("refused"); // empty: not refused
        const QString in = QStringLiteral("@in");
        const QString link = QStringLiteral("@link");
        const QString out = QStringLiteral("@out");
        const QString file = QStringLiteral("--file");
        const QString one = QStringLiteral("1");
        QTest::newRow("export csv over the database")
            << QStringList{QStringLiteral("export"), in, file, one, QStringLiteral("--csv"), in}
            << "--csv";
        QTest::newRow("export xlsx through a link")
            << QStringList{QStringLiteral("export"), in, file, one,
                           QStringLiteral("--xlsx=") + link}
            << "--xlsx";
        QTest::newRow("export over its materials") << QStringList{QStringLiteral("export"),
                                                                  out,
                                                                  file,
                                                                  one,
                                                                  QStringLiteral("--materials"),
                                                                  in,
                                                                  QStringLiteral("--xls"),
                                                                  link}
                                                   << "--xls";
        QTest::newRow("analyse chart over the earlier survey")
            << QStringList{QStringLiteral("analyse"),    out, file, one,
                           QStringLiteral("--previous"), in,  file, one,
                           QStringLiteral("--png"),      link}
            << "--png";
        QTest::newRow("report over its .krf")
            << QStringList{QStringLiteral("report"), in, QStringLiteral("--html"), in} << "--html";
        QTest::newRow("report over its data")
            << QStringList{QStringLiteral("report"), out, QStringLiteral("--data"), in, file, one,
                           QStringLiteral("--pdf"),  link}
            << "--pdf";
        QTest::newRow("history csv over the archive")
            << QStringList{QStringLiteral("--archive"), in,
                           QStringLiteral("history"),   QStringLiteral("Obj"),
                           QStringLiteral("--csv"),     link}
            << "--csv";
        QTest::newRow("archive-get over the archive") << QStringList{QStringLiteral("--archive"),
                                                                     in,
                                                                     QStringLiteral("archive-get"),
                                                                     QStringLiteral("--survey"),
                                                                     one,
                                                                     QStringLiteral("-o"),
                                                                     in}
                                                      << "-o";
        QTest::newRow("download over the archive it adds to")
            << QStringList{QStringLiteral("--archive"),
                           in,
                           QStringLiteral("download"),
                           QStringLiteral("-o"),
                           out,
                           QStringLiteral("--materials"),
                           link,
                           QStringLiteral("--archive-add")}
            << "--materials";
        QTest::newRow("export to a file of its own")
            << QStringList{QStringLiteral("export"), in, file, one, QStringLiteral("--csv"), out}
            << QString();
    }
    void outputOverInputRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.kdb"));
        const QString link = dir.filePath(QStringLiteral("link.csv"));
        QVERIFY(CDataStorage::SaveDatabaseFile(in, {File("Input", 3)}));
        QVERIFY(QFile::link(in, link));
        const QByteArray before = ReadAll(in);
        for (QString& a : args)
            a.replace(QLatin1String("@in"), in)
                .replace(QLatin1String("@link"), link)
                .replace(QLatin1String("@out"), dir.filePath(QStringLiteral("out.csv")));

        m_gauge->ClearRequestLog();
        const Result r = Cli(args);
        QCOMPARE(ReadAll(in), before);
        if (refused.isEmpty())
        {
            QCOMPARE(r.exitCode, 0);
            QVERIFY(!ReadAll(dir.filePath(QStringLiteral("out.csv"))).isEmpty());
            return;
        }
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QStringLiteral("korvalent-cli: %1").arg(refused)),
                 qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("and the input '%1' are the same file; give "
                                               "another output file")
                                    .arg(in)),
                 qPrintable(r.err));
        QVERIFY(m_gauge->RequestLog().isEmpty());
    }

    // Without --archive, the commands that open an archive open the one in
    // the documents folder: an output over that file is refused alike (it
    // held every survey archived so far).
    void outputOverDefaultArchiveRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("refused");
        QTest::newRow("history csv")
            << QStringList{QStringLiteral("history"), QStringLiteral("Kept"),
                           QStringLiteral("--csv"), QStringLiteral("@archive")}
            << "--csv";
        QTest::newRow("archive-get")
            << QStringList{QStringLiteral("archive-get"), QStringLiteral("--survey"),
                           QStringLiteral("1"), QStringLiteral("-o"), QStringLiteral("@archive")}
            << "-o";
        QTest::newRow("download adding to it")
            << QStringList{QStringLiteral("download"), QStringLiteral("-o"),
                           QStringLiteral("@archive"), QStringLiteral("--archive-add")}
            << "-o";
    }
    void outputOverDefaultArchiveRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, refused);
        QTemporaryDir home;
        const QString archive = home.filePath(QStringLiteral("Korvalent/Korvalent-archive.sqlite"));
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        {
            CSurveyArchive kept;
            QVERIFY(kept.Open(archive));
            QVERIFY(kept.AddSurveys({File("Kept", 3)}, {}, {}).ok);
        }
        const QByteArray before = ReadAll(archive);
        args.replaceInStrings(QStringLiteral("@archive"), archive);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        p.setProcessEnvironment(env);
        m_gauge->ClearRequestLog();
        p.start(QStringLiteral(KORVALENT_CLI),
                QStringList{QStringLiteral("--port"), m_gauge->PortPath()} + args);
        p.closeWriteChannel();
        const Result r = Finish(p);
        QCOMPARE(ReadAll(archive), before);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, QStringLiteral("korvalent-cli: %1 '%2' and the input '%2' are the same "
                                       "file; give another output file; see 'korvalent-cli "
                                       "--help'\n")
                            .arg(refused, archive));
        QVERIFY(m_gauge->RequestLog().isEmpty());
    }

    // Files with one name: the gauge keeps the first; the command says how
    // many it refused and which, and fails.
    void uploadSameNames()
    {
        const QString kdb = Path(QStringLiteral("same.kdb"));
        QVERIFY(CDataStorage::SaveDatabaseFile(
            kdb, {File("Same", 2), File("Same", 3), File("Same", 1), File("Other", 1)}));
        const Result r = Cli({QStringLiteral("--yes"), QStringLiteral("upload"), kdb});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QStringLiteral(
                     "Внимание: несколько файлов носят одно имя ('Same'). Устройство примет "
                     "только первый файл с каждым именем, остальные будут отклонены.\n")),
                 qPrintable(r.err));
        QVERIFY2(r.err.endsWith(QStringLiteral(
                     "Устройство отклонило 2 из 4 файл(a)(ов): файл с таким именем на "
                     "устройстве уже существует ('Same', 'Same'). Остальные данные загружены в "
                     "устройство.\n")),
                 qPrintable(r.err));
        QCOMPARE(Names(m_gauge->Files()), (QStringList{"Same", "Other"}));
    }

    // Texts from files and from the gauge reach the terminal with their
    // control characters escaped.
    void controlCharactersEscaped_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("pep-show, name from the file") << "pep-show";
        QTest::newRow("pep-list, names from the gauge") << "pep-list";
        QTest::newRow("upload, a file name in the error") << "upload";
    }
    void controlCharactersEscaped()
    {
        QFETCH(QString, command);
        Result r;
        if (command == QLatin1String("pep-show"))
        {
            QByteArray image = CVirtualGauge::DemoEeprom();
            image.replace(0, 8, QByteArray("A\x1b[2J\0\0\0", 8));
            const QString pep = Path(QStringLiteral("esc.pep"));
            QVERIFY(WriteFile(pep, WithCrc(image)));
            r = Cli({command, pep});
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.out.contains(QStringLiteral("A\\x1b[2J")), qPrintable(r.out));
        }
        else if (command == QLatin1String("pep-list"))
        {
            QList<PEPListRecord> list = CVirtualGauge::DemoTransducers();
            std::memcpy(list[0].name, "P\x1b]0;x\x07", 8);
            m_gauge->SetTransducers(list);
            r = Cli({command});
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.out.contains(QStringLiteral("P\\x1b]0;x\\x07")), qPrintable(r.out));
        }
        else
        {
            r = Cli({QStringLiteral("--yes"), command, Path(QStringLiteral("a\x1b[31mb\r.kdb"))});
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains(QStringLiteral("a\\x1b[31mb\\x0d.kdb")), qPrintable(r.err));
        }
        QVERIFY2(!HasControl(r.out), qPrintable(r.out));
        QVERIFY2(!HasControl(r.err), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestCliReplace)
#include "tst_cli_replace.moc"
