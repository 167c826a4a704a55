// The survey archive on SQLite and on PostgreSQL.
//
//   archive:  the largest database file (150 data files of 254 cells) read
//             and archived in one transaction, into an empty archive,
//             against loading the same file (the reference), interleaved
//   objects:  the object list of an archive of 2 000 surveys (100 objects
//             of 20 surveys, about 500 000 readings)
//   history:  one object's 20 surveys with all their readings
//   size:     the archive on disk per 1 000 readings
//
//   korvalent-bench-archive [--runs N] [--server URL]
// Without --server the URL in KORVALENT_TEST_PGURL is used (bash
// scripts/pg-cluster run -- korvalent-bench-archive); without either, SQLite
// only.

#include "archive/CSurveyArchive.h"
#include "bench/BenchData.h"
#include "data/CAnsiText.h"
#include "data/CDataStorage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
DataFileList Database(int files, quint32 seed, const QString& prefix)
{
    DataFileList list;
    BenchData::Sequence next(seed);
    for (int f = 0; f < files; ++f)
    {
        DataFileRecord file;
        CAnsiText::Encode(QStringLiteral("%1 %2").arg(prefix).arg(f + 1), file.header.name, 16);
        file.header.records = 254;
        file.header.serialNumber = 100000 + quint32(f);
        file.header.fwVersion = 0x01020304;
        for (int c = 0; c < 254; ++c)
            file.cells.append(BenchData::RandomCell(next, 4));
        list.append(file);
    }
    return list;
}

// A new empty archive location of the engine.
QString Fresh(const QString& server, const QTemporaryDir& dir, const QString& tag)
{
    static int n = 0;
    ++n;
    if (server.isEmpty())
        return dir.filePath(QStringLiteral("%1-%2.sqlite").arg(tag).arg(n));
    CArchiveLocation l;
    QString error;
    CArchiveLocation::Parse(server, &l, &error);
    const QString name = QStringLiteral("kvbench_%1_%2_%3")
                             .arg(QCoreApplication::applicationPid())
                             .arg(tag)
                             .arg(n);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("adm"));
        db.setHostName(l.host);
        if (l.port > 0)
            db.setPort(l.port);
        db.setUserName(l.user);
        db.setDatabaseName(l.database);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("adm"));
    return server.left(server.lastIndexOf(QLatin1Char('/')) + 1) + name;
}

double SizePer1000(CSurveyArchive& archive, const QString& location, bool server, int readings)
{
    qint64 bytes = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(
            server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), QStringLiteral("size"));
        CArchiveLocation l;
        QString error;
        CArchiveLocation::Parse(location, &l, &error);
        if (server)
        {
            db.setHostName(l.host);
            if (l.port > 0)
                db.setPort(l.port);
            db.setUserName(l.user);
            db.setDatabaseName(l.database);
            db.open();
            QSqlQuery q(db);
            QSqlQuery(db).exec(QStringLiteral("VACUUM ANALYZE"));
            // The archive's own tables and indexes, not the empty database.
            if (q.exec(QStringLiteral("SELECT SUM(pg_total_relation_size(c.oid)) FROM pg_class c "
                                      "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE "
                                      "n.nspname = current_schema() AND c.relkind = 'r'")) &&
                q.next())
                bytes = q.value(0).toLongLong();
        }
        else
        {
            archive.Close();
            db.setDatabaseName(l.filePath);
            db.open();
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            db.close();
            bytes = QFileInfo(l.filePath).size();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("size"));
    return double(bytes) * 1000.0 / readings / 1024.0;
}

void Run(const QString& engine, const QString& server, int runs, const QTemporaryDir& dir,
         const QString& kdb)
{
    std::printf("== %s\n", qPrintable(engine));
    QList<double> load, archiveFile;
    for (int r = 0; r < runs; ++r)
    {
        const QString location = Fresh(server, dir, QStringLiteral("big"));
        CSurveyArchive archive;
        if (!archive.Open(location))
        {
            std::printf("cannot open: %s\n", qPrintable(archive.ErrorText()));
            return;
        }
        auto timeLoad = [&] {
            QElapsedTimer t;
            t.start();
            const CDataStorage::LoadResult loaded = CDataStorage::LoadDatabaseFile(kdb);
            load.append(t.nsecsElapsed() / 1e6);
            return loaded.files.size();
        };
        auto timeArchive = [&] {
            QElapsedTimer t;
            t.start();
            const CSurveyArchive::AddResult added = archive.AddFile(kdb);
            archiveFile.append(t.nsecsElapsed() / 1e6);
            if (added.Added() != 150)
                std::printf("archived %d of 150: %s\n", added.Added(), qPrintable(added.error));
        };
        if (r % 2 == 0)
        {
            timeLoad();
            timeArchive();
        }
        else
        {
            timeArchive();
            timeLoad();
        }
    }
    BenchData::PrintMs("load 150x254 .kdb (reference)", load);
    BenchData::PrintMs("archive 150x254 .kdb", archiveFile);
    std::printf("%-34s %.2f\n", "ratio of medians", BenchData::Median(archiveFile) /
                                                         BenchData::Median(load));

    // 2 000 surveys: 100 objects of 20 surveys, archived in 14 transactions.
    const QString location = Fresh(server, dir, QStringLiteral("k2"));
    CSurveyArchive archive;
    archive.Open(location);
    DataFileList all;
    for (int o = 0; o < 100; ++o)
    {
        const DataFileList surveys = Database(20, quint32(1000 + o), QStringLiteral("Obj%1").arg(o));
        for (DataFileRecord f : surveys)
        {
            // One object name for its 20 surveys.
            CAnsiText::Encode(QStringLiteral("Объект %1").arg(o), f.header.name, 16);
            f.header.serialNumber = quint32(all.size());
            all.append(f);
        }
    }
    for (int first = 0; first < all.size(); first += 150)
        archive.AddSurveys(all.mid(first, 150), {}, {});
    QList<double> objects, history, openObjects;
    int objectCount = 0, cells = 0;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer t;
        t.start();
        const QList<CSurveyArchive::ObjectInfo> list = archive.Objects();
        objects.append(t.nsecsElapsed() / 1e6);
        objectCount = int(list.size());
        t.restart();
        QList<CSurveyArchive::SurveyInfo> infos;
        DataFileList files;
        archive.ObjectData(list.at(r % list.size()).id, &infos, &files);
        history.append(t.nsecsElapsed() / 1e6);
        cells = 0;
        for (const DataFileRecord& f : files)
            cells += int(f.cells.size());
        // What a window step costs: open the archive, then list.
        t.restart();
        CSurveyArchive fresh;
        fresh.Open(location);
        fresh.Objects();
        openObjects.append(t.nsecsElapsed() / 1e6);
    }
    std::printf("archive of %d surveys, %d objects\n", int(all.size()), objectCount);
    BenchData::PrintMs("object list", objects);
    BenchData::PrintMs("open + object list", openObjects);
    BenchData::PrintMs(qPrintable(QStringLiteral("one object: 20 surveys, %1 cells").arg(cells)),
                       history);
    std::printf("%-34s %.1f KiB\n", "size per 1000 readings",
                SizePer1000(archive, location, !server.isEmpty(), int(all.size()) * 254));
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int runs = BenchData::Runs(args, 7);
    QString server = qEnvironmentVariable("KORVALENT_TEST_PGURL");
    const int at = int(args.indexOf(QStringLiteral("--server")));
    if (at > 0 && at + 1 < args.size())
        server = args.at(at + 1);
    QTemporaryDir dir;
    const QString kdb = dir.filePath(QStringLiteral("largest.kdb"));
    CDataStorage::SaveDatabaseFile(kdb, Database(150, 12345, QStringLiteral("Труба")));
    Run(QStringLiteral("SQLite"), QString(), runs, dir, kdb);
    if (!server.isEmpty())
        Run(QStringLiteral("PostgreSQL"), server, runs, dir, kdb);
    else
        std::printf("PostgreSQL: no server given (--server URL or KORVALENT_TEST_PGURL)\n");
    return 0;
}
