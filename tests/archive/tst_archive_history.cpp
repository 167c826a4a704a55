#include "analysis/CObjectHistory.h"
#include "archive/CDemoArchive.h"
#include "archive/CSurveyArchive.h"
#include "data/CDataStorage.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/archive/ArchiveTestSupport.h"

#include <cmath>

using namespace ArchiveTest;

// What the archive keeps for the history of objects, on both engines: the
// schema update from the previous version, settings per object and accepted
// readings following the changes to objects and surveys, and the history
// read back from the archive.
class TestArchiveHistory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static DataFileRecord Survey(const QString& name, const QString& date, const QStringList& cells)
    {
        return AnalysisTest::File(name, cells, QDate::fromString(date, Qt::ISODate));
    }

    static qint64 ObjectId(CSurveyArchive& archive, const QString& name)
    {
        CSurveyArchive::ObjectInfo o;
        return archive.FindObject(name, &o) ? o.id : 0;
    }

    static QString Required(CSurveyArchive& archive, const QString& name)
    {
        CSurveyArchive::ObjectSettings s;
        if (!archive.GetObjectSettings(name, &s))
            return QStringLiteral("error: ") + archive.ErrorText();
        if (!s.stored)
            return QStringLiteral("defaults");
        return QString::number(s.requiredMm);
    }

    static CSurveyArchive::ObjectSettings WithRequired(double mm)
    {
        CSurveyArchive::ObjectSettings s;
        s.requiredMm = mm;
        return s;
    }

    // An archive of the previous schema version with one object, one survey
    // of three readings (10.0, 9.5, LOS) dated 2024-05-14.
    static bool MakeVersion2(const QString& location, const QString& engine,
                             const QStringList& extra = {})
    {
        QStringList v2 = OldSchema(engine);
        v2 << QStringLiteral("INSERT INTO objects (name, name_key) VALUES ('Котёл', 'котёл')");
        v2 += extra;
        bool ok = true;
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-v2"));
            QSqlQuery q(db);
            for (const QString& s : v2)
                if (!q.exec(s))
                {
                    qWarning("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
                    ok = false;
                }
            const DataFileRecord f =
                Survey(QStringLiteral("Котёл"), QStringLiteral("2024-05-14"),
                       {QStringLiteral("10.0"), QStringLiteral("9.5"), QStringLiteral("LOS")});
            q.prepare(QStringLiteral(
                "INSERT INTO surveys (object_id, content_hash, name, header, serial_number, "
                "fw_version, audio_index, records, cell_count, los_count, gauge_name, "
                "gauge_serial, source_kind, source_path, source_time, archived_at, survey_date) "
                "VALUES (1, 'h1', 'Котёл', ?, 0, 0, 0, 3, 3, 1, '', '', 'file', '', '', '', "
                "'2024-05-14')"));
            q.addBindValue(
                QByteArray(reinterpret_cast<const char*>(&f.header), int(sizeof(f.header))));
            ok = ok && q.exec();
            for (int i = 0; i < f.cells.size(); ++i)
            {
                q.prepare(QStringLiteral("INSERT INTO readings VALUES (1, ?, ?, 0, 0, 'mm', 1, "
                                         "0, NULL, NULL, 5920, '', 0, 20)"));
                q.addBindValue(i + 1);
                q.addBindValue(QByteArray(reinterpret_cast<const char*>(&f.cells.at(i)),
                                          int(sizeof(CellRecord))));
                ok = ok && q.exec();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-v2"));
        return ok;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void migration_data() { EngineRows(); }
    void migration()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        QVERIFY(MakeVersion2(location, engine));

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QCOMPARE(Count(location, QStringLiteral("SELECT MAX(version) FROM korvalent_schema")), 3);
        QCOMPARE(Count(location, QStringLiteral("korvalent_schema")), 1);
        // What was archived stays; the new storage works on it.
        CSurveyArchive::ObjectSettings s;
        QVERIFY2(archive.GetObjectSettings(QStringLiteral("котёл"), &s),
                 qPrintable(archive.ErrorText()));
        QVERIFY(!s.stored);
        QVERIFY(std::isnan(s.requiredMm));
        QCOMPARE(s.maxIntervalYears, 10.0);
        QCOMPARE(s.rateKey, QStringLiteral("max"));
        QVERIFY(archive.SetObjectSettings(QStringLiteral("Котёл"), WithRequired(9.0)));
        QVERIFY2(archive.SetAccepted(1, 2, true), qPrintable(archive.ErrorText()));
        QCOMPARE(archive.AcceptedReadings(1), (QSet<QPair<qint64, int>>{{1, 2}}));
        CObjectHistory* history = nullptr;
        QString error;
        QVERIFY2(CObjectHistory::Load(archive, QStringLiteral("Котёл"), &history, &error),
                 qPrintable(error));
        QScopedPointer<CObjectHistory> owned(history);
        QCOMPARE(history->Locations().size(), 3);
        QCOMPARE(history->GetSettings().requiredMm, 9.0);
        QCOMPARE(history->RowTexts(1).at(CObjectHistory::ActualColumn), QStringLiteral("9.5"));
        archive.Close();

        // Opened again: nothing more to do.
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QCOMPARE(Required(archive, QStringLiteral("Котёл")), QStringLiteral("9"));
    }

    void migrationFailsWhole_data() { EngineRows(); }
    void migrationFailsWhole()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        // A table in the way of the second new one: the update stops there
        // and leaves the archive as it was, the first new table included.
        QVERIFY(MakeVersion2(location, engine,
                             {QStringLiteral("CREATE TABLE accepted_readings (x INTEGER)")}));
        CSurveyArchive archive;
        QVERIFY(!archive.Open(location));
        QVERIFY2(archive.ErrorText().contains(QStringLiteral("обновление схемы 2 → 3")),
                 qPrintable(archive.ErrorText()));
        QCOMPARE(Count(location, QStringLiteral("SELECT MAX(version) FROM korvalent_schema")), 2);
        QCOMPARE(Count(location, QStringLiteral("object_settings")), -1);
        QCOMPARE(Count(location, QStringLiteral("surveys")), 1);
    }

    void settings_data() { EngineRows(); }
    void settings()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QVERIFY(
            !ArchiveEach(archive, {Survey(QStringLiteral("Линия-7"), QStringLiteral("2020-01-01"),
                                          {QStringLiteral("9.0")})})
                 .isEmpty());

        CSurveyArchive::ObjectSettings s;
        s.requiredMm = 8.25;
        s.maxIntervalYears = 5.0;
        s.rateKey = QStringLiteral("st");
        s.vesselRule = true;
        QVERIFY2(archive.SetObjectSettings(QStringLiteral(" линия-7 "), s),
                 qPrintable(archive.ErrorText()));
        archive.Close();
        QVERIFY(archive.Open(location));
        CSurveyArchive::ObjectSettings back;
        QVERIFY(archive.GetObjectSettings(QStringLiteral("Линия-7"), &back));
        QVERIFY(back.stored);
        QCOMPARE(back.requiredMm, 8.25);
        QVERIFY(std::isnan(back.nominalMm));
        QCOMPARE(back.maxIntervalYears, 5.0);
        QCOMPARE(back.rateKey, QStringLiteral("st"));
        QCOMPARE(back.vesselRule, true);

        // Stored again: replaced, one row per object.
        CObjectHistory::Settings h;
        h.nominalMm = 12.0;
        h.rate = CObjectHistory::RateRegression;
        h.maxIntervalYears = 15.0;
        QString error;
        QVERIFY2(CObjectHistory::StoreSettings(archive, QStringLiteral("Линия-7"), h, &error),
                 qPrintable(error));
        CObjectHistory::Settings hb;
        QVERIFY(CObjectHistory::LoadSettings(archive, QStringLiteral("Линия-7"), &hb, &error));
        QVERIFY(std::isnan(hb.requiredMm));
        QCOMPARE(hb.nominalMm, 12.0);
        QCOMPARE(hb.maxIntervalYears, 15.0);
        QCOMPARE(hb.rate, CObjectHistory::RateRegression);
        QCOMPARE(hb.vesselRule, false);
        QCOMPARE(Count(location, QStringLiteral("object_settings")), 1);

        // A rename takes them along.
        QVERIFY(archive.RenameObject(QStringLiteral("Линия-7"), QStringLiteral("Линия-7А")));
        QCOMPARE(Required(archive, QStringLiteral("Линия-7А")), QStringLiteral("nan"));
        QVERIFY(archive.GetObjectSettings(QStringLiteral("Линия-7А"), &back));
        QCOMPARE(back.nominalMm, 12.0);
    }

    void settingsRefused_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("object");
        QTest::addColumn<double>("required");
        QTest::addColumn<double>("maxInterval");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("error");
        for (const char* engine : {"sqlite", "postgresql"})
        {
            const QString e = QString::fromLatin1(engine);
            QTest::addRow("%s, no such object", engine)
                << e << "Нет такого" << 8.0 << 10.0 << "max"
                << "Объект 'Нет такого' не найден в архиве.";
            QTest::addRow("%s, interval 0", engine)
                << e << "Линия-7" << 8.0 << 0.0 << "max"
                << "Максимальный интервал контроля должен быть больше нуля.";
            QTest::addRow("%s, negative thickness", engine)
                << e << "Линия-7" << -1.0 << 10.0 << "max"
                << "Толщина должна быть больше нуля.";
            QTest::addRow("%s, unknown rate", engine)
                << e << "Линия-7" << 8.0 << 10.0 << "weekly"
                << "Неизвестный вид скорости коррозии 'weekly'.";
        }
    }
    void settingsRefused()
    {
        QFETCH(QString, engine);
        QFETCH(QString, object);
        QFETCH(double, required);
        QFETCH(double, maxInterval);
        QFETCH(QString, rate);
        QFETCH(QString, error);
        QString location;
        KV_FRESH_LOCATION(engine, m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QVERIFY(
            !ArchiveEach(archive, {Survey(QStringLiteral("Линия-7"), QStringLiteral("2020-01-01"),
                                          {QStringLiteral("9.0")})})
                 .isEmpty());
        CSurveyArchive::ObjectSettings s;
        s.requiredMm = required;
        s.maxIntervalYears = maxInterval;
        s.rateKey = rate;
        QVERIFY(!archive.SetObjectSettings(object, s));
        QCOMPARE(archive.ErrorText(), error);
        QCOMPARE(Required(archive, QStringLiteral("Линия-7")), QStringLiteral("defaults"));
    }

    void acceptedMarks_data() { EngineRows(); }
    void acceptedMarks()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        const QList<qint64> ids = ArchiveEach(
            archive,
            {Survey(QStringLiteral("A"), QStringLiteral("2016-01-01"),
                    {QStringLiteral("10.0"), QStringLiteral("10.0")}),
             Survey(QStringLiteral("A"), QStringLiteral("2020-01-01"),
                    {QStringLiteral("11.5"), QStringLiteral("9.8"), QStringLiteral("9")})});
        QCOMPARE(ids.size(), 2);
        const qint64 a = ObjectId(archive, QStringLiteral("A"));

        QVERIFY2(archive.SetAccepted(ids.at(1), 1, true), qPrintable(archive.ErrorText()));
        QVERIFY(archive.SetAccepted(ids.at(1), 1, true)); // twice: still one mark
        QVERIFY(archive.SetAccepted(ids.at(1), 3, true));
        QCOMPARE(archive.AcceptedReadings(a),
                 (QSet<QPair<qint64, int>>{{ids.at(1), 1}, {ids.at(1), 3}}));
        QVERIFY(archive.SetAccepted(ids.at(1), 3, false));
        QVERIFY(archive.SetAccepted(ids.at(1), 3, false)); // not there: nothing to do
        QCOMPARE(archive.AcceptedReadings(a), (QSet<QPair<qint64, int>>{{ids.at(1), 1}}));

        // A cell the survey does not have, a survey the archive does not have.
        QVERIFY(!archive.SetAccepted(ids.at(0), 3, true));
        QCOMPARE(archive.ErrorText(),
                 QStringLiteral("В обследовании %1 нет ячейки 3.").arg(ids.at(0)));
        QVERIFY(!archive.SetAccepted(ids.at(1) + 100, 1, true));
        QCOMPARE(archive.ErrorText(),
                 QStringLiteral("Обследование %1 не найдено в архиве.").arg(ids.at(1) + 100));

        // The history sees the mark.
        CObjectHistory* history = nullptr;
        QString error;
        QVERIFY(CObjectHistory::Load(archive, QStringLiteral("a"), &history, &error));
        QScopedPointer<CObjectHistory> owned(history);
        QCOMPARE(history->Locations().first().readings.at(1).accepted, true);

        // A moved survey keeps its marks; they are the new object's now.
        QVERIFY(archive.MoveSurvey(ids.at(1), QStringLiteral("B")));
        QVERIFY(archive.AcceptedReadings(a).isEmpty());
        QCOMPARE(archive.AcceptedReadings(ObjectId(archive, QStringLiteral("B"))),
                 (QSet<QPair<qint64, int>>{{ids.at(1), 1}}));

        // A removed survey takes its marks along, and a survey archived
        // after it (SQLite may give it the same id) has none.
        QVERIFY2(archive.RemoveSurvey(ids.at(1)), qPrintable(archive.ErrorText()));
        QCOMPARE(Count(location, QStringLiteral("accepted_readings")), 0);
        const QList<qint64> again =
            ArchiveEach(archive, {Survey(QStringLiteral("B"), QStringLiteral("2021-01-01"),
                                         {QStringLiteral("11.5"), QStringLiteral("9.7")})});
        QCOMPARE(again.size(), 1);
        QVERIFY(archive.AcceptedReadings(ObjectId(archive, QStringLiteral("B"))).isEmpty());
    }

    void settingsFollowObjects_data() { EngineRows(); }
    void settingsFollowObjects()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        DataFileList files;
        QStringList names = {"A", "B", "C", "D", "E"};
        for (int i = 0; i < names.size(); ++i)
            files.append(Survey(names.at(i), QStringLiteral("2020-01-01"),
                                {QString::number(9 + i) + QStringLiteral(".0")}));
        const QList<qint64> ids = ArchiveEach(archive, files);
        QCOMPARE(ids.size(), 5);
        QVERIFY(archive.SetObjectSettings(QStringLiteral("A"), WithRequired(1.0)));
        QVERIFY(archive.SetObjectSettings(QStringLiteral("B"), WithRequired(2.0)));
        QVERIFY(archive.SetObjectSettings(QStringLiteral("D"), WithRequired(4.0)));

        // The target keeps its own.
        QVERIFY2(archive.MergeObjects(QStringLiteral("A"), QStringLiteral("B")),
                 qPrintable(archive.ErrorText()));
        QCOMPARE(Required(archive, QStringLiteral("B")), QStringLiteral("2"));
        // A target without any takes the merged object's.
        QVERIFY(archive.MergeObjects(QStringLiteral("D"), QStringLiteral("C")));
        QCOMPARE(Required(archive, QStringLiteral("C")), QStringLiteral("4"));
        // So does a target the merge makes.
        QVERIFY(archive.MergeObjects(QStringLiteral("C"), QStringLiteral("F")));
        QCOMPARE(Required(archive, QStringLiteral("F")), QStringLiteral("4"));
        QCOMPARE(Count(location, QStringLiteral("object_settings")), 2);

        // An object emptied by a move goes with its settings: made again by
        // the name, it starts from the defaults.
        QVERIFY(archive.SetObjectSettings(QStringLiteral("E"), WithRequired(5.0)));
        QVERIFY(archive.MoveSurvey(ids.at(4), QStringLiteral("B")));
        QCOMPARE(Count(location, QStringLiteral("object_settings")), 2);
        QVERIFY(archive.MoveSurvey(ids.at(4), QStringLiteral("E")));
        QCOMPARE(Required(archive, QStringLiteral("E")), QStringLiteral("defaults"));
        // Removing an object's last survey, likewise.
        QVERIFY(archive.SetObjectSettings(QStringLiteral("E"), WithRequired(5.0)));
        QVERIFY(archive.RemoveSurvey(ids.at(4)));
        QCOMPARE(Count(location, QStringLiteral("object_settings")), 2);
        QCOMPARE(Required(archive, QStringLiteral("E")),
                 QStringLiteral("error: Объект 'E' не найден в архиве."));
    }

    void loadMatchesMemory_data() { EngineRows(); }
    void loadMatchesMemory()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        // Archived newest first: the history orders them by date itself.
        const DataFileList files = {
            Survey(QStringLiteral("Трубопровод 2024"), QStringLiteral("2024-01-01"),
                   {"8.4", "9.80", "0.36in", "9.1"}),
            Survey(QStringLiteral("Трубопровод 2020"), QStringLiteral("2020-01-01"),
                   {"11.5", "9.90", "LOS"}),
            Survey(QStringLiteral("Трубопровод 2016"), QStringLiteral("2016-01-01"),
                   {"10.0", "10.00", "9.9"}),
        };
        const QList<qint64> ids = ArchiveEach(archive, files);
        QCOMPARE(ids.size(), 3);
        QVERIFY(archive.MergeObjects(QStringLiteral("Трубопровод 2020"),
                                     QStringLiteral("Трубопровод")));
        QVERIFY(archive.MergeObjects(QStringLiteral("Трубопровод 2016"),
                                     QStringLiteral("Трубопровод")));
        QVERIFY(archive.MergeObjects(QStringLiteral("Трубопровод 2024"),
                                     QStringLiteral("Трубопровод")));
        QVERIFY(archive.SetAccepted(ids.at(1), 1, true));
        CObjectHistory::Settings settings;
        settings.requiredMm = 8.0;
        settings.nominalMm = 10.0;
        settings.maxIntervalYears = 5.0;
        settings.rate = CObjectHistory::RateLongTerm;
        QString error;
        QVERIFY(CObjectHistory::StoreSettings(archive, QStringLiteral("Трубопровод"), settings,
                                              &error));
        archive.Close();
        QVERIFY(archive.Open(location));

        CObjectHistory::ViewOptions view;
        view.today = QDate(2026, 1, 1);
        CObjectHistory* loaded = nullptr;
        QVERIFY2(CObjectHistory::Load(archive, QStringLiteral("трубопровод"), &loaded, &error,
                                      nullptr, view),
                 qPrintable(error));
        QScopedPointer<CObjectHistory> owned(loaded);
        QList<CObjectHistory::Survey> surveys;
        for (int i = 0; i < files.size(); ++i)
            surveys.append({ids.at(i), CDataStorage::FileName(files.at(i)), files.at(i)});
        const CObjectHistory memory(QStringLiteral("Трубопровод"), surveys, {{ids.at(1), 1}},
                                    settings, view);

        QCOMPARE(loaded->ObjectName(), QStringLiteral("Трубопровод"));
        QCOMPARE(loaded->Locations().size(), 4);
        QCOMPARE(loaded->SummaryLines(), memory.SummaryLines());
        for (int i = 0; i < memory.Locations().size(); ++i)
        {
            QCOMPARE(loaded->RowTexts(i), memory.RowTexts(i));
            const CObjectHistory::Location& l = memory.Locations().at(i);
            for (int r = 0; r < l.readings.size(); ++r)
                QCOMPARE(loaded->ReadingTexts(loaded->Locations().at(i), r),
                         memory.ReadingTexts(l, r));
        }
        // Not a history of nothing: the accepted E reading is in the rates.
        QCOMPARE(loaded->Locations().first().readings.at(1).checks, int(CObjectHistory::CheckE));
        QVERIFY(loaded->Locations().first().readings.at(1).used);
        QCOMPARE(loaded->GetSettings().rate, CObjectHistory::RateLongTerm);

        // Settings given for one run replace the kept ones, and are not kept.
        CObjectHistory::Settings once;
        once.requiredMm = 9.0;
        CObjectHistory* overridden = nullptr;
        QVERIFY(CObjectHistory::Load(archive, QStringLiteral("Трубопровод"), &overridden, &error,
                                     &once));
        QScopedPointer<CObjectHistory> owned2(overridden);
        QCOMPARE(overridden->GetSettings().requiredMm, 9.0);
        QCOMPARE(overridden->GetSettings().rate, CObjectHistory::RateMax);
        QCOMPARE(Required(archive, QStringLiteral("Трубопровод")), QStringLiteral("8"));

        CObjectHistory* none = nullptr;
        QVERIFY(!CObjectHistory::Load(archive, QStringLiteral("Нет такого"), &none, &error));
        QVERIFY(!none);
        QCOMPARE(error, QStringLiteral("Объект 'Нет такого' не найден в архиве."));
    }

    void demoArchive_data() { EngineRows(); }
    void demoArchive()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QString error;
        QVERIFY2(CDemoArchive::Fill(archive, &error), qPrintable(error));
        CObjectHistory::Settings s;
        s.requiredMm = 7.0;
        CObjectHistory* history = nullptr;
        QVERIFY2(CObjectHistory::Load(archive, CDemoArchive::ObjectName(), &history, &error, &s),
                 qPrintable(error));
        QScopedPointer<CObjectHistory> owned(history);
        // 24 locations over five yearly surveys; location 17 loses 0.8 mm a
        // year, is below 7 mm by the last one and governs.
        QCOMPARE(history->Surveys().size(), 5);
        QCOMPARE(history->Locations().size(), 24);
        const CObjectHistory::Summary& sum = history->GetSummary();
        QVERIFY(sum.governingLocation >= 0);
        QCOMPARE(history->Locations().at(sum.governingLocation).cell, 17);
        QCOMPARE(sum.countE, 0);
    }
};

QTEST_GUILESS_MAIN(TestArchiveHistory)
#include "tst_archive_history.moc"
