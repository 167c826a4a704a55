#include "data/CDataStorage.h"
#include "data/CXmlInputCheck.h"
#include "report/CReportFile.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/report/ReportTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QRegularExpression>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace DataTest;

namespace
{
// Generous: a refused input takes a fraction of a second; one that got
// through to the reader took minutes.
constexpr int kBoundMs = 10000;

QByteArray Convert(const QByteArray& utf8, const char* encoding)
{
    iconv_t cd = ::iconv_open(encoding, "UTF-8");
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(utf8.size() * 6 + 16, '\0');
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char* to = out.data();
    size_t outLeft = size_t(out.size());
    const bool ok = ::iconv(cd, &in, &inLeft, &to, &outLeft) != size_t(-1) &&
                    ::iconv(cd, nullptr, nullptr, &to, &outLeft) != size_t(-1);
    ::iconv_close(cd);
    if (!ok)
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

// The first round's floods, each far beyond one of the shape limits.
QByteArray AttributeFlood()
{
    QByteArray xml = "<KorvalentDatabase><FILES";
    for (int i = 0; i < 200000; ++i)
        xml += " a" + QByteArray::number(i) + "=\"\"";
    return xml + ">1</FILES></KorvalentDatabase>";
}

QByteArray ElementFlood()
{
    QByteArray xml = "<KorvalentDatabase>";
    for (int i = 0; i <= CXmlInputCheck::kMaxElements * 2; ++i)
        xml += "<A/>";
    return xml + "</KorvalentDatabase>";
}

QByteArray DepthFlood()
{
    return "<KorvalentDatabase>" + QByteArray(100000, 'x').replace("x", "<A>") + "</A>";
}

// A command line run as a child whose pid the test knows, for signals.
pid_t Spawn(const QStringList& arguments, int ignoredSignal = 0)
{
    QList<QByteArray> args{QByteArray(KORVALENT_CLI)};
    for (const QString& a : arguments)
        args.append(QFile::encodeName(a));
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        std::vector<char*> argv;
        for (QByteArray& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (ignoredSignal)
            std::signal(ignoredSignal, SIG_IGN); // as nohup does
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// The child's wait status, or -1 when it did not end within the bound (it
// is killed then).
int WaitFor(pid_t pid)
{
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0)
    {
        if (timer.elapsed() > kBoundMs)
        {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        QThread::msleep(5);
    }
    return status;
}

QStringList Temporaries(const QString& folder)
{
    return FolderEntries(folder).filter(QStringLiteral(".korvalent-"));
}

// Waits until the child has made a temporary file in folder; false when the
// child ended first.
bool WaitForTemporary(pid_t pid, const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kBoundMs)
    {
        if (!Temporaries(folder).isEmpty())
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
        QThread::usleep(500);
    }
    return false;
}

uid_t NobodyUid()
{
    const passwd* user = ::getpwnam("nobody");
    return user ? user->pw_uid : uid_t(-1);
}

gid_t NogroupGid()
{
    const group* grp = ::getgrnam("nogroup");
    return grp ? grp->gr_gid : gid_t(-1);
}
} // namespace

// Reading and saving seen from outside: the command line given hostile
// inputs, interrupted, killed, and pointed at files it may not write.
class TestSaveSafety : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    QString m_folder; // open to every user, for the runs as another user

    QString Path(const QString& name) const { return m_folder + QLatin1Char('/') + name; }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<CTestEnvironment>();
        m_folder = m_env->Root() + QStringLiteral("/shared");
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(::chmod(QFile::encodeName(m_env->Root()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(m_folder).constData(), 0777) == 0);
        QVERIFY(CDataStorage::SaveDataFile(
            Path("in.kdf"), File(QStringLiteral("Труба-1"), {MmCell(5.2), MmCell(12.25)})));
        // A report long enough that producing its PDF takes a while.
        CReportData report = ReportTest::FullReport();
        QString conclusion;
        for (int i = 0; i < 6000; ++i)
            conclusion += QStringLiteral("Заключение, строка %1: толщина стенки в норме. ").arg(i);
        report.SetText(CReportData::Conclusion, conclusion);
        QVERIFY(WriteBytes(Path("long.krf"), CReportFile::Document(report)));
    }

    // Floods in encodings whose bytes would hide their markup from a byte
    // scan are refused quickly; files in UTF-8 and in a declared single-byte
    // code page still load.
    void encodedInputs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in the output

        const QByteArray utf7 = "<?xml version=\"1.0\" encoding=\"UTF-7\"?>";
        const QByteArray ebcdic = "<?xml version=\"1.0\" encoding=\"IBM037\"?>";
        const struct
        {
            const char* name;
            QByteArray xml;
        } floods[] = {{"attributes", AttributeFlood()},
                      {"elements", ElementFlood()},
                      {"depth", DepthFlood()}};
        for (const auto& flood : floods)
        {
            QTest::addRow("%s in UTF-7", flood.name)
                << utf7 + Convert(flood.xml, "UTF-7") << 1
                << QStringLiteral("кодировка UTF-7 не поддерживается");
            QTest::addRow("%s in UTF-16 with a byte-order mark", flood.name)
                << Convert("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + flood.xml, "UTF-16") << 1
                << QStringLiteral("кодировка UTF-16 не поддерживается");
            QTest::addRow("%s in UTF-16BE", flood.name)
                << Convert(flood.xml, "UTF-16BE") << 1 << QStringLiteral("нулевые байты");
            QTest::addRow("%s in UTF-32LE", flood.name)
                << Convert(flood.xml, "UTF-32LE") << 1 << QStringLiteral("нулевые байты");
            QTest::addRow("%s in EBCDIC", flood.name)
                << Convert(ebcdic + flood.xml, "IBM037") << 1
                << QStringLiteral("кодировка EBCDIC не поддерживается");
            // The declaration alone, in ASCII, with the rest in EBCDIC.
            QTest::addRow("%s in EBCDIC declared in ASCII", flood.name)
                << ebcdic + Convert(flood.xml, "IBM037") << 1
                << QStringLiteral("кодировка IBM037 не поддерживается");
            QTest::addRow("%s in windows-1251", flood.name)
                << "<?xml version=\"1.0\" encoding=\"windows-1251\"?>" + flood.xml << 1
                << QStringLiteral("Не возможно обработать");
        }
        QTest::newRow("declaration in single quotes, lower case")
            << QByteArray("<?xml version='1.0' encoding = 'utf-7'?><KorvalentDataFile/>") << 1
            << QStringLiteral("кодировка utf-7 не поддерживается");
        QTest::newRow("unreadable declaration")
            << QByteArray("<?xml version=\"1.0\" encoding=UTF-7?><KorvalentDataFile/>") << 1
            << QStringLiteral("непонятное объявление кодировки");

        const QByteArray file = ReadBytes(m_folder + QStringLiteral("/in.kdf"));
        QTest::newRow("as the program writes it") << file << 0 << QStringLiteral("12.25");
        QTest::newRow("with a byte-order mark")
            << "\xEF\xBB\xBF" + file << 0 << QStringLiteral("12.25");
        QTest::newRow("declared windows-1251")
            << "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" + Convert(file, "CP1251") << 0
            << QStringLiteral("12.25");
        QTest::newRow("declared KOI8-R")
            << "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\n" + Convert(file, "KOI8-R") << 0
            << QStringLiteral("12.25");
    }
    void encodedInputs()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!bytes.isEmpty());
        const QString path = Path("encoded.kdf");
        QVERIFY(WriteBytes(path, bytes));
        const CProgramRun run = RunProgram(
            QStringLiteral(KORVALENT_CLI),
            {QStringLiteral("show"), path, QStringLiteral("--file"), QStringLiteral("1")},
            kBoundMs);
        QTEST(run.exitCode, "exitCode");
        QFETCH(QString, expected);
        QVERIFY2((run.out + run.err).contains(expected), qPrintable(run.out + run.err));
    }

    // A save ended by a signal removes its temporary file, leaves the
    // previous file as it was and ends with the signal's status; a signal
    // the process was started to ignore stays ignored.
    void interruptedSave_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGHUP under nohup") << SIGHUP << true;
    }
    void interruptedSave()
    {
        QFETCH(int, signal);
        QFETCH(bool, ignored);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
        QVERIFY(WriteBytes(pdf, "previous"));
        const pid_t pid =
            Spawn({QStringLiteral("report"), Path("long.krf"), QStringLiteral("--pdf"), pdf},
                  ignored ? signal : 0);
        QVERIFY(pid > 0);
        QVERIFY2(WaitForTemporary(pid, dir.path()), "no temporary file seen");
        QCOMPARE(::kill(pid, signal), 0);
        const int status = WaitFor(pid);
        const QStringList left = FolderEntries(dir.path());
        QVERIFY2(left == QStringList{QStringLiteral("r.pdf")},
                 qPrintable(left.join(QStringLiteral(", ")) + QStringLiteral("; status ") +
                            QString::number(status)));
        if (ignored)
        {
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                     qPrintable(QString::number(status)));
            QVERIFY(ReadBytes(pdf).startsWith("%PDF"));
            return;
        }
        QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
        QCOMPARE(WTERMSIG(status), signal);
        QCOMPARE(ReadBytes(pdf), QByteArray("previous"));
    }

    // What a killed save leaves says whose it is, and the next save of the
    // same target removes it; a temporary file someone holds, and those of
    // other targets, stay.
    void killedSaveCleanedUpByNextSave()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
        const pid_t pid =
            Spawn({QStringLiteral("report"), Path("long.krf"), QStringLiteral("--pdf"), pdf});
        QVERIFY(pid > 0);
        QVERIFY2(WaitForTemporary(pid, dir.path()), "no temporary file seen");
        QCOMPARE(::kill(pid, SIGKILL), 0);
        const int status = WaitFor(pid);
        QVERIFY(WIFSIGNALED(status));
        const QStringList left = FolderEntries(dir.path());
        QCOMPARE(left.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^r\\.pdf\\.korvalent-[A-Za-z0-9]{6}\\.part$"))
                     .match(left.first())
                     .hasMatch(),
                 qPrintable(left.first()));

        // One held by a live save (this process), one of another target.
        const QString held = dir.filePath(QStringLiteral("r.pdf.korvalent-Held01.part"));
        const QString other = dir.filePath(QStringLiteral("q.pdf.korvalent-Other1.part"));
        QVERIFY(WriteBytes(held, "held"));
        QVERIFY(WriteBytes(other, "other"));
        const int fd = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);

        const CProgramRun run =
            RunProgram(QStringLiteral(KORVALENT_CLI),
                       {QStringLiteral("export"), Path("in.kdf"), QStringLiteral("--file"),
                        QStringLiteral("1"), QStringLiteral("--csv"), pdf},
                       kBoundMs);
        ::close(fd);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(
            FolderEntries(dir.path()),
            (QStringList{QStringLiteral("q.pdf.korvalent-Other1.part"), QStringLiteral("r.pdf"),
                         QStringLiteral("r.pdf.korvalent-Held01.part")}));
    }

    // A target the user may not write is refused as cp refuses it, naming
    // the file; the superuser replaces it as cp does, keeping its owner, and
    // a file whose owner the user cannot give back says so. As the superuser
    // the cases of a user run as nobody.
    void protectedTargets_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ownedByNobody");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        const bool root = ::geteuid() == 0;
        const QString refused =
            QStringLiteral("Не удалось записать файл: %1 (Отказано в доступе)\n")
                .arg(Path("out.csv"));
        QTest::newRow("own file, mode 0444") << root << 0444 << root << 1 << refused;
        if (!root)
            return;
        QTest::newRow("another user's file, mode 0644") << true << 0644 << false << 1 << refused;
        QTest::newRow("superuser, another user's file, mode 0444")
            << false << 0444 << true << 0 << QString();
        QTest::newRow("another user's file, writable by the group")
            << true << 0664 << false << 0
            << QStringLiteral("Файл %1 заменён, но его владелец и группа теперь nobody:nogroup "
                              "(были root:nogroup).\n")
                   .arg(Path("out.csv"));
    }
    // The command line as another user can run it: the program and its
    // drawing module copied, in their relative places, into the folder that
    // user may read (the build tree may lie in a folder only we may enter).
    QString ProgramForOthers()
    {
        const QFileInfo program(QStringLiteral(KORVALENT_CLI));
        const QDir bin = program.absoluteDir();
        QDirIterator found(bin.absoluteFilePath(QStringLiteral("..")),
                           {QStringLiteral("korvalent-cli-draw.so")}, QDir::Files,
                           QDirIterator::Subdirectories);
        if (!found.hasNext())
            return QString();
        const QString module = bin.relativeFilePath(found.next());
        const QString root = m_folder + QStringLiteral("/program");
        const QString copy = root + QStringLiteral("/bin/") + program.fileName();
        const QString moduleCopy = QDir::cleanPath(root + QStringLiteral("/bin/") + module);
        if (!QFileInfo::exists(copy))
        {
            if (!QDir().mkpath(root + QStringLiteral("/bin")) ||
                !QDir().mkpath(QFileInfo(moduleCopy).absolutePath()) ||
                !QFile::copy(program.absoluteFilePath(), copy) ||
                !QFile::copy(bin.absoluteFilePath(module), moduleCopy))
                return QString();
            for (const QString& path :
                 {root, QFileInfo(copy).absolutePath(), QFileInfo(moduleCopy).absolutePath(),
                  QFileInfo(moduleCopy).absolutePath() + QStringLiteral("/..")})
                ::chmod(QFile::encodeName(path).constData(), 0755);
        }
        return copy;
    }

    void protectedTargets()
    {
        QFETCH(bool, asNobody);
        QFETCH(int, mode);
        QFETCH(bool, ownedByNobody);
        const QString out = Path("out.csv");
        QFile::remove(out);
        QVERIFY(WriteBytes(out, "previous"));
        const QByteArray native = QFile::encodeName(out);
        if (::geteuid() == 0)
            QCOMPARE(::chown(native.constData(), ownedByNobody ? NobodyUid() : 0, NogroupGid()), 0);
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
        struct stat before;
        QCOMPARE(::stat(native.constData(), &before), 0);

        QStringList arguments{QStringLiteral(KORVALENT_CLI),
                              QStringLiteral("export"),
                              Path("in.kdf"),
                              QStringLiteral("--file"),
                              QStringLiteral("1"),
                              QStringLiteral("--csv"),
                              out};
        if (asNobody)
        {
            arguments[0] = ProgramForOthers();
            QVERIFY(!arguments[0].isEmpty());
        }
        if (asNobody)
            arguments =
                QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                            QStringLiteral("--clear-groups")} +
                arguments;
        const CProgramRun run = asNobody
                                    ? RunProgram(QStringLiteral("setpriv"), arguments, kBoundMs)
                                    : RunProgram(arguments.takeFirst(), arguments, kBoundMs);
        QTEST(run.exitCode, "exitCode");
        QTEST(run.err, "err");
        struct stat after;
        QCOMPARE(::stat(native.constData(), &after), 0);
        QCOMPARE(after.st_mode, before.st_mode);
        if (run.exitCode != 0)
        {
            QCOMPARE(ReadBytes(out), QByteArray("previous"));
            QCOMPARE(after.st_ino, before.st_ino);
        }
        else
        {
            const QByteArray written = ReadBytes(out);
            QVERIFY(!written.isEmpty() && written != "previous");
            if (!asNobody)
            {
                QCOMPARE(after.st_uid, before.st_uid);
                QCOMPARE(after.st_gid, before.st_gid);
            }
        }
        QCOMPARE(Temporaries(m_folder), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSaveSafety)
#include "tst_save_safety.moc"
