#pragma once

#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStringList>

// Independent readers of what the exports wrote: Python (xlrd for .xls, the
// zip and XML modules for .xlsx, csv for CSV) and LibreOffice when present.
namespace ExportTest
{
// The Debian interpreter first: its xlrd is the one the setup installs.
inline QString Python()
{
    if (QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

inline QByteArray RunPython(const QStringList& arguments, const QByteArray& input = {},
                            QString* error = nullptr)
{
    QProcess process;
    process.start(Python(), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
    {
        if (error)
            *error = QString::fromUtf8(process.readAllStandardError());
        return {};
    }
    return process.readAllStandardOutput();
}

// The first worksheet as the reader script sees it; kind "xls" or "xlsx".
inline QJsonObject ReadWorkbook(const QString& path, const QString& kind, QString* error)
{
    const QByteArray json = RunPython(
        {QStringLiteral(KORVALENT_EXPORT_TESTS "/read_workbook.py"), path, kind}, {}, error);
    return QJsonDocument::fromJson(json).object();
}

inline QJsonObject Cell(const QJsonObject& sheet, int row, int column)
{
    return sheet.value(QStringLiteral("cells")).toArray().at(row).toArray().at(column).toObject();
}

// The texts of every row of a CSV file read by Python's csv module with ";"
// as the separator (the trailing ";" gives an empty last field, dropped);
// each value's formula ="…" is turned back into its text.
inline QList<QStringList> ReadCsv(const QString& path, QString* error)
{
    // Kept out of raw string literals: moc does not read them.
    const QByteArray script = "import csv, json, sys\n"
                              "rows = []\n"
                              "with open(sys.argv[1], newline='', encoding='cp1251') as f:\n"
                              "    for n, row in enumerate(csv.reader(f, delimiter=';')):\n"
                              "        assert row[-1] == '', row\n"
                              "        row = row[:-1]\n"
                              "        if n > 0:\n"
                              "            for v in row:\n"
                              "                assert v.startswith('=\"') and v.endswith('\"'), v\n"
                              "            row = [v[2:-1].replace('\"\"', '\"') for v in row]\n"
                              "        rows.append(row)\n"
                              "json.dump(rows, sys.stdout)\n";
    const QByteArray json =
        RunPython({QStringLiteral("-c"), QString::fromUtf8(script), path}, {}, error);
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(json).array())
    {
        QStringList texts;
        for (const QJsonValue& v : row.toArray())
            texts << v.toString();
        rows << texts;
    }
    return rows;
}

inline QString LibreOffice()
{
    for (const char* name : {"soffice", "libreoffice"})
    {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

// Converts files to .xlsx in outDir with a private profile (several engineers
// and test runs may use LibreOffice at once). filter: the import filter
// options, empty for the file's own format.
inline bool ConvertToXlsx(const QStringList& files, const QString& outDir, const QString& profile,
                          const QString& filter = {})
{
    QStringList arguments{QStringLiteral("-env:UserInstallation=file://") + profile,
                          QStringLiteral("--headless")};
    if (!filter.isEmpty())
        arguments << QStringLiteral("--infilter=") + filter;
    arguments << QStringLiteral("--convert-to") << QStringLiteral("xlsx")
              << QStringLiteral("--outdir") << outDir << files;
    return RunProgram(LibreOffice(), arguments, 180000).exitCode == 0;
}

// A results-shaped model: the nine headers and the given rows of texts.
inline void FillModel(QStandardItemModel* model, const QStringList& headers,
                      const QList<QStringList>& rows)
{
    model->clear();
    model->setColumnCount(int(headers.size()));
    model->setHorizontalHeaderLabels(headers);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c)
            model->setItem(r, c, new QStandardItem(rows.at(r).at(c)));
}
} // namespace ExportTest
