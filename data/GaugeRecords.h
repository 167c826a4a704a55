#pragma once

// Records exchanged with the gauge. They are kept byte for byte as the gauge
// sends them (little-endian, no padding) and decoded only for display.

#include <QList>
#include <QtGlobal>
#include <cstring>

#pragma pack(push, 1)

// Reply to the data file descriptor request (25 bytes).
struct DataFileDescriptor
{
    char name[16];        // 8-bit text, NUL-terminated when shorter than 16 bytes
    quint8 records;       // announced cell count; 0xFF means none
    quint32 serialNumber; // kept, never interpreted
    quint32 fwVersion;    // kept, never interpreted
};
static_assert(sizeof(DataFileDescriptor) == 25, "DataFileDescriptor must be 25 bytes");

// One measurement (23 bytes): reply to the cell request, payload of a cell
// upload and content of every DATA_ROW key.
struct CellRecord
{
    quint8 flags; // bit 0 units (0 mm, 1 inch), bits 1-2 decimals
    quint16 intPart;
    quint8 fracPart;
    quint16 velocity; // m/s
    char pepIdent[8]; // 8-bit text, NUL-terminated when shorter
    quint32 pepSerial;
    quint16 time;      // high byte hour, low byte minute
    quint16 date;      // bits 15-9 year-2000, 8-5 month, 4-0 day
    qint8 temperature; // whole degrees C
};
static_assert(sizeof(CellRecord) == 23, "CellRecord must be 23 bytes");

// Packed header of an in-memory data file: the descriptor followed by the
// audio index (26 bytes). Bytes 16..25 begin a file upload as they stand.
struct DataFileHeader
{
    char name[16];
    quint8 records;
    quint32 serialNumber;
    quint32 fwVersion;
    quint8 audioIndex;
};
static_assert(sizeof(DataFileHeader) == 26, "DataFileHeader must be 26 bytes");

// One entry of the gauge's materials table (20 bytes).
struct MaterialRecord
{
    char name[16];          // 8-bit text, zero-padded
    quint16 velocity;       // m/s
    qint16 tempCoefficient; // hundredths of m/s per degree C
};
static_assert(sizeof(MaterialRecord) == 20, "MaterialRecord must be 20 bytes");

// One entry of the gauge's transducer list (124 bytes).
struct PEPListRecord
{
    char name[8];
    quint8 type;
    quint16 frequency; // tenths of MHz
    quint32 delay;     // tenths of ns
    quint16 unused;
    quint8 rangeFrom; // tenths of mm, 0xFF not given
    quint16 rangeTo;  // tenths of mm, 0xFFFF not given
    quint32 serialNumber;
    quint8 vpath[100]; // ten 10-byte V-path entries
};
static_assert(sizeof(PEPListRecord) == 124, "PEPListRecord must be 124 bytes");

// V-path correction point (10 bytes), used by the transducer list and image.
struct VPathEntry
{
    quint16 actual; // tenths of mm
    float measured; // mm
    float error;    // mm
};
static_assert(sizeof(VPathEntry) == 10, "VPathEntry must be 10 bytes");

// The transducer's own memory image (128 bytes; also a whole .pep file).
struct PEPEepromImage
{
    char name[8];
    quint16 typeWord;
    quint8 frequency;
    quint16 delay;
    quint16 probeLength;
    quint8 rangeFrom;
    quint16 rangeTo;
    quint32 serialNumber;
    VPathEntry vpath[10];
    quint16 manufactureDate;
    quint16 revisionDate;
    quint16 crc;
};
static_assert(sizeof(PEPEepromImage) == 128, "PEPEepromImage must be 128 bytes");

#pragma pack(pop)

// The gauge's display memory: 8 pages of 128 column bytes.
constexpr int kScreenBufferSize = 1024;

// A data file held in memory: the packed header plus the cells actually held
// (which may be fewer than header.records after an interrupted download or a
// load with damaged rows).
struct DataFileRecord
{
    DataFileHeader header;
    QList<CellRecord> cells;

    DataFileRecord() { std::memset(&header, 0, sizeof(header)); }

    // Builds a file from a descriptor as the gauge sent it: 0xFF cells means
    // none, the audio index (absent from the descriptor) is 0, no cells.
    static DataFileRecord FromDescriptor(const DataFileDescriptor& d)
    {
        DataFileRecord r;
        std::memcpy(&r.header, &d, sizeof(d));
        if (r.header.records == 0xFF)
            r.header.records = 0;
        r.header.audioIndex = 0;
        return r;
    }

    // Cells the header announces that the file does not hold; 0 for a
    // complete file and for one announcing none (0 or 255).
    int MissingCells() const
    {
        const int records = header.records;
        if (records == 0 || records == 255)
            return 0;
        return cells.size() < records ? records - int(cells.size()) : 0;
    }
    bool IsIncomplete() const { return MissingCells() > 0; }
};

using DataFileList = QList<DataFileRecord>;
using MaterialList = QList<MaterialRecord>;
