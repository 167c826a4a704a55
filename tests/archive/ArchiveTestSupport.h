#pragma once

#include "archive/CArchiveLocation.h"
#include "archive/CSurveyArchive.h"
#include "data/CAnsiText.h"
#include "data/GaugeRecords.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

// Both engines for every archive case: SQLite in a temporary folder, and the
// PostgreSQL server scripts/test starts (KORVALENT_TEST_PGURL), one fresh
// database per case.
namespace ArchiveTest
{
inline QString ServerUrl()
{
    return qEnvironmentVariable("KORVALENT_TEST_PGURL");
}

inline void AddEngineColumn()
{
    QTest::addColumn<QString>("engine");
}

inline void AddEngineRows()
{
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

// The data of a case that runs once per engine and nothing else.
inline void EngineRows()
{
    AddEngineColumn();
    AddEngineRows();
}

// A connection of the test's own to an archive, for what the program does
// not show (columns, the schema table).
inline QSqlDatabase Connect(const QString& locationText, const QString& name)
{
    CArchiveLocation l;
    QString error;
    CArchiveLocation::Parse(locationText, &l, &error);
    QSqlDatabase db = QSqlDatabase::addDatabase(
        l.IsServer() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    if (l.IsServer())
    {
        db.setHostName(l.host);
        if (l.port > 0)
            db.setPort(l.port);
        db.setUserName(l.user);
        db.setDatabaseName(l.database);
    }
    else
        db.setDatabaseName(l.filePath);
    db.open();
    return db;
}

// A new, empty archive location of the engine; the PostgreSQL variant skips
// with a clear reason when no server was given.
#define KV_FRESH_LOCATION(engine, dir, out)                                                        \
    do                                                                                             \
    {                                                                                              \
        if ((engine) == QLatin1String("postgresql") && ArchiveTest::ServerUrl().isEmpty())         \
            QSKIP("PostgreSQL variant skipped: KORVALENT_TEST_PGURL is not set (scripts/test "     \
                  "starts a server and sets it)");                                                 \
        out = ArchiveTest::FreshLocation(engine, dir);                                             \
        QVERIFY(!out.isEmpty());                                                                   \
    } while (0)

// The case's engine (column "engine") and a new, empty location of it in out.
#define KV_ENGINE_LOCATION(dir, out)                                                               \
    QFETCH(QString, engine);                                                                       \
    QString out;                                                                                   \
    KV_FRESH_LOCATION(engine, dir, out)

inline QString FreshLocation(const QString& engine, const QTemporaryDir& dir)
{
    static QAtomicInt counter;
    const int n = counter.fetchAndAddRelaxed(1);
    if (engine == QLatin1String("sqlite"))
        return dir.filePath(QStringLiteral("archive-%1.sqlite").arg(n));
    const QString dbName =
        QStringLiteral("kv_%1_%2").arg(QCoreApplication::applicationPid()).arg(n);
    {
        QSqlDatabase admin = Connect(ServerUrl(), QStringLiteral("kv-admin"));
        QSqlQuery q(admin);
        if (!q.exec(QStringLiteral("CREATE DATABASE %1").arg(dbName)))
        {
            qWarning("%s", qPrintable(q.lastError().text()));
            return {};
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kv-admin"));
    QString url = ServerUrl();
    return url.left(url.lastIndexOf(QLatin1Char('/')) + 1) + dbName;
}

// A table's row count, or the first value of a query; -1 when it fails
// (no such table).
inline int Count(const QString& location, const QString& tableOrQuery)
{
    const QString sql = tableOrQuery.contains(QLatin1Char(' '))
                            ? tableOrQuery
                            : QStringLiteral("SELECT COUNT(*) FROM %1").arg(tableOrQuery);
    int n = -1;
    {
        QSqlDatabase db = Connect(location, QStringLiteral("kv-count"));
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            n = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kv-count"));
    return n;
}

// The statements that make an empty archive of an earlier schema version: 2
// (one row per reading, no settings or accepted readings) or 1 (no survey
// date kept either).
inline QStringList OldSchema(const QString& engine, int version = 2)
{
    const bool sqlite = engine == QLatin1String("sqlite");
    const QString id =
        sqlite ? QStringLiteral("INTEGER PRIMARY KEY") : QStringLiteral("BIGSERIAL PRIMARY KEY");
    const QString blob = sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
    const QString surveyDate =
        version > 1 ? QStringLiteral(", survey_date TEXT NOT NULL DEFAULT ''") : QString();
    QStringList statements = {
        QStringLiteral("CREATE TABLE korvalent_schema (version INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO korvalent_schema VALUES (%1)").arg(version),
        QStringLiteral("CREATE TABLE objects (id %1, name TEXT NOT NULL, "
                       "name_key TEXT NOT NULL "
                       "UNIQUE)")
            .arg(id),
        QStringLiteral("CREATE TABLE surveys (id %1, object_id BIGINT NOT NULL "
                       "REFERENCES objects(id), "
                       "content_hash TEXT NOT NULL UNIQUE, name TEXT NOT NULL, "
                       "header %2 NOT NULL, "
                       "serial_number BIGINT NOT NULL, fw_version BIGINT NOT "
                       "NULL, audio_index INTEGER NOT "
                       "NULL, records INTEGER NOT NULL, cell_count INTEGER NOT "
                       "NULL, los_count INTEGER NOT "
                       "NULL, gauge_name TEXT NOT NULL, gauge_serial TEXT NOT "
                       "NULL, source_kind TEXT NOT "
                       "NULL, source_path TEXT NOT NULL, source_time TEXT NOT "
                       "NULL, archived_at TEXT NOT "
                       "NULL%3)")
            .arg(id, blob, surveyDate),
        QStringLiteral("CREATE TABLE readings (survey_id BIGINT NOT NULL "
                       "REFERENCES surveys(id), cell "
                       "INTEGER NOT NULL, raw %1 NOT NULL, thickness DOUBLE "
                       "PRECISION NOT NULL, "
                       "thickness_mm DOUBLE PRECISION NOT NULL, unit TEXT NOT "
                       "NULL, decimals INTEGER NOT "
                       "NULL, los INTEGER NOT NULL, measured_at TEXT, material "
                       "TEXT, velocity INTEGER NOT "
                       "NULL, pep_ident TEXT NOT NULL, pep_serial BIGINT NOT "
                       "NULL, temperature INTEGER NOT "
                       "NULL, PRIMARY KEY (survey_id, cell))")
            .arg(blob),
    };
    if (version > 1)
        statements << QStringLiteral(
            "CREATE INDEX surveys_object_date ON surveys(object_id, survey_date)");
    return statements;
}

// Archives the files one by one; their survey ids in the same order, or an
// empty list (with a warning) when one is refused or already there.
inline QList<qint64> ArchiveEach(CSurveyArchive& archive, const DataFileList& files)
{
    QList<qint64> ids;
    for (const DataFileRecord& f : files)
    {
        const CSurveyArchive::AddResult r = archive.AddSurveys({f}, {}, {});
        if (!r.ok || r.Added() != 1)
        {
            qWarning("%s", qPrintable(r.error));
            return {};
        }
        ids.append(r.surveys.first().surveyId);
    }
    return ids;
}

// The same for an archive location.
inline bool ArchiveEach(const QString& location, const DataFileList& files)
{
    CSurveyArchive archive;
    return archive.Open(location) && ArchiveEach(archive, files).size() == files.size();
}

inline CellRecord Cell(quint8 flags, quint16 intPart, quint8 fracPart, quint16 date = 0x3A8F,
                       quint16 time = 0x0E05, qint8 temperature = 21, quint16 velocity = 5920,
                       const char* pep = "П112", quint32 pepSerial = 123456)
{
    CellRecord c;
    std::memset(&c, 0, sizeof(c));
    c.flags = flags;
    c.intPart = intPart;
    c.fracPart = fracPart;
    c.velocity = velocity;
    CAnsiText::Encode(QString::fromUtf8(pep), c.pepIdent, int(sizeof(c.pepIdent)));
    c.pepSerial = pepSerial;
    c.time = time;
    c.date = date;
    c.temperature = temperature;
    return c;
}

// A data file of `cells` readings whose thickness depends on seed, so that
// files of different seeds differ in content.
inline DataFileRecord File(const QString& name, int cells, int seed = 0, int year = 2026)
{
    DataFileRecord f;
    CAnsiText::Encode(name, f.header.name, int(sizeof(f.header.name)));
    f.header.records = quint8(cells);
    f.header.serialNumber = 26031742;
    f.header.fwVersion = 0x0104003D;
    f.header.audioIndex = 3;
    for (int i = 0; i < cells; ++i)
        f.cells.append(Cell(0x02, quint16(8 + (i + seed) % 5), quint8((i * 7 + seed) % 10),
                            quint16(((year - 2000) << 9) | (4 << 5) | (1 + i % 28)),
                            quint16((10 << 8) | (i % 60))));
    return f;
}

inline QByteArray Bytes(const DataFileRecord& f)
{
    QByteArray b(reinterpret_cast<const char*>(&f.header), int(sizeof(f.header)));
    for (const CellRecord& c : f.cells)
        b.append(reinterpret_cast<const char*>(&c), int(sizeof(c)));
    return b;
}
} // namespace ArchiveTest
