#pragma once

#include "core/CSafeSave.h"

#include <QByteArray>
#include <QString>

class CResultsSheet;

// Writes a results sheet as an Excel 97–2003 workbook (BIFF8 records in the
// "Workbook" stream of an OLE2 compound document; libgsf builds the
// container). Only the records a spreadsheet program needs to show the sheet
// as we lay it out are written. Every record is
//   u16 id, u16 size, size bytes of data (at most 8224; longer data goes on
//   in CONTINUE records), all little-endian.
//
// Workbook globals, in this order:
//   BOF        0x0809  u16 0x0600 (BIFF8), u16 0x0005 (globals), u16 build,
//                      u16 year, u32 history flags, u32 lowest version
//   INTERFACEHDR 0x00E1 u16 1200; MMS 0x00C1 u8 0, u8 0; INTERFACEEND 0x00E2
//   WRITEACCESS 0x005C  the writer's name, blank-padded to 112 bytes
//   CODEPAGE   0x0042  u16 1200 (strings are UTF-16)
//   DSF 0x0161 u16 0; TABID 0x013D u16 1 (one sheet)
//   WINDOWPROTECT 0x0019, PROTECT 0x0012, PASSWORD 0x0013: u16 0 each
//   WINDOW1    0x003D  u16 x, y, width, height (twips), u16 flags 0x0038,
//                      u16 active sheet 0, u16 first tab 0, u16 selected 1,
//                      u16 tab bar ratio 600
//   BACKUP 0x0040, HIDEOBJ 0x008D, DATEMODE 0x0022: u16 0; PRECISION 0x000E
//                      u16 1; BOOKBOOL 0x00DA u16 0
//   FONT       0x0031  ×6: u16 height (twips), u16 flags (bit 0 bold as old
//                      readers look for it), u16 colour index, u16 weight
//                      (400 normal, 700 bold), u16 escapement, u8 underline,
//                      u8 family, u8 charset, u8 0, then the name as a short
//                      string (u8 length, u8 0 = 8-bit characters, bytes).
//                      Fonts 0–3 are the default Arial 10; index 4 does not
//                      exist in the format, so the next ones are 5 (bold
//                      black), 6 (black), 7 (red). Colour index 8 is black,
//                      10 is red (FF0000) in the default palette.
//   FORMAT     0x041E  u16 164, then the code "@" as a string (u16 length,
//                      u8 0, bytes): the text number format
//   XF         0x00E0  ×19, 20 bytes each: u16 font, u16 format, u16 type
//                      (bit 2 style XF, bits 4–15 parent: 0xFFF for styles),
//                      u8 alignment (bits 0–2 horizontal, 2 = centred; bits
//                      4–6 vertical, 2 = bottom), u8 rotation, u8 indent,
//                      u8 used-attribute bits, u32 + u32 borders, u16
//                      pattern colours (0x20C0: automatic). XFs 0–14 are the
//                      style XFs and 15 the default cell XF every file
//                      carries; ours are 16 (header), 17 (black), 18 (red).
//   STYLE      0x0293  u16 0x8000 (built-in, XF 0), u8 0 (Normal), u8 0xFF
//   USESELFS   0x0160  u16 1
//   BOUNDSHEET 0x0085  u32 stream offset of the sheet's BOF, u8 0 visible,
//                      u8 0 worksheet, the name as a short string (u8 length,
//                      u8 1 = UTF-16, UTF-16LE characters)
//   COUNTRY    0x008C  u16 7, u16 7
//   SST        0x00FC  u32 cell count, u32 unique count, then each unique
//                      text as u16 length, u8 1, UTF-16LE characters; a text
//                      crossing the 8224-byte limit goes on in a CONTINUE
//                      (0x003C) record that starts with the u8 1 again
//   EXTSST     0x00FF  u16 texts per bucket, then per bucket u32 stream
//                      offset of its first text, u16 that text's offset in
//                      its record (header included), u16 0
//   EOF        0x000A  empty
//
// The worksheet:
//   BOF        0x0809  as above with type 0x0010 (worksheet)
//   DEFCOLWIDTH 0x0055 u16 8
//   COLINFO    0x007D  u16 first, u16 last column, u16 width in 1/256 of a
//                      character (15 × 256), u16 XF 15, u16 0, u16 0
//   DIMENSIONS 0x0200  u32 first row, u32 last row + 1, u16 first column,
//                      u16 last column + 1, u16 0
//   ROW        0x0208  per row: u16 row, u16 first column, u16 last column
//                      + 1, u16 height 0x00FF, u16 0, u16 0, u32 0x000F0100
//   LABELSST   0x00FD  per cell: u16 row, u16 column, u16 XF, u32 SST index
//   WINDOW2    0x023E  u16 flags 0x06B6, u16 top row, u16 left column, u32
//                      grid colour 0x40, u16 0, u16 0, u32 0
//   EOF        0x000A
//
// The stream is padded with zeros to 4096 bytes: shorter streams go to the
// container's small-block area, which Excel does not read a workbook from.
class CBiff8Workbook
{
public:
    // The limits of the format: a larger sheet is refused, not cut.
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;
    static constexpr int kMaxTextLength = 32767;

    // XF indexes of our cells.
    static constexpr int kHeaderXf = 16;
    static constexpr int kBlackXf = 17;
    static constexpr int kRedXf = 18;

    // The "Workbook" stream; empty when the sheet exceeds the format.
    static QByteArray WorkbookStream(const CResultsSheet& sheet);

    // The compound document holding the stream, written to path.
    static bool WriteFile(const QString& path, const CResultsSheet& sheet);

    // The workbook saved safely over path.
    static CSafeSave::Result Save(const QString& path, const CResultsSheet& sheet);
};
