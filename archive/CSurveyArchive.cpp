#include "archive/CSurveyArchive.h"

#include "data/CAnsiText.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <libpq-fe.h>
#include <openssl/evp.h>
#include <cstddef>
#include <cstring>
#include <tuple>

namespace
{
QAtomicInt g_connections;

// Data files per batch of statements: one round trip to a server for many
// surveys, well below both engines' limits on bound values.
constexpr int kSurveysPerStatement = 200;

QString NotArchiveText(const QString& where)
{
    return QStringLiteral("Файл '%1' не является архивом Korvalent.").arg(where);
}

QString DamagedText(const QString& where, const QString& why)
{
    return QStringLiteral("Архив Korvalent '%1' повреждён: %2").arg(where, why);
}

QString ReadOnlyText(const QString& where)
{
    return QStringLiteral("Архив Korvalent '%1' доступен только для чтения: архивировать в него "
                          "нельзя.")
        .arg(where);
}

QString UnreachableText(const QString& where, const QString& why)
{
    return QStringLiteral("Не удалось подключиться к архиву Korvalent '%1': %2")
        .arg(where, why.simplified());
}

QString NewerSchemaText(const QString& where, int version)
{
    return QStringLiteral("Архив Korvalent '%1' создан более новой версией программы (версия "
                          "схемы %2, эта программа знает версии до %3). Обновите Korvalent.")
        .arg(where)
        .arg(version)
        .arg(CSurveyArchive::kSchemaVersion);
}

QString NoObjectText(const QString& name)
{
    return QStringLiteral("Объект '%1' не найден в архиве.").arg(name);
}

QString NoSurveyText(qint64 id)
{
    return QStringLiteral("Обследование %1 не найдено в архиве.").arg(id);
}

// A null text would reach SQL as NULL; an absent value is an empty text.
QString Text(const QString& s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

QString DateKey(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QDate CellDate(const CellRecord& c)
{
    return QDate(2000 + (c.date >> 9), (c.date >> 5) & 0x0F, c.date & 0x1F);
}

QByteArray HeaderBytes(const DataFileRecord& f)
{
    return QByteArray(reinterpret_cast<const char*>(&f.header), int(sizeof(f.header)));
}

QString SourceTimeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

// An empty byte array would reach SQL as NULL: no bytes are "".
QByteArray Blob(const QByteArray& bytes)
{
    return bytes.isNull() ? QByteArray("", 0) : bytes;
}

QByteArray CellBytes(const DataFileRecord& f)
{
    if (f.cells.isEmpty())
        return Blob({});
    return QByteArray(reinterpret_cast<const char*>(f.cells.constData()),
                      int(f.cells.size() * qsizetype(sizeof(CellRecord))));
}

// The cells of a survey as kept: one record after the other.
void AppendCells(const QByteArray& bytes, QList<CellRecord>* cells)
{
    const int n = int(bytes.size() / qsizetype(sizeof(CellRecord)));
    if (n == 0)
        return; // a survey without cells: nothing to copy, and no buffer to copy into
    const qsizetype at = cells->size();
    cells->resize(at + n);
    std::memcpy(cells->data() + at, bytes.constData(), size_t(n) * sizeof(CellRecord));
}

// "(?, ?), (?, ?)": rows of bound values.
QString Placeholders(int rows, int columns)
{
    QStringList marks;
    for (int c = 0; c < columns; ++c)
        marks.append(QStringLiteral("?"));
    const QString row = QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    QStringList all;
    for (int r = 0; r < rows; ++r)
        all.append(row);
    return all.join(QStringLiteral(", "));
}

// The tables of the current schema. Types written once for both engines:
// {ID} and {BLOB} differ.
const char* const kSchema[] = {
    "CREATE TABLE korvalent_schema (version INTEGER NOT NULL)",
    "CREATE TABLE objects (id {ID}, name TEXT NOT NULL, name_key TEXT NOT NULL UNIQUE)",
    "CREATE TABLE surveys (id {ID}, object_id BIGINT NOT NULL REFERENCES objects(id), "
    "content_hash TEXT NOT NULL UNIQUE, name TEXT NOT NULL, header {BLOB} NOT NULL, "
    "serial_number BIGINT NOT NULL, fw_version BIGINT NOT NULL, audio_index INTEGER NOT NULL, "
    "records INTEGER NOT NULL, cell_count INTEGER NOT NULL, los_count INTEGER NOT NULL, "
    "gauge_name TEXT NOT NULL, gauge_serial TEXT NOT NULL, source_kind TEXT NOT NULL, "
    "source_path TEXT NOT NULL, source_time TEXT NOT NULL, archived_at TEXT NOT NULL, "
    "survey_date TEXT NOT NULL DEFAULT '')",
    "CREATE INDEX surveys_object_date ON surveys(object_id, survey_date)",
};

// The readings: a survey's cells kept as the gauge sent them, one record
// after the other, so that archiving writes one row per survey. The texts a
// reading needs besides its bytes (its material by the gauge's table at the
// time, its transducer's name in Unicode) are kept beside them; the view
// "readings" gives every reading with its decoded columns.
const char* const kReadingsSchema[] = {
    "CREATE TABLE survey_cells (survey_id {KEY} REFERENCES surveys(id), cells {BLOB} NOT NULL)"
    "{INLINE}",
    "CREATE TABLE survey_materials (survey_id BIGINT NOT NULL REFERENCES surveys(id), "
    "velocity INTEGER NOT NULL, name TEXT NOT NULL, PRIMARY KEY (survey_id, velocity))",
    "CREATE TABLE transducers (ident {BLOB} PRIMARY KEY, name TEXT NOT NULL)",
};

// The view of every reading. Its columns decode the record the way the
// program does: a reading is LOS outside 0.4 … 600 mm (0.02 … 23.62 in),
// counted in hundredths so that no rounding moves a bound.
QString ReadingsView(bool sqlite)
{
    // Byte k (0-based) of the record, and the record's bytes from..from+n-1.
    auto byte = [sqlite](int k)
    {
        if (!sqlite)
            return QStringLiteral("get_byte(d.raw, %1)::bigint").arg(k);
        // No byte function in SQLite: the two hex digits of the byte.
        return QStringLiteral("(instr('123456789ABCDEF', substr(d.hx, %1, 1)) * 16 + "
                              "instr('123456789ABCDEF', substr(d.hx, %2, 1)))")
            .arg(2 * k + 1)
            .arg(2 * k + 2);
    };
    const QString cells =
        sqlite ? QStringLiteral(
                     "SELECT c.survey_id, n.i AS cell, substr(c.cells, n.i * 23 - 22, 23) AS raw, "
                     "hex(substr(c.cells, n.i * 23 - 22, 23)) AS hx FROM survey_cells c JOIN "
                     "(WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < "
                     "(SELECT MAX(length(cells)) / 23 FROM survey_cells)) SELECT i FROM k) n ON "
                     "n.i <= length(c.cells) / 23")
               : QStringLiteral("SELECT c.survey_id, n.i AS cell, substring(c.cells from n.i * "
                                "23 - 22 for 23) AS raw FROM survey_cells c CROSS JOIN LATERAL "
                                "generate_series(1, length(c.cells) / 23) AS n(i)");
    const QString fields =
        QStringLiteral(
            "SELECT d.survey_id, d.cell, d.raw, %1 AS flags, %2 + 256 * %3 AS int_part, %4 AS "
            "frac, %5 + 256 * %6 AS velocity, %7 AS ident, %8 + 256 * %9 + 65536 * %10 + 16777216 "
            "* %11 AS pep_serial, %12 AS minute, %13 AS hour, 2000 + %14 / 2 AS year, (%14 & 1) "
            "* 8 + (%15 >> 5) AS month, %15 & 31 AS day, %16 - CASE WHEN %16 >= 128 THEN 256 ELSE "
            "0 END AS temperature FROM (%17) d")
            .arg(byte(0), byte(1), byte(2), byte(3), byte(4), byte(5),
                 sqlite ? QStringLiteral("substr(d.raw, 7, 8)")
                        : QStringLiteral("substring(d.raw from 7 for 8)"),
                 byte(14), byte(15))
            .arg(byte(16), byte(17), byte(18), byte(19), byte(21), byte(20), byte(22), cells);
    const QString value = QStringLiteral(
        "(b.int_part + CASE (b.flags >> 1) & 3 WHEN 1 THEN b.frac / 10.0 WHEN 2 THEN b.frac / "
        "100.0 ELSE 0.0 END)");
    const QString hundredths =
        QStringLiteral("CASE (b.flags >> 1) & 3 WHEN 1 THEN (b.int_part * 10 + b.frac) * 10 WHEN 2 "
                       "THEN b.int_part * 100 + b.frac ELSE b.int_part * 100 END");
    const QString dateText =
        sqlite ? QStringLiteral("printf('%04d-%02d-%02d', b.year, b.month, b.day)")
               : QStringLiteral("lpad(b.year::text, 4, '0') || '-' || lpad(b.month::text, 2, '0') "
                                "|| '-' || lpad(b.day::text, 2, '0')");
    const QString validDate =
        sqlite ? QStringLiteral("date(%1, '+0 days') = %1").arg(dateText)
               : QStringLiteral("b.month BETWEEN 1 AND 12 AND b.day >= 1 AND b.day <= CASE WHEN "
                                "b.month BETWEEN 1 AND 12 THEN EXTRACT(DAY FROM make_date(b.year::"
                                "int, b.month::int, 1) + interval '1 month' - interval '1 day') "
                                "END");
    const QString timeText =
        sqlite ? QStringLiteral("printf(' %02d:%02d', b.hour, b.minute)")
               : QStringLiteral("' ' || lpad(b.hour::text, 2, '0') || ':' || lpad(b.minute::text, "
                                "2, '0')");
    const QString real = sqlite ? QString() : QStringLiteral("::double precision");
    return QStringLiteral(
               "CREATE VIEW readings AS SELECT b.survey_id, b.cell, b.raw, %1%2 AS thickness, "
               "(%1 * CASE WHEN b.flags & 1 = 1 THEN 25.4 ELSE 1.0 END)%2 AS thickness_mm, CASE "
               "WHEN b.flags & 1 = 1 THEN 'in' ELSE 'mm' END AS unit, (b.flags >> 1) & 3 AS "
               "decimals, CASE WHEN b.flags & 1 = 1 THEN CASE WHEN %3 BETWEEN 2 AND 2362 THEN 0 "
               "ELSE 1 END ELSE CASE WHEN %3 BETWEEN 40 AND 60000 THEN 0 ELSE 1 END END AS los, "
               "CASE WHEN %4 THEN %5 || CASE WHEN b.hour <= 23 AND b.minute <= 59 THEN %6 ELSE '' "
               "END END AS measured_at, m.name AS material, b.velocity, COALESCE(t.name, '') AS "
               "pep_ident, b.pep_serial, b.temperature FROM (%7) b LEFT JOIN survey_materials m "
               "ON m.survey_id = b.survey_id AND m.velocity = b.velocity LEFT JOIN transducers t "
               "ON t.ident = b.ident")
        .arg(value, real, hundredths, validDate, dateText, timeText, fields);
}
} // namespace

int CSurveyArchive::AddResult::Added() const
{
    return int(std::count_if(surveys.begin(), surveys.end(),
                             [](const SurveyOutcome& s) { return s.added; }));
}

int CSurveyArchive::AddResult::AlreadyArchived() const
{
    return int(surveys.size()) - Added();
}

CSurveyArchive::CSurveyArchive()
    : m_connection(QStringLiteral("korvalent-archive-%1").arg(g_connections.fetchAndAddRelaxed(1)))
{
}

CSurveyArchive::~CSurveyArchive()
{
    Close();
}

QSqlDatabase CSurveyArchive::Db() const
{
    return QSqlDatabase::database(m_connection, false);
}

void CSurveyArchive::Close()
{
    if (QSqlDatabase::contains(m_connection))
    {
        {
            QSqlDatabase db = Db();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

bool CSurveyArchive::Open(const QString& locationText)
{
    CArchiveLocation location;
    if (!CArchiveLocation::Parse(locationText, &location, &m_error))
        return false;
    return Open(location);
}

bool CSurveyArchive::Open(const CArchiveLocation& location)
{
    Close();
    m_location = location;
    m_error.clear();
    const QString where = location.DisplayText();
    m_sqlite = !location.IsServer();
    const QString driver = m_sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver))
    {
        m_error = QStringLiteral("Драйвер базы данных %1 не установлен: архив '%2' недоступен.")
                      .arg(driver, where);
        return false;
    }

    if (m_sqlite)
    {
        // SQLite would take any file and fail only at the first statement;
        // a file that is not SQLite's is told at once.
        const QFileInfo info(location.filePath);
        if (info.exists() && !info.isFile())
        {
            m_error = NotArchiveText(where);
            return false;
        }
        if (info.exists() && info.size() > 0)
        {
            QFile file(location.filePath);
            if (!file.open(QIODevice::ReadOnly))
            {
                m_error = QStringLiteral("Не удалось открыть архив Korvalent '%1'.").arg(where);
                return false;
            }
            if (file.read(16) != QByteArray("SQLite format 3\0", 16))
            {
                m_error = NotArchiveText(where);
                return false;
            }
        }
        QDir().mkpath(info.absolutePath());
        // The journal beside the file needs the folder too.
        if ((info.exists() && !info.isWritable()) || !QFileInfo(info.absolutePath()).isWritable())
        {
            m_error = ReadOnlyText(where);
            return false;
        }
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connection);
        if (m_sqlite)
        {
            db.setDatabaseName(location.filePath);
            // Another program archiving into the same file holds the write
            // lock for a moment: wait for it rather than fail.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
        else
        {
            db.setDatabaseName(location.database);
            if (!location.host.isEmpty())
                db.setHostName(location.host);
            if (location.port > 0)
                db.setPort(location.port);
            if (!location.user.isEmpty())
                db.setUserName(location.user);
            if (!location.password.isEmpty())
                db.setPassword(location.password);
            db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        }
        if (!db.open())
        {
            const QString why = db.lastError().databaseText().isEmpty()
                                    ? db.lastError().text()
                                    : db.lastError().databaseText();
            m_error = m_sqlite ? DamagedText(where, why) : UnreachableText(where, why);
            db = QSqlDatabase();
            Close();
            return false;
        }
    }

    if (m_sqlite)
    {
        QSqlQuery q(Db());
        // Another program's database is left exactly as it is: looked at
        // before the journal mode (written into the file) is changed.
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        {
            m_error = DamagedText(where, q.lastError().databaseText());
            q = QSqlQuery();
            Close();
            return false;
        }
        bool any = false, ours = false;
        while (q.next())
        {
            any = true;
            ours = ours || q.value(0).toString().toLower() == QLatin1String("korvalent_schema");
        }
        q.finish();
        if (any && !ours)
        {
            m_error = NotArchiveText(where);
            q = QSqlQuery();
            Close();
            return false;
        }
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next())
        {
            m_error = DamagedText(where, q.lastError().databaseText());
            q = QSqlQuery();
            Close();
            return false;
        }
        // An archiving told as done is on the disk: the journal is flushed at
        // every commit (one flush per archiving, whatever its size).
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    if (!PrepareSchema())
    {
        Close();
        return false;
    }
    m_open = true;
    return true;
}

QString CSurveyArchive::Ddl(const QString& text) const
{
    QString t = text;
    t.replace(QLatin1String("{ID}"), m_sqlite ? QLatin1String("INTEGER PRIMARY KEY")
                                              : QLatin1String("BIGSERIAL PRIMARY KEY"));
    t.replace(QLatin1String("{BLOB}"), m_sqlite ? QLatin1String("BLOB") : QLatin1String("BYTEA"));
    // SQLite: the key is the row id itself, one tree instead of two.
    // PostgreSQL: a survey's cells (about 6 KB) kept in its row, neither
    // compressed nor moved aside; that costs the server more than the rest
    // of the archiving.
    t.replace(QLatin1String("{INLINE}"),
              m_sqlite ? QLatin1String("") : QLatin1String(" WITH (toast_tuple_target = 8160)"));
    t.replace(QLatin1String("{KEY}"), m_sqlite ? QLatin1String("INTEGER PRIMARY KEY")
                                               : QLatin1String("BIGINT PRIMARY KEY"));
    return t;
}

bool CSurveyArchive::Fail(const QString& what, const QSqlQuery& query)
{
    const QSqlError e = query.lastError();
    const QString why = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    m_error = QStringLiteral("Ошибка архива Korvalent '%1' (%2): %3")
                  .arg(m_location.DisplayText(), what, why.trimmed());
    return false;
}

bool CSurveyArchive::Exec(QSqlQuery& q, const QString& what)
{
    return q.exec() || Fail(what, q);
}

bool CSurveyArchive::Begin()
{
    QSqlQuery q(Db());
    // IMMEDIATE: the write lock is taken at once, so a second writer waits
    // (busy timeout) instead of failing when it upgrades a read.
    if (!q.exec(m_sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
        return Fail(QStringLiteral("начало транзакции"), q);
    return true;
}

bool CSurveyArchive::Commit()
{
    QSqlQuery q(Db());
    if (!q.exec(QStringLiteral("COMMIT")))
    {
        Fail(QStringLiteral("завершение транзакции"), q);
        Rollback();
        return false;
    }
    return true;
}

void CSurveyArchive::Rollback()
{
    QSqlQuery q(Db());
    q.exec(QStringLiteral("ROLLBACK"));
}

bool CSurveyArchive::PrepareSchema()
{
    const QString where = m_location.DisplayText();
    QSqlQuery q(Db());
    if (!Begin())
    {
        // The first statement on a damaged file fails here.
        if (m_sqlite)
            m_error = DamagedText(where, q.lastError().databaseText().isEmpty()
                                             ? m_error
                                             : q.lastError().databaseText());
        else
            m_error = UnreachableText(where, m_error);
        return false;
    }
    // Two programs making a new archive on one server at once: one waits.
    if (!m_sqlite && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(792531)")))
    {
        Fail(QStringLiteral("блокировка схемы"), q);
        Rollback();
        return false;
    }
    const QString tablesSql =
        m_sqlite ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")
                 : QStringLiteral("SELECT table_name FROM information_schema.tables "
                                  "WHERE table_schema = current_schema()");
    if (!q.exec(tablesSql))
    {
        const QString why = q.lastError().databaseText();
        q = QSqlQuery();
        Rollback();
        m_error = DamagedText(where, why);
        return false;
    }
    QStringList tables;
    while (q.next())
        tables.append(q.value(0).toString().toLower());
    q.finish();

    bool ok = true;
    if (tables.contains(QStringLiteral("korvalent_schema")))
    {
        if (!q.exec(QStringLiteral("SELECT MAX(version) FROM korvalent_schema")) || !q.next())
        {
            const QString why = q.lastError().databaseText();
            q = QSqlQuery();
            Rollback();
            m_error = DamagedText(where, why);
            return false;
        }
        const int version = q.value(0).toInt();
        q.finish();
        if (version > kSchemaVersion)
        {
            Rollback();
            m_error = NewerSchemaText(where, version);
            return false;
        }
        if (version < 1)
        {
            Rollback();
            m_error =
                DamagedText(where, QStringLiteral("неизвестная версия схемы %1").arg(version));
            return false;
        }
        if (version < kSchemaVersion)
            ok = Migrate(version);
    }
    else if (!tables.isEmpty())
    {
        Rollback();
        m_error = NotArchiveText(where);
        return false;
    }
    else
        ok = CreateSchema();
    if (!ok)
    {
        Rollback();
        return false;
    }
    return Commit();
}

bool CSurveyArchive::CreateSchema()
{
    QSqlQuery q(Db());
    for (const char* statement : kSchema)
        if (!q.exec(Ddl(QString::fromLatin1(statement))))
            return Fail(QStringLiteral("создание схемы"), q);
    if (!CreateReadingsTables() || !CreateReadingsView() || !CreateHistoryTables())
        return false;
    q.prepare(QStringLiteral("INSERT INTO korvalent_schema (version) VALUES (?)"));
    q.addBindValue(kSchemaVersion);
    return Exec(q, QStringLiteral("создание схемы"));
}

bool CSurveyArchive::Migrate(int from)
{
    QSqlQuery q(Db());
    if (from == 1)
    {
        // Version 2 keeps the date each survey stands for, so that an
        // object's list and its history need not read every reading.
        const QStringList steps = {
            QStringLiteral("ALTER TABLE surveys ADD COLUMN survey_date TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("UPDATE surveys SET survey_date = COALESCE((SELECT "
                           "MIN(substr(r.measured_at, 1, 10)) FROM readings r WHERE r.survey_id = "
                           "surveys.id AND r.measured_at IS NOT NULL), substr(surveys.source_time, "
                           "1, 10))"),
            QStringLiteral("CREATE INDEX surveys_object_date ON surveys(object_id, survey_date)"),
        };
        for (const QString& s : steps)
            if (!q.exec(s))
                return Fail(QStringLiteral("обновление схемы 1 → 2"), q);
    }
    if (from < 3 && (!MigrateReadingsV3() || !MigrateHistoryV3()))
        return false;
    q.prepare(QStringLiteral("UPDATE korvalent_schema SET version = ?"));
    q.addBindValue(kSchemaVersion);
    return Exec(q, QStringLiteral("обновление схемы"));
}

bool CSurveyArchive::CreateReadingsTables()
{
    QSqlQuery q(Db());
    for (const char* statement : kReadingsSchema)
        if (!q.exec(Ddl(QString::fromLatin1(statement))))
            return Fail(QStringLiteral("создание схемы"), q);
    return true;
}

bool CSurveyArchive::CreateReadingsView()
{
    QSqlQuery q(Db());
    return q.exec(ReadingsView(m_sqlite)) || Fail(QStringLiteral("создание схемы"), q);
}

// Version 3 keeps a survey's cells in one row: the table of readings
// becomes the view of the same name, with the same columns.
bool CSurveyArchive::MigrateReadingsV3()
{
    const QString what = QStringLiteral("обновление схемы 2 → 3");
    if (!CreateReadingsTables())
        return false;
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    QSqlQuery cells(Db());
    cells.prepare(QStringLiteral("INSERT INTO survey_cells (survey_id, cells) VALUES (?, ?)"));
    QHash<QByteArray, QString> transducers;
    auto store = [&](qint64 survey, const QByteArray& bytes)
    {
        cells.addBindValue(survey);
        cells.addBindValue(Blob(bytes));
        return Exec(cells, what);
    };
    if (!q.exec(QStringLiteral("SELECT survey_id, raw, pep_ident FROM readings ORDER BY "
                               "survey_id, cell")))
        return Fail(what, q);
    // Read whole before anything is written: a server's rows come as they
    // are read, on the same connection.
    QList<QPair<qint64, QByteArray>> surveys;
    while (q.next())
    {
        const qint64 id = q.value(0).toLongLong();
        if (surveys.isEmpty() || surveys.last().first != id)
            surveys.append({id, QByteArray()});
        const QByteArray raw = q.value(1).toByteArray();
        // A record of another size was never read back: left out.
        if (raw.size() != int(sizeof(CellRecord)))
            continue;
        surveys.last().second += raw;
        transducers.insert(raw.mid(offsetof(CellRecord, pepIdent), sizeof(CellRecord::pepIdent)),
                           q.value(2).toString());
    }
    q.finish();
    for (const auto& survey : surveys)
        if (!store(survey.first, survey.second))
            return false;
    QSqlQuery names(Db());
    names.prepare(QStringLiteral("INSERT INTO transducers (ident, name) VALUES (?, ?)"));
    for (auto it = transducers.cbegin(); it != transducers.cend(); ++it)
    {
        names.addBindValue(it.key());
        names.addBindValue(Text(it.value()));
        if (!Exec(names, what))
            return false;
    }
    const QStringList steps = {
        QStringLiteral("INSERT INTO survey_materials (survey_id, velocity, name) SELECT "
                       "survey_id, velocity, MIN(material) FROM readings WHERE material IS NOT "
                       "NULL GROUP BY survey_id, velocity"),
        QStringLiteral("DROP TABLE readings"),
    };
    for (const QString& s : steps)
        if (!q.exec(s))
            return Fail(what, q);
    return CreateReadingsView();
}

QString CSurveyArchive::ObjectKey(const QString& name)
{
    return name.trimmed().toCaseFolded();
}

QString CSurveyArchive::StripTrailingDate(const QString& name)
{
    static const QRegularExpression trailing(
        QStringLiteral("^(.*?)[\\s_.\\-]*(?:(?:19|20)\\d{2}(?:[.\\-]\\d{1,2}(?:[.\\-]\\d{1,2})?)?|"
                       "\\d{1,2}[.\\-]\\d{1,2}[.\\-](?:(?:19|20)\\d{2}|\\d{2}))$"));
    const QString t = name.trimmed();
    const QRegularExpressionMatch m = trailing.match(t);
    if (!m.hasMatch() || m.captured(1).trimmed().isEmpty())
        return t;
    return m.captured(1).trimmed();
}

QString CSurveyArchive::ContentHash(const DataFileRecord& file)
{
    // SHA-256 by the system's crypto library: it uses the processor's hash
    // instructions, many times faster over a large database.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok = context && sha256 && EVP_DigestInit_ex(context, sha256, nullptr) == 1 &&
                    EVP_DigestUpdate(context, &file.header, sizeof(file.header)) == 1 &&
                    (file.cells.isEmpty() ||
                     EVP_DigestUpdate(context, file.cells.constData(),
                                      size_t(file.cells.size()) * sizeof(CellRecord)) == 1) &&
                    EVP_DigestFinal_ex(context, digest, &size) == 1;
    EVP_MD_CTX_free(context);
    if (ok)
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(digest), int(size)).toHex());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(HeaderBytes(file));
    hash.addData(CellBytes(file));
    return QString::fromLatin1(hash.result().toHex());
}

QDate CSurveyArchive::SurveyDate(const DataFileRecord& file)
{
    QDate first;
    for (const CellRecord& c : file.cells)
    {
        const QDate d = CellDate(c);
        if (d.isValid() && (!first.isValid() || d < first))
            first = d;
    }
    return first;
}

qint64 CSurveyArchive::ObjectIdFor(const QString& name, bool create)
{
    const QString key = ObjectKey(name);
    QSqlQuery q(Db());
    if (create)
    {
        // Two programs may make the same object at once: the second one's
        // insert does nothing and both find the one row.
        q.prepare(QStringLiteral("INSERT INTO objects (name, name_key) VALUES (?, ?) "
                                 "ON CONFLICT (name_key) DO NOTHING"));
        q.addBindValue(name.trimmed());
        q.addBindValue(key);
        if (!Exec(q, QStringLiteral("объект")))
            return -1;
    }
    q.prepare(QStringLiteral("SELECT id FROM objects WHERE name_key = ?"));
    q.addBindValue(key);
    if (!Exec(q, QStringLiteral("объект")))
        return -1;
    if (!q.next())
    {
        m_error = NoObjectText(name);
        return 0;
    }
    return q.value(0).toLongLong();
}

// A statement on the server with its values bound: texts, or bytes as they
// are where the format is 1. The result is the caller's; null with the
// error told when the statement failed.
pg_conn* CSurveyArchive::PgConnection()
{
    if (m_sqlite)
        return nullptr;
    const QVariant handle = Db().driver()->handle();
    // The type is known by its struct's name or by libpq's alias.
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn* const*>(handle.constData());
    return nullptr;
}

pg_result* CSurveyArchive::ExecPg(pg_conn* pg, const QByteArray& sql,
                                  const QList<QByteArray>& values, const QList<int>& formats,
                                  const QString& what)
{
    QList<const char*> pointers;
    QList<int> lengths;
    for (const QByteArray& v : values)
    {
        pointers.append(v.constData());
        lengths.append(int(v.size()));
    }
    PGresult* r = PQexecParams(pg, sql.constData(), int(values.size()), nullptr,
                               pointers.constData(), lengths.constData(), formats.constData(), 0);
    const ExecStatusType status = PQresultStatus(r);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return r;
    m_error = QStringLiteral("Ошибка архива Korvalent '%1' (%2): %3")
                  .arg(m_location.DisplayText(), what,
                       QString::fromUtf8(PQresultErrorMessage(r)).simplified());
    PQclear(r);
    return nullptr;
}

namespace
{
// The objects of the archive as one archiving sees them: read once, with the
// ones it makes added as it goes.
struct ObjectEntry
{
    qint64 id = 0;
    QString name;
    QString strippedKey; // filled when first needed
    bool stripped = false;
};
} // namespace

CSurveyArchive::AddResult CSurveyArchive::AddSurveys(const DataFileList& files,
                                                     const MaterialList& materials,
                                                     const Source& source,
                                                     const std::function<void(int, int)>& progress)
{
    AddResult result;
    if (!m_open)
    {
        result.error = m_error.isEmpty() ? QStringLiteral("Архив Korvalent не открыт.") : m_error;
        return result;
    }
    if (!Begin())
    {
        result.error = m_error;
        return result;
    }
    const QString kind =
        source.kind == Source::Download ? QStringLiteral("download") : QStringLiteral("file");
    const QString archivedAt = SourceTimeText(QDateTime::currentDateTime());
    const QString sourceTime = SourceTimeText(source.time);
    const int total = int(files.size());

    // PostgreSQL: statements go through libpq on the connection's own handle
    // with the values bound apart, bytes as they are; Qt would write every
    // value into the statement's text and the server would read it back, at
    // a cost larger than all the rest of the archiving. SQLite: Qt's
    // statements, each prepared once.
    PGconn* pg = PgConnection();
    QHash<QString, QSqlQuery*> statements;
    using Rows = QList<QVariantList>;
    auto run = [&](const QString& sql, const QVariantList& values, Rows* rows,
                   const QString& what) -> bool
    {
        if (pg)
        {
            QByteArray text;
            int n = 0;
            for (const QChar ch : sql)
                text += ch == QLatin1Char('?') ? '$' + QByteArray::number(++n)
                                               : QByteArray(1, char(ch.unicode()));
            QList<QByteArray> bound;
            QList<int> formats;
            for (const QVariant& v : values)
            {
                const bool bytes = v.metaType().id() == QMetaType::QByteArray;
                bound.append(bytes ? v.toByteArray() : v.toString().toUtf8());
                formats.append(bytes ? 1 : 0);
            }
            PGresult* r = ExecPg(pg, text, bound, formats, what);
            if (!r)
                return false;
            for (int row = 0; rows && row < PQntuples(r); ++row)
            {
                QVariantList line;
                for (int c = 0; c < PQnfields(r); ++c)
                    line.append(PQgetisnull(r, row, c)
                                    ? QVariant()
                                    : QVariant(QString::fromUtf8(PQgetvalue(r, row, c))));
                rows->append(line);
            }
            PQclear(r);
            return true;
        }
        QSqlQuery*& q = statements[sql];
        if (!q)
        {
            q = new QSqlQuery(Db());
            q->setForwardOnly(true);
            q->prepare(sql);
        }
        for (const QVariant& v : values)
            q->addBindValue(v);
        if (!Exec(*q, what))
            return false;
        while (rows && q->next())
        {
            QVariantList line;
            for (int c = 0; c < q->record().count(); ++c)
                line.append(q->value(c));
            rows->append(line);
        }
        q->finish();
        return true;
    };
    // A server is sent all rows of a kind at once; SQLite, in this process,
    // runs one short statement per row.
    const int perStatement = m_sqlite ? 1 : kSurveysPerStatement;

    bool ok = true;
    // Every object, by key, in the order made.
    QHash<QString, int> objectIndex;
    QList<ObjectEntry> objects;
    {
        Rows rows;
        ok = run(QStringLiteral("SELECT id, name, name_key FROM objects ORDER BY id"), {}, &rows,
                 QStringLiteral("объекты"));
        for (const QVariantList& row : rows)
        {
            ObjectEntry e;
            e.id = row.at(0).toLongLong();
            e.name = row.at(1).toString();
            objectIndex.insert(row.at(2).toString(), int(objects.size()));
            objects.append(e);
        }
    }
    // An object whose name differs from the new one's only by a year or a
    // date: the shortest such name, the one without a year when there is one.
    auto suggestFor = [&](const QString& name)
    {
        const QString key = ObjectKey(name);
        const QString stripped = ObjectKey(StripTrailingDate(name));
        QString suggestion;
        for (ObjectEntry& e : objects)
        {
            if (!e.stripped)
            {
                e.strippedKey = ObjectKey(StripTrailingDate(e.name));
                e.stripped = true;
            }
            if (e.strippedKey == stripped && ObjectKey(e.name) != key &&
                (suggestion.isEmpty() || e.name.size() < suggestion.size()))
                suggestion = e.name;
        }
        return suggestion;
    };

    QHash<QString, int> seen; // content hash -> index of the outcome that has it
    QSet<quint64> transducerIdents;
    QList<QPair<QByteArray, QString>> transducers;
    bool madeObjects = false, lostToAnother = false;
    for (int first = 0; ok && first < total; first += kSurveysPerStatement)
    {
        const int end = qMin(total, first + kSurveysPerStatement);
        QStringList hashes(end - first);
        for (int i = first; i < end; ++i)
        {
            SurveyOutcome outcome;
            outcome.name = CDataStorage::FileName(files.at(i));
            hashes[i - first] = ContentHash(files.at(i));
            result.surveys.append(outcome);
        }

        // Which of them the archive holds already.
        QHash<QString, QPair<qint64, QString>> archived;
        {
            Rows rows;
            QVariantList values;
            for (const QString& h : hashes)
                values.append(h);
            ok = run(QStringLiteral("SELECT s.content_hash, s.id, o.name FROM surveys s JOIN "
                                    "objects o ON o.id = s.object_id WHERE s.content_hash IN (%1)")
                         .arg(Placeholders(1, int(hashes.size())).mid(1).chopped(1)),
                     values, &rows, QStringLiteral("поиск обследования"));
            for (const QVariantList& row : rows)
                archived.insert(row.at(0).toString(),
                                {row.at(1).toLongLong(), row.at(2).toString()});
        }

        // The new ones, each with its object; objects not there yet are made.
        QList<int> fresh;           // indexes of the files to add
        QList<QString> objectKeyOf; // per fresh file
        QVariantList newObjects;    // name, key
        for (int i = first; ok && i < end; ++i)
        {
            SurveyOutcome& outcome = result.surveys[i];
            const QString& hash = hashes.at(i - first);
            const auto there = archived.constFind(hash);
            if (there != archived.cend())
            {
                outcome.surveyId = there->first;
                outcome.objectName = there->second;
                continue;
            }
            if (seen.contains(hash))
                continue; // the same data twice in one archiving: filled in below
            seen.insert(hash, i);
            QString objectName = outcome.name.trimmed();
            if (objectName.isEmpty())
                objectName = QStringLiteral("Без имени");
            const QString key = ObjectKey(objectName);
            if (!objectIndex.contains(key))
            {
                outcome.suggestedObject = suggestFor(objectName);
                ObjectEntry e;
                e.name = objectName;
                objectIndex.insert(key, int(objects.size()));
                objects.append(e);
                newObjects << objectName << key;
            }
            outcome.objectName = objects.at(objectIndex.value(key)).name;
            fresh.append(i);
            objectKeyOf.append(key);
        }
        if (ok && !newObjects.isEmpty())
        {
            // Two programs may make the same object at once: the second one's
            // insert does nothing and both find the one row.
            const int count = int(newObjects.size() / 2);
            Rows made;
            ok = run(QStringLiteral("INSERT INTO objects (name, name_key) VALUES %1 ON CONFLICT "
                                    "(name_key) DO NOTHING RETURNING id, name, name_key")
                         .arg(Placeholders(count, 2)),
                     newObjects, &made, QStringLiteral("объект"));
            madeObjects = madeObjects || !made.isEmpty();
            // Those another program made meanwhile are looked up.
            QSet<QString> missing;
            for (int n = 1; n < newObjects.size(); n += 2)
                missing.insert(newObjects.at(n).toString());
            for (const QVariantList& row : made)
                missing.remove(row.at(2).toString());
            if (ok && !missing.isEmpty())
            {
                QVariantList keys;
                for (const QString& key : missing)
                    keys.append(key);
                ok = run(QStringLiteral("SELECT id, name, name_key FROM objects WHERE name_key "
                                        "IN (%1)")
                             .arg(Placeholders(1, int(keys.size())).mid(1).chopped(1)),
                         keys, &made, QStringLiteral("объект"));
            }
            for (const QVariantList& row : made)
            {
                ObjectEntry& e = objects[objectIndex.value(row.at(2).toString())];
                e.id = row.at(0).toLongLong();
                e.name = row.at(1).toString();
            }
        }

        // The surveys, then their cells and the texts their readings need.
        for (int at = 0; ok && at < fresh.size(); at += perStatement)
        {
            const int rows = int(qMin<qsizetype>(perStatement, fresh.size() - at));
            QVariantList values;
            for (int f = at; f < at + rows; ++f)
            {
                const int i = fresh.at(f);
                const DataFileRecord& file = files.at(i);
                const ObjectEntry& object = objects.at(objectIndex.value(objectKeyOf.at(f)));
                int los = 0;
                for (const CellRecord& c : file.cells)
                    los += CCellDecoder::IsLos(c) ? 1 : 0;
                const QDate date = SurveyDate(file);
                values << object.id << hashes.at(i - first) << Text(result.surveys.at(i).name)
                       << HeaderBytes(file) << qint64(file.header.serialNumber)
                       << qint64(file.header.fwVersion) << int(file.header.audioIndex)
                       << int(file.header.records) << int(file.cells.size()) << los
                       << Text(source.gaugeName) << Text(source.gaugeSerial) << kind
                       << Text(source.path) << Text(sourceTime) << Text(archivedAt)
                       << Text(date.isValid() ? DateKey(date) : sourceTime.left(10));
            }
            Rows added;
            ok =
                run(QStringLiteral("INSERT INTO surveys (object_id, content_hash, name, header, "
                                   "serial_number, fw_version, audio_index, records, cell_count, "
                                   "los_count, gauge_name, gauge_serial, source_kind, source_path, "
                                   "source_time, archived_at, survey_date) VALUES %1 ON CONFLICT "
                                   "(content_hash) DO NOTHING RETURNING id, content_hash")
                        .arg(Placeholders(rows, 17)),
                    values, &added, QStringLiteral("запись обследования"));
            // A survey missing from the answer was archived by another
            // program since the look-up above.
            for (const QVariantList& row : added)
            {
                SurveyOutcome& outcome = result.surveys[seen.value(row.at(1).toString())];
                outcome.surveyId = row.at(0).toLongLong();
                outcome.added = true;
            }
            lostToAnother = lostToAnother || added.size() < rows;
        }
        QList<int> added;
        for (int i : fresh)
            if (result.surveys.at(i).added)
                added.append(i);
        for (int at = 0; ok && at < added.size(); at += perStatement)
        {
            const int rows = int(qMin<qsizetype>(perStatement, added.size() - at));
            QVariantList values;
            for (int n = at; n < at + rows; ++n)
                values << result.surveys.at(added.at(n)).surveyId
                       << CellBytes(files.at(added.at(n)));
            ok = run(QStringLiteral("INSERT INTO survey_cells (survey_id, cells) VALUES %1")
                         .arg(Placeholders(rows, 2)),
                     values, nullptr, QStringLiteral("запись показаний"));
        }
        // A reading's material: the gauge's table entry of its velocity.
        QVariantList named;
        for (int i : added)
        {
            QSet<quint16> velocities;
            for (const CellRecord& c : files.at(i).cells)
            {
                quint64 key = 0;
                static_assert(sizeof(key) == sizeof(c.pepIdent), "eight bytes of a name");
                std::memcpy(&key, c.pepIdent, sizeof(key));
                if (!transducerIdents.contains(key))
                {
                    transducerIdents.insert(key);
                    transducers.append(
                        {QByteArray(c.pepIdent, int(sizeof(c.pepIdent))),
                         Text(CAnsiText::Decode(c.pepIdent, int(sizeof(c.pepIdent))))});
                }
                // A copy: the record is packed, its field may sit on an odd address.
                const quint16 velocity = c.velocity;
                if (materials.isEmpty() || velocities.contains(velocity))
                    continue;
                velocities.insert(velocity);
                for (const MaterialRecord& m : materials)
                    if (m.velocity == velocity)
                    {
                        named << result.surveys.at(i).surveyId << int(velocity)
                              << Text(CAnsiText::Decode(m.name, int(sizeof(m.name))));
                        break;
                    }
            }
        }
        for (int at = 0; ok && at < named.size() / 3; at += perStatement)
        {
            const int rows = int(qMin<qsizetype>(perStatement, named.size() / 3 - at));
            ok = run(QStringLiteral("INSERT INTO survey_materials (survey_id, velocity, name) "
                                    "VALUES %1")
                         .arg(Placeholders(rows, 3)),
                     named.mid(at * 3, rows * 3), nullptr, QStringLiteral("запись показаний"));
        }
        // A second copy within this archiving is the first one's survey.
        for (int i = first; i < end; ++i)
        {
            SurveyOutcome& outcome = result.surveys[i];
            const int original = seen.value(hashes.at(i - first), i);
            if (original != i && !outcome.surveyId)
            {
                outcome.surveyId = result.surveys.at(original).surveyId;
                outcome.objectName = result.surveys.at(original).objectName;
            }
        }
        for (int i = first; ok && progress && i < end; ++i)
            progress(i + 1, total);
    }
    // The names of the transducers, kept once for the whole archive.
    for (int at = 0; ok && at < transducers.size(); at += perStatement)
    {
        const int rows = int(qMin<qsizetype>(perStatement, transducers.size() - at));
        QVariantList values;
        for (int r = at; r < at + rows; ++r)
            values << transducers.at(r).first << transducers.at(r).second;
        ok = run(QStringLiteral("INSERT INTO transducers (ident, name) VALUES %1 ON CONFLICT "
                                "(ident) DO NOTHING")
                     .arg(Placeholders(rows, 2)),
                 values, nullptr, QStringLiteral("запись показаний"));
    }
    qDeleteAll(statements);
    statements.clear();
    // An object made for a survey another program archived first stays
    // without surveys: it goes.
    if (ok && madeObjects && lostToAnother)
        ok = DropEmptyObjects();
    if (!ok)
    {
        Rollback();
        result.error = m_error;
        result.surveys.clear();
        return result;
    }
    if (!Commit())
    {
        result.error = m_error;
        result.surveys.clear();
        return result;
    }
    result.ok = true;
    return result;
}

CSurveyArchive::AddResult CSurveyArchive::AddFile(const QString& path)
{
    bool dataFile = false;
    const CDataStorage::LoadResult loaded = CDataStorage::LoadEitherKind(path, &dataFile);
    if (!loaded.Succeeded())
    {
        AddResult r;
        switch (loaded.status)
        {
        case CDataStorage::LoadResult::OpenFailed:
            r.error = QStringLiteral("Не удалось открыть для чтения файл '%1'.")
                          .arg(QDir::toNativeSeparators(path));
            break;
        case CDataStorage::LoadResult::WrongKind:
            r.error = QStringLiteral("Файл '%1' не является базой данных или файлом данных "
                                     "Korvalent.")
                          .arg(QDir::toNativeSeparators(path));
            break;
        default:
            r.error = QStringLiteral("Не возможно обработать файл '%1': %2")
                          .arg(QDir::toNativeSeparators(path), loaded.parserError);
        }
        return r;
    }
    Source source;
    source.kind = Source::File;
    source.path = QFileInfo(path).absoluteFilePath();
    source.time = QFileInfo(path).lastModified();
    return AddSurveys(loaded.files, {}, source);
}

bool CSurveyArchive::FindObject(const QString& name, ObjectInfo* object)
{
    *object = ObjectInfo{};
    if (!m_open)
        return false;
    QSqlQuery q(Db());
    q.prepare(QStringLiteral("SELECT id, name FROM objects WHERE name_key = ?"));
    q.addBindValue(ObjectKey(name));
    if (!Exec(q, QStringLiteral("объект")) || !q.next())
        return false;
    object->id = q.value(0).toLongLong();
    object->name = q.value(1).toString();
    return true;
}

QList<CSurveyArchive::ObjectInfo> CSurveyArchive::Objects()
{
    QList<ObjectInfo> list;
    if (!m_open)
        return list;
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT o.id, o.name, COUNT(s.id), MIN(s.survey_date), "
                               "MAX(s.survey_date) FROM objects o LEFT JOIN surveys s ON "
                               "s.object_id = o.id GROUP BY o.id, o.name")))
    {
        Fail(QStringLiteral("список объектов"), q);
        return list;
    }
    while (q.next())
    {
        ObjectInfo o;
        o.id = q.value(0).toLongLong();
        o.name = q.value(1).toString();
        o.surveys = q.value(2).toInt();
        o.first = QDate::fromString(q.value(3).toString(), QStringLiteral("yyyy-MM-dd"));
        o.last = QDate::fromString(q.value(4).toString(), QStringLiteral("yyyy-MM-dd"));
        list.append(o);
    }
    // Sorted here: the two engines' collations differ.
    std::sort(list.begin(), list.end(),
              [](const ObjectInfo& a, const ObjectInfo& b)
              {
                  const int c = a.name.compare(b.name, Qt::CaseInsensitive);
                  return c != 0 ? c < 0 : a.id < b.id;
              });
    return list;
}

namespace
{
const char* const kSurveyColumns =
    "SELECT s.id, s.object_id, o.name, s.name, s.survey_date, s.gauge_name, s.gauge_serial, "
    "s.serial_number, s.fw_version, s.cell_count, s.los_count, s.source_kind, s.source_path, "
    "s.source_time FROM surveys s JOIN objects o ON o.id = s.object_id ";

CSurveyArchive::SurveyInfo ReadSurveyInfo(const QSqlQuery& q)
{
    CSurveyArchive::SurveyInfo s;
    s.id = q.value(0).toLongLong();
    s.objectId = q.value(1).toLongLong();
    s.objectName = q.value(2).toString();
    s.name = q.value(3).toString();
    s.date = QDate::fromString(q.value(4).toString(), QStringLiteral("yyyy-MM-dd"));
    s.gaugeName = q.value(5).toString();
    s.gaugeSerial = q.value(6).toString();
    s.serialNumber = quint32(q.value(7).toLongLong());
    s.fwVersion = quint32(q.value(8).toLongLong());
    s.cells = q.value(9).toInt();
    s.los = q.value(10).toInt();
    s.sourceKind = q.value(11).toString();
    s.sourcePath = q.value(12).toString();
    s.sourceTime = QDateTime::fromString(q.value(13).toString(), Qt::ISODate);
    return s;
}
} // namespace

QList<CSurveyArchive::SurveyInfo> CSurveyArchive::Surveys(qint64 objectId)
{
    QList<SurveyInfo> list;
    if (!m_open)
        return list;
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    q.prepare(QString::fromLatin1(kSurveyColumns) +
              QStringLiteral("WHERE s.object_id = ? ORDER BY s.survey_date, s.id"));
    q.addBindValue(objectId);
    if (!Exec(q, QStringLiteral("список обследований")))
        return list;
    while (q.next())
        list.append(ReadSurveyInfo(q));
    return list;
}

bool CSurveyArchive::Survey(qint64 surveyId, SurveyInfo* info)
{
    if (!m_open)
        return false;
    QSqlQuery q(Db());
    q.prepare(QString::fromLatin1(kSurveyColumns) + QStringLiteral("WHERE s.id = ?"));
    q.addBindValue(surveyId);
    if (!Exec(q, QStringLiteral("обследование")))
        return false;
    if (!q.next())
    {
        m_error = NoSurveyText(surveyId);
        return false;
    }
    *info = ReadSurveyInfo(q);
    return true;
}

QList<qint64> CSurveyArchive::SurveysOfDate(const QDate& date)
{
    QList<qint64> ids;
    if (!m_open)
        return ids;
    QSqlQuery q(Db());
    q.prepare(QStringLiteral("SELECT id FROM surveys WHERE survey_date = ? ORDER BY id"));
    q.addBindValue(DateKey(date));
    if (!Exec(q, QStringLiteral("обследования за дату")))
        return ids;
    while (q.next())
        ids.append(q.value(0).toLongLong());
    return ids;
}

bool CSurveyArchive::SurveyData(qint64 surveyId, DataFileRecord* file)
{
    *file = DataFileRecord();
    if (!m_open)
        return false;
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT header FROM surveys WHERE id = ?"));
    q.addBindValue(surveyId);
    if (!Exec(q, QStringLiteral("обследование")))
        return false;
    if (!q.next())
    {
        m_error = NoSurveyText(surveyId);
        return false;
    }
    const QByteArray header = q.value(0).toByteArray();
    if (header.size() != int(sizeof(file->header)))
    {
        m_error = DamagedText(m_location.DisplayText(),
                              QStringLiteral("заголовок обследования %1").arg(surveyId));
        return false;
    }
    std::memcpy(&file->header, header.constData(), sizeof(file->header));
    q.prepare(QStringLiteral("SELECT cells FROM survey_cells WHERE survey_id = ?"));
    q.addBindValue(surveyId);
    if (!Exec(q, QStringLiteral("показания")))
        return false;
    if (q.next())
        AppendCells(q.value(0).toByteArray(), &file->cells);
    return true;
}

bool CSurveyArchive::ObjectData(qint64 objectId, QList<SurveyInfo>* infos, DataFileList* files)
{
    infos->clear();
    files->clear();
    *infos = Surveys(objectId);
    if (!m_open)
        return false;
    QHash<qint64, int> index;
    for (int i = 0; i < infos->size(); ++i)
        index.insert(infos->at(i).id, i);
    files->resize(infos->size());
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT s.id, s.header, c.cells FROM surveys s LEFT JOIN "
                             "survey_cells c ON c.survey_id = s.id WHERE s.object_id = ?"));
    q.addBindValue(objectId);
    if (!Exec(q, QStringLiteral("обследования")))
        return false;
    while (q.next())
    {
        const QByteArray header = q.value(1).toByteArray();
        const int i = index.value(q.value(0).toLongLong(), -1);
        if (i < 0)
            continue;
        if (header.size() == int(sizeof(DataFileHeader)))
            std::memcpy(&(*files)[i].header, header.constData(), sizeof(DataFileHeader));
        AppendCells(q.value(2).toByteArray(), &(*files)[i].cells);
    }
    return true;
}

bool CSurveyArchive::DropEmptyObjects()
{
    QSqlQuery q(Db());
    return q.exec(QStringLiteral("DELETE FROM objects WHERE NOT EXISTS (SELECT 1 FROM surveys s "
                                 "WHERE s.object_id = objects.id)")) ||
           Fail(QStringLiteral("удаление пустых объектов"), q);
}

// The end of a change to objects or surveys: an object left without surveys
// goes, and the whole change is kept or none of it.
bool CSurveyArchive::EndObjectChange(bool ok)
{
    if (ok)
        ok = DropEmptyObjects();
    if (!ok)
    {
        Rollback();
        return false;
    }
    return Commit();
}

bool CSurveyArchive::MoveSurvey(qint64 surveyId, const QString& objectName)
{
    if (!m_open || !Begin())
        return false;
    bool ok = false;
    {
        const qint64 objectId = ObjectIdFor(objectName, true);
        QSqlQuery q(Db());
        if (objectId > 0)
        {
            q.prepare(QStringLiteral("UPDATE surveys SET object_id = ? WHERE id = ?"));
            q.addBindValue(objectId);
            q.addBindValue(surveyId);
            ok = Exec(q, QStringLiteral("перенос обследования"));
            if (ok && q.numRowsAffected() != 1)
            {
                m_error = NoSurveyText(surveyId);
                ok = false;
            }
        }
    }
    return EndObjectChange(ok);
}

bool CSurveyArchive::RenameObject(const QString& oldName, const QString& newName)
{
    if (!m_open)
        return false;
    if (newName.trimmed().isEmpty())
    {
        m_error = QStringLiteral("Имя объекта не может быть пустым.");
        return false;
    }
    if (!Begin())
        return false;
    bool ok = false;
    {
        ObjectInfo from, to;
        if (!FindObject(oldName, &from))
            m_error = NoObjectText(oldName);
        else if (FindObject(newName, &to) && to.id != from.id)
            m_error =
                QStringLiteral("Объект '%1' уже есть в архиве: объедините объекты.").arg(to.name);
        else
        {
            QSqlQuery q(Db());
            q.prepare(QStringLiteral("UPDATE objects SET name = ?, name_key = ? WHERE id = ?"));
            q.addBindValue(newName.trimmed());
            q.addBindValue(ObjectKey(newName));
            q.addBindValue(from.id);
            ok = Exec(q, QStringLiteral("переименование объекта"));
        }
    }
    if (!ok)
    {
        Rollback();
        return false;
    }
    return Commit();
}

bool CSurveyArchive::MergeObjects(const QString& fromName, const QString& intoName)
{
    if (!m_open || !Begin())
        return false;
    bool ok = false;
    {
        ObjectInfo from;
        if (!FindObject(fromName, &from))
            m_error = NoObjectText(fromName);
        else if (ObjectKey(fromName) == ObjectKey(intoName))
            m_error = QStringLiteral("Объект нельзя объединить с самим собой.");
        else
        {
            const qint64 into = ObjectIdFor(intoName, true);
            QSqlQuery q(Db());
            if (into > 0)
            {
                q.prepare(QStringLiteral("UPDATE surveys SET object_id = ? WHERE object_id = ?"));
                q.addBindValue(into);
                q.addBindValue(from.id);
                ok = Exec(q, QStringLiteral("объединение объектов"));
            }
            if (ok)
                ok = MergeObjectSettings(from.id, into);
            if (ok)
            {
                q.prepare(QStringLiteral("DELETE FROM objects WHERE id = ?"));
                q.addBindValue(from.id);
                ok = Exec(q, QStringLiteral("объединение объектов"));
            }
        }
    }
    if (!ok)
    {
        Rollback();
        return false;
    }
    return Commit();
}

bool CSurveyArchive::RemoveSurvey(qint64 surveyId)
{
    if (!m_open || !Begin())
        return false;
    bool ok = false;
    {
        QSqlQuery q(Db());
        for (const char* table : {"survey_materials", "survey_cells"})
        {
            q.prepare(
                QStringLiteral("DELETE FROM %1 WHERE survey_id = ?").arg(QLatin1String(table)));
            q.addBindValue(surveyId);
            ok = Exec(q, QStringLiteral("удаление обследования"));
            if (!ok)
                break;
        }
        if (ok)
        {
            q.prepare(QStringLiteral("DELETE FROM surveys WHERE id = ?"));
            q.addBindValue(surveyId);
            ok = Exec(q, QStringLiteral("удаление обследования"));
            if (ok && q.numRowsAffected() != 1)
            {
                m_error = NoSurveyText(surveyId);
                ok = false;
            }
        }
    }
    return EndObjectChange(ok);
}
