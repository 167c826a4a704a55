// Writes the seed corpora of the fuzz targets with the program's own
// writers and the virtual gauge: korvalent-fuzz-corpus tests/fuzz/corpus
// (run by hand when a format changes; the corpora are committed).
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "device/CDeviceManager.h"
#include "device/CSerialLink.h"
#include "sim/CVirtualGauge.h"
#include "tests/fuzz/FuzzDeviceSupport.h"
#include "report/CReportData.h"
#include "report/CReportFile.h"
#include "tools/CMaterialsCsv.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <cstdio>
#include <memory>

namespace
{
QString g_root;

void Seed(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString folder = g_root + QLatin1Char('/') + QString::fromLatin1(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
}

// A link to the virtual gauge that keeps every byte the gauge answered.
class CRecordingLink : public CSerialLink
{
public:
    explicit CRecordingLink(QByteArray* record) : m_record(record) {}
    qint64 Read(quint8* data, int size) override
    {
        const qint64 n = CSerialLink::Read(data, size);
        if (n > 0)
            m_record->append(reinterpret_cast<const char*>(data), int(n));
        return n;
    }

private:
    QByteArray* m_record;
};

class CCompletion : public QObject
{
    Q_OBJECT
public:
    QEventLoop loop;
    bool done = false;
public Q_SLOTS:
    void DeviceTaskCompleted(int, const void*, int)
    {
        done = true;
        loop.quit();
    }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: korvalent-fuzz-corpus FOLDER\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);

    CVirtualGauge gauge;
    gauge.LoadDemoContent();
    const DataFileList files = gauge.Files();
    DataFileList few = files.mid(0, 2);

    // Key files: the demo database, a small one, one data file, an empty one.
    for (const char* target : {"fuzz_key_file_reader", "fuzz_database_loader"})
    {
        Seed(target, QStringLiteral("small.kdb"), CDataStorage::DatabaseDocument(few));
        Seed(target, QStringLiteral("empty.kdb"), CDataStorage::DatabaseDocument({}));
    }
    Seed("fuzz_database_loader", QStringLiteral("demo.kdb"), CDataStorage::DatabaseDocument(files));
    for (const char* target : {"fuzz_key_file_reader", "fuzz_data_file_loader"})
    {
        Seed(target, QStringLiteral("one.kdf"),
             CDataStorage::DataFileDocument(files.first(), QStringLiteral("One")));
        Seed(target, QStringLiteral("empty.kdf"),
             CDataStorage::DataFileDocument(CTaskBuffers::File("E", 0), QStringLiteral("E")));
    }

    // The archive import: two of the demo's data files and an empty one.
    for (int i = 0; i < 2 && i < files.size(); ++i)
        Seed("fuzz_archive_import", QStringLiteral("demo-%1.kdf").arg(i + 1),
             CDataStorage::DataFileDocument(files.at(i), CDataStorage::FileName(files.at(i))));
    Seed("fuzz_archive_import", QStringLiteral("empty.kdf"),
         CDataStorage::DataFileDocument(CTaskBuffers::File("E", 0), QStringLiteral("E")));

    Seed("fuzz_materials_csv", QStringLiteral("demo.csv"),
         CMaterialsCsv::ToBytes(CMaterialsCsv::RecordsToRows(gauge.Materials())));
    // The round trip: the gauge's records as sent, and the grid rows they
    // make (cells at 0x1F).
    QByteArray records(1, '\1');
    QByteArray rows(1, '\0');
    for (const MaterialRecord& m : gauge.Materials())
        records.append(reinterpret_cast<const char*>(&m), sizeof(m));
    for (const CMaterialsCsv::Row& row : CMaterialsCsv::RecordsToRows(gauge.Materials()))
        rows += (QStringList{row.name, row.velocity, row.coefficient}.join(QChar(0x1F)) +
                 QLatin1Char('\n'))
                    .toUtf8();
    rows.chop(1);
    Seed("fuzz_materials_round_trip", QStringLiteral("demo-records"), records);
    Seed("fuzz_materials_round_trip", QStringLiteral("demo-rows"), rows);

    // Report files: an empty form and a filled one with results rows (an
    // untouched form is dated today: the clock is pinned for the same bytes).
    CClock::Pin(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
    CReportData report;
    Seed("fuzz_report_file", QStringLiteral("empty.krf"), CReportFile::Document(report));
    for (int f = 0; f < CReportData::FieldCount; ++f)
        report.SetText(CReportData::Field(f), QStringLiteral("Поле %1").arg(f));
    report.rows = {QStringList(10, QStringLiteral("7.62")), QStringList(10, QStringLiteral("Н/Д"))};
    Seed("fuzz_report_file", QStringLiteral("filled.krf"), CReportFile::Document(report));

    // Report documents: the same two, one with markup, placeholders and line
    // breaks in its fields, one with a table longer than a page.
    Seed("fuzz_report_document", QStringLiteral("empty.krf"), CReportFile::Document(CReportData()));
    Seed("fuzz_report_document", QStringLiteral("filled.krf"), CReportFile::Document(report));
    CReportData hostile = report;
    hostile.SetText(CReportData::ObjectOfControl, QStringLiteral("<img src=\"/dev/zero\"> t<8 mm"));
    hostile.SetText(CReportData::Name1, QStringLiteral("#NAME2 #DATA_TABLE_ROWS &amp;"));
    hostile.SetText(CReportData::Conclusion,
                    QStringLiteral("<table><tr><td><table><tr><td>x</td></tr></table></td></tr>"
                                   "</table>\r\nГоден."));
    Seed("fuzz_report_document", QStringLiteral("hostile.krf"), CReportFile::Document(hostile));
    CReportData longTable = report;
    longTable.rows.clear();
    for (int r = 0; r < 32; ++r)
        longTable.rows.append(
            {QStringLiteral("Труба-1"), QString::number(r + 1),
             r % 4 ? QStringLiteral("5.20") : QStringLiteral("0.00"), QStringLiteral("мм"),
             QStringLiteral("Сталь"), QStringLiteral("5920 м/c"), QStringLiteral("Н/Д"),
             QStringLiteral("21 C°"), QStringLiteral("14:05"), QStringLiteral("15.04.2029")});
    Seed("fuzz_report_document", QStringLiteral("long.krf"), CReportFile::Document(longTable));
    CClock::Unpin();

    // Transducer images: the demo image as read, and with its checksum left
    // to the fuzzer's repair bit.
    Seed("fuzz_pep_image", QStringLiteral("demo.pep"), QByteArray(1, '\0') + gauge.Eeprom());
    Seed("fuzz_pep_image", QStringLiteral("demo-repaired.pep"),
         QByteArray(1, '\1') + gauge.Eeprom());
    Seed("fuzz_pep_image", QStringLiteral("erased.pep"),
         QByteArray(1, '\0') + QByteArray(128, '\xFF'));

    // Cells: stored rows and raw records of every kind in the demo files.
    int cellSeeds = 0;
    for (const DataFileRecord& file : files)
        for (int i = 0; i < file.cells.size() && cellSeeds < 12; i += 7, ++cellSeeds)
        {
            const CellRecord& cell = file.cells.at(i);
            Seed("fuzz_cell_decoder", QStringLiteral("row%1.txt").arg(cellSeeds),
                 CCellDecoder::ToBase64(cell).toLatin1());
            Seed("fuzz_cell_decoder", QStringLiteral("cell%1.bin").arg(cellSeeds),
                 QByteArray(reinterpret_cast<const char*>(&cell), sizeof(cell)));
        }

    // Device tasks: each task once against the gauge, its answers recorded.
    if (!gauge.Start())
    {
        std::fprintf(stderr, "the virtual gauge does not start\n");
        return 1;
    }
    CScriptedPrompts prompts;
    SetUserPrompts(&prompts);
    CDeviceManager manager;
    manager.SetPortOverride(gauge.PortPath(), QStringLiteral("gauge"));
    QByteArray record;
    manager.SetLinkFactory([&record] { return std::make_unique<CRecordingLink>(&record); });
    for (int index = 0; index < kFuzzTaskCount; ++index)
    {
        record.clear();
        CTaskBuffers buffers;
        CCompletion completion;
        manager.StartTask(kFuzzTasks[index], buffers.For(kFuzzTasks[index]), 0, &completion);
        if (!completion.done)
            completion.loop.exec();
        while (manager.IsBusy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // Once as recorded, once with the fuzzer keeping the checksums right.
        Seed("fuzz_device_tasks", QStringLiteral("task%1").arg(kFuzzTasks[index]),
             QByteArray(1, char(index)) + QByteArray(1, '\0') + record);
        Seed("fuzz_device_tasks", QStringLiteral("task%1-checksums").arg(kFuzzTasks[index]),
             QByteArray(1, char(index)) + QByteArray(1, '\x80') + record);
    }
    SetUserPrompts(nullptr);
    return 0;
}

#include "make_corpus.moc"
