// The archive's part for the history of objects: settings kept per object
// and the readings the user accepted despite their checks.

#include "archive/CSurveyArchive.h"

#include <QSqlQuery>
#include <QVariant>
#include <cmath>

namespace
{
// Settings go with their object, marks with their survey, whichever way
// the object or the survey goes: the server deletes them along; SQLite, which
// does not enforce references, by its triggers (a removed survey's id may be
// given to the next one, which must not find its marks).
const char* const kHistorySchema[] = {
    "CREATE TABLE object_settings (object_id BIGINT PRIMARY KEY REFERENCES objects(id) ON "
    "DELETE CASCADE, required_mm DOUBLE PRECISION, nominal_mm DOUBLE PRECISION, "
    "max_interval_years DOUBLE PRECISION NOT NULL, rate_kind TEXT NOT NULL, "
    "vessel_rule INTEGER NOT NULL)",
    "CREATE TABLE accepted_readings (survey_id BIGINT NOT NULL REFERENCES surveys(id) ON DELETE "
    "CASCADE, cell INTEGER NOT NULL, PRIMARY KEY (survey_id, cell))",
};
const char* const kHistoryTriggersSqlite[] = {
    "CREATE TRIGGER object_settings_gone AFTER DELETE ON objects BEGIN DELETE FROM "
    "object_settings WHERE object_id = OLD.id; END",
    "CREATE TRIGGER accepted_readings_gone AFTER DELETE ON surveys BEGIN DELETE FROM "
    "accepted_readings WHERE survey_id = OLD.id; END",
};

QString NoObjectText(const QString& name)
{
    return QStringLiteral("Объект '%1' не найден в архиве.").arg(name);
}

QString NoObjectIdText(qint64 id)
{
    return QStringLiteral("Объект %1 не найден в архиве.").arg(id);
}

QString NoSurveyText(qint64 id)
{
    return QStringLiteral("Обследование %1 не найдено в архиве.").arg(id);
}

QVariant Thickness(double mm)
{
    return std::isnan(mm) ? QVariant(QMetaType(QMetaType::Double)) : QVariant(mm);
}

double ThicknessOf(const QVariant& v)
{
    return v.isNull() ? std::numeric_limits<double>::quiet_NaN() : v.toDouble();
}

bool KnownRateKey(const QString& key)
{
    return key == QLatin1String("max") || key == QLatin1String("lt") ||
           key == QLatin1String("st") || key == QLatin1String("regression");
}
} // namespace

bool CSurveyArchive::CreateHistoryTables()
{
    return MakeHistoryTables(QStringLiteral("создание схемы"));
}

bool CSurveyArchive::MigrateHistoryV3()
{
    // Version 3 adds the tables; nothing already archived changes.
    return MakeHistoryTables(QStringLiteral("обновление схемы 2 → 3"));
}

bool CSurveyArchive::MakeHistoryTables(const QString& what)
{
    QSqlQuery q(Db());
    for (const char* statement : kHistorySchema)
        if (!q.exec(Ddl(QString::fromLatin1(statement))))
            return Fail(what, q);
    if (m_sqlite)
        for (const char* statement : kHistoryTriggersSqlite)
            if (!q.exec(QString::fromLatin1(statement)))
                return Fail(what, q);
    return true;
}

bool CSurveyArchive::MergeObjectSettings(qint64 fromId, qint64 intoId)
{
    // The target keeps its own settings; it takes the merged object's only
    // when it has none.
    QSqlQuery q(Db());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM object_settings WHERE object_id = ?"));
    q.addBindValue(intoId);
    if (!Exec(q, QStringLiteral("объединение объектов")) || !q.next())
        return false;
    const bool intoHasOwn = q.value(0).toInt() > 0;
    q.finish();
    if (intoHasOwn)
        q.prepare(QStringLiteral("DELETE FROM object_settings WHERE object_id = ?"));
    else
    {
        q.prepare(QStringLiteral("UPDATE object_settings SET object_id = ? WHERE object_id = ?"));
        q.addBindValue(intoId);
    }
    q.addBindValue(fromId);
    return Exec(q, QStringLiteral("объединение объектов"));
}

bool CSurveyArchive::GetObjectSettings(qint64 objectId, ObjectSettings* settings)
{
    *settings = ObjectSettings{};
    if (!m_open)
        return false;
    QSqlQuery q(Db());
    q.prepare(QStringLiteral("SELECT o.id, s.required_mm, s.nominal_mm, s.max_interval_years, "
                             "s.rate_kind, s.vessel_rule FROM objects o LEFT JOIN object_settings "
                             "s ON s.object_id = o.id WHERE o.id = ?"));
    q.addBindValue(objectId);
    if (!Exec(q, QStringLiteral("настройки объекта")))
        return false;
    if (!q.next())
    {
        m_error = NoObjectIdText(objectId);
        return false;
    }
    if (q.value(3).isNull())
        return true; // nothing kept: the defaults
    settings->stored = true;
    settings->requiredMm = ThicknessOf(q.value(1));
    settings->nominalMm = ThicknessOf(q.value(2));
    settings->maxIntervalYears = q.value(3).toDouble();
    const QString key = q.value(4).toString();
    // A kind a later program may know is read as the default.
    settings->rateKey = KnownRateKey(key) ? key : QStringLiteral("max");
    settings->vesselRule = q.value(5).toInt() != 0;
    return true;
}

bool CSurveyArchive::GetObjectSettings(const QString& objectName, ObjectSettings* settings)
{
    *settings = ObjectSettings{};
    if (!m_open)
        return false;
    ObjectInfo object;
    if (!FindObject(objectName, &object))
    {
        m_error = NoObjectText(objectName);
        return false;
    }
    return GetObjectSettings(object.id, settings);
}

bool CSurveyArchive::SetObjectSettings(qint64 objectId, const ObjectSettings& settings)
{
    if (!m_open)
        return false;
    if (!(settings.maxIntervalYears > 0.0) || std::isinf(settings.maxIntervalYears))
    {
        m_error = QStringLiteral("Максимальный интервал контроля должен быть больше нуля.");
        return false;
    }
    for (double mm : {settings.requiredMm, settings.nominalMm})
        if (!std::isnan(mm) && !(mm > 0.0 && std::isfinite(mm)))
        {
            m_error = QStringLiteral("Толщина должна быть больше нуля.");
            return false;
        }
    if (!KnownRateKey(settings.rateKey))
    {
        m_error = QStringLiteral("Неизвестный вид скорости коррозии '%1'.").arg(settings.rateKey);
        return false;
    }
    if (!Begin())
        return false;
    bool ok = false;
    {
        QSqlQuery q(Db());
        q.prepare(QStringLiteral("SELECT COUNT(*) FROM objects WHERE id = ?"));
        q.addBindValue(objectId);
        if (Exec(q, QStringLiteral("настройки объекта")) && q.next())
        {
            if (q.value(0).toInt() == 0)
                m_error = NoObjectIdText(objectId);
            else
            {
                q.finish();
                q.prepare(QStringLiteral(
                    "INSERT INTO object_settings (object_id, required_mm, nominal_mm, "
                    "max_interval_years, rate_kind, vessel_rule) VALUES (?, ?, ?, ?, ?, ?) "
                    "ON CONFLICT (object_id) DO UPDATE SET required_mm = excluded.required_mm, "
                    "nominal_mm = excluded.nominal_mm, max_interval_years = "
                    "excluded.max_interval_years, rate_kind = excluded.rate_kind, vessel_rule = "
                    "excluded.vessel_rule"));
                q.addBindValue(objectId);
                q.addBindValue(Thickness(settings.requiredMm));
                q.addBindValue(Thickness(settings.nominalMm));
                q.addBindValue(settings.maxIntervalYears);
                q.addBindValue(settings.rateKey);
                q.addBindValue(settings.vesselRule ? 1 : 0);
                ok = Exec(q, QStringLiteral("настройки объекта"));
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

bool CSurveyArchive::SetObjectSettings(const QString& objectName, const ObjectSettings& settings)
{
    if (!m_open)
        return false;
    ObjectInfo object;
    if (!FindObject(objectName, &object))
    {
        m_error = NoObjectText(objectName);
        return false;
    }
    return SetObjectSettings(object.id, settings);
}

bool CSurveyArchive::SetAccepted(qint64 surveyId, int cell, bool accepted)
{
    if (!m_open || !Begin())
        return false;
    bool ok = false;
    {
        QSqlQuery q(Db());
        q.prepare(QStringLiteral("SELECT cell_count FROM surveys WHERE id = ?"));
        q.addBindValue(surveyId);
        if (Exec(q, QStringLiteral("отметка показания")))
        {
            if (!q.next())
                m_error = NoSurveyText(surveyId);
            else if (cell < 1 || cell > q.value(0).toInt())
                m_error =
                    QStringLiteral("В обследовании %1 нет ячейки %2.").arg(surveyId).arg(cell);
            else
            {
                q.finish();
                // Marking twice, or taking back a mark that is not there,
                // changes nothing.
                q.prepare(accepted
                              ? QStringLiteral("INSERT INTO accepted_readings (survey_id, cell) "
                                               "VALUES (?, ?) ON CONFLICT DO NOTHING")
                              : QStringLiteral("DELETE FROM accepted_readings WHERE survey_id = "
                                               "? AND cell = ?"));
                q.addBindValue(surveyId);
                q.addBindValue(cell);
                ok = Exec(q, QStringLiteral("отметка показания"));
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

bool CSurveyArchive::AcceptedReadings(qint64 objectId, QSet<QPair<qint64, int>>* marks)
{
    marks->clear();
    if (!m_open)
        return false;
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT a.survey_id, a.cell FROM accepted_readings a JOIN surveys s "
                             "ON s.id = a.survey_id WHERE s.object_id = ?"));
    q.addBindValue(objectId);
    if (!Exec(q, QStringLiteral("отметки показаний")))
        return false;
    while (q.next())
        marks->insert(qMakePair(q.value(0).toLongLong(), q.value(1).toInt()));
    return true;
}

QSet<QPair<qint64, int>> CSurveyArchive::AcceptedReadings(qint64 objectId)
{
    QSet<QPair<qint64, int>> marks;
    AcceptedReadings(objectId, &marks);
    return marks;
}
