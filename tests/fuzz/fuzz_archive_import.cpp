// A data file on any bytes, loaded as the program loads one and, when it
// loads, archived into an SQLite archive and read back: a second archiving of
// the same content adds nothing, and the survey as archived (and as written
// out again) has the loaded header and cells byte for byte.
#include "archive/CSurveyArchive.h"
#include "data/CDataStorage.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// One archive per process, emptied after every input: the schema is made
// once, and each input starts from the same empty archive.
CSurveyArchive* g_archive = nullptr;

[[noreturn]] void Fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "fuzz_archive_import: %s %s\n", what, qPrintable(detail));
    std::abort();
}

bool SameCells(const QList<CellRecord>& a, const QList<CellRecord>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (std::memcmp(&a.at(i), &b.at(i), sizeof(CellRecord)) != 0)
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The SQL drivers are plugins: they need the application object.
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    g_archive = new CSurveyArchive;
    if (!dir.isValid() || !g_archive->Open(dir.filePath(QStringLiteral("fuzz.sqlite"))))
        Fail("cannot open the archive", g_archive->ErrorText());
    // Closed at exit before Qt SQL's own connection list goes (registered
    // after the archive made that list, so it runs first).
    std::atexit(
        []
        {
            delete g_archive;
            g_archive = nullptr;
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CDataStorage::LoadResult loaded = CDataStorage::ParseDataFile(FuzzBytes(data, size));
    if (!loaded.Succeeded())
        return 0;
    if (loaded.files.size() != 1)
        Fail("a loaded data file holds other than one file");
    const DataFileRecord& file = loaded.files.first();

    CSurveyArchive::Source source;
    source.kind = CSurveyArchive::Source::File;
    source.path = QStringLiteral("/fuzz/input.kdf");
    source.time = QDateTime(QDate(2026, 3, 5), QTime(10, 0));
    const CSurveyArchive::AddResult first = g_archive->AddSurveys({file}, {}, source);
    if (!first.ok || first.surveys.size() != 1 || !first.surveys.first().added ||
        first.surveys.first().surveyId <= 0)
        Fail("first archiving failed", first.error + QLatin1Char(' ') + g_archive->ErrorText());
    const qint64 id = first.surveys.first().surveyId;

    // The same content again: found, nothing added.
    const CSurveyArchive::AddResult second = g_archive->AddSurveys({file}, {}, source);
    if (!second.ok || second.surveys.size() != 1 || second.surveys.first().added ||
        second.surveys.first().surveyId != id || second.Added() != 0)
        Fail("second archiving added or failed", second.error);
    const QList<CSurveyArchive::ObjectInfo> objects = g_archive->Objects();
    if (objects.size() != 1 || objects.first().surveys != 1)
        Fail("the archive holds other than one survey");

    DataFileRecord archived;
    if (!g_archive->SurveyData(id, &archived))
        Fail("cannot read the survey back", g_archive->ErrorText());
    if (std::memcmp(&archived.header, &file.header, sizeof(file.header)) != 0)
        Fail("header differs");
    if (!SameCells(archived.cells, file.cells))
        Fail("cells differ");

    // Written out as the archive-get command writes it and loaded again.
    const CDataStorage::LoadResult out = CDataStorage::ParseDataFile(
        CDataStorage::DataFileDocument(archived, CDataStorage::FileName(archived)));
    if (!out.Succeeded() || out.files.size() != 1 ||
        !SameCells(out.files.first().cells, file.cells))
        Fail("the written survey does not load with the same cells");

    if (!g_archive->RemoveSurvey(id) || !g_archive->Objects().isEmpty())
        Fail("cannot empty the archive", g_archive->ErrorText());
    return 0;
}
