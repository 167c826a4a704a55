#pragma once

#include "archive/CArchiveLocation.h"
#include "data/GaugeRecords.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <limits>

class QSqlQuery;

// The survey archive: every data file the user archived (a survey), grouped
// by object, with its readings. One schema on SQLite (a file, WAL mode) and on
// PostgreSQL (a shared server). Every change is one transaction; values only
// ever reach SQL as bound values. Widget-free: the window, the command line
// and the tests use the same functions.
class CSurveyArchive
{
public:
    // The schema this program writes; an archive of a higher version is
    // refused, a lower one migrated when opened.
    static constexpr int kSchemaVersion = 3;

    CSurveyArchive();
    ~CSurveyArchive();
    CSurveyArchive(const CSurveyArchive&) = delete;
    CSurveyArchive& operator=(const CSurveyArchive&) = delete;

    // Opens (and creates or migrates) the archive; false with ErrorText()
    // when it cannot be used. A server that does not answer is given up
    // after 10 s.
    bool Open(const CArchiveLocation& location);
    bool Open(const QString& locationText);
    void Close();
    bool IsOpen() const { return m_open; }
    const CArchiveLocation& Location() const { return m_location; }
    QString ErrorText() const { return m_error; }

    // Where a survey came from.
    struct Source
    {
        enum Kind
        {
            Download,
            File
        };
        Kind kind = File;
        QString path;      // File: the database or data file
        QDateTime time;    // Download: its moment; File: the file's time
        QString gaugeName; // Download: the gauge's name and serial number
        QString gaugeSerial;
    };

    struct SurveyOutcome
    {
        QString name;            // the data file's name
        bool added = false;      // false: already archived
        qint64 surveyId = 0;     // the new or the existing survey
        QString objectName;      // the object it belongs to
        QString suggestedObject; // an object whose name differs only by a year or date
    };
    struct AddResult
    {
        bool ok = false;
        QString error;
        QList<SurveyOutcome> surveys;
        int Added() const;
        int AlreadyArchived() const;
    };
    // Archives the data files in one transaction: all of them or none.
    // progress(done, total) is told after each data file.
    AddResult AddSurveys(const DataFileList& files, const MaterialList& materials,
                         const Source& source, const std::function<void(int, int)>& progress = {});
    // A .kdb or .kdf file, read as the window reads it.
    AddResult AddFile(const QString& path);

    struct ObjectInfo
    {
        qint64 id = 0;
        QString name;
        int surveys = 0;
        QDate first, last;
    };
    QList<ObjectInfo> Objects();
    // The object whose name matches ignoring case and surrounding blanks.
    bool FindObject(const QString& name, ObjectInfo* object);

    struct SurveyInfo
    {
        qint64 id = 0;
        qint64 objectId = 0;
        QString objectName;
        QString name;
        QDate date;
        QString gaugeName, gaugeSerial;
        quint32 serialNumber = 0, fwVersion = 0;
        int cells = 0, los = 0;
        QString sourceKind; // "download" or "file"
        QString sourcePath;
        QDateTime sourceTime;
    };
    QList<SurveyInfo> Surveys(qint64 objectId);
    bool Survey(qint64 surveyId, SurveyInfo* info);
    // Every survey (of any object) that stands for the given date.
    QList<qint64> SurveysOfDate(const QDate& date);
    // The data file as archived: header and cells byte for byte.
    bool SurveyData(qint64 surveyId, DataFileRecord* file);
    // Every survey of an object with its data, oldest first.
    bool ObjectData(qint64 objectId, QList<SurveyInfo>* infos, DataFileList* files);

    // Changes; false with ErrorText() when refused or failed. An object left
    // without surveys disappears.
    bool MoveSurvey(qint64 surveyId, const QString& objectName);
    bool RenameObject(const QString& oldName, const QString& newName);
    bool MergeObjects(const QString& fromName, const QString& intoName);
    bool RemoveSurvey(qint64 surveyId);

    // What the history of an object is computed with, kept per object: it
    // follows a rename; a merge keeps the target's, or takes the merged
    // object's when the target has none; it goes with the object.
    struct ObjectSettings
    {
        double requiredMm = std::numeric_limits<double>::quiet_NaN(); // NaN: not set
        double nominalMm = std::numeric_limits<double>::quiet_NaN();
        double maxIntervalYears = 10.0;
        QString rateKey = QStringLiteral("max"); // "max", "lt", "st" or "regression"
        bool vesselRule = false;
        bool stored = false; // false: nothing kept yet, the defaults
    };
    // The defaults when the object has none kept; false with ErrorText()
    // when there is no such object or the archive fails.
    bool GetObjectSettings(qint64 objectId, ObjectSettings* settings);
    bool GetObjectSettings(const QString& objectName, ObjectSettings* settings);
    bool SetObjectSettings(qint64 objectId, const ObjectSettings& settings);
    bool SetObjectSettings(const QString& objectName, const ObjectSettings& settings);
    // Marks a reading (a survey's cell) as accepted by the user despite its
    // check, or takes the mark back. The mark follows the survey when it is
    // moved and goes when it is removed. Refused when the survey has no such
    // cell.
    bool SetAccepted(qint64 surveyId, int cell, bool accepted);
    // (survey id, cell) of every accepted reading of the object's surveys.
    bool AcceptedReadings(qint64 objectId, QSet<QPair<qint64, int>>* marks);
    QSet<QPair<qint64, int>> AcceptedReadings(qint64 objectId);

    // The key objects are matched by: case and surrounding blanks ignored.
    static QString ObjectKey(const QString& name);
    // The name without a trailing year or date ("Линия-7 2025" -> "Линия-7").
    static QString StripTrailingDate(const QString& name);
    // Identity of a survey's content: name, header and cells.
    static QString ContentHash(const DataFileRecord& file);
    // The date a survey stands for: its earliest valid cell date.
    static QDate SurveyDate(const DataFileRecord& file);

    // Messages of the program.
    static QString AlreadyArchivedText() { return QStringLiteral("already archived"); }
    static QString AddedText() { return QStringLiteral("added"); }

private:
    QString m_connection;
    CArchiveLocation m_location;
    QString m_error;
    bool m_open = false;
    bool m_sqlite = true;

    QSqlDatabase Db() const;
    bool Begin();
    bool Commit();
    void Rollback();
    bool Fail(const QString& what, const QSqlQuery& query);
    bool Exec(QSqlQuery& q, const QString& what);
    bool PrepareSchema();
    bool CreateSchema();
    bool Migrate(int from);
    bool CreateHistoryTables();
    bool MigrateHistoryV3();
    bool MakeHistoryTables(const QString& what);
    bool MergeObjectSettings(qint64 fromId, qint64 intoId);
    QString Ddl(const QString& text) const;
    qint64 ObjectIdFor(const QString& name, bool create);
    bool DropEmptyObjects();
    bool EndObjectChange(bool ok);
    QString SuggestFor(const QString& name);
};
