// Export of the largest data file (254 cells) to CSV, .xls and .xlsx, each
// timed against the floor of any export: a safe save (write, sync, rename)
// of as many bytes as that export's file has. Each format twice: from the
// window's item model, and from the plain table the command line fills
// ("table": CResultsTable, no Qt Gui), the filling included. Subject and reference run in
// the same process, interleaved, so that disk and cache conditions match.
//
//   korvalent-bench-export [--runs N]

#include "bench/BenchData.h"
#include "core/CSafeSave.h"
#include "data/CAnsiText.h"
#include "data/CResultsModels.h"
#include "export/CCsvWriter.h"
#include "export/CResultsSheet.h"
#include "export/CResultsTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace
{
DataFileRecord LargestFile()
{
    DataFileRecord file;
    BenchData::Sequence next(2024);
    CAnsiText::Encode(QStringLiteral("Котёл-2"), file.header.name, 16);
    file.header.records = 254;
    for (int c = 0; c < 254; ++c)
    {
        file.cells.append(BenchData::RandomCell(next, 4));
    }
    return file;
}

struct Series
{
    QList<double> ms;
    double Min() const { return *std::min_element(ms.begin(), ms.end()); }
    double Max() const { return *std::max_element(ms.begin(), ms.end()); }
    double Median() const { return BenchData::Median(ms); }
};

bool Time(Series* series, const std::function<bool()>& run)
{
    QElapsedTimer t;
    t.start();
    const bool ok = run();
    series->ms.append(t.nsecsElapsed() / 1e6);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 21;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(1, args.at(i + 1).toInt());

    QTemporaryDir dir;
    const DataFileRecord file = LargestFile();
    QStandardItemModel model;
    CResultsModels::ResetResults(&model);
    CResultsModels::FillResults(&model, file, {});

    struct Subject
    {
        const char* name;
        QString path;
        std::function<bool(const QString&)> write;
        QByteArray sameSize; // the reference's bytes
        Series subject, reference;
    };
    QList<Subject> subjects{
        {"csv",
         dir.filePath(QStringLiteral("out.csv")),
         [&model](const QString& p) { return CCsvWriter::Save(p, model).Ok(); },
         {},
         {},
         {}},
        {"xls",
         dir.filePath(QStringLiteral("out.xls")),
         [&model](const QString& p) { return CResultsSheet::FromModel(model).Save(p).Ok(); },
         {},
         {},
         {}},
        {"xlsx",
         dir.filePath(QStringLiteral("out.xlsx")),
         [&model](const QString& p) { return CResultsSheet::FromModel(model).Save(p).Ok(); },
         {},
         {},
         {}},
        {"csv table",
         dir.filePath(QStringLiteral("table.csv")),
         [&file](const QString& p)
         { return CCsvWriter::Save(p, CResultsTable::Of(file, {})).Ok(); },
         {},
         {},
         {}},
        {"xls table",
         dir.filePath(QStringLiteral("table.xls")),
         [&file](const QString& p)
         { return CResultsSheet::FromTable(CResultsTable::Of(file, {})).Save(p).Ok(); },
         {},
         {},
         {}},
        {"xlsx table",
         dir.filePath(QStringLiteral("table.xlsx")),
         [&file](const QString& p)
         { return CResultsSheet::FromTable(CResultsTable::Of(file, {})).Save(p).Ok(); },
         {},
         {},
         {}},
    };
    for (Subject& s : subjects)
    {
        if (!s.write(s.path))
        {
            std::fprintf(stderr, "%s export failed\n", s.name);
            return 1;
        }
        s.sameSize = QByteArray(QFileInfo(s.path).size(), 'x');
    }
    const QString refPath = dir.filePath(QStringLiteral("reference.bin"));
    for (int r = 0; r < runs; ++r)
        for (Subject& s : subjects)
        {
            if (!Time(&s.subject, [&] { return s.write(s.path); }) ||
                !Time(&s.reference,
                      [&] { return CSafeSave::WriteBytes(refPath, s.sameSize).Ok(); }))
            {
                std::fprintf(stderr, "write failed\n");
                return 1;
            }
        }

    std::printf("254 cells x 9 columns, %d runs; reference: safe save of as many bytes\n", runs);
    std::printf("%-10s %8s %9s %9s %9s   %9s %9s %9s   %6s\n", "", "bytes", "min ms", "median",
                "max", "ref min", "median", "max", "ratio");
    for (const Subject& s : subjects)
        std::printf("%-10s %8lld %9.2f %9.2f %9.2f   %9.2f %9.2f %9.2f   %6.2f\n", s.name,
                    qint64(s.sameSize.size()), s.subject.Min(), s.subject.Median(), s.subject.Max(),
                    s.reference.Min(), s.reference.Median(), s.reference.Max(),
                    s.subject.Median() / s.reference.Median());
    return 0;
}
