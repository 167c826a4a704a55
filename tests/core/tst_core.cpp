#include "core/CSafeSave.h"
#include "tests/common/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace
{
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
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
        WriteRaw(path, "previous contents");
        CSafeSave::Result result;
        {
            FileSizeLimit guard(static_cast<rlim_t>(limit));
            result = CSafeSave::WriteBytes(path, QByteArray(size, 'x'));
        }
        QVERIFY(!result.Ok());
        QCOMPARE(result.status, CSafeSave::Status::WriteFailed);
        QVERIFY(!result.errorString.isEmpty());
        QCOMPARE(ReadAll(path), QByteArray("previous contents"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"prev.kdb"});
        QVERIFY(CSafeSave::Describe(path, result).contains(path));
    }

    void writerFailureAndWriterCallback()
    {
        const QString path = m_dir.filePath("report.pdf");
        WriteRaw(path, "old");
        auto failed = CSafeSave::WriteWith(path, [](const QString& temp) {
            QFile f(temp);
            f.open(QIODevice::WriteOnly);
            f.write("half");
            return false;
        });
        QCOMPARE(failed.status, CSafeSave::Status::WriteFailed);
        QCOMPARE(ReadAll(path), QByteArray("old"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        QString seen;
        auto ok = CSafeSave::WriteWith(path, [&seen](const QString& temp) {
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
        WriteRaw(real, "old");
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
