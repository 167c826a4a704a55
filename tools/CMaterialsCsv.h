#pragma once

#include "core/CSafeSave.h"
#include "data/GaugeRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

// The gauge's materials table outside the device: the texts of one grid row
// of the materials editor, the cell rules that grid enforces, the conversion
// between grid rows and MaterialRecord, and the materials CSV file.
// Widget-free, so the editor, the command line and the tests share it.
class CMaterialsCsv
{
public:
    // The three cell texts of one grid row, exactly as the grid shows them.
    struct Row
    {
        QString name;
        QString velocity;
        QString coefficient;

        bool operator==(const Row& o) const
        {
            return name == o.name && velocity == o.velocity && coefficient == o.coefficient;
        }
    };

    // Grid columns.
    enum Column
    {
        NameColumn = 0,
        VelocityColumn = 1,
        CoefficientColumn = 2
    };

    // Limits of the grid and of the gauge's table.
    static constexpr int kMaxNameChars = 13;     // characters of a name in the grid
    static constexpr int kMaxRowsByHand = 70;    // rows the user may add one by one
    static constexpr int kMaxGaugeRecords = 254; // record numbers 1..254 on the wire
    static constexpr int kMinVelocity = 1000;
    static constexpr int kMaxVelocity = 19999;
    static constexpr int kMaxCoefficientHundredths = 32767;  // 327.67
    static constexpr int kMinCoefficientHundredths = -32768; // -327.68

    // The cell rule of a grid column: returns the corrected text, or the text
    // unchanged when it already obeys the rule (so applying it twice changes
    // nothing the second time).
    static QString CorrectCell(int column, const QString& text);
    static Row CorrectRow(const Row& row);

    // 8-bit name field <-> text. The name is converted to windows-1251 and cut
    // at a character boundary so that it fits the 16 bytes; reading stops at
    // the first zero byte and never goes past the field.
    static void EncodeName(const QString& text, char (&field)[16]);
    static QString DecodeName(const char (&field)[16]);

    // A record as the grid shows it (the cell rules applied).
    static Row RecordToRow(const MaterialRecord& record);
    static QList<Row> RecordsToRows(const MaterialList& records);

    // The coefficient text read as a number and scaled to hundredths,
    // truncated toward zero (0 when it is no number). The value is not
    // limited to the 16-bit field; see CoefficientFits.
    static qint64 CoefficientHundredths(const QString& text);
    static bool CoefficientFits(qint64 hundredths);

    // A grid row (or CSV line) as a record. Fails, with a message naming the
    // row, when the coefficient does not fit the record's 16-bit field:
    // wrapping it would send a different number than the one shown.
    // row is 1-based and only used for the message.
    static bool RowToRecord(const Row& row, int rowNumber, MaterialRecord* record, QString* error);

    // What the grid's cell rules or the record's fields would change in a
    // row taken from a file (a velocity that is no number in 1000 ... 19999,
    // a coefficient that is no number, of magnitude 1000 or more or beyond
    // the 16-bit field, a name over 13 characters): one text per value,
    // naming the line and the value. Empty when the row goes out as written.
    static QStringList ChangedValues(const Row& row, int line);

    // The whole grid as the list sent to the gauge. Refuses more than 254
    // rows (the record number is one byte and the gauge reads at most 254)
    // and out-of-range coefficients; error gets the message.
    static bool RowsToGaugeList(const QList<Row>& rows, MaterialList* records, QString* error);

    // Result of reading a materials CSV file.
    struct ReadResult
    {
        enum Status
        {
            Ok,          // every line read
            NotOpened,   // the file cannot be opened for reading
            FormatError, // a line without exactly three parts; records before it kept
            Refused      // no regular file, or over CInputLimits::kMaterialsCsvBytes:
                         // nothing read; errorText names the file and the limit
        };
        Status status = Ok;
        MaterialList records; // the records read before the end or the faulty line
        QList<Row> rows;      // the same lines as texts, before any cell rule
        int line = 0;         // 1-based number of the faulty line
        QString errorText;    // message for FormatError
        // Lines whose coefficient did not fit the record's field: their
        // coefficient was set to the nearest end of -327.68 ... 327.67, and
        // clampText says so (empty when no line needed it).
        QList<int> clampedLines;
        QString clampText;
    };

    // Reads the file: UTF-8, a leading byte-order mark accepted, one record
    // per line "name,velocity,coefficient". CR, LF and TAB are removed from
    // each line; a line end at the very end of the file is no empty line.
    // A coefficient beyond the 16-bit field is clamped to the field's range
    // (never wrapped) and reported in clampedLines.
    static ReadResult Read(const QString& path);
    static ReadResult ReadBytes(const QByteArray& content);

    // Writes the rows as the file: byte-order mark, then "%1,%2,%3\n" per row
    // with the cell texts as they are. Written atomically through CSafeSave;
    // false when the file cannot be written (the previous file then stays as
    // it was) or the target is no regular file. result (optional) tells why.
    static bool Write(const QString& path, const QList<Row>& rows,
                      CSafeSave::Result* result = nullptr);
    static QByteArray ToBytes(const QList<Row>& rows);

    // Message texts shared by the editor and the command line.
    static QString FormatErrorText();
};
