#include "export/CBiff8Workbook.h"

#include "export/CResultsSheet.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QtEndian>

#include <cstdio>
#include <mutex>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

namespace
{
constexpr int kMaxRecordData = 8224;
constexpr int kMinStreamSize = 4096;

enum RecordId : quint16
{
    kBof = 0x0809,
    kEof = 0x000A,
    kInterfaceHdr = 0x00E1,
    kMms = 0x00C1,
    kInterfaceEnd = 0x00E2,
    kWriteAccess = 0x005C,
    kCodePage = 0x0042,
    kDsf = 0x0161,
    kTabId = 0x013D,
    kWindowProtect = 0x0019,
    kProtect = 0x0012,
    kPassword = 0x0013,
    kWindow1 = 0x003D,
    kBackup = 0x0040,
    kHideObj = 0x008D,
    kDateMode = 0x0022,
    kPrecision = 0x000E,
    kBookBool = 0x00DA,
    kFont = 0x0031,
    kFormat = 0x041E,
    kXf = 0x00E0,
    kStyle = 0x0293,
    kUseSelfs = 0x0160,
    kBoundSheet = 0x0085,
    kCountry = 0x008C,
    kSst = 0x00FC,
    kContinue = 0x003C,
    kExtSst = 0x00FF,
    kDefColWidth = 0x0055,
    kColInfo = 0x007D,
    kDimensions = 0x0200,
    kRow = 0x0208,
    kLabelSst = 0x00FD,
    kWindow2 = 0x023E
};

constexpr quint16 kTextFormat = 164;
constexpr quint16 kBlack = 8;
constexpr quint16 kRed = 10;
constexpr quint16 kAutomatic = 0x7FFF;

// Little-endian record data.
class Data
{
public:
    Data& U8(int v)
    {
        m_bytes.append(char(v & 0xFF));
        return *this;
    }
    Data& U16(int v)
    {
        const quint16 le = qToLittleEndian(quint16(v));
        m_bytes.append(reinterpret_cast<const char*>(&le), 2);
        return *this;
    }
    Data& U32(quint32 v)
    {
        const quint32 le = qToLittleEndian(v);
        m_bytes.append(reinterpret_cast<const char*>(&le), 4);
        return *this;
    }
    Data& Utf16(QStringView text)
    {
        for (const QChar c : text)
            U16(c.unicode());
        return *this;
    }
    Data& Latin1(const char* text)
    {
        m_bytes.append(text);
        return *this;
    }
    // u8 length, u8 flags, characters: 8-bit for plain ASCII, else UTF-16.
    Data& ShortString(const QString& text)
    {
        const QString cut = text.left(255);
        bool ascii = true;
        for (const QChar c : cut)
            ascii = ascii && c.unicode() < 0x80;
        U8(int(cut.size())).U8(ascii ? 0 : 1);
        if (ascii)
            m_bytes.append(cut.toLatin1());
        else
            Utf16(cut);
        return *this;
    }
    const QByteArray& Bytes() const { return m_bytes; }
    int Size() const { return int(m_bytes.size()); }

private:
    QByteArray m_bytes;
};

class Stream
{
public:
    void Record(quint16 id, const Data& data = Data()) { Record(id, data.Bytes()); }
    void Record(quint16 id, const QByteArray& bytes)
    {
        Data header;
        header.U16(id).U16(int(bytes.size()));
        m_bytes += header.Bytes();
        m_bytes += bytes;
    }
    int Offset() const { return int(m_bytes.size()); }
    void PatchU32(int offset, quint32 value) { qToLittleEndian(value, m_bytes.data() + offset); }
    QByteArray& Bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};

void Bof(Stream& s, int type)
{
    s.Record(kBof, Data().U16(0x0600).U16(type).U16(0x0DBB).U16(0x07CC).U32(0).U32(6));
}

void Font(Stream& s, bool bold, quint16 colour)
{
    s.Record(kFont, Data()
                        .U16(200)
                        .U16(bold ? 1 : 0)
                        .U16(colour)
                        .U16(bold ? 700 : 400)
                        .U16(0)
                        .U8(0)
                        .U8(0)
                        .U8(0)
                        .U8(0)
                        .ShortString(QStringLiteral("Arial")));
}

void Xf(Stream& s, int font, int format, bool style, int alignment, int usedAttributes)
{
    const int type = style ? 0xFFF5 : 0x0001; // locked; a style XF has no parent
    s.Record(kXf, Data()
                      .U16(font)
                      .U16(format)
                      .U16(type)
                      .U8(alignment)
                      .U8(0)
                      .U8(0)
                      .U8(usedAttributes)
                      .U32(0)
                      .U32(0)
                      .U16(0x20C0));
}

QString CellText(const QString& text)
{
    QString cut = text.left(CBiff8Workbook::kMaxTextLength);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

// The shared strings and the positions EXTSST points at.
void SharedStrings(Stream& s, const QStringList& texts, int cellCount)
{
    const int perBucket = std::max(8, int(texts.size()) / 128 + 1);
    Data extSst;
    extSst.U16(perBucket);

    QList<QByteArray> records;
    QByteArray current;
    Data counts;
    counts.U32(quint32(cellCount)).U32(quint32(texts.size()));
    current = counts.Bytes();
    // Stream offset of the record being filled.
    int recordOffset = s.Offset();
    auto flush = [&](const QByteArray& startOfNext)
    {
        records.append(current);
        recordOffset += 4 + int(current.size());
        current = startOfNext;
    };

    for (int i = 0; i < texts.size(); ++i)
    {
        const QString& text = texts.at(i);
        const int headerNeed = 3 + (text.isEmpty() ? 0 : 2);
        if (current.size() + headerNeed > kMaxRecordData)
            flush(QByteArray());
        if (i % perBucket == 0)
            extSst.U32(quint32(recordOffset + 4 + current.size()))
                .U16(4 + int(current.size()))
                .U16(0);
        Data header;
        header.U16(int(text.size())).U8(1);
        current += header.Bytes();
        qsizetype done = 0;
        while (done < text.size())
        {
            const qsizetype room = (kMaxRecordData - current.size()) / 2;
            if (room == 0)
            {
                // A text going on in the next record repeats its flags byte.
                flush(QByteArray(1, '\x01'));
                continue;
            }
            const qsizetype part = std::min(room, text.size() - done);
            current += Data().Utf16(QStringView(text).mid(done, part)).Bytes();
            done += part;
        }
    }
    records.append(current);

    s.Record(kSst, records.first());
    for (int r = 1; r < records.size(); ++r)
        s.Record(kContinue, records.at(r));
    s.Record(kExtSst, extSst);
}

std::once_flag s_gsfInit;
} // namespace

QByteArray CBiff8Workbook::WorkbookStream(const CResultsSheet& sheet)
{
    if (sheet.rowCount > kMaxRows || sheet.columnCount > kMaxColumns)
        return {};

    // Unique texts in order of first use, and each cell's index among them.
    QStringList texts;
    QHash<QString, int> indexOf;
    QList<int> cellText;
    cellText.reserve(sheet.cells.size());
    for (const CResultsSheet::Cell& cell : sheet.cells)
    {
        const QString text = CellText(cell.text);
        auto found = indexOf.constFind(text);
        if (found == indexOf.constEnd())
        {
            found = indexOf.insert(text, int(texts.size()));
            texts.append(text);
        }
        cellText.append(found.value());
    }

    Stream s;
    // --- workbook globals ---
    Bof(s, 0x0005);
    s.Record(kInterfaceHdr, Data().U16(1200));
    s.Record(kMms, Data().U8(0).U8(0));
    s.Record(kInterfaceEnd);
    {
        Data access;
        access.U16(9).U8(0).Latin1("Korvalent");
        while (access.Size() < 112)
            access.U8(' ');
        s.Record(kWriteAccess, access);
    }
    s.Record(kCodePage, Data().U16(1200));
    s.Record(kDsf, Data().U16(0));
    s.Record(kTabId, Data().U16(1));
    s.Record(kWindowProtect, Data().U16(0));
    s.Record(kProtect, Data().U16(0));
    s.Record(kPassword, Data().U16(0));
    s.Record(
        kWindow1,
        Data().U16(0).U16(0).U16(0x4000).U16(0x2000).U16(0x0038).U16(0).U16(0).U16(1).U16(600));
    s.Record(kBackup, Data().U16(0));
    s.Record(kHideObj, Data().U16(0));
    s.Record(kDateMode, Data().U16(0));
    s.Record(kPrecision, Data().U16(1));
    s.Record(kBookBool, Data().U16(0));
    for (int f = 0; f < 4; ++f)
        Font(s, false, kAutomatic);
    Font(s, true, kBlack);  // 5
    Font(s, false, kBlack); // 6
    Font(s, false, kRed);   // 7
    s.Record(kFormat, Data().U16(kTextFormat).U16(1).U8(0).Latin1("@"));
    constexpr int kGeneralBottom = 0x20;
    constexpr int kCentredBottom = 0x22;
    Xf(s, 0, 0, true, kGeneralBottom, 0);
    for (int x = 1; x < 15; ++x)
        Xf(s, x < 5 ? (x + 1) / 2 : 0, 0, true, kGeneralBottom, 0xF4);
    Xf(s, 0, 0, false, kGeneralBottom, 0);
    // Format, font and alignment are our own in the three cell XFs.
    constexpr int kOwnAttributes = 0x04 | 0x08 | 0x10;
    Xf(s, 5, kTextFormat, false, kCentredBottom, kOwnAttributes);
    Xf(s, 6, kTextFormat, false, kCentredBottom, kOwnAttributes);
    Xf(s, 7, kTextFormat, false, kCentredBottom, kOwnAttributes);
    s.Record(kStyle, Data().U16(0x8000).U8(0).U8(0xFF));
    s.Record(kUseSelfs, Data().U16(1));
    const int sheetOffsetAt = s.Offset() + 4;
    s.Record(kBoundSheet, Data().U32(0).U8(0).U8(0).ShortString(sheet.name));
    s.Record(kCountry, Data().U16(7).U16(7));
    SharedStrings(s, texts, int(sheet.cells.size()));
    s.Record(kEof);

    // --- the worksheet ---
    s.PatchU32(sheetOffsetAt, quint32(s.Offset()));
    Bof(s, 0x0010);
    s.Record(kDefColWidth, Data().U16(8));
    if (sheet.columnCount > 0)
        s.Record(kColInfo, Data()
                               .U16(0)
                               .U16(sheet.columnCount - 1)
                               .U16(int(CResultsSheet::kColumnWidth * 256))
                               .U16(15)
                               .U16(0)
                               .U16(0));
    const bool empty = sheet.cells.isEmpty();
    s.Record(kDimensions, Data()
                              .U32(0)
                              .U32(empty ? 0 : quint32(sheet.rowCount))
                              .U16(0)
                              .U16(empty ? 0 : sheet.columnCount)
                              .U16(0));
    int c = 0;
    while (c < sheet.cells.size())
    {
        const int row = sheet.cells.at(c).row;
        int first = c;
        int minColumn = sheet.cells.at(c).column, maxColumn = minColumn;
        while (c < sheet.cells.size() && sheet.cells.at(c).row == row)
        {
            minColumn = std::min(minColumn, sheet.cells.at(c).column);
            maxColumn = std::max(maxColumn, sheet.cells.at(c).column);
            ++c;
        }
        s.Record(kRow, Data()
                           .U16(row)
                           .U16(minColumn)
                           .U16(maxColumn + 1)
                           .U16(0x00FF)
                           .U16(0)
                           .U16(0)
                           .U32(0x000F0100));
        for (int i = first; i < c; ++i)
        {
            const CResultsSheet::Cell& cell = sheet.cells.at(i);
            const int xf = cell.style == CResultsSheet::Header ? kHeaderXf
                           : cell.style == CResultsSheet::Red  ? kRedXf
                                                               : kBlackXf;
            s.Record(kLabelSst,
                     Data().U16(cell.row).U16(cell.column).U16(xf).U32(quint32(cellText.at(i))));
        }
    }
    s.Record(kWindow2, Data().U16(0x06B6).U16(0).U16(0).U32(0x40).U16(0).U16(0).U32(0));
    s.Record(kEof);

    QByteArray& bytes = s.Bytes();
    if (bytes.size() < kMinStreamSize)
        bytes.append(QByteArray(kMinStreamSize - bytes.size(), '\0'));
    return bytes;
}

bool CBiff8Workbook::WriteFile(const QString& path, const CResultsSheet& sheet)
{
    const QByteArray stream = WorkbookStream(sheet);
    if (stream.isEmpty())
        return false;
    std::call_once(s_gsfInit, [] { gsf_init(); });

    // The container goes straight into our file, so that every write error
    // reaches us (the library's own file output renames a file of its own).
    const QByteArray native = QFile::encodeName(path);
    FILE* file = std::fopen(native.constData(), "wb");
    if (!file)
        return false;
    GsfOutput* sink = gsf_output_stdio_new_FILE(native.constData(), file, TRUE);
    bool ok = sink != nullptr;
    if (ok)
    {
        GsfOutfile* container = gsf_outfile_msole_new(sink);
        GsfOutput* workbook =
            container ? gsf_outfile_new_child(container, "Workbook", FALSE) : nullptr;
        ok = workbook && gsf_output_write(workbook, size_t(stream.size()),
                                          reinterpret_cast<const guint8*>(stream.constData()));
        if (workbook)
        {
            ok = gsf_output_close(workbook) && ok;
            g_object_unref(workbook);
        }
        if (container)
        {
            ok = gsf_output_close(GSF_OUTPUT(container)) && ok;
            g_object_unref(container);
        }
        else
            ok = false;
        if (!gsf_output_is_closed(sink))
            ok = gsf_output_close(sink) && ok;
        g_object_unref(sink);
    }
    ok = std::fflush(file) == 0 && !std::ferror(file) && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

CSafeSave::Result CBiff8Workbook::Save(const QString& path, const CResultsSheet& sheet)
{
    return CSafeSave::WriteWith(path, [&sheet](const QString& tempPath)
                                { return WriteFile(tempPath, sheet); });
}
