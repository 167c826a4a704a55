#include "core/CInputLimits.h"
#include "core/CSafeSave.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_tmp.reset(new QTemporaryDir);
        QVERIFY(m_tmp->isValid());
    }

    void writesNewAndReplacesOld()
    {
        const QString path = m_dir.filePath("a.kdb");
        QVERIFY(CSafeSave::WriteBytes(path, "first").Ok());
        QCOMPARE(ReadAll(path), QByteArray("first"));
        QVERIFY(CSafeSave::WriteBytes(path, "second, longer").Ok());
        QCOMPARE(ReadAll(path), QByteArray("second, longer"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // A small file (buffered entirely until the final flush) meeting a limit
    // smaller than itself: the old file stays and no temporary remains.
    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("limit");
        QTest::newRow("small file, limit below it") << 11125 << 4096;
        QTest::newRow("small file, limit zero") << 100 << 0;
        QTest::newRow("large file") << 200000 << 65536;
    }
    void failedWriteKeepsOldFile()
    {
        QFETCH(int, size);
        QFETCH(int, limit);
        const QString path = m_dir.filePath("prev.kdb");
        QVERIFY(WriteFile(path, "previous contents"));
        CSafeSave::Result result;
        {
            CFileSizeLimit guard(static_cast<rlim_t>(limit));
            result = CSafeSave::WriteBytes(path, QByteArray(size, 'x'));
        }
        QVERIFY(!result.Ok());
        QCOMPARE(result.status, CSafeSave::Status::WriteFailed);
        QCOMPARE(result.errorString, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(ReadAll(path), QByteArray("previous contents"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"prev.kdb"});
        QVERIFY(CSafeSave::Describe(path, result).contains(path));
    }

    void writerFailureAndWriterCallback()
    {
        const QString path = m_dir.filePath("report.pdf");
        QVERIFY(WriteFile(path, "old"));
        auto failed = CSafeSave::WriteWith(path,
                                           [](const QString& temp)
                                           {
                                               QFile f(temp);
                                               f.open(QIODevice::WriteOnly);
                                               f.write("half");
                                               return false;
                                           });
        QCOMPARE(failed.status, CSafeSave::Status::WriteFailed);
        QCOMPARE(ReadAll(path), QByteArray("old"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        QString seen;
        auto ok =
            CSafeSave::WriteWith(path,
                                 [&seen](const QString& temp)
                                 {
                                     seen = temp;
                                     QFile f(temp);
                                     return f.open(QIODevice::WriteOnly) && f.write("new") == 3;
                                 });
        QVERIFY(ok.Ok());
        QCOMPARE(QFileInfo(seen).absolutePath(), QFileInfo(path).absolutePath());
        QVERIFY(!QFile::exists(seen));
        QCOMPARE(ReadAll(path), QByteArray("new"));
    }

    void specialTargetsRefused()
    {
        const QString fifo = m_dir.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString dir = m_dir.filePath("folder");
        QVERIFY(QDir().mkpath(dir));
        const QString dangling = m_dir.filePath("dangling");
        QVERIFY(QFile::link(m_dir.filePath("nowhere"), dangling));
        for (const QString& target : {fifo, dir, dangling, QStringLiteral("/dev/null")})
        {
            const auto result = CSafeSave::WriteBytes(target, "x");
            QCOMPARE(result.status, CSafeSave::Status::NotRegularFile);
            QVERIFY(CSafeSave::Describe(target, result).contains(target));
        }
        QVERIFY(QFileInfo(fifo).isFile() == false);
        QVERIFY(QFileInfo(dir).isDir());
        QVERIFY(QFileInfo(dangling).isSymLink());
    }

    // A link to a regular file stays a link; the file it names gets the bytes,
    // and a replaced file keeps its permissions.
    void symlinkAndPermissionsKept()
    {
        const QString real = m_dir.filePath("real.csv");
        QVERIFY(WriteFile(real, "old"));
        QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner));
        const QString link = m_dir.filePath("link.csv");
        QVERIFY(QFile::link(real, link));
        QVERIFY(CSafeSave::WriteBytes(link, "new").Ok());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadAll(real), QByteArray("new"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }

    // Two files replaced together: when the second cannot be prepared, the
    // first is not replaced either, and no temporary file stays.
    void stagedFilesCommitTogether()
    {
        const QString database = m_dir.filePath("d.kdb");
        const QString table = m_dir.filePath("m.csv");
        QVERIFY(WriteFile(database, "old database"));
        QVERIFY(WriteFile(table, "old table"));
        {
            CSafeSave::Staged first;
            CSafeSave::Staged second;
            QVERIFY(first.Prepare(database, QByteArray(3000, 'd')).Ok());
            {
                CFileSizeLimit guard(2000);
                QCOMPARE(second.Prepare(table, QByteArray(3000, 'm')).status,
                         CSafeSave::Status::WriteFailed);
            }
            QCOMPARE(FolderEntries(m_dir.path()).size(), 3); // first's temporary file
        }
        QCOMPARE(ReadAll(database), QByteArray("old database"));
        QCOMPARE(ReadAll(table), QByteArray("old table"));
        QCOMPARE(FolderEntries(m_dir.path()), (QStringList{"d.kdb", "m.csv"}));

        CSafeSave::Staged first;
        CSafeSave::Staged second;
        QVERIFY(first.Prepare(database, "new database").Ok());
        QVERIFY(second.Prepare(table, "new table").Ok());
        QCOMPARE(ReadAll(database), QByteArray("old database"));
        QVERIFY(first.Commit().Ok());
        QVERIFY(second.Commit().Ok());
        QCOMPARE(ReadAll(database), QByteArray("new database"));
        QCOMPARE(ReadAll(table), QByteArray("new table"));
        QCOMPARE(second.Commit().status, CSafeSave::Status::CommitFailed); // nothing prepared
        QCOMPARE(FolderEntries(m_dir.path()), (QStringList{"d.kdb", "m.csv"}));
    }

    // A writer with buffering of its own that reports success over a file
    // cut at the file-size limit (as a PDF or spreadsheet library may).
    void writerHidingCutFileFails()
    {
        const QString path = m_dir.filePath("book.xlsx");
        QVERIFY(WriteFile(path, "old"));
        CSafeSave::Result result;
        {
            CFileSizeLimit guard(1000);
            result =
                CSafeSave::WriteWith(path,
                                     [](const QString& temp)
                                     {
                                         QFile f(temp);
                                         if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                                             return false;
                                         f.write(QByteArray(5000, 'x')); // short write ignored
                                         return true;
                                     });
        }
        QCOMPARE(result.status, CSafeSave::Status::WriteFailed);
        QCOMPARE(ReadAll(path), QByteArray("old"));
        QCOMPARE(FolderEntries(m_dir.path()), QStringList{"book.xlsx"});
    }

    // A chain of links ends at the regular file that gets the bytes.
    void linkChainFollowed()
    {
        const QString real = m_dir.filePath("real.kdb");
        QVERIFY(WriteFile(real, "old"));
        QVERIFY(QFile::link(real, m_dir.filePath("one.kdb")));
        QVERIFY(QFile::link(m_dir.filePath("one.kdb"), m_dir.filePath("two.kdb")));
        QVERIFY(CSafeSave::WriteBytes(m_dir.filePath("two.kdb"), "new").Ok());
        QCOMPARE(ReadAll(real), QByteArray("new"));
        QVERIFY(QFileInfo(m_dir.filePath("one.kdb")).isSymLink());
        QVERIFY(QFileInfo(m_dir.filePath("two.kdb")).isSymLink());
    }

    // Inputs: a path that is no regular file, or a file over the limit, is
    // refused before reading (a FIFO without a writer does not hang).
    void inputLimits()
    {
        using namespace CInputLimits;
        const QString path = m_dir.filePath("in.kdb");
        QVERIFY(WriteFile(path, "12345"));
        ReadResult r = ReadFile(path, 5);
        QVERIFY(r.Ok());
        QCOMPARE(r.bytes, QByteArray("12345"));
        r = ReadFile(path, 4);
        QCOMPARE(r.status, Status::TooLarge);
        QVERIFY(r.bytes.isEmpty());

        const QString sparse = m_dir.filePath("big.kdb");
        QVERIFY(WriteFile(sparse, ""));
        QVERIFY(QFile::resize(sparse, kKeyFileBytes + 1));
        r = ReadFile(sparse, kKeyFileBytes);
        QCOMPARE(r.status, Status::TooLarge);
        QCOMPARE(Reason(r), QStringLiteral("файл больше допустимого размера 64 МБ"));
        QCOMPARE(Reason(ReadFile(sparse, kMaterialsCsvBytes)),
                 QStringLiteral("файл больше допустимого размера 1 МБ"));

        const QString fifo = m_dir.filePath("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& special : {fifo, QStringLiteral("/dev/zero"), m_dir.path()})
        {
            r = ReadFile(special, kKeyFileBytes);
            QCOMPARE(r.status, Status::NotRegularFile);
            QCOMPARE(Reason(r), QStringLiteral("это не обычный файл"));
        }
        QCOMPARE(ReadFile(m_dir.filePath("none"), kKeyFileBytes).status, Status::OpenFailed);
        QCOMPARE(ReadFile(QString(), kKeyFileBytes).status, Status::OpenFailed);
    }

    // The temporary file is named after its target, within the length a
    // folder entry may have (a long name cut at a character's start); one
    // nobody holds any more is removed by the next save of the same target,
    // one this process still holds is not.
    void temporaryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("short") << QStringLiteral("out.csv");
        QTest::newRow("longest allowed, ASCII") << QString(251, QLatin1Char('a')) + ".csv";
        QTest::newRow("longest allowed, Cyrillic") << QString(125, QChar(0x0416)) + ".csv";
    }
    void temporaryNames()
    {
        QFETCH(QString, name);
        const QString target = m_dir.filePath(name);
        QString seen;
        QString stale;
        {
            CSafeSave::Staged staged;
            QVERIFY(staged
                        .PrepareWith(target,
                                     [&seen](const QString& temp)
                                     {
                                         seen = temp;
                                         return true;
                                     })
                        .Ok());
            const QString entry = QFileInfo(seen).fileName();
            QVERIFY2(QFile::encodeName(entry).size() <= NAME_MAX, qPrintable(entry));
            QVERIFY2(entry.contains(QStringLiteral(".korvalent-")), qPrintable(entry));
            QVERIFY(QString::fromUtf8(QFile::encodeName(entry)) == entry); // whole characters
            const QString prefix = entry.left(entry.indexOf(QStringLiteral(".korvalent-")));
            QVERIFY(name.startsWith(prefix) && !prefix.isEmpty());

            // A second save of the same target while the first is prepared
            // leaves the first's file alone.
            QVERIFY(CSafeSave::WriteBytes(target, "other").Ok());
            QVERIFY(QFileInfo::exists(seen));
            stale = seen;
        }
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(WriteFile(stale, "left by a killed save"));
        QVERIFY(CSafeSave::WriteBytes(target, "new").Ok());
        QCOMPARE(ReadAll(target), QByteArray("new"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    // Without the right to write the target, nothing is written and the
    // reason names it as cp would; the superuser writes it, as cp does.
    void writeProtectedTarget()
    {
        const QString target = m_dir.filePath("ro.csv");
        QVERIFY(WriteFile(target, "old"));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup));
        const CSafeSave::Result result = CSafeSave::WriteBytes(target, "new");
        if (::geteuid() == 0)
        {
            QVERIFY(result.Ok());
            QCOMPARE(ReadAll(target), QByteArray("new"));
            struct stat st;
            QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, mode_t(0440));
            return;
        }
        QCOMPARE(result.status, CSafeSave::Status::NotWritable);
        QCOMPARE(CSafeSave::Describe(target, result),
                 QStringLiteral("Не удалось записать файл: %1 (Отказано в доступе)").arg(target));
        QCOMPARE(ReadAll(target), QByteArray("old"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ro.csv"});
    }

    void missingFolderFailsToOpen()
    {
        const auto result = CSafeSave::WriteBytes(m_dir.filePath("no/such/dir/x.kdb"), "x");
        QCOMPARE(result.status, CSafeSave::Status::OpenFailed);
    }

private:
    struct DirRef
    {
        std::unique_ptr<QTemporaryDir>& d;
        QString path() const { return d->path(); }
        QString filePath(const QString& name) const { return d->filePath(name); }
    };
    std::unique_ptr<QTemporaryDir> m_tmp;
    DirRef m_dir{m_tmp};
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
