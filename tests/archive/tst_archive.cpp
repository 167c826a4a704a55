#include "archive/CSurveyArchive.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "data/CXmlKeyFileWriter.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QProcess>
#include <QSqlRecord>
#include <cstdio>

using namespace ArchiveTest;

// The archive's core on both engines: round trip, identity, objects, schema
// versions, transactions under concurrency and a kill, hostile texts.
class TestArchive : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static CSurveyArchive::Source Download()
    {
        CSurveyArchive::Source s;
        s.kind = CSurveyArchive::Source::Download;
        s.time = QDateTime(QDate(2026, 4, 15), QTime(14, 30));
        s.gaugeName = QStringLiteral("QM-3RX");
        s.gaugeSerial = QStringLiteral("00012345");
        return s;
    }

    QString SaveDatabase(const QString& name, const DataFileList& files)
    {
        const QString path = m_dir.filePath(name);
        if (!CDataStorage::SaveDatabaseFile(path, files))
            return {};
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void roundTrip_data() { EngineRows(); }
    void roundTrip()
    {
        KV_ENGINE_LOCATION(m_dir, location);

        // Every kind of cell the gauge can send, and the same cells once more.
        DataFileRecord file = File(QStringLiteral("Котёл \"Б\";--"), 0);
        file.cells = {
            Cell(0x02, 12, 5),                                         // 12.5 mm
            Cell(0x05, 0, 40, 0x3A8F, 0x0E05, -20),                    // 0.40 in, valid
            Cell(0x04, 0, 39),                                         // 0.39 mm, LOS
            Cell(0x06, 7, 9, 0, 0x0E05),                               // 7.000, no date
            Cell(0x00, 600, 0, 0x3A8F, 0x1830),                        // impossible time
            Cell(0xFB, 3, 99, 0xFFFF, 0xFFFF, 127, 0, "", 0xFFFFFFFF), // 12.9 in, odd bits
        };
        file.header.records = 9; // more announced than held
        MaterialRecord steel;
        std::memset(&steel, 0, sizeof(steel));
        CAnsiText::Encode(QStringLiteral("Сталь 20"), steel.name, 16);
        steel.velocity = 5920;

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        const CSurveyArchive::AddResult added = archive.AddSurveys({file}, {steel}, Download());
        QVERIFY2(added.ok, qPrintable(added.error));
        QCOMPARE(added.Added(), 1);
        const qint64 id = added.surveys.first().surveyId;
        archive.Close();

        // Read back through a new connection.
        CSurveyArchive again;
        QVERIFY2(again.Open(location), qPrintable(again.ErrorText()));
        DataFileRecord back;
        QVERIFY(again.SurveyData(id, &back));
        QCOMPARE(Bytes(back), Bytes(file));
        QCOMPARE(CDataStorage::DataFileDocument(back, QStringLiteral("X")),
                 CDataStorage::DataFileDocument(file, QStringLiteral("X")));
        CSurveyArchive::SurveyInfo info;
        QVERIFY(again.Survey(id, &info));
        QCOMPARE(info.name, QStringLiteral("Котёл \"Б\";--"));
        QCOMPARE(info.objectName, info.name);
        QCOMPARE(info.gaugeName, QStringLiteral("QM-3RX"));
        QCOMPARE(info.gaugeSerial, QStringLiteral("00012345"));
        QCOMPARE(info.serialNumber, quint32(26031742));
        QCOMPARE(info.fwVersion, quint32(0x0104003D));
        QCOMPARE(info.cells, 6);
        QCOMPARE(info.los, 1); // 0.39 only: 0.40 in and 600 are inside the bounds
        QCOMPARE(info.date, QDate(2029, 4, 15));
        QCOMPARE(info.sourceKind, QStringLiteral("download"));
        QCOMPARE(info.sourceTime, QDateTime(QDate(2026, 4, 15), QTime(14, 30)));
        again.Close();

        // The readings' decoded columns, computed here by hand.
        struct Row
        {
            double thickness, mm;
            const char* unit;
            int decimals, los;
            QVariant at, material;
            int velocity;
            const char* pep;
            qint64 pepSerial;
            int temperature;
        };
        const QVariant null;
        const Row rows[] = {
            {12.5, 12.5, "mm", 1, 0, QStringLiteral("2029-04-15 14:05"), QStringLiteral("Сталь 20"),
             5920, "П112", 123456, 21},
            {0.4, 0.4 * 25.4, "in", 2, 0, QStringLiteral("2029-04-15 14:05"),
             QStringLiteral("Сталь 20"), 5920, "П112", 123456, -20},
            {0.39, 0.39, "mm", 2, 1, QStringLiteral("2029-04-15 14:05"), QStringLiteral("Сталь 20"),
             5920, "П112", 123456, 21},
            {7, 7, "mm", 3, 0, null, QStringLiteral("Сталь 20"), 5920, "П112", 123456, 21},
            {600, 600, "mm", 0, 0, QStringLiteral("2029-04-15"), QStringLiteral("Сталь 20"), 5920,
             "П112", 123456, 21},
            {12.9, double(12.9f) * 25.4, "in", 1, 0, null, null, 0, "", 4294967295LL, 127},
        };
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-rows"));
            QSqlQuery q(db);
            q.prepare(
                QStringLiteral("SELECT cell, thickness, thickness_mm, unit, decimals, los, "
                               "measured_at, material, velocity, pep_ident, pep_serial, "
                               "temperature FROM readings WHERE survey_id = ? ORDER BY cell"));
            q.addBindValue(id);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            for (int i = 0; i < 6; ++i)
            {
                QVERIFY(q.next());
                const Row& r = rows[i];
                QCOMPARE(q.value(0).toInt(), i + 1);
                QVERIFY(qAbs(q.value(1).toDouble() - r.thickness) < 1e-5);
                QVERIFY(qAbs(q.value(2).toDouble() - r.mm) < 1e-4);
                QCOMPARE(q.value(3).toString(), QLatin1String(r.unit));
                QCOMPARE(q.value(4).toInt(), r.decimals);
                QCOMPARE(q.value(5).toInt(), r.los);
                QCOMPARE(q.value(6).isNull(), r.at.isNull());
                if (!r.at.isNull())
                    QCOMPARE(q.value(6).toString(), r.at.toString());
                QCOMPARE(q.value(7).isNull(), r.material.isNull());
                if (!r.material.isNull())
                    QCOMPARE(q.value(7).toString(), r.material.toString());
                QCOMPARE(q.value(8).toInt(), r.velocity);
                QCOMPARE(q.value(9).toString(), QString::fromUtf8(r.pep));
                QCOMPARE(q.value(10).toLongLong(), r.pepSerial);
                QCOMPARE(q.value(11).toInt(), r.temperature);
            }
            QVERIFY(!q.next());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-rows"));
    }

    // Every reading's decoded columns (the view over the kept cells) as the
    // program decodes the cell: around the LOS bounds in both units, every
    // decimals setting, dates that do not exist, times out of range.
    void readingsDecoded_data() { EngineRows(); }
    void readingsDecoded()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        DataFileRecord file = File(QStringLiteral("Границы"), 0);
        const quint16 dates[] = {quint16((24 << 9) | (2 << 5) | 29), // 29.02.2024
                                 quint16((25 << 9) | (2 << 5) | 29), // 29.02.2025: none
                                 quint16((26 << 9) | (4 << 5) | 31), // 31.04.2026: none
                                 quint16((26 << 9) | (12 << 5) | 31),
                                 quint16((26 << 9) | (13 << 5) | 1),
                                 quint16((26 << 9) | (1 << 5) | 0),
                                 0xFFFF,
                                 0};
        const quint16 times[] = {0x1738, 0x173B, 0x173C, 0x1800, 0x0000};
        const quint16 values[][2] = {{0, 0},   {0, 1},   {0, 2},      {0, 3},   {0, 4},    {0, 39},
                                     {0, 40},  {0, 41},  {0, 255},    {1, 0},   {23, 6},   {23, 62},
                                     {23, 63}, {23, 0},  {24, 0},     {599, 9}, {599, 99}, {600, 0},
                                     {600, 1}, {601, 0}, {65535, 255}};
        int n = 0;
        for (int flags = 0; flags < 8; ++flags)
            for (const auto& v : values)
            {
                const int d = n % int(std::size(dates)), t = n % int(std::size(times));
                file.cells.append(Cell(quint8(flags | (n % 2 ? 0xF0 : 0)), v[0], quint8(v[1]),
                                       dates[d], times[t], qint8(n % 256 - 128), quint16(n * 997),
                                       n % 3 ? "П112" : "", quint32(n) * 65537u));
                ++n;
            }
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        const CSurveyArchive::AddResult r = archive.AddSurveys({file}, {}, Download());
        QVERIFY2(r.ok, qPrintable(r.error));
        archive.Close();
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-decoded"));
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral(
                "SELECT cell, thickness, thickness_mm, unit, decimals, los, measured_at, "
                "velocity, pep_ident, pep_serial, temperature, raw FROM readings ORDER BY cell")));
            for (int i = 0; i < file.cells.size(); ++i)
            {
                QVERIFY(q.next());
                const CellRecord& c = file.cells.at(i);
                const QString at = QStringLiteral("cell %1").arg(i + 1);
                QCOMPARE(q.value(0).toInt(), i + 1);
                const double value = double(CCellDecoder::Value(c));
                QVERIFY2(qAbs(q.value(1).toDouble() - value) <= 1e-6 * qMax(1.0, value),
                         qPrintable(at));
                const double mm = CCellDecoder::IsInches(c) ? value * 25.4 : value;
                QVERIFY2(qAbs(q.value(2).toDouble() - mm) <= 1e-5 * qMax(1.0, mm), qPrintable(at));
                QCOMPARE(q.value(3).toString(),
                         CCellDecoder::IsInches(c) ? QStringLiteral("in") : QStringLiteral("mm"));
                QCOMPARE(q.value(4).toInt(), CCellDecoder::Decimals(c));
                QVERIFY2(q.value(5).toInt() == (CCellDecoder::IsLos(c) ? 1 : 0), qPrintable(at));
                const QDate date(2000 + (c.date >> 9), (c.date >> 5) & 0x0F, c.date & 0x1F);
                const int hour = c.time >> 8, minute = c.time & 0xFF;
                QString when;
                if (date.isValid())
                    when = date.toString(QStringLiteral("yyyy-MM-dd")) +
                           (hour <= 23 && minute <= 59 ? QStringLiteral(" %1:%2")
                                                             .arg(hour, 2, 10, QLatin1Char('0'))
                                                             .arg(minute, 2, 10, QLatin1Char('0'))
                                                       : QString());
                QVERIFY2(q.value(6).isNull() == when.isNull(), qPrintable(at));
                QCOMPARE(q.value(6).toString(), when);
                QCOMPARE(q.value(7).toInt(), int(c.velocity));
                QCOMPARE(q.value(8).toString(), CCellDecoder::PepIdentText(c));
                QCOMPARE(q.value(9).toLongLong(), qint64(c.pepSerial));
                QCOMPARE(q.value(10).toInt(), int(c.temperature));
                QCOMPARE(q.value(11).toByteArray(),
                         QByteArray(reinterpret_cast<const char*>(&c), int(sizeof(c))));
            }
            QVERIFY(!q.next());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-decoded"));
    }

    void duplicates_data() { EngineRows(); }
    void duplicates()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        const DataFileList files = {File(QStringLiteral("A"), 10, 1),
                                    File(QStringLiteral("B"), 10, 2),
                                    File(QStringLiteral("A"), 10, 1)};
        const QString kdb = SaveDatabase(QStringLiteral("dup.kdb"), files);
        QVERIFY(!kdb.isEmpty());

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        CSurveyArchive::AddResult r = archive.AddFile(kdb);
        QVERIFY2(r.ok, qPrintable(r.error));
        // The database repeats A: the second copy is the first survey.
        QCOMPARE(r.Added(), 2);
        QCOMPARE(r.AlreadyArchived(), 1);
        QCOMPARE(r.surveys.at(2).surveyId, r.surveys.at(0).surveyId);

        r = archive.AddFile(kdb);
        QVERIFY(r.ok);
        QCOMPARE(r.Added(), 0);
        QCOMPARE(r.AlreadyArchived(), 3);

        // The same data file saved as .kdf under its own name is the same
        // survey; under another name (NAME is the file's base name) it is new.
        const QString same = m_dir.filePath(QStringLiteral("B.kdf"));
        const QString other = m_dir.filePath(QStringLiteral("B2.kdf"));
        QVERIFY(CDataStorage::SaveDataFile(same, files.at(1)));
        QVERIFY(CDataStorage::SaveDataFile(other, files.at(1)));
        r = archive.AddFile(same);
        QCOMPARE(r.AlreadyArchived(), 1);
        r = archive.AddFile(other);
        QCOMPARE(r.Added(), 1);
        // A changed cell is another survey.
        DataFileRecord changed = files.at(0);
        changed.cells[3].intPart += 1;
        r = archive.AddSurveys({changed}, {}, Download());
        QCOMPARE(r.Added(), 1);
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("surveys")), 4);
        QCOMPARE(Count(location, QStringLiteral("readings")), 40);
    }

    void concurrentArchiving_data() { EngineRows(); }
    void concurrentArchiving()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        {
            CSurveyArchive archive;
            QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        }
        // 50 data files each, 25 of them shared, all of one object: both
        // programs make the object and race for the shared surveys.
        QStringList first, second;
        for (int i = 0; i < 75; ++i)
        {
            const QString path = m_dir.filePath(QStringLiteral("%1-c%2.kdf").arg(engine).arg(i));
            // NAME inside is the survey's own: every file joins one object.
            DataFileRecord survey = File(QStringLiteral("Колонна"), 30, i);
            survey.header.serialNumber = quint32(1000 + i); // each its own content
            QVERIFY(CXmlKeyFileWriter::WriteFile(
                path, CDataStorage::DataFileDocument(survey, QStringLiteral("Колонна"))));
            if (i < 50)
                first.append(path);
            if (i >= 25)
                second.append(path);
        }
        QProcess a, b;
        a.start(BuiltProgram(QStringLiteral("korvalent-cli")),
                QStringList{QStringLiteral("--archive"), location, QStringLiteral("archive-add")} +
                    first);
        b.start(BuiltProgram(QStringLiteral("korvalent-cli")),
                QStringList{QStringLiteral("--archive"), location, QStringLiteral("archive-add")} +
                    second);
        QVERIFY(a.waitForFinished(120000));
        QVERIFY(b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        const QString outA = QString::fromUtf8(a.readAllStandardOutput());
        const QString outB = QString::fromUtf8(b.readAllStandardOutput());
        QCOMPARE(outA.count(QStringLiteral("\tadded\n")) + outB.count(QStringLiteral("\tadded\n")),
                 75);
        QCOMPARE(outA.count(QLatin1Char('\n')), 51);
        QCOMPARE(outB.count(QLatin1Char('\n')), 51);
        QCOMPARE(Count(location, QStringLiteral("surveys")), 75);
        QCOMPARE(Count(location, QStringLiteral("readings")), 75 * 30);
        QCOMPARE(Count(location, QStringLiteral("objects")), 1);
    }

    void killDuringArchiving_data() { EngineRows(); }
    void killDuringArchiving()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        DataFileList files;
        for (int i = 0; i < 150; ++i)
            files.append(File(QStringLiteral("F%1").arg(i), 254, i));
        const QString kdb = SaveDatabase(engine + QStringLiteral("-big.kdb"), files);
        QVERIFY(!kdb.isEmpty());

        // The worker stops inside the transaction after 75 surveys, says so
        // and waits; then it is killed.
        QProcess worker;
        worker.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--archive-worker"), location, kdb, QStringLiteral("75")});
        QVERIFY(worker.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] { return worker.canReadLine() || worker.state() == QProcess::NotRunning; },
            120000));
        QCOMPARE(QString::fromUtf8(worker.readLine()), QStringLiteral("75 of 150\n"));
        worker.kill();
        QVERIFY(worker.waitForFinished());

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QVERIFY(archive.Objects().isEmpty());
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("surveys")), 0);
        QCOMPARE(Count(location, QStringLiteral("readings")), 0);

        // And the archive takes the file whole afterwards.
        QVERIFY(archive.Open(location));
        const CSurveyArchive::AddResult r = archive.AddFile(kdb);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.Added(), 150);
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("readings")), 150 * 254);
    }

    void objects_data() { EngineRows(); }
    void objects()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));

        auto add = [&](const QString& name, int seed, int year)
        {
            const CSurveyArchive::AddResult r =
                archive.AddSurveys({File(name, 5, seed, year)}, {}, Download());
            return r.ok && r.surveys.size() == 1 ? r.surveys.first()
                                                 : CSurveyArchive::SurveyOutcome{};
        };
        const auto s1 = add(QStringLiteral("Линия-7 2025"), 1, 2025);
        QCOMPARE(s1.objectName, QStringLiteral("Линия-7 2025"));
        QVERIFY(s1.suggestedObject.isEmpty());
        // Case and surrounding blanks do not make a new object.
        const auto s2 = add(QStringLiteral(" линия-7 2025"), 2, 2025);
        QCOMPARE(s2.objectName, QStringLiteral("Линия-7 2025"));
        // A name that differs by its year only: a new object and a suggestion.
        const auto s3 = add(QStringLiteral("Линия-7 2026"), 3, 2026);
        QCOMPARE(s3.objectName, QStringLiteral("Линия-7 2026"));
        QCOMPARE(s3.suggestedObject, QStringLiteral("Линия-7 2025"));
        const auto s4 = add(QStringLiteral("Линия-7 12.03.2027"), 4, 2027);
        QCOMPARE(s4.suggestedObject, QStringLiteral("Линия-7 2025"));
        QCOMPARE(archive.Objects().size(), 3);

        // Merge the years into one object "Линия-7" (made by the merge).
        QVERIFY2(archive.MergeObjects(QStringLiteral("Линия-7 2025"), QStringLiteral("Линия-7")),
                 qPrintable(archive.ErrorText()));
        QVERIFY(archive.MergeObjects(QStringLiteral("ЛИНИЯ-7 2026 "), QStringLiteral("линия-7")));
        QVERIFY(archive.MoveSurvey(s4.surveyId, QStringLiteral("Линия-7")));
        QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.first().name, QStringLiteral("Линия-7"));
        QCOMPARE(objects.first().surveys, 4);
        QCOMPARE(objects.first().first, QDate(2025, 4, 1));
        QCOMPARE(objects.first().last, QDate(2027, 4, 1));
        QList<CSurveyArchive::SurveyInfo> surveys = archive.Surveys(objects.first().id);
        QCOMPARE(surveys.size(), 4);
        QCOMPARE(surveys.first().date, QDate(2025, 4, 1));
        QCOMPARE(surveys.last().id, s4.surveyId);

        // The next survey of that name joins the merged object's suggestion.
        const auto s5 = add(QStringLiteral("Линия-7 2028"), 5, 2028);
        QCOMPARE(s5.suggestedObject, QStringLiteral("Линия-7"));

        // Rename onto another object is refused; a new name is taken.
        QVERIFY(!archive.RenameObject(QStringLiteral("Линия-7"), QStringLiteral("линия-7 2028")));
        QCOMPARE(archive.ErrorText(),
                 QStringLiteral("Объект 'Линия-7 2028' уже есть в архиве: объедините объекты."));
        QVERIFY(archive.RenameObject(QStringLiteral("Линия-7"), QStringLiteral("Линия №7")));
        QVERIFY(!archive.RenameObject(QStringLiteral("Нет такого"), QStringLiteral("X")));
        QCOMPARE(archive.ErrorText(), QStringLiteral("Объект 'Нет такого' не найден в архиве."));

        // Moving the only survey out of an object removes the object.
        QVERIFY(archive.MoveSurvey(s5.surveyId, QStringLiteral("линия №7")));
        objects = archive.Objects();
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.first().surveys, 5);
        QVERIFY(!archive.MoveSurvey(99999, QStringLiteral("X")));
        QCOMPARE(archive.ErrorText(), QStringLiteral("Обследование 99999 не найдено в архиве."));
        QCOMPARE(archive.Objects().size(), 1);

        // Removal takes the readings too.
        QVERIFY(archive.RemoveSurvey(s1.surveyId));
        QVERIFY(!archive.RemoveSurvey(s1.surveyId));
        DataFileRecord none;
        QVERIFY(!archive.SurveyData(s1.surveyId, &none));
        QCOMPARE(archive.Objects().first().surveys, 4);
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("readings")), 20);
    }

    void trailingDate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("year") << "Линия-7 2025"
                              << "Линия-7";
        QTest::newRow("year after dash") << "Tank-2024"
                                         << "Tank";
        QTest::newRow("dotted date") << "Tank 12.03.2026"
                                     << "Tank";
        QTest::newRow("iso date") << "Tank_2026-03-12"
                                  << "Tank";
        QTest::newRow("short year date") << "Tank 12.03.26"
                                         << "Tank";
        QTest::newRow("number not a year") << "Tank 7"
                                           << "Tank 7";
        QTest::newRow("year only") << "2025"
                                   << "2025";
        QTest::newRow("year inside") << "2025 Tank"
                                     << "2025 Tank";
        QTest::newRow("five digits") << "Line 20251"
                                     << "Line 20251";
    }
    void trailingDate()
    {
        QFETCH(QString, name);
        QFETCH(QString, stripped);
        QCOMPARE(CSurveyArchive::StripTrailingDate(name), stripped);
    }

    void schemaVersions_data() { EngineRows(); }
    void schemaVersions()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        // An archive as the first version of the program left it: no survey
        // date kept.
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-v1"));
            QSqlQuery q(db);
            const QStringList v1 =
                OldSchema(engine, 1) +
                QStringList{
                    QStringLiteral("INSERT INTO objects (name, name_key) VALUES ('Old', 'old')"),
                    QStringLiteral(
                        "INSERT INTO surveys (object_id, content_hash, name, header, "
                        "serial_number, fw_version, audio_index, records, cell_count, "
                        "los_count, gauge_name, gauge_serial, source_kind, source_path, "
                        "source_time, archived_at) VALUES (1, 'h1', 'Old', '', 0, 0, 0, 1, "
                        "1, 0, '', '', 'file', '', '2024-06-01T10:00:00', '')"),
                    QStringLiteral(
                        "INSERT INTO surveys (object_id, content_hash, name, header, "
                        "serial_number, fw_version, audio_index, records, cell_count, "
                        "los_count, gauge_name, gauge_serial, source_kind, source_path, "
                        "source_time, archived_at) VALUES (1, 'h2', 'Old', '', 0, 0, 0, 0, "
                        "0, 0, '', '', 'file', '', '2024-06-02T10:00:00', '')"),
                    QStringLiteral("INSERT INTO readings VALUES (1, 1, '', 5, 5, 'mm', 0, 0, "
                                   "'2023-05-06 07:08', NULL, 5920, '', 0, 20)"),
                };
            for (const QString& s : v1)
                QVERIFY2(q.exec(s), qPrintable(q.lastError().text() + QLatin1Char(' ') + s));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-v1"));

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        const QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.first().first, QDate(2023, 5, 6)); // from its reading
        QCOMPARE(objects.first().last, QDate(2024, 6, 2));  // from its source, no readings
        archive.Close();

        // A version beyond this program's is refused as it is.
        QString where;
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-v9"));
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT version FROM korvalent_schema")) && q.next());
            QCOMPARE(q.value(0).toInt(), CSurveyArchive::kSchemaVersion);
            QVERIFY(q.exec(QStringLiteral("UPDATE korvalent_schema SET version = 9")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-v9"));
        CArchiveLocation l;
        QVERIFY(CArchiveLocation::Parse(location, &l, &where));
        QVERIFY(!archive.Open(location));
        QCOMPARE(archive.ErrorText(),
                 QStringLiteral("Архив Korvalent '%1' создан более новой версией программы "
                                "(версия схемы 9, эта программа знает версии до 3). Обновите "
                                "Korvalent.")
                     .arg(l.DisplayText()));
        QVERIFY(!archive.IsOpen());
    }

    // An archive of the previous version, one row per reading: its surveys
    // read back byte for byte, and every reading's texts kept.
    void readingsMigrated_data() { EngineRows(); }
    void readingsMigrated()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        const DataFileList files = {File(QStringLiteral("Котёл"), 5, 1),
                                    File(QStringLiteral("Бак"), 3, 2)};
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-v2"));
            QSqlQuery q(db);
            for (const QString& statement : OldSchema(engine))
                QVERIFY2(q.exec(statement), qPrintable(q.lastError().text()));
            for (int f = 0; f < files.size(); ++f)
            {
                const DataFileRecord& file = files.at(f);
                const QString name = CDataStorage::FileName(file);
                q.prepare(QStringLiteral("INSERT INTO objects (name, name_key) VALUES (?, ?)"));
                q.addBindValue(name);
                q.addBindValue(CSurveyArchive::ObjectKey(name));
                QVERIFY(q.exec());
                q.prepare(QStringLiteral(
                    "INSERT INTO surveys (object_id, content_hash, name, header, serial_number, "
                    "fw_version, audio_index, records, cell_count, los_count, gauge_name, "
                    "gauge_serial, source_kind, source_path, source_time, archived_at, "
                    "survey_date) VALUES (?, ?, ?, ?, 0, 0, 0, 0, ?, 0, '', '', 'file', '', '', "
                    "'', '2026-04-01')"));
                q.addBindValue(f + 1);
                q.addBindValue(CSurveyArchive::ContentHash(file));
                q.addBindValue(name);
                q.addBindValue(QByteArray(reinterpret_cast<const char*>(&file.header),
                                          int(sizeof(file.header))));
                q.addBindValue(int(file.cells.size()));
                QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
                for (int c = 0; c < file.cells.size(); ++c)
                {
                    q.prepare(QStringLiteral("INSERT INTO readings VALUES (?, ?, ?, 0, 0, 'mm', "
                                             "0, 0, NULL, ?, 5920, 'П112', 0, 0)"));
                    q.addBindValue(f + 1);
                    q.addBindValue(c + 1);
                    q.addBindValue(QByteArray(reinterpret_cast<const char*>(&file.cells.at(c)),
                                              int(sizeof(CellRecord))));
                    q.addBindValue(f == 0 ? QVariant(QStringLiteral("Сталь 20"))
                                          : QVariant(QMetaType(QMetaType::QString)));
                    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
                }
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-v2"));

        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        for (int f = 0; f < files.size(); ++f)
        {
            DataFileRecord back;
            QVERIFY(archive.SurveyData(f + 1, &back));
            QCOMPARE(Bytes(back), Bytes(files.at(f)));
        }
        // The same data again is already there.
        QCOMPARE(archive.AddSurveys(files, {}, Download()).AlreadyArchived(), 2);
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("readings")), 8);
        {
            QSqlDatabase db = Connect(location, QStringLiteral("kv-v3"));
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT survey_id, material, pep_ident FROM readings "
                                          "ORDER BY survey_id, cell")));
            for (int i = 0; i < 8; ++i)
            {
                QVERIFY(q.next());
                QCOMPARE(q.value(1).isNull(), q.value(0).toInt() == 2);
                if (q.value(0).toInt() == 1)
                    QCOMPARE(q.value(1).toString(), QStringLiteral("Сталь 20"));
                QCOMPARE(q.value(2).toString(), QStringLiteral("П112"));
            }
            QVERIFY(q.exec(QStringLiteral("SELECT version FROM korvalent_schema")) && q.next());
            QCOMPARE(q.value(0).toInt(), CSurveyArchive::kSchemaVersion);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("kv-v3"));
    }

    void hostileNames_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("name");
        const QStringList names = {
            QStringLiteral("'; DROP TABLE surveys; --"),
            QStringLiteral("\"quoted\" and 'single'"),
            QStringLiteral("a;b--c/*d*/\\e%_"),
            QStringLiteral("Ωμέγα 日本語 😀 котёл"),
            QString(QStringLiteral("Длинное имя ")).repeated(400),
            QStringLiteral("$1 ? :name @x"),
        };
        for (const char* engine : {"sqlite", "postgresql"})
            for (int i = 0; i < names.size(); ++i)
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(engine)).arg(i)))
                    << QString::fromLatin1(engine) << names.at(i);
    }
    void hostileNames()
    {
        QFETCH(QString, engine);
        QFETCH(QString, name);
        QString location;
        KV_FRESH_LOCATION(engine, m_dir, location);
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        // The survey name field holds 16 bytes: the rest goes in as an object.
        const CSurveyArchive::AddResult r =
            archive.AddSurveys({File(name.left(8), 3)}, {}, Download());
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY2(archive.MoveSurvey(r.surveys.first().surveyId, name),
                 qPrintable(archive.ErrorText()));
        QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
        QCOMPARE(objects.size(), 1);
        QCOMPARE(objects.first().name, name.trimmed());
        CSurveyArchive::ObjectInfo found;
        QVERIFY(archive.FindObject(name.toUpper(), &found));
        QVERIFY(archive.RenameObject(name, name + QStringLiteral("'")));
        QCOMPARE(archive.Objects().first().name, (name + QStringLiteral("'")).trimmed());
        archive.Close();
        QCOMPARE(Count(location, QStringLiteral("surveys")), 1);
    }

    void badArchives_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("text file") << QByteArray("<!DOCTYPE KorvalentDatabase>\n")
                                   << "Файл '%1' не является архивом Korvalent.";
        QByteArray damaged("SQLite format 3\0", 16);
        damaged.append(QByteArray(4080, '\xA5'));
        QTest::newRow("damaged") << damaged << "Архив Korvalent '%1' повреждён: ";
        QTest::newRow("another database")
            << QByteArray() << "Файл '%1' не является архивом Korvalent.";
    }
    void badArchives()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("bad-%1.sqlite").arg(n++));
        if (content.isEmpty())
        {
            // An SQLite database of another program.
            {
                QSqlDatabase db = Connect(path, QStringLiteral("kv-other"));
                QSqlQuery q(db);
                QVERIFY(q.exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("kv-other"));
        }
        else
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = [&]
        {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        CSurveyArchive archive;
        QVERIFY(!archive.Open(path));
        QVERIFY2(archive.ErrorText().startsWith(message.arg(path)),
                 qPrintable(archive.ErrorText()));
        QVERIFY(!archive.IsOpen());
        // Nothing written into a file that is not ours.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        const CSurveyArchive::AddResult r =
            archive.AddSurveys({File(QStringLiteral("X"), 1)}, {}, Download());
        QVERIFY(!r.ok);
        QCOMPARE(r.error, archive.ErrorText());
    }

    void unreachableServer()
    {
        // A socket folder without a server, and a password that must never
        // be shown.
        const QString url = QStringLiteral(
            "postgresql://inspector:s3cret@%2Fnonexistent%2Fkorvalent-pg:5439/archive");
        CSurveyArchive archive;
        QVERIFY(!archive.Open(url));
        QVERIFY2(archive.ErrorText().startsWith(QStringLiteral(
                     "Не удалось подключиться к архиву Korvalent "
                     "'postgresql://inspector@/nonexistent/korvalent-pg:5439/archive': ")),
                 qPrintable(archive.ErrorText()));
        QVERIFY(!archive.ErrorText().contains(QStringLiteral("s3cret")));
        QVERIFY(!archive.IsOpen());
    }

    void locations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("file") << "/data/a.sqlite" << false << "/data/a.sqlite"
                              << "" << -1;
        QTest::newRow("url") << "postgresql://ivan:pw@db.example:5433/korvalent" << true
                             << "postgresql://ivan@db.example:5433/korvalent"
                             << "db.example" << 5433;
        QTest::newRow("socket folder") << "postgres://ivan@%2Fvar%2Frun%2Fpostgresql/k" << true
                                       << "postgresql://ivan@/var/run/postgresql/k"
                                       << "/var/run/postgresql" << -1;
        QTest::newRow("host parameter")
            << "postgresql:///k?host=/tmp/s&port=5999" << true << "postgresql:///tmp/s:5999/k"
            << "/tmp/s" << 5999;
    }
    void locations()
    {
        QFETCH(QString, text);
        QFETCH(bool, server);
        QFETCH(QString, shown);
        QFETCH(QString, host);
        QFETCH(int, port);
        CArchiveLocation l;
        QString error;
        QVERIFY2(CArchiveLocation::Parse(text, &l, &error), qPrintable(error));
        QCOMPARE(l.IsServer(), server);
        QCOMPARE(l.DisplayText(), shown);
        QCOMPARE(l.host, host);
        QCOMPARE(l.port, port);
        QVERIFY(!CArchiveLocation::WithoutPassword(text).contains(QStringLiteral(":pw@")));
        QVERIFY(CArchiveLocation::Parse(CArchiveLocation::WithoutPassword(text), &l, &error));
        QCOMPARE(l.DisplayText(), shown);
        QVERIFY(l.password.isEmpty());
        QVERIFY(!CArchiveLocation::Parse(QStringLiteral("postgresql://u@h:99999/x"), &l, &error));
        QVERIFY(!CArchiveLocation::Parse(QStringLiteral("postgresql://u@h/"), &l, &error));
    }
};

// Run as "--archive-worker LOCATION FILE N": archives FILE and, inside the
// transaction after N data files, prints "N of TOTAL" and waits to be killed.
static int ArchiveWorker(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CSurveyArchive archive;
    if (!archive.Open(QString::fromLocal8Bit(argv[2])))
        return 3;
    const CDataStorage::LoadResult loaded =
        CDataStorage::LoadDatabaseFile(QString::fromLocal8Bit(argv[3]));
    const int stopAt = QByteArray(argv[4]).toInt();
    archive.AddSurveys(loaded.files, {}, {},
                       [stopAt](int done, int total)
                       {
                           if (done != stopAt)
                               return;
                           std::printf("%d of %d\n", done, total);
                           std::fflush(stdout);
                           std::getchar(); // never answered: the test kills the process here
                       });
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--archive-worker")
        return ArchiveWorker(argc, argv);
    QCoreApplication app(argc, argv);
    TestArchive test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_archive.moc"
