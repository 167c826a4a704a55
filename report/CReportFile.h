#pragma once

#include "report/CReportData.h"

#include <QByteArray>
#include <QString>

// The report file (".krf"): an XML key file with the root "KorvalentReport"
// holding one element per field, the statistics values and the results rows.
class CReportFile
{
public:
    static QString RootName() { return QStringLiteral("KorvalentReport"); }
    static constexpr int kMaxLoadedRows = 150;
    // A stored row shorter than this is taken for an empty one (ten empty
    // cells give nine separators) and skipped.
    static constexpr int kShortestRow = 10;

    struct LoadResult
    {
        enum Status
        {
            Ok,
            OpenFailed,  // not a readable regular file
            ParseFailed, // not well-formed XML; parserError tells why
            WrongKind    // another root element
        };
        Status status = OpenFailed;
        QString parserError;
        CReportData report; // on success: the previous report with the file's values put in
        bool Succeeded() const { return status == Ok; }
    };

    // The document as written, keys in file order.
    static QByteArray Document(const CReportData& report);

    // Reads a report file over a previous report: every field and both
    // tables are replaced, except that a date that is missing or does not
    // parse keeps its previous value.
    static LoadResult Parse(const QByteArray& content, const CReportData& previous = CReportData());
    static LoadResult Load(const QString& path, const CReportData& previous = CReportData());
};
