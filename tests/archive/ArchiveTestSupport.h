#pragma once

#include "archive/CArchiveLocation.h"
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

inline void AddEngineRows(const char* suffix = "")
{
    QTest::newRow(qPrintable(QStringLiteral("sqlite%1").arg(QLatin1String(suffix))))
        << QStringLiteral("sqlite");
    QTest::newRow(qPrintable(QStringLiteral("postgresql%1").arg(QLatin1String(suffix))))
        << QStringLiteral("postgresql");
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
