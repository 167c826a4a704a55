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
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace
{
QAtomicInt g_connections;

// Rows per INSERT of readings: one round trip to a server for many cells,
// well below both engines' limits on bound values.
constexpr int kReadingsPerStatement = 64;
constexpr int kReadingColumns = 14;

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

QVariant NullText()
{
    return QVariant(QMetaType(QMetaType::QString));
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

// Date and time of a cell for the readings table; null when the date is
// impossible, the date alone when only the time is.
QVariant MeasuredAt(const CellRecord& c)
{
    const QDate date = CellDate(c);
    if (!date.isValid())
        return NullText();
    const int hour = c.time >> 8, minute = c.time & 0xFF;
    if (hour > 23 || minute > 59)
        return DateKey(date);
    return DateKey(date) + QStringLiteral(" %1:%2")
                               .arg(hour, 2, 10, QLatin1Char('0'))
                               .arg(minute, 2, 10, QLatin1Char('0'));
}

QVariant MaterialOf(const CellRecord& c, const MaterialList& materials)
{
    for (const MaterialRecord& m : materials)
        if (m.velocity == c.velocity)
            return CAnsiText::Decode(m.name, int(sizeof(m.name)));
    return NullText();
}

QByteArray HeaderBytes(const DataFileRecord& f)
{
    return QByteArray(reinterpret_cast<const char*>(&f.header), int(sizeof(f.header)));
}

QString SourceTimeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

// A text for PostgreSQL's COPY (text format): backslash, tab and line
// breaks escaped.
void AppendCopyText(QByteArray& line, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    for (char ch : utf8)
    {
        switch (ch)
        {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += ch;
        }
    }
}

// A value for COPY: \\N for NULL, else the escaped text.
void AppendCopyValue(QByteArray& line, const QVariant& value)
{
    if (value.isNull())
        line += "\\N";
    else
        AppendCopyText(line, value.toString());
}

// The decoded columns of one reading.
struct ReadingValues
{
    double thickness = 0, mm = 0;
    const char* unit = "mm";
    int decimals = 0, los = 0;
    QVariant at, material;
    QString pep;
};

// Decodes readings; the texts a survey repeats (its transducer, its
// moments) are made once per archiving.
class ReadingTexts
{
public:
    ReadingValues Of(const CellRecord& c, const MaterialList& materials)
    {
        ReadingValues v;
        const float value = CCellDecoder::Value(c);
        const bool inches = CCellDecoder::IsInches(c);
        v.thickness = double(value);
        v.mm = inches ? double(value) * 25.4 : double(value);
        v.unit = inches ? "in" : "mm";
        v.decimals = CCellDecoder::Decimals(c);
        v.los = CCellDecoder::IsLos(c) ? 1 : 0;
        const quint32 moment = (quint32(c.date) << 16) | c.time;
        auto at = m_moments.find(moment);
        if (at == m_moments.end())
            at = m_moments.insert(moment, MeasuredAt(c));
        v.at = at.value();
        v.material = MaterialOf(c, materials);
        const QByteArray pep(c.pepIdent, int(sizeof(c.pepIdent)));
        auto ident = m_pep.find(pep);
        if (ident == m_pep.end())
            ident = m_pep.insert(pep, Text(CAnsiText::Decode(c.pepIdent, int(sizeof(c.pepIdent)))));
        v.pep = ident.value();
        return v;
    }

private:
    QHash<QByteArray, QString> m_pep;
    QHash<quint32, QVariant> m_moments;
};

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
    "CREATE TABLE readings (survey_id BIGINT NOT NULL REFERENCES surveys(id), "
    "cell INTEGER NOT NULL, raw {BLOB} NOT NULL, thickness DOUBLE PRECISION NOT NULL, "
    "thickness_mm DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL, decimals INTEGER NOT NULL, "
    "los INTEGER NOT NULL, measured_at TEXT, material TEXT, velocity INTEGER NOT NULL, "
    "pep_ident TEXT NOT NULL, pep_serial BIGINT NOT NULL, temperature INTEGER NOT NULL, "
    "PRIMARY KEY (survey_id, cell))",
};
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
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
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
    if (!CreateHistoryTables())
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
    if (from < 3 && !MigrateHistoryV3())
        return false;
    q.prepare(QStringLiteral("UPDATE korvalent_schema SET version = ?"));
    q.addBindValue(kSchemaVersion);
    return Exec(q, QStringLiteral("обновление схемы"));
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
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(HeaderBytes(file));
    for (const CellRecord& c : file.cells)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&c), int(sizeof(c))));
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

QString CSurveyArchive::SuggestFor(const QString& name)
{
    const QString stripped = ObjectKey(StripTrailingDate(name));
    QSqlQuery q(Db());
    if (!q.exec(QStringLiteral("SELECT name FROM objects")))
        return {};
    QString suggestion;
    while (q.next())
    {
        const QString other = q.value(0).toString();
        if (ObjectKey(other) != ObjectKey(name) && ObjectKey(StripTrailingDate(other)) == stripped)
        {
            // The shortest such name: the one without a year, when there is one.
            if (suggestion.isEmpty() || other.size() < suggestion.size())
                suggestion = other;
        }
    }
    return suggestion;
}

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

    QSqlQuery find(Db());
    find.prepare(QStringLiteral("SELECT s.id, o.name FROM surveys s JOIN objects o ON o.id = "
                                "s.object_id WHERE s.content_hash = ?"));
    QSqlQuery insert(Db());
    insert.prepare(QStringLiteral(
        "INSERT INTO surveys (object_id, content_hash, name, header, serial_number, fw_version, "
        "audio_index, records, cell_count, los_count, gauge_name, gauge_serial, source_kind, "
        "source_path, source_time, archived_at, survey_date) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (content_hash) DO NOTHING RETURNING id"));
    // One statement for a full chunk of readings and one for the rest.
    auto readingsSql = [](int rows)
    {
        QString values = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        QStringList all;
        for (int i = 0; i < rows; ++i)
            all.append(values);
        return QStringLiteral("INSERT INTO readings (survey_id, cell, raw, thickness, "
                              "thickness_mm, unit, decimals, los, measured_at, material, "
                              "velocity, pep_ident, pep_serial, temperature) VALUES ") +
               all.join(QStringLiteral(", "));
    };
    ReadingTexts texts;
    // SQLite: readings go through the engine's own statement, one row at a
    // time; Qt's binding costs more per value than SQLite's insert itself.
    sqlite3* lite = nullptr;
    sqlite3_stmt* liteInsert = nullptr;
    if (m_sqlite)
    {
        const QVariant handle = Db().driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            lite = *static_cast<sqlite3* const*>(handle.constData());
        if (lite && sqlite3_prepare_v2(lite, readingsSql(1).toUtf8().constData(), -1, &liteInsert,
                                       nullptr) != SQLITE_OK)
            liteInsert = nullptr;
    }
    // PostgreSQL: readings go in by COPY on the connection's own handle, one
    // stream per survey, inside the same transaction.
    PGconn* pg = nullptr;
    if (!m_sqlite)
    {
        const QVariant handle = Db().driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "PGconn*") == 0)
            pg = *static_cast<PGconn* const*>(handle.constData());
    }
    QSqlQuery chunk(Db());
    if (!liteInsert && !pg)
        chunk.prepare(readingsSql(kReadingsPerStatement));
    QHash<int, QSqlQuery*> tails;
    auto cleanup = [&tails]
    {
        qDeleteAll(tails);
        tails.clear();
    };

    bool ok = true;
    for (int i = 0; ok && i < files.size(); ++i)
    {
        const DataFileRecord& file = files.at(i);
        SurveyOutcome outcome;
        outcome.name = CDataStorage::FileName(file);
        const QString hash = ContentHash(file);
        find.addBindValue(hash);
        if (!(ok = Exec(find, QStringLiteral("поиск обследования"))))
            break;
        if (find.next())
        {
            outcome.surveyId = find.value(0).toLongLong();
            outcome.objectName = find.value(1).toString();
            find.finish();
            result.surveys.append(outcome);
            if (progress)
                progress(i + 1, int(files.size()));
            continue;
        }
        find.finish();

        QString objectName = outcome.name.trimmed();
        if (objectName.isEmpty())
            objectName = QStringLiteral("Без имени");
        ObjectInfo existing;
        if (!FindObject(objectName, &existing))
            outcome.suggestedObject = SuggestFor(objectName);
        const qint64 objectId = ObjectIdFor(objectName, true);
        if (!(ok = objectId > 0))
            break;
        outcome.objectName = existing.id ? existing.name : objectName;

        int los = 0;
        for (const CellRecord& c : file.cells)
            los += CCellDecoder::IsLos(c) ? 1 : 0;
        const QDate date = SurveyDate(file);
        insert.addBindValue(objectId);
        insert.addBindValue(hash);
        insert.addBindValue(Text(outcome.name));
        insert.addBindValue(HeaderBytes(file));
        insert.addBindValue(qint64(file.header.serialNumber));
        insert.addBindValue(qint64(file.header.fwVersion));
        insert.addBindValue(int(file.header.audioIndex));
        insert.addBindValue(int(file.header.records));
        insert.addBindValue(int(file.cells.size()));
        insert.addBindValue(los);
        insert.addBindValue(Text(source.gaugeName));
        insert.addBindValue(Text(source.gaugeSerial));
        insert.addBindValue(kind);
        insert.addBindValue(Text(source.path));
        insert.addBindValue(Text(sourceTime));
        insert.addBindValue(Text(archivedAt));
        insert.addBindValue(Text(date.isValid() ? DateKey(date) : sourceTime.left(10)));
        if (!(ok = Exec(insert, QStringLiteral("запись обследования"))))
            break;
        if (!insert.next())
        {
            // Archived by another program since the look-up above.
            insert.finish();
            outcome.surveyId = 0;
            result.surveys.append(outcome);
            continue;
        }
        const qint64 surveyId = insert.value(0).toLongLong();
        insert.finish();
        outcome.added = true;
        outcome.surveyId = surveyId;

        for (int n = 0; liteInsert && ok && n < file.cells.size(); ++n)
        {
            const CellRecord& c = file.cells.at(n);
            const ReadingValues v = texts.Of(c, materials);
            const QByteArray at = v.at.toString().toUtf8();
            const QByteArray material = v.material.toString().toUtf8();
            const QByteArray pep = v.pep.toUtf8();
            sqlite3_stmt* st = liteInsert;
            sqlite3_bind_int64(st, 1, surveyId);
            sqlite3_bind_int(st, 2, n + 1);
            sqlite3_bind_blob(st, 3, &c, int(sizeof(CellRecord)), SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 4, v.thickness);
            sqlite3_bind_double(st, 5, v.mm);
            sqlite3_bind_text(st, 6, v.unit, 2, SQLITE_STATIC);
            sqlite3_bind_int(st, 7, v.decimals);
            sqlite3_bind_int(st, 8, v.los);
            if (v.at.isNull())
                sqlite3_bind_null(st, 9);
            else
                sqlite3_bind_text(st, 9, at.constData(), int(at.size()), SQLITE_TRANSIENT);
            if (v.material.isNull())
                sqlite3_bind_null(st, 10);
            else
                sqlite3_bind_text(st, 10, material.constData(), int(material.size()),
                                  SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 11, int(c.velocity));
            sqlite3_bind_text(st, 12, pep.constData(), int(pep.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 13, qint64(c.pepSerial));
            sqlite3_bind_int(st, 14, int(c.temperature));
            if (sqlite3_step(st) != SQLITE_DONE)
            {
                m_error =
                    QStringLiteral("Ошибка архива Korvalent '%1' (запись показаний): %2")
                        .arg(m_location.DisplayText(), QString::fromUtf8(sqlite3_errmsg(lite)));
                ok = false;
            }
            sqlite3_reset(st);
        }
        if (pg && ok && !file.cells.isEmpty())
        {
            QByteArray data;
            data.reserve(int(file.cells.size()) * 160);
            for (int n = 0; n < file.cells.size(); ++n)
            {
                const CellRecord& c = file.cells.at(n);
                const ReadingValues v = texts.Of(c, materials);
                data += QByteArray::number(surveyId) + '\t' + QByteArray::number(n + 1) +
                        "\t\\\\x" +
                        QByteArray(reinterpret_cast<const char*>(&c), int(sizeof(c))).toHex() +
                        '\t' + QByteArray::number(v.thickness, 'g', 17) + '\t' +
                        QByteArray::number(v.mm, 'g', 17) + '\t' + v.unit + '\t' +
                        QByteArray::number(v.decimals) + '\t' + QByteArray::number(v.los) + '\t';
                AppendCopyValue(data, v.at);
                data += '\t';
                AppendCopyValue(data, v.material);
                data += '\t' + QByteArray::number(int(c.velocity)) + '\t';
                AppendCopyValue(data, v.pep);
                data += '\t' + QByteArray::number(qint64(c.pepSerial)) + '\t' +
                        QByteArray::number(int(c.temperature)) + '\n';
            }
            PGresult* started = PQexec(pg, "COPY readings (survey_id, cell, raw, thickness, "
                                           "thickness_mm, unit, decimals, los, measured_at, "
                                           "material, velocity, pep_ident, pep_serial, "
                                           "temperature) FROM STDIN");
            ok = PQresultStatus(started) == PGRES_COPY_IN;
            PQclear(started);
            if (ok)
                ok = PQputCopyData(pg, data.constData(), int(data.size())) == 1;
            ok = PQputCopyEnd(pg, ok ? nullptr : "failed") == 1 && ok;
            while (PGresult* done = PQgetResult(pg))
            {
                if (PQresultStatus(done) != PGRES_COMMAND_OK)
                    ok = false;
                PQclear(done);
            }
            if (!ok)
                m_error = QStringLiteral("Ошибка архива Korvalent '%1' (запись показаний): %2")
                              .arg(m_location.DisplayText(),
                                   QString::fromUtf8(PQerrorMessage(pg)).simplified());
        }
        for (int first = 0; !liteInsert && !pg && ok && first < file.cells.size();
             first += kReadingsPerStatement)
        {
            const int rows = int(qMin<qsizetype>(kReadingsPerStatement, file.cells.size() - first));
            QSqlQuery* q = &chunk;
            if (rows != kReadingsPerStatement)
            {
                if (!tails.contains(rows))
                {
                    auto* tail = new QSqlQuery(Db());
                    tail->prepare(readingsSql(rows));
                    tails.insert(rows, tail);
                }
                q = tails.value(rows);
            }
            for (int r = 0; r < rows; ++r)
            {
                const CellRecord& c = file.cells.at(first + r);
                const ReadingValues v = texts.Of(c, materials);
                q->addBindValue(surveyId);
                q->addBindValue(first + r + 1);
                q->addBindValue(
                    QByteArray(reinterpret_cast<const char*>(&c), int(sizeof(CellRecord))));
                q->addBindValue(v.thickness);
                q->addBindValue(v.mm);
                q->addBindValue(QString::fromLatin1(v.unit));
                q->addBindValue(v.decimals);
                q->addBindValue(v.los);
                q->addBindValue(v.at);
                q->addBindValue(v.material);
                q->addBindValue(int(c.velocity));
                q->addBindValue(v.pep);
                q->addBindValue(qint64(c.pepSerial));
                q->addBindValue(int(c.temperature));
            }
            ok = Exec(*q, QStringLiteral("запись показаний"));
        }
        result.surveys.append(outcome);
        if (ok && progress)
            progress(i + 1, int(files.size()));
    }
    if (liteInsert)
        sqlite3_finalize(liteInsert);
    find = QSqlQuery();
    insert = QSqlQuery();
    chunk = QSqlQuery();
    cleanup();
    if (ok)
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
    q.prepare(QStringLiteral("SELECT raw FROM readings WHERE survey_id = ? ORDER BY cell"));
    q.addBindValue(surveyId);
    if (!Exec(q, QStringLiteral("показания")))
        return false;
    while (q.next())
    {
        const QByteArray raw = q.value(0).toByteArray();
        CellRecord c;
        if (raw.size() != int(sizeof(c)))
            continue;
        std::memcpy(&c, raw.constData(), sizeof(c));
        file->cells.append(c);
    }
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
    q.prepare(QStringLiteral("SELECT id, header FROM surveys WHERE object_id = ?"));
    q.addBindValue(objectId);
    if (!Exec(q, QStringLiteral("обследования")))
        return false;
    while (q.next())
    {
        const QByteArray header = q.value(1).toByteArray();
        const int i = index.value(q.value(0).toLongLong(), -1);
        if (i >= 0 && header.size() == int(sizeof(DataFileHeader)))
            std::memcpy(&(*files)[i].header, header.constData(), sizeof(DataFileHeader));
    }
    // Survey by survey along the readings' key: a plan that stays the same
    // however many readings the archive holds or how fresh its statistics are.
    q.prepare(QStringLiteral("SELECT raw FROM readings WHERE survey_id = ? ORDER BY cell"));
    for (int i = 0; i < infos->size(); ++i)
    {
        q.addBindValue(infos->at(i).id);
        if (!Exec(q, QStringLiteral("показания")))
            return false;
        while (q.next())
        {
            const QByteArray raw = q.value(0).toByteArray();
            if (raw.size() != int(sizeof(CellRecord)))
                continue;
            CellRecord c;
            std::memcpy(&c, raw.constData(), sizeof(c));
            (*files)[i].cells.append(c);
        }
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
        q.prepare(QStringLiteral("DELETE FROM readings WHERE survey_id = ?"));
        q.addBindValue(surveyId);
        ok = Exec(q, QStringLiteral("удаление обследования"));
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
