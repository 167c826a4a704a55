// Load and save of the largest database the program holds (150 data files of
// 254 cells), timed against `xmllint --noout` parsing the same file.
//
//   korvalent-bench-data [--runs N] [--keep DIR]

#include "bench/BenchData.h"
#include "data/CAnsiText.h"
#include "data/CDataStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{
DataFileList LargestDatabase()
{
    DataFileList files;
    BenchData::Sequence next(12345);
    for (int f = 0; f < CDataStorage::kMaxDataFiles; ++f)
    {
        DataFileRecord file;
        CAnsiText::Encode(QStringLiteral("Труба %1").arg(f + 1), file.header.name, 16);
        file.header.records = 254;
        file.header.serialNumber = 100000 + quint32(f);
        file.header.fwVersion = 0x01020304;
        file.header.audioIndex = quint8(f % 7);
        for (int c = 0; c < 254; ++c)
        {
            file.cells.append(BenchData::RandomCell(next, 4));
        }
        files.append(file);
    }
    return files;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 9;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
    {
        if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--keep"))
            keep = args.at(i + 1);
    }

    QTemporaryDir tmp;
    const QString dir = keep.isEmpty() ? tmp.path() : keep;
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/largest.kdb");
    const DataFileList files = LargestDatabase();
    if (!CDataStorage::SaveDatabaseFile(path, files))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    QList<double> load, save, lint;
    for (int r = 0; r < runs; ++r)
    {
        QElapsedTimer t;
        t.start();
        const CDataStorage::LoadResult result = CDataStorage::LoadDatabaseFile(path);
        load.append(t.nsecsElapsed() / 1e6);
        if (!result.Succeeded() || result.files.size() != files.size() || result.damaged)
        {
            std::fprintf(stderr, "load failed\n");
            return 1;
        }

        t.start();
        if (!CDataStorage::SaveDatabaseFile(path, result.files))
        {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        save.append(t.nsecsElapsed() / 1e6);
    }

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
    {
        std::printf("load %.1f ms, save %.1f ms (xmllint not found)\n", BenchData::Median(load),
                    BenchData::Median(save));
        return 0;
    }
    for (int r = 0; r < runs; ++r)
    {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(xmllint, {QStringLiteral("--noout"), path});
        p.waitForFinished(-1);
        lint.append(t.nsecsElapsed() / 1e6);
        if (p.exitCode() != 0)
        {
            std::fprintf(stderr, "xmllint rejected the file\n");
            return 1;
        }
    }

    const double l = BenchData::Median(load), s = BenchData::Median(save),
                 x = BenchData::Median(lint);
    std::printf("file: %lld bytes, %d runs (medians)\n", QFileInfo(path).size(), runs);
    std::printf("load    %8.1f ms   ratio %.2f\n", l, l / x);
    std::printf("save    %8.1f ms   ratio %.2f\n", s, s / x);
    std::printf("xmllint %8.1f ms\n", x);
    return 0;
}
